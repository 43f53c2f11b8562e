#pragma once

// How the controls read and edit a field: the field read anew by name, the
// stepper's arithmetic, ticking a multiple choice, the list's edits, when a new
// list item is judged, and where the path picker starts.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SettingsForm.hpp"

namespace menubar::FieldEditing {

// A control reads the field anew by name each time; an absent form or name
// reads as false, 0 or empty.
bool boolValue(const SettingsForm* form, std::string_view name);
double numberValue(const SettingsForm* form, std::string_view name);
std::string textValue(const SettingsForm* form, std::string_view name);
std::string editableText(const SettingsForm* form, std::string_view name);
std::vector<std::string> listValue(const SettingsForm* form, std::string_view name);

// The stepper's closed range; a maximum below the minimum is raised to it so
// the control always has a range.
struct StepperRange {
    double min;
    double max;
    bool operator==(const StepperRange&) const = default;
};
StepperRange stepperRange(const SettingSpec& spec);
// One step up (+1) or down (-1), kept inside the range.
double stepped(double value, int direction, const SettingSpec& spec);

// Whether the choice is ticked, and the list after ticking or unticking it: the
// schema's values in schema order, so values the schema does not offer drop out.
bool isMember(const SettingValue& value, const std::string& choice);
std::vector<std::string> toggledMember(const SettingSpec& spec, const SettingValue& value,
                                       const std::string& choice, bool on);

// The list control's edits; a position outside the list leaves it unchanged.
namespace ListEdit {
std::vector<std::string> typed(std::vector<std::string> items, std::size_t index,
                               const std::string& text);
std::vector<std::string> removed(std::vector<std::string> items, std::size_t index);
std::vector<std::string> added(std::vector<std::string> items);
// "Item 1" for the first position (counted from zero).
std::string placeholder(std::size_t index);
} // namespace ListEdit

// The field's error as its row shows it. A list item just added is judged only
// once the user leaves it: while `unjudgedItem` is being written, an error that
// only that item causes is not shown yet (the form still holds it, so Save
// stays off).
std::optional<std::string> shownError(const SettingField& field,
                                      std::optional<std::size_t> unjudgedItem);

// The folder the path picker opens in: that of the field's value, else of the
// schema's default, else the home folder. A leading tilde is the home folder; a
// path that is not absolute or whose folder `isFolder` denies is passed over.
std::string chooserStart(const SettingField& field, const std::string& home,
                         const std::function<bool(const std::string&)>& isFolder);

} // namespace menubar::FieldEditing
