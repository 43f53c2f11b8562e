#pragma once

// Strict, path-tracking reading of a parsed JSON document into typed records,
// shared by every decoder of the app (status file, settings schema).
//
// A member that is missing or null is absent; a present value of the wrong JSON
// type fails the whole document with a DecodingError that carries the key path
// down to it, so the reason shown to the user can say exactly where.

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "JSONTape.hpp"

namespace menubar {

class DecodingError : public std::runtime_error {
public:
    enum class Kind {
        typeMismatch,  // a value of the wrong JSON type
        valueNotFound, // null where a value was required (an array element)
        keyNotFound,   // a required key is missing
        dataCorrupted, // not JSON, an unparsable date, an unrecognised JSON value
    };

    DecodingError(Kind kind, std::string typeName, std::vector<std::string> path,
                  std::string description)
        : std::runtime_error(description), kind(kind), typeName(std::move(typeName)),
          path(std::move(path)), description(std::move(description)) {}

    Kind kind;
    // String, Int, Double, Bool, Array, Object or a record's name; for
    // keyNotFound, the missing key.
    std::string typeName;
    std::vector<std::string> path; // keys from the top; array positions count from 0
    std::string description;       // for dataCorrupted: the text shown alone

    // The path's keys joined with "." (empty at the top level).
    std::string joinedPath() const {
        std::string joined;
        for (const auto& key : path) {
            if (!joined.empty())
                joined += '.';
            joined += key;
        }
        return joined;
    }
};

// Base of a decoder `Derived` whose record readers are member functions taking
// a `const JSONTape::Value&`; pass them (or the primitives below) by pointer.
template <class Derived> class JSONReader {
public:
    using Json = JSONTape::Value;

protected:
    template <class Read> using Result = std::invoke_result_t<Read, Derived*, const Json&>;

    [[noreturn]] void fail(DecodingError::Kind kind, std::string_view type) const {
        throw DecodingError(kind, std::string(type), path_,
                            "Expected to decode " + std::string(type));
    }
    [[noreturn]] void corrupted(std::string description) const {
        throw DecodingError(DecodingError::Kind::dataCorrupted, "", path_, std::move(description));
    }

    void requireObject(const Json& json, std::string_view type) const {
        if (!json.isObject())
            fail(DecodingError::Kind::typeMismatch, type);
    }

    static std::optional<Json> member(const Json& object, std::string_view key) {
        const std::optional<Json> found = object.member(key);
        return found && found->isNull() ? std::nullopt : found;
    }

    // Missing or null: absent. Otherwise `read` must succeed.
    template <class Read>
    std::optional<Result<Read>> optional(const Json& object, const char* key, Read read) {
        const std::optional<Json> value = member(object, key);
        if (!value)
            return std::nullopt;
        path_.emplace_back(key);
        auto result = std::invoke(read, static_cast<Derived*>(this), *value);
        path_.pop_back();
        return result;
    }

    template <class Read> Result<Read> required(const Json& object, const char* key, Read read) {
        if (!member(object, key))
            throw DecodingError(DecodingError::Kind::keyNotFound, key, path_,
                                "No value associated with key " + std::string(key));
        return *optional(object, key, read);
    }

    // Every element must decode; a null element is a missing value.
    template <class Read>
    std::vector<Result<Read>> list(const Json& json, std::string_view elementType, Read read) {
        if (!json.isArray())
            fail(DecodingError::Kind::typeMismatch, "Array");
        const std::vector<Json> elements = json.elements();
        std::vector<Result<Read>> values;
        values.reserve(elements.size());
        std::size_t index = 0;
        for (const Json& element : elements) {
            path_.push_back(std::to_string(index++));
            if (element.isNull())
                fail(DecodingError::Kind::valueNotFound, elementType);
            values.push_back(std::invoke(read, static_cast<Derived*>(this), element));
            path_.pop_back();
        }
        return values;
    }

    std::string text(const Json& json) {
        if (!json.isString())
            fail(DecodingError::Kind::typeMismatch, "String");
        return std::string(json.string());
    }

    bool flag(const Json& json) {
        if (!json.isBoolean())
            fail(DecodingError::Kind::typeMismatch, "Bool");
        return json.boolean();
    }

    double number(const Json& json) {
        if (!json.isNumber())
            fail(DecodingError::Kind::typeMismatch, "Double");
        return json.number();
    }

    // A JSON number without a fractional part; 72.0 counts, 72.5 does not.
    std::int64_t integer(const Json& json) {
        // The parser's "integer" includes unsigned values beyond the signed range,
        // so the unsigned case is checked first and must fit.
        using Type = JSONTape::Type;
        if (json.type() == Type::unsignedInteger) {
            if (json.unsignedInteger() <= static_cast<std::uint64_t>(INT64_MAX))
                return static_cast<std::int64_t>(json.unsignedInteger());
        } else if (json.type() == Type::integer) {
            return json.integer();
        } else if (json.type() == Type::real) {
            const double value = json.number();
            if (std::trunc(value) == value && value >= -9.2233720368547758e18 &&
                value < 9.2233720368547758e18)
                return static_cast<std::int64_t>(value);
        }
        fail(DecodingError::Kind::typeMismatch, "Int");
    }

    std::vector<std::string> texts(const Json& json) {
        return list(json, "String", &JSONReader::text);
    }

    std::vector<std::string> path_;
};

} // namespace menubar
