#include "SettingsForm.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <set>
#include <utility>

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include "system/UnicodeText.hpp"

namespace menubar {

namespace {

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

// The text as one complete JSON document, if it is one.
std::optional<JSONValue> asJSON(std::string_view text) {
    try {
        return JSONValue::decode(text);
    } catch (const JSONError&) {
        return std::nullopt;
    }
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

const char* expectedKind(const SettingSpec& spec) {
    switch (spec.control.kind()) {
    case SettingControl::Kind::toggle:
        return "boolean";
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        return "number";
    case SettingControl::Kind::duration:
        return "duration string";
    case SettingControl::Kind::text:
    case SettingControl::Kind::path:
        return "string";
    case SettingControl::Kind::list:
        return "list of strings";
    case SettingControl::Kind::enumeration:
        return spec.multiple ? "list of values" : "value";
    case SettingControl::Kind::unknown:
        return "value";
    }
    return "value";
}

std::string unreadableMessage(const JSONValue& fileValue, const SettingSpec& spec) {
    return "The file holds " + fileValue.compactText() + ", which is not a " + expectedKind(spec);
}

std::optional<std::string> validateNumber(double number, const SettingSpec& spec) {
    if (spec.integer && std::round(number) != number)
        return "Must be a whole number";
    if (spec.min && spec.max) {
        if (!(*spec.min <= number && number <= *spec.max))
            return "Must be between " + JSONValue::format(*spec.min) + " and " +
                   JSONValue::format(*spec.max);
    } else if (spec.min) {
        if (!(number >= *spec.min))
            return "Must be at least " + JSONValue::format(*spec.min);
    } else if (spec.max) {
        if (!(number <= *spec.max))
            return "Must be at most " + JSONValue::format(*spec.max);
    }
    return std::nullopt;
}

std::optional<std::string> validateList(const std::vector<std::string>& items,
                                        const SettingSpec& spec) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        if (items[i].empty())
            return "Item " + number + " is empty";
        if (spec.itemPattern && findsMatch(*spec.itemPattern, items[i]) == false)
            return "Item " + number + " must match " + *spec.itemPattern;
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

} // namespace

std::optional<bool> SettingValue::boolValue() const {
    if (const auto* value = std::get_if<bool>(&storage_))
        return *value;
    return std::nullopt;
}
std::optional<double> SettingValue::numberValue() const {
    if (const auto* value = std::get_if<double>(&storage_))
        return *value;
    return std::nullopt;
}
std::optional<std::string> SettingValue::textValue() const {
    if (const auto* value = std::get_if<std::string>(&storage_))
        return *value;
    return std::nullopt;
}
std::optional<std::vector<std::string>> SettingValue::listValue() const {
    if (const auto* value = std::get_if<std::vector<std::string>>(&storage_))
        return *value;
    return std::nullopt;
}

bool SettingValue::isEmpty() const {
    if (const auto* text = std::get_if<std::string>(&storage_))
        return text->empty();
    if (const auto* items = std::get_if<std::vector<std::string>>(&storage_))
        return items->empty();
    return false;
}

std::optional<SettingValue> SettingValue::from(const JSONValue& json, const SettingSpec& spec) {
    switch (spec.control.kind()) {
    case SettingControl::Kind::toggle:
        if (const auto flag = json.boolValue())
            return boolean(*flag);
        return std::nullopt;
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        if (const auto value = json.numberValue())
            return number(*value);
        if (const auto* string = json.stringValue())
            if (const auto value = parseNumber(*string))
                return number(*value);
        return std::nullopt;
    case SettingControl::Kind::duration:
    case SettingControl::Kind::text:
    case SettingControl::Kind::path:
        if (const auto* string = json.stringValue())
            return text(*string);
        return std::nullopt;
    case SettingControl::Kind::list:
        if (auto items = stringList(json))
            return list(std::move(*items));
        return std::nullopt;
    case SettingControl::Kind::enumeration:
        if (spec.multiple) {
            if (auto items = stringList(json))
                return list(std::move(*items));
        } else if (const auto* string = json.stringValue()) {
            return text(*string);
        }
        return std::nullopt;
    case SettingControl::Kind::unknown:
        // Whatever is shown must read back as the very value the file holds, or a
        // save that touched other settings would turn "42" into 42. So a string
        // that would read back as other JSON is shown quoted, as JSON itself.
        if (const auto* string = json.stringValue())
            return text(asJSON(*string) ? JSONValue::encode(json, false) : *string);
        return text(json.compactText());
    }
    return std::nullopt;
}

JSONValue SettingValue::json(const SettingSpec& spec) const {
    return std::visit(
        [&spec](const auto& payload) -> JSONValue {
            using T = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<T, bool>) {
                return JSONValue::boolean(payload);
            } else if constexpr (std::is_same_v<T, double>) {
                return JSONValue::number(payload);
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (!spec.control.isKnown())
                    if (auto decoded = asJSON(payload))
                        return *decoded;
                return JSONValue::string(payload);
            } else {
                JSONValue::Array items;
                for (const auto& item : payload)
                    items.push_back(JSONValue::string(item));
                return JSONValue::array(std::move(items));
            }
        },
        storage_);
}

SettingValue SettingField::defaultValue(const SettingSpec& spec) {
    if (spec.defaultValue)
        if (auto value = SettingValue::from(*spec.defaultValue, spec))
            return *value;
    switch (spec.control.kind()) {
    case SettingControl::Kind::toggle:
        return SettingValue::boolean(false);
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        return SettingValue::number(spec.min.value_or(0));
    case SettingControl::Kind::list:
        return SettingValue::list({});
    case SettingControl::Kind::enumeration:
        if (spec.multiple)
            return SettingValue::list({});
        return SettingValue::text(spec.values.empty() ? "" : spec.values.front());
    case SettingControl::Kind::duration:
    case SettingControl::Kind::text:
    case SettingControl::Kind::path:
    case SettingControl::Kind::unknown:
        return SettingValue::text("");
    }
    return SettingValue::text("");
}

SettingField SettingField::load(const SettingSpec& spec,
                                const std::optional<JSONValue>& fileValue) {
    SettingField field{.spec = spec, .value = defaultValue(spec)};
    if (fileValue) {
        field.isSet = true;
        field.source = ValueSource::file;
        if (auto converted = SettingValue::from(*fileValue, spec)) {
            field.value = std::move(*converted);
            field.error = SettingsForm::validate(field.value, spec);
        } else {
            field.unreadableFileValue = fileValue;
            field.error = unreadableMessage(*fileValue, spec);
        }
    }
    field.loadedValue = field.value;
    field.loadedIsSet = field.isSet;
    return field;
}

bool SettingField::counts(const SettingValue& value, const SettingSpec& spec) {
    if (!value.isEmpty())
        return true;
    if (value.kind() != SettingValue::Kind::list)
        return false;
    const auto defaults = defaultValue(spec).listValue();
    return defaults && !defaults->empty();
}

std::optional<std::string> SettingField::localError() const {
    if (unreadableFileValue)
        return unreadableMessage(*unreadableFileValue, spec);
    return isSet ? SettingsForm::validate(value, spec) : std::nullopt;
}

bool SettingField::isDirty() const {
    return isSet != loadedIsSet || (isSet && value != loadedValue);
}

std::string SettingField::editableText() const {
    auto text = value.textValue();
    if (!text)
        return "";
    if (spec.requiredPrefix && text->starts_with(*spec.requiredPrefix)) {
        text->erase(0, spec.requiredPrefix->size());
        if (text->starts_with(' '))
            text->erase(0, 1);
    }
    return *text;
}

std::string SettingField::defaultText() const {
    return spec.defaultValue ? spec.defaultValue->compactText() : "";
}

std::optional<JSONValue> SettingField::serializedValue() const {
    if (unreadableFileValue)
        return unreadableFileValue;
    if (isSet)
        return value.json(spec);
    return std::nullopt;
}

SettingsFormError::SettingsFormError(Kind kind)
    : std::runtime_error("The config file must hold one JSON object"), kind(kind) {}

JSONObject SettingsForm::parseFile(std::string_view data) {
    const JSONValue value = JSONValue::decode(data);
    const auto* object = value.objectValue();
    if (object == nullptr)
        throw SettingsFormError(SettingsFormError::Kind::notAnObject);
    return *object;
}

SettingsForm::SettingsForm(SettingsSchema schema, const JSONObject& file)
    : schema_(std::move(schema)) {
    std::set<std::string, std::less<>> names;
    for (const auto& spec : schema_.settings()) {
        const auto found = file.find(spec.name);
        fields_.push_back(SettingField::load(
            spec, found == file.end() ? std::nullopt : std::optional<JSONValue>(found->second)));
        names.insert(spec.name);
    }
    for (const auto& [key, value] : file)
        if (!names.contains(key))
            passthrough_.emplace(key, value);
}

std::vector<SettingField> SettingsForm::fields(const SettingsGroup& group) const {
    std::vector<SettingField> found;
    for (const auto& spec : group.settings)
        if (const auto* match = field(spec.name))
            found.push_back(*match);
    return found;
}

const SettingField* SettingsForm::field(std::string_view name) const {
    for (const auto& candidate : fields_)
        if (candidate.name() == name)
            return &candidate;
    return nullptr;
}

SettingField* SettingsForm::mutableField(std::string_view name) {
    return const_cast<SettingField*>(std::as_const(*this).field(name));
}

std::vector<std::string> SettingsForm::unknownKeys() const {
    std::vector<std::string> keys;
    for (const auto& [key, value] : passthrough_)
        if (key != schemaKey)
            keys.push_back(key);
    return keys; // the map already holds them in ascending order
}

void SettingsForm::set(std::string_view name, const SettingValue& value) {
    SettingField* target = mutableField(name);
    if (target == nullptr)
        return;
    target->unreadableFileValue.reset();
    target->value = value;
    target->isSet = SettingField::counts(value, target->spec);
    target->error = target->localError();
    dropDaemonErrors();
}

void SettingsForm::setEditableText(std::string_view name, const std::string& text) {
    const SettingField* target = field(name);
    if (target == nullptr)
        return;
    const auto& prefix = target->spec.requiredPrefix;
    if (!prefix) {
        set(name, SettingValue::text(text));
        return;
    }
    // The prefix is shown beside the field; typed (or pasted) anyway, it is
    // taken as that same prefix rather than written twice.
    std::string_view typed = text;
    if (const auto start = UnicodeText::trimmedStart(typed, u_isUWhiteSpace);
        !prefix->empty() && start.starts_with(*prefix)) {
        typed = start.substr(prefix->size());
        if (typed.starts_with(' '))
            typed.remove_prefix(1);
    }
    if (UnicodeText::trimmed(typed, u_isUWhiteSpace).empty())
        set(name, SettingValue::text(""));
    else
        set(name, SettingValue::text(*prefix + " " + std::string(typed)));
}

void SettingsForm::reset(std::string_view name) {
    SettingField* target = mutableField(name);
    if (target == nullptr)
        return;
    target->unreadableFileValue.reset();
    target->value = SettingField::defaultValue(target->spec);
    target->isSet = false;
    target->error.reset();
    dropDaemonErrors();
}

void SettingsForm::dropDaemonErrors() {
    for (auto& field : fields_) {
        if (field.errorIsDaemons) {
            field.error = field.localError();
            field.errorIsDaemons = false;
        }
    }
}

void SettingsForm::applySources(const std::map<std::string, ConfigSource>& sources) {
    for (auto& field : fields_) {
        const auto found = sources.find(field.name());
        field.isLockedByFlag = found != sources.end() && found->second == ConfigSource::cli;
    }
}

void SettingsForm::applyErrors(const std::map<std::string, std::string>& errors) {
    for (auto& field : fields_)
        if (const auto found = errors.find(field.name()); found != errors.end()) {
            field.error = found->second;
            field.errorIsDaemons = true;
        }
}

void SettingsForm::markSaved() {
    for (auto& field : fields_) {
        field.loadedValue = field.value;
        field.loadedIsSet = field.isSet;
        field.source =
            !field.isSet && !field.unreadableFileValue ? ValueSource::default_ : ValueSource::file;
    }
}

bool SettingsForm::isDirty() const {
    return std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f.isDirty(); });
}

