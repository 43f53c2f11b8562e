#pragma once

// Every child process the app starts goes through here. One run: the executable
// (an absolute path, never searched for) with its arguments as they are (no shell),
// the app's own environment with `extraEnvironment` laid over it, standard input
// from the null device, both output streams captured in full, and exactly one
// log line about it:
//   "ok: <command line>"
//   "exit <status>: <command line>[ -- <stderr>]"   (the part after -- only when stderr is not
//   empty) "failed to launch <executable>: <reason>"       (status -1, and the same text as stderr)
// where the command line is the executable and arguments joined with single spaces.
//
// A child that outlives `timeLimit` (30 s unless a caller says otherwise) is sent
// SIGTERM, then SIGKILL two seconds later, together with everything it started in
// its process group. Such a run reports status 128 + the last signal sent (143
// after SIGTERM, 137 after SIGKILL), and its stderr ends with
// "timed out after <limit> s". A child ended by a signal for any other reason is
// reported the same way, as 128 + that signal, like a shell does.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "system/CommandOutcome.hpp"

namespace menubar::app {

// What one run gave: the exit status (-1 when the child could not be started),
// and standard output / standard error decoded as UTF-8 (bad bytes become
// U+FFFD) with white space and line breaks trimmed from both ends. A
// default-constructed result reads as a failure.
struct CommandResult {
    std::int32_t status = -1;
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const { return status == 0; }
    // The logic module's twin, fields copied unchanged.
    CommandOutcome outcome() const { return {status, standardOutput, standardError}; }
    bool operator==(const CommandResult&) const = default;
};

namespace CommandRunner {

using Arguments = std::vector<std::string>;
using Environment = std::map<std::string, std::string>;
using Completion = std::function<void(const CommandResult&)>;

inline constexpr std::chrono::milliseconds defaultTimeLimit = std::chrono::seconds(30);

// Blocks until the child has ended (or was ended at the time limit). Never on
// the main thread: the menu would freeze for as long as the child runs.
// `logSuccess` false leaves out the "ok:" line, for a command polled every few
// seconds; its failures are logged all the same.
CommandResult runSync(const std::string& executable, const Arguments& arguments,
                      const Environment& extraEnvironment,
                      std::chrono::milliseconds timeLimit = defaultTimeLimit,
                      bool logSuccess = true);

// Returns at once; runs `runSync` on a background thread and calls `completion`
// exactly once on the main thread (through the event loop of qApp), also when the
// child could not be started. Capture owners weakly (QPointer) in the completion.
void run(const std::string& executable, const Arguments& arguments,
         const Environment& extraEnvironment, Completion completion,
         std::chrono::milliseconds timeLimit = defaultTimeLimit, bool logSuccess = true);

// A child that goes on for as long as it has something to say (a follow over
// ssh). Run as `run` runs one, but its standard output is handed to `output`
// piece by piece as it comes (on the main thread, in order, all before
// `completion`) instead of kept, and the time limit counts from the last
// piece: a child silent that long is ended, and its result says so as
// `run`'s does. The function returned stops it (SIGTERM to its process group
// at once, SIGKILL two seconds later) from the main thread at any time, also
// after its end; a stopped run is not logged and still completes.
using Output = std::function<void(const std::string& bytes)>;
std::function<void()> stream(const std::string& executable, const Arguments& arguments,
                             const Environment& extraEnvironment, Output output,
                             Completion completion, std::chrono::milliseconds silenceLimit,
                             bool logSuccess = true);

// The background pool that `run` uses, for work that runs several commands one
// after the other (a launch-agent start, a save). It grows with demand, so a
// blocked child never holds up anyone else's work.
void runInBackground(std::function<void()> work);

// Queues `work` to run on the main thread's event loop (dropped when there is no
// application object).
void runOnMainThread(std::function<void()> work);

} // namespace CommandRunner

} // namespace menubar::app
