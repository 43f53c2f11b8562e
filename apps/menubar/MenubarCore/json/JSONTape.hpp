#pragma once

// A parsed JSON document laid out flat: every value is one entry of one array,
// followed by its members or elements, and every string sits in one buffer.
//
// The status file is read at every write of the daemon, and a tree with a heap
// block per value and per long string cost twice what reading the text did. The
// text is still read by nlohmann's parser (through its event interface), so what
// it accepts, its numbers and its error messages are the library's.
//
// An object answers as nlohmann's objects do: of members with the same key the
// last one counts, and members are listed in key order (UTF-8 byte order).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace menubar {

class JSONTape {
public:
    // The parser's number kinds: a non-negative integer is `unsignedInteger`, a
    // negative one `integer`, anything with a fraction or exponent `real`.
    enum class Type : std::uint8_t {
        null,
        boolean,
        integer,
        unsignedInteger,
        real,
        string,
        array,
        object
    };

private:
    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    struct Node {
        Type type = Type::null;
        std::uint32_t end = 0; // one past the value's last descendant
        Span key{};            // of an object's member
        union Payload {
            bool boolean;
            std::int64_t integer;
            std::uint64_t unsignedInteger;
            double real;
            Span string;
        } payload{.integer = 0};
    };

public:
    // A value inside a tape; valid while the tape lives, at the address it had
    // when the value was taken.
    class Value {
    public:
        Type type() const { return node().type; }
        bool isNull() const { return type() == Type::null; }
        bool isBoolean() const { return type() == Type::boolean; }
        bool isString() const { return type() == Type::string; }
        bool isArray() const { return type() == Type::array; }
        bool isObject() const { return type() == Type::object; }
        bool isNumber() const {
            return type() == Type::integer || type() == Type::unsignedInteger ||
                   type() == Type::real;
        }

        // Each of these asks for the payload of the value's own type.
        bool boolean() const { return node().payload.boolean; }
        std::int64_t integer() const { return node().payload.integer; }
        std::uint64_t unsignedInteger() const { return node().payload.unsignedInteger; }
        std::string_view string() const;
        // Any number, as a double.
        double number() const;

        // The last member with this key; absent for a missing key or a non-object.
        std::optional<Value> member(std::string_view key) const;
        std::vector<Value> elements() const;
        // Distinct keys in key order, each with its last value.
        std::vector<std::pair<std::string_view, Value>> members() const;

    private:
        friend class JSONTape;
        Value(const JSONTape* tape, std::uint32_t index) : tape_(tape), index_(index) {}
        const Node& node() const { return tape_->nodes_[index_]; }
        // The children in document order, duplicates included.
        template <class Visit> void eachChild(Visit visit) const;

        const JSONTape* tape_;
        std::uint32_t index_;
    };

    // Throws JSONError with the parser's one-line message, or for nesting deeper
    // than JSONValue::maximumDepth.
    static JSONTape parse(std::string_view bytes);

    Value root() const { return Value(this, 0); }

private:
    class Builder;

    std::string_view text(Span span) const { return {strings_.data() + span.offset, span.length}; }

    std::vector<Node> nodes_;
    std::string strings_;
};

} // namespace menubar
