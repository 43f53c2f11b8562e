#include "FieldEditing.hpp"

#include <algorithm>
#include <limits>

#include "system/Paths.hpp"

namespace menubar::FieldEditing {

namespace {

const SettingField* fieldNamed(const SettingsForm* form, std::string_view name) {
    return form == nullptr ? nullptr : form->field(name);
}

// The folder holding an absolute path: "/a/b" → "/a", "/a" → "/"; nothing for
// an empty or relative path.
std::optional<std::string> folderOf(const std::string& path, const std::string& home) {
    const std::string expanded = Paths::expandTilde(path, home);
    if (expanded.empty() || expanded.front() != '/')
        return std::nullopt;
    const auto slash = expanded.find_last_of('/');
    return slash == 0 ? std::string("/") : expanded.substr(0, slash);
}

} // namespace

bool boolValue(const SettingsForm* form, std::string_view name) {
    const auto* field = fieldNamed(form, name);
    return field != nullptr && field->value.boolValue().value_or(false);
}

double numberValue(const SettingsForm* form, std::string_view name) {
    const auto* field = fieldNamed(form, name);
    return field == nullptr ? 0 : field->value.numberValue().value_or(0);
}

std::string textValue(const SettingsForm* form, std::string_view name) {
    const auto* field = fieldNamed(form, name);
    return field == nullptr ? std::string() : field->value.textValue().value_or(std::string());
}

std::string editableText(const SettingsForm* form, std::string_view name) {
    const auto* field = fieldNamed(form, name);
    return field == nullptr ? std::string() : field->editableText();
}

std::vector<std::string> listValue(const SettingsForm* form, std::string_view name) {
    const auto* field = fieldNamed(form, name);
    return field == nullptr ? std::vector<std::string>()
                            : field->value.listValue().value_or(std::vector<std::string>());
}

StepperRange stepperRange(const SettingSpec& spec) {
    const double min = spec.min.value_or(std::numeric_limits<double>::lowest());
    const double max = spec.max.value_or(std::numeric_limits<double>::max());
    return {min, std::max(min, max)};
}

double stepped(double value, int direction, const SettingSpec& spec) {
    const StepperRange range = stepperRange(spec);
    return std::clamp(value + direction * spec.step(), range.min, range.max);
}

bool isMember(const SettingValue& value, const std::string& choice) {
    const auto list = value.listValue();
    return list && std::find(list->begin(), list->end(), choice) != list->end();
}

std::vector<std::string> toggledMember(const SettingSpec& spec, const SettingValue& value,
                                       const std::string& choice, bool on) {
    std::vector<std::string> result;
    for (const auto& candidate : spec.values) {
        if (candidate == choice ? on : isMember(value, candidate))
            result.push_back(candidate);
    }
    return result;
}

namespace ListEdit {

std::vector<std::string> typed(std::vector<std::string> items, std::size_t index,
                               const std::string& text) {
    if (index < items.size())
        items[index] = text;
    return items;
}

std::vector<std::string> removed(std::vector<std::string> items, std::size_t index) {
    if (index < items.size())
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    return items;
}

std::vector<std::string> added(std::vector<std::string> items) {
    items.emplace_back();
    return items;
}

std::string placeholder(std::size_t index) {
    return "Item " + std::to_string(index + 1);
}

} // namespace ListEdit

std::optional<std::string> shownError(const SettingField& field,
                                      std::optional<std::size_t> unjudgedItem) {
    if (!field.error || !unjudgedItem || field.errorIsDaemons || field.unreadableFileValue)
        return field.error;
    const auto items = field.value.listValue();
    if (!items || *unjudgedItem >= items->size())
        return field.error;
    const auto others = SettingValue::list(ListEdit::removed(*items, *unjudgedItem));
    if (SettingsForm::validate(others, field.spec))
        return field.error;
    return std::nullopt;
}

std::string chooserStart(const SettingField& field, const std::string& home,
                         const std::function<bool(const std::string&)>& isFolder) {
    std::vector<std::string> candidates;
    if (const auto text = field.value.textValue())
        candidates.push_back(*text);
    if (field.spec.defaultValue)
        if (const auto* text = field.spec.defaultValue->stringValue())
            candidates.push_back(*text);
    for (const auto& candidate : candidates)
        if (const auto folder = folderOf(candidate, home); folder && isFolder(*folder))
            return *folder;
    return home;
}

} // namespace menubar::FieldEditing
