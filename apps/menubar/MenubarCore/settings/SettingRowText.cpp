#include "SettingRowText.hpp"

#include <vector>

#include "SettingKinds.hpp"
#include "status/Formatting.hpp"
#include "system/SystemdUnit.hpp"

namespace menubar::SettingRowText {

std::string sourceText(const SettingField& field) {
    if (field.isLockedByFlag)
        return "set by a flag";
    return field.source == ValueSource::file ? "from file" : "default";
}

bool canReset(const SettingField& field) {
    return !field.isLockedByFlag && (field.isSet || field.unreadableFileValue.has_value());
}

std::string resetHelp(const SettingField& field) {
    const std::string defaultText = field.defaultText();
    return defaultText.empty()
               ? "Remove the key from the file"
               : "Remove the key from the file; the daemon then uses " + defaultText;
}

std::string pathPlaceholder(const SettingField& field) {
    const std::string defaultText = field.defaultText();
    return defaultText.empty() ? "Leave empty for the default" : defaultText;
}

std::optional<std::string> multilineDefault(const SettingField& field) {
    const std::string defaultText = field.defaultText();
    if (!field.editableText().empty() || defaultText.empty())
        return std::nullopt;
    return "Default: " + defaultText;
}

std::string unknownKindNote(const SettingControl& control) {
    return "This app does not know the control kind " + control.rawValue() +
           "; the value is edited as raw JSON.";
}

std::string lockNote(ServiceManager manager) {
    switch (manager) {
    case ServiceManager::launchd:
        break;
    case ServiceManager::systemd:
        return "Set by a command-line flag in the systemd unit " +
               std::string(SystemdUnit::unitName) + "; reinstall the daemon to manage it here.";
    }
    return "Set by a command-line flag in the launch agent; reinstall the daemon to manage it "
           "here.";
}

std::string liveValue(const JSONValue& value, const SettingControl& control) {
    switch (value.kind()) {
    case JSONValue::Kind::boolean:
        return *value.boolValue() ? "on" : "off";
    case JSONValue::Kind::number:
        return SettingKinds::of(control.kind()).liveNumber(*value.numberValue());
    case JSONValue::Kind::string:
        return value.stringValue()->empty() ? "empty" : *value.stringValue();
    case JSONValue::Kind::array: {
        const auto& elements = *value.arrayValue();
        if (elements.empty())
            return "none";
        std::vector<std::string> parts;
        for (const auto& element : elements)
            parts.push_back(element.compactText());
        return Formatting::join(parts, ", ");
    }
    case JSONValue::Kind::object:
        return value.compactText();
    case JSONValue::Kind::null:
        return "not set";
    }
    return "not set";
}

std::optional<std::string> liveValue(const std::optional<JSONObject>& liveSettings,
                                     const SettingField& field) {
    if (!liveSettings || liveSettings->empty())
        return std::nullopt;
    const auto entry = liveSettings->find(field.name());
    if (entry == liveSettings->end())
        return std::nullopt;
    return liveValue(entry->second, field.spec.control);
}

std::string liveLine(const std::string& liveValue) {
    return "Daemon is running with: " + liveValue;
}

namespace Spoken {

std::string step(const std::string& label, int direction) {
    return (direction > 0 ? "Increase " : "Decrease ") + label;
}

std::string listItem(const std::string& label, std::size_t index) {
    return label + ", item " + std::to_string(index + 1);
}

std::string removeItem(const std::string& label, std::size_t index) {
    return "Remove item " + std::to_string(index + 1) + " of " + label;
}

std::string addItem(const std::string& label) {
    return "Add an item to " + label;
}

std::string reset(const std::string& label, const std::string& resetHelp) {
    return label + ": " + resetHelp;
}

} // namespace Spoken

} // namespace menubar::SettingRowText
