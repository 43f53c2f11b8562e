#pragma once

// Small Unicode-aware text helpers shared by the core's parsers of user text.
// Every rule here uses the root locale, never the process's: a Turkish or
// Lithuanian user must see the same texts as anyone else.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uchar.h>

namespace menubar::UnicodeText {

// `text` without the code points that `strip` accepts at either end (for
// instance u_isUWhiteSpace, which includes line breaks, or u_isblank, which
// does not). Invalid UTF-8 stops the trim where it stands.
std::string_view trimmed(std::string_view text, UBool (*strip)(UChar32));
// The same at the start only.
std::string_view trimmedStart(std::string_view text, UBool (*strip)(UChar32));

// The byte offsets at which each of the first `limit` user-perceived characters
// (extended grapheme clusters) of the UTF-8 `text` ends; fewer when the text has
// fewer. A letter with its combining marks, or a prepended mark with the letter
// it leads, is one character.
std::vector<std::size_t> graphemeEnds(std::string_view text, std::size_t limit);

// `text` with its first user-perceived character in upper case, by full Unicode
// case mapping of the whole character (one character may grow to several), the
// rest unchanged. Invalid UTF-8 in that character leaves the text as it is.
std::string capitalisedFirst(std::string_view text);

// Whether every byte belongs to a well-formed UTF-8 sequence (no surrogates, no
// overlong forms, nothing above U+10FFFF).
bool isWellFormed(std::string_view text);

// Appends the UTF-8 form of `codePoint`; false (and nothing appended) when it is
// no Unicode scalar value.
bool append(std::string& text, std::uint32_t codePoint);

} // namespace menubar::UnicodeText
