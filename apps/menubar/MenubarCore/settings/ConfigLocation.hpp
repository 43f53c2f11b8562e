#pragma once

// Where the config file the settings window edits lives, and the environment
// keys that move it or save it once on opening (a hook for automated checks).

#include <map>
#include <string>
#include <string_view>

#include "status/Models.hpp"

namespace menubar::ConfigLocation {

using Environment = std::map<std::string, std::string>;

inline constexpr std::string_view configFileKey = "TESSALY_CONFIG_FILE";
inline constexpr std::string_view saveOnOpenKey = "TESSALY_MENUBAR_SAVE_ON_OPEN";
inline constexpr std::string_view saveOnOpenSetting = "warn-context";
inline constexpr double saveOnOpenValue = 45;
inline constexpr std::string_view saveOnOpenIgnored =
    "TESSALY_MENUBAR_SAVE_ON_OPEN ignored: set TESSALY_CONFIG_FILE to a scratch file first";

// TESSALY_CONFIG_FILE when set and not empty (a leading tilde is the home
// directory), else the path the running daemon reports, else the usual place.
std::string defaultConfigPath(const Environment& environment, const std::string& home,
                              const StatusFile* status);

// The log line of the save-on-open hook as it sets its value.
std::string saveOnOpenLine(const std::string& configPath);

} // namespace menubar::ConfigLocation
