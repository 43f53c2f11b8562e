#pragma once

// Small Unicode-aware text helpers shared by the core's parsers of user text.

#include <cstdint>
#include <string_view>

#include <unicode/uchar.h>

namespace menubar::UnicodeText {

// `text` without the code points that `strip` accepts at either end (for
// instance u_isUWhiteSpace, which includes line breaks, or u_isblank, which
// does not). Invalid UTF-8 stops the trim where it stands.
std::string_view trimmed(std::string_view text, UBool (*strip)(UChar32));

} // namespace menubar::UnicodeText

#include <string>

namespace menubar::UnicodeText {

// Whether every byte belongs to a well-formed UTF-8 sequence (no surrogates, no
// overlong forms, nothing above U+10FFFF).
bool isWellFormed(std::string_view text);

// Appends the UTF-8 form of `codePoint`; false (and nothing appended) when it is
// no Unicode scalar value.
bool append(std::string& text, std::uint32_t codePoint);

} // namespace menubar::UnicodeText
