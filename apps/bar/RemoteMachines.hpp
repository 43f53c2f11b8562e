#pragma once

// tessaly-bar's view of the other machines in the machines file: every machine
// fetched at once (ssh, the same arguments as the app's), each cut at the same
// time limit, so one hanging machine costs the bar at most that limit, never
// more per machine. The answers become MachineViews by the core's rules.

#include <map>
#include <string>
#include <vector>

#include "machines/AllMachines.hpp"

namespace menubar::bar {

struct Machines {
    MachineList list;
    std::vector<MachineView> views;
};

// The machines of TESSALY_MENUBAR_MACHINES or the machines file, fetched.
// Nothing is run when no machine is listed.
Machines fetchMachines(const std::map<std::string, std::string>& environment,
                       const std::string& home, const TimeZone& timeZone);

// 0 running, 1 stale or stopped, 2 missing, unreadable or not reached.
int exitStatus(const MachineView& view);

} // namespace menubar::bar
