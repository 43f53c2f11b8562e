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

} // namespace

TEST(StatusItemPresentation, EveryStateAndWorstSession) {
    using L = SessionLevel;
    const TimeZone utc = TimeZone::utc();
    const Instant stop = *StatusDecoder::parseDate("2024-05-01T09:07:00Z");
    const std::string running = "Daemon running (last poll 5s ago)";
    const std::string stale = "Daemon not responding (last poll 2m ago)";
    struct Case {
        DaemonState state;
        std::vector<SessionStatus> sessions;
        bool compact;
        StatusItemPresentation expected;
    };
    const std::vector<Case> cases{
        {DaemonState::running(5), {}, false, {"eye", "--", Tone::ok, running}},
        {DaemonState::running(5), {session(30, L::ok)}, false, {"eye", "30%", Tone::ok, running}},
        {DaemonState::running(5),
         {session(30, L::unknown)},
         false,
         {"eye", "30%", Tone::ok, running}},
        {DaemonState::running(5),
         {session(40, L::critical), session(72.4, L::warn)},
         false,
         {"eye.trianglebadge.exclamationmark", "72%", Tone::warn, running}},
        {DaemonState::running(5),
         {session(80, L::ok), session(80, L::warn)},
         false,
         {"eye.trianglebadge.exclamationmark", "80%", Tone::warn, running}},
        {DaemonState::running(5),
         {session(std::nullopt, L::critical)},
         false,
         {"eye.trianglebadge.exclamationmark", "--", Tone::critical, running}},
        {DaemonState::running(5),
         {session(90, L::ok), session(50, L::critical)},
         false,
         {"eye", "90%", Tone::ok, running}},
        {DaemonState::stale(120),
         {session(81, L::critical)},
         false,
         {"eye.slash", "81%", Tone::muted, stale}},
        {DaemonState::stale(std::nullopt),
         {session(81, L::critical)},
         false,
         {"eye.slash", "81%", Tone::muted, "Daemon not responding (no poll time in status file)"}},
        {DaemonState::stopped(stop),
         {session(81, L::critical)},
         false,
         {"eye.slash", "--", Tone::muted, "Daemon stopped at 09:07"}},
        {DaemonState::unreadable("R"),
         {},
         false,
         {"eye.slash", "--", Tone::muted, "Status file unreadable"}},
        {DaemonState::missing(), {}, false, {"eye.slash", "--", Tone::muted, "Daemon not running"}},
        // Icon only: the percentage moves into the tooltip, and only when there is one.
        {DaemonState::missing(), {}, true, {"eye.slash", "", Tone::muted, "Daemon not running"}},
        {DaemonState::running(5),
         {session(72, L::warn)},
         true,
         {"eye.trianglebadge.exclamationmark", "", Tone::warn,
          running + " \u00b7 worst session 72%"}},
        {DaemonState::running(5), {}, true, {"eye", "", Tone::ok, running}},
        {DaemonState::stale(120),
         {session(81, L::ok)},
         true,
         {"eye.slash", "", Tone::muted, stale + " \u00b7 worst session 81%"}},
    };
    for (const auto& [state, sessions, compact, expected] : cases) {
        const auto presentation = StatusItemPresentation::make(state, sessions, compact, utc);
        EXPECT_EQ(presentation.symbolName, expected.symbolName) << expected.tooltip;
        EXPECT_EQ(presentation.title, expected.title) << expected.tooltip;
        EXPECT_EQ(presentation.tone, expected.tone) << expected.tooltip;
        EXPECT_EQ(presentation.tooltip, expected.tooltip);
    }
}
