#pragma once

// The texts of one setting's row beside its control: the source, reset and its
// help, the placeholders, the lock note, the value the running daemon uses, and
// what a screen reader says for the controls that show no label of their own.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "SettingsForm.hpp"
#include "system/ServiceManager.hpp"
#include "json/JSONValue.hpp"

namespace menubar::SettingRowText {

std::string sourceText(const SettingField& field);
bool canReset(const SettingField& field);
std::string resetHelp(const SettingField& field);
std::string pathPlaceholder(const SettingField& field);
// "Default: ..." under an empty multi-line editor, when there is a default.
std::optional<std::string> multilineDefault(const SettingField& field);
std::string unknownKindNote(const SettingControl& control);
inline constexpr std::string_view prefixHelp =
    "Every message starts with this prefix; it is added for you.";
// The note beside a field the daemon's command line sets, naming where that
// command line lives: the launch agent (launchd) or the systemd unit.
std::string lockNote(ServiceManager manager);

// A setting's effective value as the daemon reports it, in the form its control shows.
std::string liveValue(const JSONValue& value, const SettingControl& control);
// What the running daemon uses for the field, when it reports that setting.
std::optional<std::string> liveValue(const std::optional<JSONObject>& liveSettings,
                                     const SettingField& field);
std::string liveLine(const std::string& liveValue);

// What a screen reader says; `label` is the setting's.
namespace Spoken {
std::string step(const std::string& label, int direction);           // "Increase Warn context"
std::string listItem(const std::string& label, std::size_t index);   // "Ignore dirs, item 1"
std::string removeItem(const std::string& label, std::size_t index); // counted from zero
std::string addItem(const std::string& label);
std::string reset(const std::string& label, const std::string& resetHelp);
} // namespace Spoken

} // namespace menubar::SettingRowText
