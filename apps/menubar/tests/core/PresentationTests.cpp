#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StatusDecoder.hpp"
#include "StatusItemPresentation.hpp"

using namespace menubar;

namespace {

SessionStatus session(std::optional<double> pct, SessionLevel level) {
    return SessionStatus{.dirName = "s", .contextPct = pct, .level = level};
}

// "symbol title tone | tooltip", one line a row.
std::string shown(const StatusItemPresentation& p) {
    const char* tones[] = {"ok", "warn", "critical", "muted"};
    return p.symbolName + " " + p.title + " " + tones[static_cast<int>(p.tone)] + " | " + p.tooltip;
}

} // namespace

// The state titles are the daemon state's; here which percentage, symbol and tone
// each state shows, and where the percentage goes when the item is icon only.
TEST(StatusItemPresentation, EveryStateAndWorstSession) {
    using L = SessionLevel;
    const Instant stop = *StatusDecoder::parseDate("2024-05-01T09:07:00Z");
    const DaemonState running = DaemonState::running(5), stale = DaemonState::stale(120);
    const std::string warning = "eye.trianglebadge.exclamationmark";
    struct Case {
        DaemonState state;
        std::vector<SessionStatus> sessions;
        bool compact;
        std::string expected;
    };
    const std::vector<Case> cases{
        {running, {}, false, "eye -- ok | Daemon running (last poll 5s ago)"},
        {running, {session(30, L::unknown)}, false, "eye 30% ok | Daemon running (last poll 5s ago)"},
        {running,
         {session(40, L::critical), session(72.4, L::warn)},
         false,
         warning + " 72% warn | Daemon running (last poll 5s ago)"},
        {running,
         {session(std::nullopt, L::critical)},
         false,
         warning + " -- critical | Daemon running (last poll 5s ago)"},
        {running,
         {session(90, L::ok), session(50, L::critical)},
         false,
         "eye 90% ok | Daemon running (last poll 5s ago)"},
        {stale,
         {session(81, L::critical)},
         false,
         "eye.slash 81% muted | Daemon not responding (last poll 2m ago)"},
        {DaemonState::stopped(stop),
         {session(81, L::critical)},
         false,
         "eye.slash -- muted | Daemon stopped at 09:07"},
        {DaemonState::unreadable("R"), {}, false, "eye.slash -- muted | Status file unreadable"},
        // Icon only: the percentage moves into the tooltip, and only when there is one.
        {DaemonState::missing(), {}, true, "eye.slash  muted | Daemon not running"},
        {running,
         {session(72, L::warn)},
         true,
         warning + "  warn | Daemon running (last poll 5s ago) \u00b7 worst session 72%"},
        {running, {}, true, "eye  ok | Daemon running (last poll 5s ago)"},
        {stale,
         {session(81, L::ok)},
         true,
         "eye.slash  muted | Daemon not responding (last poll 2m ago) \u00b7 worst session 81%"},
    };
    for (const auto& [state, sessions, compact, expected] : cases)
        EXPECT_EQ(shown(StatusItemPresentation::make(state, sessions, compact, TimeZone::utc())),
                  expected);
}
