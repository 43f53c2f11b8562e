#include "SettingKinds.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <set>

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include "status/Formatting.hpp"
#include "system/UnicodeText.hpp"

namespace menubar::SettingKinds {

namespace {

using Kind = SettingControl::Kind;

// Plain C-locale decimal syntax with an optional sign. Infinities and NaN are
// refused: they could never be written back to the file.
std::optional<double> parseNumber(std::string_view text) {
    text = UnicodeText::trimmed(text, u_isblank);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-'))
            return std::nullopt;
    }
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Whether the ICU pattern matches somewhere in the text; nothing when the pattern
// does not compile (or cannot be run), which disables the check.
std::optional<bool> findsMatch(const std::string& pattern, const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), 0, parseError, status));
    if (U_FAILURE(status))
        return std::nullopt;
    const auto subject = icu::UnicodeString::fromUTF8(text);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(subject, status));
    if (U_FAILURE(status))
        return std::nullopt;
    // A schema pattern that backtracks forever must not freeze the settings window.
    matcher->setTimeLimit(1000, status);
    const bool found = matcher->find(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return found;
}

// An empty value before the first non-empty one adds no separator.
std::string joined(const std::vector<std::string>& values) {
    std::string text;
    for (const auto& value : values)
        text += (text.empty() ? "" : ", ") + value;
    return text;
}

