#pragma once

// The service manager that runs the daemon as the user's own service: launchd on
// macOS, a systemd user unit elsewhere. The app picks one at start-up; what the
// menu and the settings window show of the service follows from this value, so
// neither needs to know which platform it runs on.

#include <map>
#include <string>
#include <string_view>

namespace menubar {

enum class ServiceManager { launchd, systemd };

// What the menu and the settings window know of the daemon's service at one poll.
struct ServiceControls {
    ServiceManager manager = ServiceManager::launchd;
    bool installed = false;

    // launchd's "kickstart -k" starts a stopped daemon and restarts a running one,
    // so one request serves both; systemd's start leaves a running unit as it is,
    // so restarting is a request of its own there.
    bool startRestarts() const { return manager == ServiceManager::launchd; }

    bool operator==(const ServiceControls&) const = default;
};

namespace ServiceFiles {

// The manager of the platform this is built for.
#ifdef __APPLE__
inline constexpr ServiceManager native = ServiceManager::launchd;
#else
inline constexpr ServiceManager native = ServiceManager::systemd;
#endif

using Environment = std::map<std::string, std::string>;

// An XDG base directory: the variable's value when it is an absolute path (the
// base-directory rules say to ignore relative ones), else home + "/" + fallback.
std::string xdgDirectory(const Environment& environment, std::string_view variable,
                         const std::string& home, std::string_view fallback);

// Where the daemon keeps its logs: home + "/Library/Logs/tessaly" under launchd;
// $XDG_STATE_HOME/tessaly/logs (default ~/.local/state/tessaly/logs) under systemd.
std::string logsDirectory(ServiceManager manager, const Environment& environment,
                          const std::string& home);

} // namespace ServiceFiles

} // namespace menubar
