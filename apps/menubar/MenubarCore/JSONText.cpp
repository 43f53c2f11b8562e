#include "JSONText.hpp"

#include "JSONValue.hpp"

namespace menubar::JSONText {

namespace {

// The parser itself is iterative, but everything that walks the tree afterwards
// recurses; a cheap byte scan keeps hostile nesting out before any tree exists.
bool nestsTooDeep(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > JSONValue::maximumDepth)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

std::string describe(const nlohmann::json::exception& error) {
    std::string_view message = error.what();
    if (message.starts_with("[json.exception.")) {
        if (const auto end = message.find("] "); end != std::string_view::npos)
            message.remove_prefix(end + 2);
    }
    return std::string(message);
}

nlohmann::json parse(std::string_view bytes) {
    if (nestsTooDeep(bytes))
        throw JSONError("nesting deeper than " + std::to_string(JSONValue::maximumDepth) +
                        " levels");
    try {
        return nlohmann::json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception& error) {
        throw JSONError(describe(error));
    }
}

} // namespace menubar::JSONText
