#include "UnicodeText.hpp"

#include <cstdint>

#include <unicode/utf8.h>

namespace menubar::UnicodeText {

std::string_view trimmed(std::string_view text, UBool (*strip)(UChar32)) {
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t start = 0;
    while (start < length) {
        std::int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(text.data(), next, length, c);
        if (c < 0 || !strip(c))
            break;
        start = next;
    }
    std::int32_t end = length;
    while (end > start) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(text.data(), start, previous, c);
        if (c < 0 || !strip(c))
            break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

} // namespace menubar::UnicodeText
