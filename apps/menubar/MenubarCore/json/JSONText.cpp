#include "JSONText.hpp"

#include <unicode/unistr.h>

#include "JSONValue.hpp"

namespace menubar::JSONText {

namespace {

// The parser takes a NUL byte as the end of the input and would accept
// "123<NUL>garbage"; JSON allows a raw NUL nowhere. A text with one is refused
// for the NUL, or for its nesting if that grows too deep before the NUL, as the
// parser would have refused it had the NUL not stopped it. Nesting elsewhere is
// refused as the parser meets it (JSONTape).
[[noreturn]] void refuseTheNul(std::string_view bytes, std::size_t nul) {
    int depth = 0;
    for (std::size_t at = 0; at < nul;) {
        switch (bytes[at++]) {
        case '"':
            while (at < nul && bytes[at] != '"')
                at += bytes[at] == '\\' ? 2 : 1;
            ++at;
            break;
        case '[':
        case '{':
            if (++depth > JSONValue::maximumDepth)
                throw JSONError("nesting deeper than " + std::to_string(JSONValue::maximumDepth) +
                                " levels");
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    throw JSONError("parse error at byte " + std::to_string(nul + 1) +
                    ": syntax error - a NUL byte is not allowed in JSON");
}

} // namespace

std::string describe(const nlohmann::json::exception& error) {
    std::string_view message = error.what();
    if (message.starts_with("[json.exception.")) {
        if (const auto end = message.find("] "); end != std::string_view::npos)
            message.remove_prefix(end + 2);
    }
    // The parser quotes the bytes it last read verbatim, and outside a string
    // those may be any bytes at all; the message ends up in tooltips and menus,
    // so each ill-formed sequence becomes U+FFFD.
    std::string wellFormed;
    return icu::UnicodeString::fromUTF8(message).toUTF8String(wellFormed);
}

JSONTape parse(std::string_view bytes) {
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos)
        refuseTheNul(bytes, nul);
    try {
        return JSONTape::parse(bytes);
    } catch (const nlohmann::json::exception& error) {
        throw JSONError(describe(error));
    }
}

} // namespace menubar::JSONText
