#include "DaemonState.hpp"

#include <algorithm>

#include "Formatting.hpp"

namespace menubar {

namespace {

template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
// Clang before 17 does not deduce an aggregate's template arguments by itself.
template <class... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

std::string ageText(double pollAge) {
    return Formatting::duration(std::max(0.0, pollAge));
}

} // namespace

DaemonState DaemonState::from(const StatusSnapshot& snapshot, Instant now) {
    return std::visit(
        Overloaded{
            [](const StatusSnapshot::Missing&) { return missing(); },
            [](const StatusSnapshot::Unreadable& unreadable) {
                return DaemonState::unreadable(unreadable.reason);
            },
            [now](const StatusSnapshot::Loaded& loaded) { return from(loaded.file, now); },
        },
        snapshot.value());
}

DaemonState DaemonState::from(const StatusFile& file, Instant now) {
    // A recorded stop is final even if a later poll time slipped into the same file.
    if (file.stoppedAt)
        return stopped(*file.stoppedAt);
    if (!file.at)
        return stale(std::nullopt);
    const double pollAge = std::chrono::duration<double>(now - *file.at).count();
    const double limit = file.intervalSeconds() * freshnessFactor;
    // A poll time ahead of the clock (skew between writer and reader) still counts as fresh.
    if (pollAge <= limit)
        return running(pollAge);
    return stale(pollAge);
}

std::optional<double> DaemonState::pollAge() const {
    if (const auto* running = std::get_if<Running>(&value_))
        return running->pollAge;
    if (const auto* stale = std::get_if<Stale>(&value_))
        return stale->pollAge;
    return std::nullopt;
}

std::optional<Instant> DaemonState::stoppedAt() const {
    if (const auto* stopped = std::get_if<Stopped>(&value_))
        return stopped->at;
    return std::nullopt;
}

const std::string* DaemonState::reason() const {
    if (const auto* unreadable = std::get_if<Unreadable>(&value_))
        return &unreadable->reason;
    return nullptr;
}

std::string DaemonState::title(const TimeZone& timeZone) const {
    return std::visit(
        Overloaded{
            [](const Running& running) {
                return "Daemon running (last poll " + ageText(running.pollAge) + " ago)";
            },
            [](const Stale& stale) -> std::string {
                if (!stale.pollAge)
                    return "Daemon not responding (no poll time in status file)";
                return "Daemon not responding (last poll " + ageText(*stale.pollAge) + " ago)";
            },
            [&timeZone](const Stopped& stopped) {
                return "Daemon stopped at " + Formatting::clock(stopped.at, timeZone);
            },
            [](const Unreadable&) { return std::string("Status file unreadable"); },
            [](const Missing&) { return std::string("Daemon not running"); },
        },
        value_);
}

std::string DaemonState::detail(const std::optional<TessalyConfig>& config) const {
    switch (kind()) {
    case Kind::running:
    case Kind::stale:
    case Kind::stopped:
        return Formatting::configSummary(config);
    case Kind::unreadable:
        return *reason();
    case Kind::missing:
        return "Start it with: tessaly watch (or tessaly install)";
    }
    return {};
}

} // namespace menubar
