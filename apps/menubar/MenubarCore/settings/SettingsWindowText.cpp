#include "SettingsWindowText.hpp"

#include "status/Formatting.hpp"
#include "system/SystemdUnit.hpp"

namespace menubar::SettingsWindowText {

namespace {

constexpr std::string_view zeroWidthSpace = "\u200B";
// Keeps "folder-name" whole: a hyphen is a break opportunity of its own.
constexpr std::string_view wordJoiner = "\u2060";

} // namespace

std::string fileLine(bool formShown, bool configFileExists, const std::string& configPath) {
    if (!formShown)
        return "Config file: " + configPath;
    return configFileExists
               ? "Editing " + configPath
               : "No config file yet; defaults shown. It will be written to " + configPath;
}

std::string statusLine(bool formShown, const SaveState& saveState, bool restartNeeded,
                       bool daemonInstalled, const TimeZone& timeZone, bool configFileUnreadable) {
    switch (saveState.kind()) {
    case SaveState::Kind::idle:
        // Only where a restart would otherwise be offered or advised.
        if (configFileUnreadable && (restartNeeded || daemonInstalled))
            return "The config file cannot be read; fix it before restarting the daemon, which "
                   "would start on it.";
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

bool canRestart(const SettingsPhase& phase, const SaveState& saveState, bool daemonInstalled) {
    return daemonInstalled && !phase.configFileUnreadable() &&
           saveState.kind() != SaveState::Kind::restarting &&
           saveState.kind() != SaveState::Kind::saving;
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
    std::string keys;
    for (const auto& key : unknownKeys) {
        if (!keys.empty())
            keys += ", ";
        keys += key;
    }
    return "The config file has keys the daemon does not know: " + keys +
           ". They are kept as they are, and the daemon will reject the file until they are "
           "removed.";
}

std::string withPathBreaks(const std::string& text) {
    std::string result;
    for (const char character : text) {
        result += character;
        if (character == '/')
            result += zeroWidthSpace;
        else if (character == '-')
            result += wordJoiner;
    }
    return result;
}

std::string withoutBreaks(const std::string& text) {
    std::string result = text;
    for (const auto mark : {zeroWidthSpace, wordJoiner})
        for (auto at = result.find(mark); at != std::string::npos; at = result.find(mark, at))
            result.erase(at, mark.size());
    return result;
}

} // namespace menubar::SettingsWindowText
