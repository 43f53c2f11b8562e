#include "UnicodeText.hpp"

#include <algorithm>

#include <cstdint>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace menubar::UnicodeText {

namespace {

std::int32_t startAfter(std::string_view text, UBool (*strip)(UChar32)) {
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
    return start;
}

} // namespace

std::string_view trimmed(std::string_view text, UBool (*strip)(UChar32)) {
    const std::int32_t start = startAfter(text, strip);
    auto end = static_cast<std::int32_t>(text.size());
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

std::string_view trimmedStart(std::string_view text, UBool (*strip)(UChar32)) {
    return text.substr(static_cast<std::size_t>(startAfter(text, strip)));
}

std::vector<std::size_t> graphemeEnds(std::string_view text, std::size_t limit) {
    std::vector<std::size_t> ends;
    if (limit == 0 || text.empty())
        return ends;
    // ASCII text, as names mostly are, is one character a byte but for CR LF;
    // it needs neither the break iterator nor its rules from ICU's data.
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (std::size_t at = 0; at < text.size() && ends.size() < limit; ++at) {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            ends.push_back(at + 1);
        }
        return ends;
    }
    UErrorCode status = U_ZERO_ERROR;
    // Over the UTF-8 bytes themselves, so the boundaries are byte offsets.
    std::unique_ptr<UText, decltype(&utext_close)> utf8(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status),
        &utext_close);
    std::unique_ptr<icu::BreakIterator> clusters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        return ends;
    clusters->setText(utf8.get(), status);
    if (U_FAILURE(status))
        return ends;
    for (std::int32_t boundary = clusters->next();
         boundary != icu::BreakIterator::DONE && ends.size() < limit; boundary = clusters->next())
        ends.push_back(static_cast<std::size_t>(boundary));
    return ends;
}

std::string capitalisedFirst(std::string_view text) {
    const auto ends = graphemeEnds(text, 1);
    if (ends.empty())
        return std::string(text);
    const std::string_view first = text.substr(0, ends.front());
    // The root locale's upper case of an ASCII letter is the ASCII one.
    if (first.size() == 1 && static_cast<unsigned char>(first[0]) < 0x80) {
        std::string upper(text);
        if (upper[0] >= 'a' && upper[0] <= 'z')
            upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        return upper;
    }
    auto decoded = icu::UnicodeString::fromUTF8(
        icu::StringPiece(first.data(), static_cast<int32_t>(first.size())));
    std::string check;
    if (decoded.toUTF8String(check) != first)
        return std::string(text);
    std::string upper;
    decoded.toUpper(icu::Locale::getRoot()).toUTF8String(upper);
    return upper.append(text.substr(ends.front()));
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
