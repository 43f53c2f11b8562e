#include "SettingsText.hpp"

#include <algorithm>
#include <limits>

#include "status/Formatting.hpp"
#include "system/DaemonCommand.hpp"
#include "system/Paths.hpp"
#include "system/SystemdUnit.hpp"

namespace menubar::SettingsText {

namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty())
            text += separator;
        text += part;
    }
    return text;
}

// A text as a log line quotes it, so that a message holding a comma or a quote
// still reads as one entry.
std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char character : text) {
        switch (character) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            result += character;
        }
    }
    return result + "\"";
}

const SettingField* fieldNamed(const SettingsForm* form, std::string_view name) {
    return form == nullptr ? nullptr : form->field(name);
}

} // namespace

std::string defaultConfigPath(const Environment& environment, const std::string& home,
                              const StatusFile* status) {
    if (const auto variable = environment.find(std::string(configFileKey));
        variable != environment.end() && !variable->second.empty())
        return Paths::expandTilde(variable->second, home);
    if (status != nullptr && status->configFile && status->configFile->path &&
        !status->configFile->path->empty())
        return *status->configFile->path;
    return home + "/.config/tessaly/config.json";
}

SettingsPhase commandNotFound() {
    return SettingsPhase::failed(
        "Daemon command line not found",
        "The settings window runs tessaly config schema to learn the settings. Install the daemon "
        "(tessaly install), put tessaly on PATH, or set " +
            std::string(DaemonCommand::environmentKey) + " to the executable.");
}

SettingsPhase schemaRunFailed(const std::string& description, const CommandOutcome& result) {
    const std::string reason = result.standardError.empty()
                                   ? "exit status " + std::to_string(result.status)
                                   : result.standardError;
    return SettingsPhase::failed("Could not load the settings schema", description + "\n" + reason);
}

SettingsPhase schemaUnreadable(const std::string& description, const std::string& error) {
    return SettingsPhase::failed("The settings schema could not be read",
                                 description + "\n" + error);
}

SettingsPhase configUnreadable(const std::string& path, const std::string& error) {
    return SettingsPhase::failed("The config file could not be read", path + "\n" + error);
}

bool canSave(const SettingsPhase& phase, const SettingsForm* form, const SaveState& saveState) {
    return phase.kind() == SettingsPhase::Kind::loaded && form != nullptr &&
           saveState.kind() != SaveState::Kind::saving &&
           saveState.kind() != SaveState::Kind::restarting && form->isDirty() && form->isValid();
}

SaveReport report(const SaveOutcome& outcome, const std::string& configPath) {
    struct Visitor {
        const std::string& path;
        SaveReport operator()(const SaveOutcome::InvalidLocally& invalid) const {
            return {"Fix the highlighted fields first.",
                    "settings not saved: local validation failed " + describe(invalid.errors)};
        }
        SaveReport operator()(const SaveOutcome::Rejected& rejected) const {
            std::vector<std::string> names;
            for (const auto& entry : rejected.fields)
                names.push_back(entry.first); // a std::map is already in ascending order
            return {names.empty()
                        ? "The daemon rejected the file."
                        : "The daemon rejected the file; see " + joined(names, ", ") + ".",
                    "settings rejected by config validate: fields=" + describe(rejected.fields) +
                        " general=" + describe(rejected.general)};
        }
        SaveReport operator()(const SaveOutcome::CommandFailed& failed) const {
            return {"Could not run config validate: " + failed.message,
                    "settings not saved: " + failed.message};
        }
        SaveReport operator()(const SaveOutcome::WriteFailed& failed) const {
            return {"Could not write " + path + ": " + failed.message,
                    "settings not saved: " + failed.message};
        }
        SaveReport operator()(const SaveOutcome::Saved&) const {
            return {std::nullopt, "settings saved to " + path};
        }
    };
    return std::visit(Visitor{configPath}, outcome.value());
}

std::string describe(const std::map<std::string, std::string>& map) {
    if (map.empty())
        return "[:]";
    std::vector<std::string> entries;
    for (const auto& [key, value] : map)
        entries.push_back(quoted(key) + ": " + quoted(value));
    return "[" + joined(entries, ", ") + "]";
}

std::string describe(const std::vector<std::string>& list) {
    std::vector<std::string> entries;
    for (const auto& item : list)
        entries.push_back(quoted(item));
    return "[" + joined(entries, ", ") + "]";
}

