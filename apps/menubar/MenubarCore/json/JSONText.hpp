#pragma once

// The one place that turns bytes into a parsed JSON tree. Every JSON-reading part
// of the app goes through it, so all of them share the same depth limit and the
// same one-line error messages.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "JSONTape.hpp"

namespace menubar::JSONText {

// Parses one JSON document. Throws JSONError carrying the parser's message
// without the library's bracketed prefix, e.g. "parse error at line 1, column 1:
// syntax error while parsing value - unexpected end of input; expected '[', '{', or
// a literal"; or "nesting deeper than 512 levels" for a document that is too deep.
JSONTape parse(std::string_view bytes);

// The message of a library exception, without its "[json.exception.…] " prefix.
std::string describe(const nlohmann::json::exception& error);

} // namespace menubar::JSONText
