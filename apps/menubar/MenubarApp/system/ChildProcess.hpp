#pragma once

// The low half of the command runner: a child started with posix_spawn in its
// own process group, with standard input from the null device and both output
// streams on pipes, read until it ends. Only CommandRunner uses it; see there
// for the contract every caller relies on.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace menubar::app::ChildProcess {

struct Pipe {
    int read = -1;
    int write = -1;
};

// Close-on-exec from the start.
std::optional<Pipe> makePipe();
void closeFd(int& fd);

struct Spawned {
    pid_t pid = -1;
    int error = 0; // as errno, when the child could not be started
};

Spawned spawn(const std::string& executable, const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& extraEnvironment, Pipe& out, Pipe& err);

struct Ended {
    int waitStatus = 0;
    bool timedOut = false;
    bool stopped = false; // ended because `Listener::stopFd` became readable
    int lastSignal = 0;
};

// What a long-lived child needs besides being read to its end.
struct Listener {
    // Standard output as it comes, piece by piece, instead of into its sink;
    // each piece starts the time limit anew.
    std::function<void(std::string_view bytes)> output;
    // Readable once the caller wants the child ended: it is then ended as at
    // the time limit, but counts as stopped, not as timed out.
    int stopFd = -1;
};

// Drains both pipes as they fill, then reaps the child; past `timeLimit` the
// group gets SIGTERM, two seconds later SIGKILL. Each pipe it closes is set to
// -1 in `fds`, the caller's own: a second close of the same number by the
// caller would close whatever another thread has opened under it meanwhile.
Ended collect(pid_t pid, std::array<int, 2>& fds, std::array<std::string*, 2> sinks,
              std::chrono::milliseconds timeLimit, const Listener& listener = {});

// 128 + the signal for a child ended by one (or by the time limit), like a shell.
std::int32_t statusOf(const Ended& ended);

} // namespace menubar::app::ChildProcess
