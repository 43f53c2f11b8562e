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

namespace menubar::UnicodeText {

bool isWellFormed(std::string_view text) {
    const auto length = static_cast<std::int64_t>(text.size());
    // ICU's offsets are 32-bit; nothing this long is text we read.
    if (length > INT32_MAX)
        return false;
    std::int32_t index = 0;
    while (index < length) {
        UChar32 c = 0;
        U8_NEXT(text.data(), index, static_cast<std::int32_t>(length), c);
        if (c < 0)
            return false;
    }
    return true;
}

bool append(std::string& text, std::uint32_t codePoint) {
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return false;
    char bytes[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, static_cast<UChar32>(codePoint));
    text.append(bytes, static_cast<std::size_t>(length));
    return true;
}

} // namespace menubar::UnicodeText
