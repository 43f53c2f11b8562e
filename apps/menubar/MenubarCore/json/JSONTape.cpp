#include "JSONTape.hpp"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "JSONText.hpp"
#include "JSONValue.hpp"

namespace menubar {

// Receives the parser's events and appends each value where it stands in the
// text. The events arrive for a well-formed prefix only; the first error ends
// the parse.
class JSONTape::Builder {
public:
    using Json = nlohmann::json;

    explicit Builder(JSONTape& tape) : tape_(tape) {}

    bool null() { return push(Type::null); }
    bool boolean(bool value) {
        push(Type::boolean);
        tape_.nodes_.back().payload.boolean = value;
        return true;
    }
    bool number_integer(Json::number_integer_t value) {
        push(Type::integer);
        tape_.nodes_.back().payload.integer = value;
        return true;
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        push(Type::unsignedInteger);
        tape_.nodes_.back().payload.unsignedInteger = value;
        return true;
    }
    bool number_float(Json::number_float_t value, const std::string&) {
        push(Type::real);
        tape_.nodes_.back().payload.real = value;
        return true;
    }
    bool string(std::string& value) {
        push(Type::string);
        tape_.nodes_.back().payload.string = store(value);
        return true;
    }
    bool binary(Json::binary_t&) { return false; } // JSON text has none
    bool key(std::string& value) {
        key_ = store(value);
        return true;
    }
    bool start_object(std::size_t) { return open(Type::object); }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Type::array); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception& error) {
        throw JSONError(JSONText::describe(error));
    }

private:
    bool push(Type type) {
        Node node{
            .type = type, .end = static_cast<std::uint32_t>(tape_.nodes_.size() + 1), .key = key_};
        key_ = {};
        tape_.nodes_.push_back(node);
        return true;
    }
    bool open(Type type) {
        // Everything that walks a document recurses; hostile depth is refused
        // while the tape is being filled.
        if (open_.size() >= static_cast<std::size_t>(JSONValue::maximumDepth))
            throw JSONError("nesting deeper than " + std::to_string(JSONValue::maximumDepth) +
                            " levels");
        open_.push_back(static_cast<std::uint32_t>(tape_.nodes_.size()));
        return push(type);
    }
    bool close() {
        tape_.nodes_[open_.back()].end = static_cast<std::uint32_t>(tape_.nodes_.size());
        open_.pop_back();
        return true;
    }
    Span store(const std::string& value) {
        const Span span{static_cast<std::uint32_t>(tape_.strings_.size()),
                        static_cast<std::uint32_t>(value.size())};
        tape_.strings_ += value;
        return span;
    }

    JSONTape& tape_;
    std::vector<std::uint32_t> open_;
    Span key_{};
};

JSONTape JSONTape::parse(std::string_view bytes) {
    JSONTape tape;
    // Strings cannot outgrow the text (an escape only shrinks); a status file
    // holds about one value for every twenty to thirty bytes.
    tape.nodes_.reserve(bytes.size() / 16 + 1);
    tape.strings_.reserve(bytes.size());
    Builder builder(tape);
    nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &builder);
    return tape;
}

std::string_view JSONTape::Value::string() const {
    return tape_->text(node().payload.string);
}

double JSONTape::Value::number() const {
    switch (type()) {
    case Type::integer:
        return static_cast<double>(node().payload.integer);
    case Type::unsignedInteger:
        return static_cast<double>(node().payload.unsignedInteger);
    default:
        return node().payload.real;
    }
}

template <class Visit> void JSONTape::Value::eachChild(Visit visit) const {
    if (!isArray() && !isObject())
        return;
    for (std::uint32_t child = index_ + 1; child < node().end; child = tape_->nodes_[child].end)
        visit(Value(tape_, child));
}

std::optional<JSONTape::Value> JSONTape::Value::member(std::string_view key) const {
    std::optional<Value> found;
    if (isObject()) {
        eachChild([&](Value child) {
            if (tape_->text(child.node().key) == key)
                found = child;
        });
    }
    return found;
}

std::vector<JSONTape::Value> JSONTape::Value::elements() const {
    std::vector<Value> elements;
    if (isArray())
        eachChild([&](Value child) { elements.push_back(child); });
    return elements;
}

std::vector<std::pair<std::string_view, JSONTape::Value>> JSONTape::Value::members() const {
    std::vector<std::pair<std::string_view, Value>> members;
    if (!isObject())
        return members;
    eachChild([&](Value child) { members.emplace_back(tape_->text(child.node().key), child); });
    // Stable, so of equal keys the last in the text stays last, and is kept.
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto last = std::unique(members.rbegin(), members.rend(),
                                  [](const auto& a, const auto& b) { return a.first == b.first; });
    members.erase(members.begin(), last.base());
    return members;
}

} // namespace menubar