std::string describe(const SaveOutcome& outcome) {
    struct Visitor {
        std::string operator()(const SaveOutcome::InvalidLocally& invalid) const {
            return "invalidLocally(" + describe(invalid.errors) + ")";
        }
        std::string operator()(const SaveOutcome::Rejected& rejected) const {
            return "rejected(fields: " + describe(rejected.fields) +
                   ", general: " + describe(rejected.general) + ")";
        }
        std::string operator()(const SaveOutcome::CommandFailed& failed) const {
            return "commandFailed(" + quoted(failed.message) + ")";
        }
        std::string operator()(const SaveOutcome::WriteFailed& failed) const {
            return "writeFailed(" + quoted(failed.message) + ")";
        }
        std::string operator()(const SaveOutcome::Saved&) const { return "saved"; }
    };
    return std::visit(Visitor{}, outcome.value());
}

std::string fileLine(bool formShown, bool configFileExists, const std::string& configPath) {
    if (!formShown)
        return "Config file: " + configPath;
    return configFileExists
               ? "Editing " + configPath
               : "No config file yet; defaults shown. It will be written to " + configPath;
}

std::string statusLine(bool formShown, const SaveState& saveState, bool restartNeeded,
                       bool daemonInstalled, const TimeZone& timeZone) {
    switch (saveState.kind()) {
    case SaveState::Kind::idle:
        if (restartNeeded)
            return "Restart the daemon to apply the saved settings.";
        if (!formShown)
            return "Nothing to save until the settings load.";
        if (!daemonInstalled)
            return "Daemon not installed (run: tessaly install); a daemon started by hand reads "
                   "the file on its next start.";
        return "Save validates the file through the daemon, then offers to restart it.";
    case SaveState::Kind::saving:
        return "Validating with the daemon...";
    case SaveState::Kind::saved:
        return "Saved at " + Formatting::clock(saveState.savedAt(), timeZone) +
               ". Restart the daemon to apply.";
    case SaveState::Kind::failed:
        return saveState.message();
    case SaveState::Kind::restarting:
        return "Restarting the daemon...";
    }
    return {};
}

std::string restartHelp(const ServiceControls& service) {
    if (!service.installed)
        return "Daemon not installed (run: tessaly install)";
    switch (service.manager) {
    case ServiceManager::launchd:
        return "Run launchctl kickstart on the daemon so it reads the config file again";
    case ServiceManager::systemd:
        return "Run systemctl --user restart " + std::string(SystemdUnit::unitName) +
               " so the daemon reads the config file again";
    }
    return {};
}

std::optional<std::string> unknownKeysNotice(const std::vector<std::string>& unknownKeys) {
    if (unknownKeys.empty())
        return std::nullopt;
    return "The config file has keys the daemon does not know: " + joined(unknownKeys, ", ") +
           ". They are kept as they are, and the daemon will reject the file until they are "
           "removed.";
}

std::string saveOnOpenLine(const std::string& configPath) {
    return "save-on-open: setting " + std::string(saveOnOpenSetting) + " to " +
           JSONValue::format(saveOnOpenValue) + " and saving to " + configPath;
}

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

std::string liveValue(const JSONValue& value, const SettingControl& control) {
    using Formatting::duration, Formatting::join, Formatting::percent;
    switch (value.kind()) {
    case JSONValue::Kind::boolean:
        return *value.boolValue() ? "on" : "off";
    case JSONValue::Kind::number: {
        const double number = *value.numberValue();
        switch (control.kind()) {
        case SettingControl::Kind::percent:
            return percent(number);
        case SettingControl::Kind::duration:
            return duration(number / 1000.0);
        case SettingControl::Kind::toggle:
        case SettingControl::Kind::number:
        case SettingControl::Kind::text:
        case SettingControl::Kind::list:
        case SettingControl::Kind::enumeration:
        case SettingControl::Kind::path:
        case SettingControl::Kind::unknown:
            return JSONValue::format(number);
        }
        return JSONValue::format(number);
    }
    case JSONValue::Kind::string:
        return value.stringValue()->empty() ? "empty" : *value.stringValue();
    case JSONValue::Kind::array: {
        const auto& elements = *value.arrayValue();
        if (elements.empty())
            return "none";
        std::vector<std::string> parts;
        for (const auto& element : elements)
            parts.push_back(element.compactText());
        return join(parts, ", ");
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

} // namespace menubar::SettingsText
