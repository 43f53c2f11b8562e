#pragma once

// The daemon as a systemd user unit: where `tessaly.service` and its drop-ins
// live, and the daemon's command line read from its ExecStart= the way systemd
// reads it (systemd.syntax(7), systemd.service(5)). A unit is a file anyone with
// the user's rights may edit, so every problem is a refusal with a reason for the
// log, never an exception; the caller then looks for the daemon elsewhere.
// Nothing here touches the disk itself: reads and listings come in as functions.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DaemonCommand.hpp"
#include "FileSystem.hpp"
#include "ServiceManager.hpp"

namespace menubar::SystemdUnit {

inline constexpr std::string_view unitName = "tessaly.service";
// systemd's own limit on a unit file; nothing larger is a unit of ours.
inline constexpr std::uint64_t sizeLimit = 1 << 20;

// The folders systemd looks in for a user unit, most important first:
// $XDG_CONFIG_HOME/systemd/user (default ~/.config/systemd/user), /etc/systemd/user,
// $XDG_DATA_HOME/systemd/user (default ~/.local/share/systemd/user),
// /usr/local/lib/systemd/user and /usr/lib/systemd/user.
std::vector<std::string> directories(const ServiceFiles::Environment& environment,
                                     const std::string& home);

// Where the user's own unit goes: the first of those folders + "/tessaly.service".
std::string userUnitPath(const ServiceFiles::Environment& environment, const std::string& home);

// One file as read: its path (named in refusals) and its bytes.
struct UnitFile {
    std::string path;
    std::string text;
};

// Why the unit gives no command; one line for the log.
struct Refusal {
    std::string reason;
    bool operator==(const Refusal&) const = default;
};

using Reading = std::variant<DaemonCommand, Refusal>;

// The unit (first) and its drop-ins (in the order systemd applies them) → the
// command of the last ExecStart= in [Service] sections, where an empty one clears
// what came before: the program (after its prefixes `-@:+!`, `!!`, with `%h` and
// `%%` resolved) and what precedes its first "watch", origin systemdUnit.
Reading read(const std::vector<UnitFile>& files, const std::string& home);

// The unit of the first folder that has one; nothing when none does.
std::optional<std::string> find(const std::vector<std::string>& directories,
                                const FileSystem& disk);

// `find`, then `read` on that unit and the `tessaly.service.d/*.conf` drop-ins of
// every folder, in the order of their names, where a name in a more important
// folder hides the same name further down. Nothing when no unit is installed.
std::optional<Reading> load(const std::vector<std::string>& directories, const FileSystem& disk,
                            const std::string& home);

} // namespace menubar::SystemdUnit

namespace menubar::ServiceFiles {

// The service as the menu shows it, read from `disk`: whether the launch agent's
// list (launchd) or a user unit (systemd) is there.
ServiceControls controls(ServiceManager manager, const Environment& environment,
                         const std::string& home, const FileSystem& disk);

} // namespace menubar::ServiceFiles
