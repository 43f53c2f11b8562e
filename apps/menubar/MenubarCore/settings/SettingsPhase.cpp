#include "SettingsPhase.hpp"

#include "system/DaemonCommand.hpp"

namespace menubar {

SettingsPhase SettingsPhase::commandNotFound() {
    return failed(
        "Daemon command line not found",
        "The settings window runs tessaly config schema to learn the settings. Install the daemon "
        "(tessaly install), put tessaly on PATH, or set " +
            std::string(DaemonCommand::environmentKey) + " to the executable.");
}

SettingsPhase SettingsPhase::schemaRunFailed(const std::string& description,
                                             const CommandOutcome& result) {
    const std::string reason = result.standardError.empty()
                                   ? "exit status " + std::to_string(result.status)
                                   : result.standardError;
    return failed("Could not load the settings schema", description + "\n" + reason);
}

SettingsPhase SettingsPhase::schemaUnreadable(const std::string& description,
                                              const std::string& error) {
    return failed("The settings schema could not be read", description + "\n" + error);
}

SettingsPhase SettingsPhase::configUnreadable(const std::string& path, const std::string& error) {
    SettingsPhase phase = failed("The config file could not be read", path + "\n" + error);
    phase.failed_.configFileUnreadable = true;
    return phase;
}

} // namespace menubar
