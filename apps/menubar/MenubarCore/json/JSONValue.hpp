#pragma once

// A generic JSON value for every piece of JSON whose shape is not fixed in
// advance: the daemon's effective settings, schema defaults, config-file values.
//
// Numbers are always doubles; integral numbers exist only when a number is
// written back as text (the integer rule of `format`). Objects keep no member
// order: they are held sorted by key (UTF-8 byte order, which is code-point
// order), so every writer emits sorted keys for free.
//
// Copies are cheap and independent: containers are immutable and shared.

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "JSONTape.hpp"

namespace menubar {

// The failure of a low-level JSON decode or encode. `what()` is the one-line,
// human-readable description that callers show unchanged.
class JSONError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class JSONValue {
public:
    using Array = std::vector<JSONValue>;
    using Object = std::map<std::string, JSONValue, std::less<>>;

    enum class Kind { boolean, number, string, array, object, null };

    // Deepest nesting of arrays and objects any document may have. Deeper
    // documents are refused with a one-line reason instead of risking the stack.
    static constexpr int maximumDepth = 512;

    JSONValue() = default; // null
    static JSONValue boolean(bool value);
    static JSONValue number(double value);
    static JSONValue string(std::string value);
    static JSONValue array(Array elements);
    static JSONValue object(Object members);
    static JSONValue null() { return {}; }

    Kind kind() const;
    bool isNull() const { return kind() == Kind::null; }

    // The payload when the value is of that case, else absent. No conversion
    // between cases: a number 1 has no boolValue, a string "3" no numberValue.
    std::optional<bool> boolValue() const;
    std::optional<double> numberValue() const;
    const std::string* stringValue() const;
    const Array* arrayValue() const;
    const Object* objectValue() const;

    // Decodes one JSON document. Throws JSONError with the parser's one-line
    // message for text that is not JSON (or nested deeper than maximumDepth).
    static JSONValue decode(std::string_view bytes);
    // Converts a parsed value; used by decoders that track their own path.
    static JSONValue from(JSONTape::Value json);

    // The value as a JSON document, object members sorted by key; `/` is written
    // as `\/`. Pretty: two-space indentation, one member per line, " : " between
    // key and value, no final line feed. Throws JSONError for a non-finite number.
    static std::string encode(const JSONValue& value, bool pretty);

    // One-line display form: strings bare, numbers by the integer rule, arrays
    // and objects as compact JSON (empty text when they cannot be encoded).
    std::string compactText() const;

    // The integer rule: an integral double below 1e15 in magnitude is written as
    // a decimal integer (−0 gives "0"); any other double as the shortest text
    // that reads back to the same double.
    static std::string format(double number);

    // Same case and equal payloads; numbers compare as doubles (NaN equals nothing).
    friend bool operator==(const JSONValue& lhs, const JSONValue& rhs);

private:
    using Storage = std::variant<std::monostate, bool, double, std::string,
                                 std::shared_ptr<const Array>, std::shared_ptr<const Object>>;
    explicit JSONValue(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

using JSONObject = JSONValue::Object;

} // namespace menubar
