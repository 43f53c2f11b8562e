#pragma once

// The list of other machines whose daemons the app shows: one SSH destination
// per line as `ssh` accepts it (an alias from the user's ~/.ssh/config,
// user@host, ssh://user@host:port), an optional display name after a tab, `#`
// comments and blank lines ignored. A line that could change what `ssh` does
// rather than where it connects (an option-looking destination, a control
// character, an over-long name) is refused with a reason the user sees; a
// refused line never reaches `ssh`'s arguments.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace menubar {

struct Machine {
    std::string destination;
    std::string name; // as written after the tab; may be empty

    // The name when there is one, else the destination.
    const std::string& displayName() const { return name.empty() ? destination : name; }
    bool operator==(const Machine&) const = default;
};

struct RefusedMachineLine {
    int lineNumber = 0; // 1-based, in the file or in the environment's list
    std::string text;   // the line as written, control characters shown as "?"
    std::string reason;
    bool operator==(const RefusedMachineLine&) const = default;
};

struct MachineList {
    std::vector<Machine> machines;
    std::vector<RefusedMachineLine> refused;

    // The environment's list for scripts and tests: the same syntax, ";" between entries.
    static constexpr std::string_view environmentKey = "TESSALY_MENUBAR_MACHINES";
    static constexpr std::size_t destinationLimit = 255;

    // Lines separated by `separator` ('\n' for the file, ';' for the environment).
    static MachineList parse(std::string_view text, char separator = '\n');

    // Why `destination` (and `name`) cannot be a machine, or nothing when it can.
    // The one rule for the file, the environment and the Machines window's Add.
    static std::optional<std::string> refusal(std::string_view destination,
                                              std::string_view name = {});

    // The environment's list when TESSALY_MENUBAR_MACHINES is set (even empty:
    // a script can switch machines off that way), else the file's text (none
    // when the file does not exist).
    static MachineList resolve(const std::map<std::string, std::string>& environment,
                               const std::optional<std::string>& fileText);

    // The file's text with `machine` added as a line of its own.
    static std::string adding(std::string_view fileText, const Machine& machine);
    // The file's text without the lines naming `destination`; comments and
    // other lines stay as they were.
    static std::string removing(std::string_view fileText, std::string_view destination);

    bool operator==(const MachineList&) const = default;
};

namespace MachinesFile {

// $XDG_CONFIG_HOME/tessaly-menubar/machines (an absolute XDG_CONFIG_HOME only),
// else ~/.config/tessaly-menubar/machines; on macOS under
// ~/Library/Application Support/tessaly-menubar/.
std::string path(const std::map<std::string, std::string>& environment, const std::string& home,
                 bool macOS);

} // namespace MachinesFile

} // namespace menubar
