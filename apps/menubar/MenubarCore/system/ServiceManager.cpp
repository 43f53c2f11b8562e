#include "ServiceManager.hpp"

namespace menubar::ServiceFiles {

std::string xdgDirectory(const Environment& environment, std::string_view variable,
                         const std::string& home, std::string_view fallback) {
    if (const auto found = environment.find(std::string(variable));
        found != environment.end() && !found->second.empty() && found->second.front() == '/')
        return found->second;
    return home + "/" + std::string(fallback);
}

std::string logsDirectory(ServiceManager manager, const Environment& environment,
                          const std::string& home) {
    switch (manager) {
    case ServiceManager::launchd:
        return home + "/Library/Logs/tessaly";
    case ServiceManager::systemd:
        return xdgDirectory(environment, "XDG_STATE_HOME", home, ".local/state") + "/tessaly/logs";
    }
    return {};
}

} // namespace menubar::ServiceFiles
