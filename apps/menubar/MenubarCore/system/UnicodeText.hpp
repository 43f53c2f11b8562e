#pragma once

// Small Unicode-aware text helpers shared by the core's parsers of user text.

#include <string_view>

#include <unicode/uchar.h>

namespace menubar::UnicodeText {

// `text` without the code points that `strip` accepts at either end (for
// instance u_isUWhiteSpace, which includes line breaks, or u_isblank, which
// does not). Invalid UTF-8 stops the trim where it stands.
std::string_view trimmed(std::string_view text, UBool (*strip)(UChar32));

} // namespace menubar::UnicodeText