bool contains(const std::vector<std::string>& values, const std::string& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::optional<std::vector<std::string>> stringList(const JSONValue& json) {
    const auto* array = json.arrayValue();
    if (array == nullptr)
        return std::nullopt;
    std::vector<std::string> items;
    for (const auto& element : *array) {
        const auto* text = element.stringValue();
        if (text == nullptr)
            return std::nullopt;
        items.push_back(*text);
    }
    return items;
}

std::optional<SettingValue> readNumber(const JSONValue& json, const SettingSpec&) {
    if (const auto value = json.numberValue())
        return SettingValue::number(*value);
    if (const auto* string = json.stringValue())
        if (const auto value = parseNumber(*string))
            return SettingValue::number(*value);
    return std::nullopt;
}

std::optional<SettingValue> readText(const JSONValue& json, const SettingSpec&) {
    if (const auto* string = json.stringValue())
        return SettingValue::text(*string);
    return std::nullopt;
}

std::optional<SettingValue> readList(const JSONValue& json, const SettingSpec&) {
    if (auto items = stringList(json))
        return SettingValue::list(std::move(*items));
    return std::nullopt;
}

std::optional<SettingValue> readChoice(const JSONValue& json, const SettingSpec& spec) {
    return spec.multiple ? readList(json, spec) : readText(json, spec);
}

// Whatever is shown must read back as the very value the file holds, or a save
// that touched other settings would turn "42" into 42. So a string that would
// read back as other JSON is shown quoted, as JSON itself.
std::optional<SettingValue> readRaw(const JSONValue& json, const SettingSpec&) {
    if (const auto* string = json.stringValue())
        return SettingValue::text(asJSON(*string) ? JSONValue::encode(json, false) : *string);
    return SettingValue::text(json.compactText());
}

SettingValue emptyText(const SettingSpec&) {
    return SettingValue::text("");
}

SettingValue emptyList(const SettingSpec&) {
    return SettingValue::list({});
}

std::optional<std::string> validateNumber(const SettingValue& value, const SettingSpec& spec) {
    const auto number = value.numberValue();
    if (!number)
        return "Must be a number";
    if (spec.integer && std::round(*number) != *number)
        return "Must be a whole number";
    if (spec.min && spec.max) {
        if (!(*spec.min <= *number && *number <= *spec.max))
            return "Must be between " + JSONValue::format(*spec.min) + " and " +
                   JSONValue::format(*spec.max);
    } else if (spec.min) {
        if (!(*number >= *spec.min))
            return "Must be at least " + JSONValue::format(*spec.min);
    } else if (spec.max) {
        if (!(*number <= *spec.max))
            return "Must be at most " + JSONValue::format(*spec.max);
    }
    return std::nullopt;
}

// A pattern means little to a reader: where the schema explains the setting,
// the explanation is the message.
std::optional<std::string> validateList(const SettingValue& value, const SettingSpec& spec) {
    const auto items = value.listValue();
    if (!items)
        return "Must be a list";
    for (std::size_t i = 0; i < items->size(); ++i) {
        const std::string number = std::to_string(i + 1);
        if ((*items)[i].empty())
            return "Item " + number + " is empty";
        if (spec.itemPattern && findsMatch(*spec.itemPattern, (*items)[i]) == false)
            return spec.help.empty() ? "Item " + number + " must match " + *spec.itemPattern
                                     : "Item " + number + " does not fit: " + spec.help;
    }
    return std::nullopt;
}

std::optional<std::string> validateChoices(const std::vector<std::string>& items,
                                           const SettingSpec& spec) {
    if (std::set<std::string>(items.begin(), items.end()).size() != items.size())
        return "Each value may appear once";
    for (const auto& item : items)
        if (!contains(spec.values, item))
            return "Unknown value " + item + " (allowed: " + joined(spec.values) + ")";
    return std::nullopt;
}

std::optional<std::string> validateChoice(const SettingValue& value, const SettingSpec& spec) {
    if (spec.multiple) {
        if (const auto items = value.listValue())
            return validateChoices(*items, spec);
        return "Must be a list of: " + joined(spec.values);
    }
    if (const auto text = value.textValue())
        return contains(spec.values, *text)
                   ? std::nullopt
                   : std::optional<std::string>("Unknown value " + *text +
                                                " (allowed: " + joined(spec.values) + ")");
    return "Must be one of: " + joined(spec.values);
}

std::string plainNumber(double number) {
    return JSONValue::format(number);
}

const std::array<Rules, 9> table{{
    {
        .kind = Kind::toggle,
        .name = "toggle",
        .expected = [](const SettingSpec&) { return "boolean"; },
        .read = [](const JSONValue& json, const SettingSpec&) -> std::optional<SettingValue> {
            if (const auto flag = json.boolValue())
                return SettingValue::boolean(*flag);
            return std::nullopt;
        },
        .fallback = [](const SettingSpec&) { return SettingValue::boolean(false); },
        .validate = [](const SettingValue& value,
                       const SettingSpec&) -> std::optional<std::string> {
            if (!value.boolValue())
                return "Must be on or off";
            return std::nullopt;
        },
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::number,
        .name = "number",
        .expected = [](const SettingSpec&) { return "number"; },
        .read = readNumber,
        .fallback =
            [](const SettingSpec& spec) { return SettingValue::number(spec.min.value_or(0)); },
        .validate = validateNumber,
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::percent,
        .name = "percent",
        .expected = [](const SettingSpec&) { return "number"; },
        .read = readNumber,
        .fallback =
            [](const SettingSpec& spec) { return SettingValue::number(spec.min.value_or(0)); },
        .validate = validateNumber,
        .liveNumber = [](double number) { return Formatting::percent(number); },
    },
    {
        .kind = Kind::duration,
        .name = "duration",
        .expected = [](const SettingSpec&) { return "duration string"; },
        .read = readText,
        .fallback = emptyText,
        .validate = [](const SettingValue& value,
                       const SettingSpec& spec) -> std::optional<std::string> {
            const auto text = value.textValue();
            if (!text)
                return "Must be a duration";
            if (spec.pattern && findsMatch(*spec.pattern, *text) == false)
                return "Use a duration such as 30s, 10m, or 1h";
            return std::nullopt;
        },
        .liveNumber = [](double number) { return Formatting::duration(number / 1000.0); },
    },
    {
        .kind = Kind::text,
        .name = "text",
        .expected = [](const SettingSpec&) { return "string"; },
        .read = readText,
        .fallback = emptyText,
        .validate = [](const SettingValue& value,
                       const SettingSpec& spec) -> std::optional<std::string> {
            const auto text = value.textValue();
            if (!text)
                return "Must be text";
            if (spec.requiredPrefix && !text->starts_with(*spec.requiredPrefix))
                return "Must start with " + *spec.requiredPrefix;
            return std::nullopt;
        },
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::list,
        .name = "list",
        .expected = [](const SettingSpec&) { return "list of strings"; },
        .read = readList,
        .fallback = emptyList,
        .validate = validateList,
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::enumeration,
        .name = "enum",
        .expected =
            [](const SettingSpec& spec) { return spec.multiple ? "list of values" : "value"; },
        .read = readChoice,
        .fallback =
            [](const SettingSpec& spec) {
                if (spec.multiple)
                    return SettingValue::list({});
                return SettingValue::text(spec.values.empty() ? "" : spec.values.front());
            },
        .validate = validateChoice,
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::path,
        .name = "path",
        .expected = [](const SettingSpec&) { return "string"; },
        .read = readText,
        .fallback = emptyText,
        .validate = [](const SettingValue& value,
                       const SettingSpec&) -> std::optional<std::string> {
            if (!value.textValue())
                return "Must be a path";
            return std::nullopt;
        },
        .liveNumber = plainNumber,
    },
    {
        .kind = Kind::unknown,
        .name = "",
        .expected = [](const SettingSpec&) { return "value"; },
        .read = readRaw,
        .fallback = emptyText,
        .validate = [](const SettingValue&, const SettingSpec&) -> std::optional<std::string> {
            return std::nullopt;
        },
        .liveNumber = plainNumber,
    },
}};

} // namespace

const Rules& of(SettingControl::Kind kind) {
    for (const auto& rules : table)
        if (rules.kind == kind)
            return rules;
    return table.back();
}

const Rules* named(std::string_view name) {
    for (const auto& rules : table)
        if (rules.kind != Kind::unknown && rules.name == name)
            return &rules;
    return nullptr;
}

std::optional<JSONValue> asJSON(std::string_view text) {
    try {
        return JSONValue::decode(text);
    } catch (const JSONError&) {
        return std::nullopt;
    }
}

} // namespace menubar::SettingKinds
