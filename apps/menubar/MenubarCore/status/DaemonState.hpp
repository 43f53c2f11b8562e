#pragma once

// What the daemon is doing, judged from one status snapshot and the current
// instant alone (no process check): a daemon that dies without recording its
// stop reads as not responding once its last poll is old enough.

#include <optional>
#include <string>
#include <variant>

#include "Models.hpp"
#include "StatusDecoder.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

class DaemonState {
public:
    enum class Kind { running, stale, stopped, unreadable, missing };

    struct Running {
        double pollAge = 0; // seconds since the last poll; negative when it lies ahead
        bool operator==(const Running&) const = default;
    };
    struct Stale {
        std::optional<double> pollAge; // absent when the file has no poll time
        bool operator==(const Stale&) const = default;
    };
    struct Stopped {
        Instant at;
        bool operator==(const Stopped&) const = default;
    };
    struct Unreadable {
        std::string reason;
        bool operator==(const Unreadable&) const = default;
    };
    struct Missing {
        bool operator==(const Missing&) const = default;
    };
    using Value = std::variant<Running, Stale, Stopped, Unreadable, Missing>;

    // Poll intervals that may pass before the daemon counts as not responding.
    static constexpr double freshnessFactor = 2.5;

    DaemonState() = default; // missing
    static DaemonState running(double pollAge) { return DaemonState(Running{pollAge}); }
    static DaemonState stale(std::optional<double> pollAge) { return DaemonState(Stale{pollAge}); }
    static DaemonState stopped(Instant at) { return DaemonState(Stopped{at}); }
    static DaemonState unreadable(std::string reason) {
        return DaemonState(Unreadable{std::move(reason)});
    }
    static DaemonState missing() { return DaemonState(); }

    static DaemonState from(const StatusSnapshot& snapshot, Instant now);
    // A recorded stop wins over any poll time; otherwise the poll is fresh while
    // its age is at most intervalSeconds × freshnessFactor (inclusive).
    static DaemonState from(const StatusFile& file, Instant now);

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const Value& value() const { return value_; }
    // The poll age of running and stale states (absent for a stale state without one).
    std::optional<double> pollAge() const;
    // The stop instant of a stopped state.
    std::optional<Instant> stoppedAt() const;
    // The reason of an unreadable state; null otherwise.
    const std::string* reason() const;

    // Both true only for running; a stale state with an age is not live.
    bool isRunning() const { return kind() == Kind::running; }
    bool hasLiveData() const { return kind() == Kind::running; }

    // "Daemon running (last poll 5s ago)", "Daemon stopped at 09:07", ...
    std::string title(const TimeZone& timeZone) const;
    // The config summary for running, stale and stopped; the reason when
    // unreadable; how to start the daemon when missing.
    std::string detail(const std::optional<TessalyConfig>& config) const;

    bool operator==(const DaemonState&) const = default;

private:
    explicit DaemonState(Value value) : value_(std::move(value)) {}
    Value value_{Missing{}};
};

} // namespace menubar
