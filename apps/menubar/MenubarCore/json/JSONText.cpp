#include "JSONText.hpp"

#include <algorithm>

#include <unicode/unistr.h>

#include "JSONValue.hpp"

namespace menubar::JSONText {

namespace {

// One cheap byte scan before the parser sees the text, for two things the parser
// does not do for us. Nesting: everything that walks the tree afterwards
// recurses, so hostile depth is refused before a tree exists. NUL bytes: the
// parser takes one as the end of the input and would accept "123<NUL>garbage";
// JSON allows a raw NUL nowhere. Whichever comes first in the text is reported.
// The scan runs at every write of the status file, so string contents are
// skipped in a loop of their own.
void refuseWhatTheParserWouldMiss(std::string_view bytes) {
    const std::size_t nul = bytes.find('\0');
    const std::size_t end = std::min(nul, bytes.size());
    int depth = 0;
    for (std::size_t at = 0; at < end;) {
        switch (bytes[at++]) {
        case '"':
            while (at < end && bytes[at] != '"')
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
    if (nul != std::string_view::npos)
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
    refuseWhatTheParserWouldMiss(bytes);
    try {
        return JSONTape::parse(bytes);
    } catch (const nlohmann::json::exception& error) {
        throw JSONError(describe(error));
    }
}

} // namespace menubar::JSONText
