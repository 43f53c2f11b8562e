#pragma once

// Reading another machine's status over SSH. The remote side only ships bytes:
// a fixed POSIX sh script prints that machine's clock and the bytes of its status
// file in a frame; everything else (decoding, freshness, presentation) is the
// same code that reads this machine's file, with that machine's clock as `now`.
//
// The frame, one reply per run:
//   tessaly-remote 1
//   clock <seconds since the epoch>[.<fraction>]
//   file <n>            then exactly n bytes of the file and a newline
//   | missing | unreadable <reason> | too-large <size>
//   tessaly-end
// A reply without its end line was cut; anything else out of place means the
// stream was not ours (a login script that prints) or was mixed up. Either way
// nothing in it is believed.
//
// Where the other machine has `tessaly-bar`, the script hands over to
// `tessaly-bar --raw --follow`, which sends the same frame at once, at every
// change of the file and at least every `RemoteFetch::heartbeat`, for as long
// as the connection lives; a stream is a run of frames, one after the other.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "MachineList.hpp"
#include "status/StatusDecoder.hpp"
#include "system/CommandOutcome.hpp"
#include "system/Instant.hpp"

namespace menubar {

namespace RemoteFetch {

// The remote command: runs under `sh` whatever the login shell is, reads the
// file at most once and never more than the local reader's size limit.
std::string_view script();

// ssh's arguments (after the program itself): batch mode (a prompt or an unknown
// or changed host key fails rather than waits), short connect and keep-alive
// limits, one shared connection per destination in `runtimeDirectory`, then the
// destination and the script after "--". The connection is keyed by the
// destination as written as well as by ssh's own %C (host, port, user): two
// aliases of one host may differ in what they send (SetEnv), and a session
// over another alias's connection would not send it. Where the runtime folder
// is too long for that socket path, a longer hash of the destination stands in
// for %C, and where even that is too long the machine gets no shared connection.
std::vector<std::string> arguments(const Machine& machine, std::string_view runtimeDirectory);

// Longer than ssh's own connect and keep-alive limits, so ssh says why first; a
// machine that accepts the connection and then says nothing is cut here. A
// stream is cut when it has said nothing for this long.
inline constexpr std::chrono::seconds timeLimit{20};

// A follow sends its frame again after this long without a change, so a
// stream that lives says something well within `timeLimit` (and the clock it
// carries stays fresh).
inline constexpr std::chrono::seconds heartbeat{10};

} // namespace RemoteFetch

// One understood reply: the machine's clock when it read the file, and the
// snapshot its bytes give.
struct RemoteReading {
    Instant clock;
    StatusSnapshot snapshot;
    bool operator==(const RemoteReading&) const = default;
};

namespace RemoteFrame {

inline constexpr std::string_view cutOff = "reply cut off";
inline constexpr std::string_view notUnderstood = "reply not understood";

// The reading, or why the output is not one (cutOff or notUnderstood).
std::variant<RemoteReading, std::string> parse(std::string_view output);

// This machine's frame, as the script prints it: `clock` with nanoseconds, and
// what reading the status file gave (none: there is no file).
std::string make(std::chrono::sys_time<std::chrono::nanoseconds> clock,
                 const std::optional<FileReadResult>& read);

// The length of the first whole frame at the start of `stream` (a greeting
// before it included), 0 while more bytes are needed, or notUnderstood as
// soon as the bytes cannot become a frame, a file over the size limit
// included, so a stream never makes us hold more than one frame.
std::variant<std::size_t, std::string> wholeLength(std::string_view stream);

// The frames of a stream as its bytes arrive, in pieces of any size.
struct Stream {
    std::string pending; // the start of a frame not yet whole
    bool failed = false; // once set, nothing more is believed
    bool begun = false;  // a frame was whole; from then on only frames may come

    // What the frames made whole by `bytes` say, in order; after a frame that
    // is not understood, nothing more.
    std::vector<std::variant<RemoteReading, std::string>> feed(std::string_view bytes);
};

} // namespace RemoteFrame

// Where one machine stands after its last fetch.
struct MachineLink {
    struct Connecting {
        bool operator==(const Connecting&) const = default;
    };
    struct Unreachable {
        std::string reason;   // "connection refused", "host key changed", ...
        std::string lastLine; // the last line ssh printed, for the tooltip
        bool operator==(const Unreachable&) const = default;
    };
    struct Answered {
        RemoteReading reading;
        Instant receivedAt; // this machine's clock when the reply came
        bool operator==(const Answered&) const = default;
    };
    std::variant<Connecting, Unreachable, Answered> value;

    // What one ssh run gave. Failures are told apart by ssh's own words, since
    // its exit status is 255 for all of them.
    static MachineLink from(const CommandOutcome& outcome, Instant receivedAt);
    // One frame of a stream: its reading, received at `receivedAt`, or the reason
    // nothing more of the stream is believed.
    static MachineLink fromFrame(std::variant<RemoteReading, std::string> frame,
                                 Instant receivedAt);
    // A stream that ended (or broke): told as `from` tells one run, the start of
    // a frame it left unfinished standing for the run's output.
    static MachineLink fromEndedStream(const CommandOutcome& outcome,
                                       const RemoteFrame::Stream& frames, Instant receivedAt);

    bool answered() const { return std::holds_alternative<Answered>(value); }
    bool operator==(const MachineLink&) const = default;
};

// The gap before the next try after `failures` failures in a row: 3 s, doubling,
// at most 60 s. Zero failures: the usual poll interval, 3 s.
std::chrono::seconds retryGap(int failures);

// When a machine is asked again after a fetch that began at `started` and
// ended at `ended`: while it answers, 3 s after the fetch began, so the fetch's
// own time does not stretch the poll; after a failure, the whole gap from the end.
std::chrono::steady_clock::time_point nextFetch(std::chrono::steady_clock::time_point started,
                                                std::chrono::steady_clock::time_point ended,
                                                int failures);

} // namespace menubar
