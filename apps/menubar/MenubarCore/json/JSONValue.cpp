#include "JSONValue.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "JSONText.hpp"

namespace menubar {

JSONValue JSONValue::boolean(bool value) {
    return JSONValue(Storage(value));
}
JSONValue JSONValue::number(double value) {
    return JSONValue(Storage(value));
}
JSONValue JSONValue::string(std::string value) {
    return JSONValue(Storage(std::move(value)));
}
JSONValue JSONValue::array(Array elements) {
    return JSONValue(Storage(std::make_shared<const Array>(std::move(elements))));
}
JSONValue JSONValue::object(Object members) {
    return JSONValue(Storage(std::make_shared<const Object>(std::move(members))));
}

JSONValue::Kind JSONValue::kind() const {
    switch (storage_.index()) {
    case 1:
        return Kind::boolean;
    case 2:
        return Kind::number;
    case 3:
        return Kind::string;
    case 4:
        return Kind::array;
    case 5:
        return Kind::object;
    default:
        return Kind::null;
    }
}

std::optional<bool> JSONValue::boolValue() const {
    if (const auto* value = std::get_if<bool>(&storage_))
        return *value;
    return std::nullopt;
}

std::optional<double> JSONValue::numberValue() const {
    if (const auto* value = std::get_if<double>(&storage_))
        return *value;
    return std::nullopt;
}

const std::string* JSONValue::stringValue() const {
    return std::get_if<std::string>(&storage_);
}

const JSONValue::Array* JSONValue::arrayValue() const {
    if (const auto* value = std::get_if<std::shared_ptr<const Array>>(&storage_))
        return value->get();
    return nullptr;
}

const JSONValue::Object* JSONValue::objectValue() const {
    if (const auto* value = std::get_if<std::shared_ptr<const Object>>(&storage_))
        return value->get();
    return nullptr;
}

JSONValue JSONValue::from(JSONTape::Value json) {
    using Type = JSONTape::Type;
    switch (json.type()) {
    case Type::null:
        return null();
    case Type::boolean:
        return boolean(json.boolean());
    case Type::integer:
    case Type::unsignedInteger:
    case Type::real:
        return number(json.number());
    case Type::string:
        return string(std::string(json.string()));
    case Type::array: {
        Array elements;
        for (const JSONTape::Value element : json.elements())
            elements.push_back(from(element));
        return array(std::move(elements));
    }
    case Type::object: {
        Object members;
        for (const auto& [key, value] : json.members())
            members.emplace_hint(members.end(), key, from(value));
        return object(std::move(members));
    }
    }
    throw JSONError("Unrecognised JSON value");
}

JSONValue JSONValue::decode(std::string_view bytes) {
    return from(JSONText::parse(bytes).root());
}

std::string JSONValue::format(double number) {
    if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < 1e15)
        return std::to_string(static_cast<long long>(number));
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

namespace {

void writeString(std::string_view text, std::string& out) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void newline(std::string& out, int indent) {
    out += '\n';
    out.append(static_cast<std::size_t>(indent), ' ');
}

void write(const JSONValue& value, std::string& out, bool pretty, int indent) {
    switch (value.kind()) {
    case JSONValue::Kind::null:
        out += "null";
        return;
    case JSONValue::Kind::boolean:
        out += *value.boolValue() ? "true" : "false";
        return;
    case JSONValue::Kind::number: {
        const double number = *value.numberValue();
        if (!std::isfinite(number))
            throw JSONError("Unable to encode the number " + JSONValue::format(number) +
                            " as JSON");
        out += JSONValue::format(number);
        return;
    }
    case JSONValue::Kind::string:
        writeString(*value.stringValue(), out);
        return;
    case JSONValue::Kind::array: {
        const auto& elements = *value.arrayValue();
        if (elements.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        bool first = true;
        for (const auto& element : elements) {
            if (!first)
                out += ',';
            first = false;
            if (pretty)
                newline(out, indent + 2);
            write(element, out, pretty, indent + 2);
        }
        if (pretty)
            newline(out, indent);
        out += ']';
        return;
    }
    case JSONValue::Kind::object: {
        const auto& members = *value.objectValue();
        if (members.empty()) {
            out += "{}";
            return;
        }
        out += '{';
        bool first = true;
        for (const auto& [key, member] : members) {
            if (!first)
                out += ',';
            first = false;
            if (pretty)
                newline(out, indent + 2);
            writeString(key, out);
            out += pretty ? " : " : ":";
            write(member, out, pretty, indent + 2);
        }
        if (pretty)
            newline(out, indent);
        out += '}';
        return;
    }
    }
}

} // namespace

std::string JSONValue::encode(const JSONValue& value, bool pretty) {
    std::string out;
    write(value, out, pretty, 0);
    return out;
}

std::string JSONValue::compactText() const {
    switch (kind()) {
    case Kind::boolean:
        return *boolValue() ? "true" : "false";
    case Kind::number:
        return format(*numberValue());
    case Kind::string:
        return *stringValue();
    case Kind::null:
        return "null";
    case Kind::array:
    case Kind::object:
        try {
            return encode(*this, false);
        } catch (const JSONError&) {
            return {};
        }
    }
    return {};
}

bool operator==(const JSONValue& lhs, const JSONValue& rhs) {
    if (lhs.kind() != rhs.kind())
        return false;
    switch (lhs.kind()) {
    case JSONValue::Kind::null:
        return true;
    case JSONValue::Kind::boolean:
        return lhs.boolValue() == rhs.boolValue();
    case JSONValue::Kind::number:
        return *lhs.numberValue() == *rhs.numberValue();
    case JSONValue::Kind::string:
        return *lhs.stringValue() == *rhs.stringValue();
    case JSONValue::Kind::array:
        return *lhs.arrayValue() == *rhs.arrayValue();
    case JSONValue::Kind::object:
        return *lhs.objectValue() == *rhs.objectValue();
    }
    return false;
}

} // namespace menubar
