#pragma once

// tessaly-bar's view of the other machines in the machines file: one ssh child
// per machine (the same arguments as the app's), read without blocking so the
// caller waits on them beside its own file and never has its local face held
// up by a machine. Each fetch is cut after the same time without a word as the
// app's. A machine with `tessaly-bar` streams: once (`follow` false) its first
// frame is the answer and the fetch is ended there; in a follow the stream is
// kept and each frame counts. A fetch that ended is started again after the
// app's gaps (3 s, growing while it fails). The answers become MachineViews by
// the core's rules.

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/types.h>

#include "machines/AllMachines.hpp"

namespace menubar::bar {

class MachineFetches {
public:
    // The machines of TESSALY_MENUBAR_MACHINES or the machines file; nothing is
    // run when none is listed.
    MachineFetches(const std::map<std::string, std::string>& environment, const std::string& home,
                   bool follow);
    // Ends the fetches still running.
    ~MachineFetches();
    MachineFetches(const MachineFetches&) = delete;
    MachineFetches& operator=(const MachineFetches&) = delete;

    const MachineList& list() const { return list_; }
    // Starts every machine's fetch that is due and not running.
    void start();
    bool running() const;
    // What to wait on, and for how long at most, before `service`.
    std::vector<pollfd> descriptors() const;
    int waitMs() const;
    // Reads what came, ends fetches that ended or said nothing for too long;
    // true when what a machine shows may have changed.
    bool service();
    std::vector<MachineView> views(const TimeZone& timeZone) const;

private:
    struct Fetch {
        Machine machine;
        MachineLink link;
        pid_t pid = -1;
        int out = -1;
        int err = -1;
        std::string said; // standard error
        RemoteFrame::Stream frames;
        bool heard = false;
        bool ended = false; // by us, after its answer or a mixed-up frame
        int failures = 0;
        std::chrono::steady_clock::time_point silentUntil;
        std::chrono::steady_clock::time_point due;
    };

    void launch(Fetch& fetch);
    bool read(Fetch& fetch);
    void finish(Fetch& fetch, int status);

    std::map<std::string, std::string> environment_;
    MachineList list_;
    bool follow_;
    std::vector<Fetch> fetches_;
};

// 0 running, 1 stale or stopped, 2 missing, unreadable or not reached.
int exitStatus(const MachineView& view);

} // namespace menubar::bar
