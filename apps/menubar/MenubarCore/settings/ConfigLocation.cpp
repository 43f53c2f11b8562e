#include "ConfigLocation.hpp"

#include "system/Paths.hpp"
#include "json/JSONValue.hpp"

namespace menubar::ConfigLocation {

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

std::string saveOnOpenLine(const std::string& configPath) {
    return "save-on-open: setting " + std::string(saveOnOpenSetting) + " to " +
           JSONValue::format(saveOnOpenValue) + " and saving to " + configPath;
}

} // namespace menubar::ConfigLocation
