#include "SettingsForm.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include <unicode/uchar.h>

#include "SettingKinds.hpp"
#include "system/UnicodeText.hpp"

namespace menubar {

namespace {

std::string unreadableMessage(const JSONValue& fileValue, const SettingSpec& spec) {
    return "The file holds " + fileValue.compactText() + ", which is not a " +
           SettingKinds::of(spec.control.kind()).expected(spec);
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
    return SettingKinds::of(spec.control.kind()).read(json, spec);
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
                    if (auto decoded = SettingKinds::asJSON(payload))
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
    return SettingKinds::of(spec.control.kind()).fallback(spec);
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
    return SettingKinds::of(spec.control.kind()).validate(value, spec);
}

} // namespace menubar
