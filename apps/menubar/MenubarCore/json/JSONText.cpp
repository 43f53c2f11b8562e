#include "JSONText.hpp"

#include <unicode/unistr.h>

#include "JSONValue.hpp"

namespace menubar::JSONText {

namespace {

// One cheap byte scan before the parser sees the text, for two things the parser
// does not do for us. Nesting: the parser is iterative, but everything that walks
// the tree afterwards recurses, so hostile depth is refused before a tree exists.
// NUL bytes: the parser takes one as the end of the input and would accept
// "123<NUL>garbage"; JSON allows a raw NUL nowhere.
void refuseWhatTheParserWouldMiss(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\0')
            throw JSONError("parse error at byte " + std::to_string(i + 1) +
                            ": syntax error - a NUL byte is not allowed in JSON");
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > JSONValue::maximumDepth)
                throw JSONError("nesting deeper than " + std::to_string(JSONValue::maximumDepth) +
                                " levels");
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
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

nlohmann::json parse(std::string_view bytes) {
    refuseWhatTheParserWouldMiss(bytes);
    try {
        return nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception& error) {
        throw JSONError(describe(error));
    }
}

} // namespace menubar::JSONText