bool SettingsForm::isValid() const {
    return std::none_of(fields_.begin(), fields_.end(), [](const auto& f) { return f.error; });
}

std::map<std::string, std::string> SettingsForm::errors() const {
    std::map<std::string, std::string> found;
    for (const auto& field : fields_)
        if (field.error)
            found.insert_or_assign(field.name(), *field.error);
    return found;
}

JSONValue SettingsForm::serialized() const {
    JSONObject object = passthrough_;
    for (const auto& field : fields_)
        if (auto value = field.serializedValue())
            object.insert_or_assign(field.name(), std::move(*value));
    return JSONValue::object(std::move(object));
}

std::string SettingsForm::serializedData() const {
    return JSONValue::encode(serialized(), true) + "\n";
}

std::optional<std::string> SettingsForm::validate(const SettingValue& value,
                                                  const SettingSpec& spec) {
    const auto allowed = [&spec] { return " (allowed: " + joined(spec.values) + ")"; };
    switch (spec.control.kind()) {
    case SettingControl::Kind::toggle:
        if (!value.boolValue())
            return "Must be on or off";
        return std::nullopt;
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        if (const auto number = value.numberValue())
            return validateNumber(*number, spec);
        return "Must be a number";
    case SettingControl::Kind::duration: {
        const auto text = value.textValue();
        if (!text)
            return "Must be a duration";
        if (spec.pattern && findsMatch(*spec.pattern, *text) == false)
            return "Use a duration such as 30s, 10m, or 1h";
        return std::nullopt;
    }
    case SettingControl::Kind::text: {
        const auto text = value.textValue();
        if (!text)
            return "Must be text";
        if (spec.requiredPrefix && !text->starts_with(*spec.requiredPrefix))
            return "Must start with " + *spec.requiredPrefix;
        return std::nullopt;
    }
    case SettingControl::Kind::list:
        if (const auto items = value.listValue())
            return validateList(*items, spec);
        return "Must be a list";
    case SettingControl::Kind::enumeration:
        if (spec.multiple) {
            if (const auto items = value.listValue())
                return validateChoices(*items, spec);
            return "Must be a list of: " + joined(spec.values);
        }
        if (const auto text = value.textValue())
            return contains(spec.values, *text)
                       ? std::nullopt
                       : std::optional<std::string>("Unknown value " + *text + allowed());
        return "Must be one of: " + joined(spec.values);
    case SettingControl::Kind::path:
        if (!value.textValue())
            return "Must be a path";
        return std::nullopt;
    case SettingControl::Kind::unknown:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace menubar
