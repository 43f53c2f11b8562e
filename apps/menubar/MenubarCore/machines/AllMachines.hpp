#pragma once

// This machine and the others in one icon and one menu. Each other machine is
// judged by the same rules as this one, against its own clock (the one it
// printed with its bytes, advanced by the time since), so a clock that is off
// on either side never makes a healthy daemon look stale. With no other machine
// every value here is this machine's own, unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MachineList.hpp"
#include "RemoteStatus.hpp"
#include "status/DaemonState.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

// One other machine as the icon and the menu show it at one moment.
struct MachineView {
    Machine machine;
    MachineLink link;
    std::optional<Instant> now; // the machine's own time now, once it answered
    StatusSnapshot snapshot;
    DaemonState state;
    std::string stateLine; // the daemon's state line, "Connecting...", "Unreachable: ..."
    std::optional<std::string> stateTooltip; // the last line ssh printed

    static MachineView of(const Machine& machine, const MachineLink& link, Instant localNow,
                          const TimeZone& timeZone);
    // The loaded file's sessions; none otherwise.
    const std::vector<SessionStatus>& sessions() const;

    bool operator==(const MachineView&) const = default;
};

namespace AllMachines {

inline constexpr std::string_view thisMachine = "This machine";
inline constexpr std::string_view connecting = "Connecting...";
inline constexpr std::string_view machinesItemTitle = "Machines\u2026";
inline constexpr std::string_view noFocusReason =
    "This session runs on another machine; its workspace can only be focused there.";
inline constexpr std::string_view noHandoffReason =
    "This handoff file is on another machine; open it there.";

// The worst of all machines by the icon's own rule (tone first, then the
// figure), each machine judged alone; the tooltip has one line per machine.
// `local` is this machine's presentation, returned as it is when `others` is empty.
StatusItemPresentation presentation(const StatusItemPresentation& local,
                                    const DaemonState& localState,
                                    const std::vector<SessionStatus>& localSessions,
                                    const std::vector<MachineView>& others, bool compact,
                                    const TimeZone& timeZone);

// One line per machine: "This machine: Daemon running (last poll 2s ago)".
std::vector<std::string> stateLines(const std::string& localStateTitle,
                                    const std::vector<MachineView>& others);

// `local` (this machine's menu) with a section per other machine after its own:
// a header with the name and the state line, then sessions, handoffs and
// events as this machine shows them but with nothing that acts on this
// machine's desktop; "Open in terminal" (ssh DEST) when `terminal` was found.
// Refused lines of the machines file follow, each with its reason. The app
// (`machinesItem`) adds "Machines…" after "Settings...", machines or not; a bar
// has no such window. `local` is returned as it is when there is nothing to add.
StatusMenu menu(StatusMenu local, const std::vector<MachineView>& others,
                const std::vector<RefusedMachineLine>& refused, bool terminal, bool machinesItem,
                const CompactSetting& compact, const TimeZone& timeZone);

} // namespace AllMachines

} // namespace menubar
