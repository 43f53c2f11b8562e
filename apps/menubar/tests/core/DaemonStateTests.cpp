#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DaemonState.hpp"

using namespace menubar;

// Polls on 2024-05-01 seen at 10:00:00; the status menu's tests show the other
// states and a poll 5 s old with a 30 s interval.
TEST(DaemonState, FreshnessLimitFromTheInterval) {
    const auto at = [](std::string time) {
        return *StatusDecoder::parseDate("2024-05-01T" + time + "Z");
    };
    struct Case {
        const char* name;
        std::optional<std::string> polledAt;
        std::optional<std::int64_t> intervalMs;
        DaemonState expected;
        std::string title;
    };
    const std::vector<Case> cases{
        {"limit is inclusive", "09:58:45", 30000, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"just past the limit", "09:58:44.5", 30000, DaemonState::stale(75.5),
         "Daemon not responding (last poll 1m ago)"},
        {"5 s interval: 12.5 s", "09:59:47.5", 5000, DaemonState::running(12.5),
         "Daemon running (last poll 12s ago)"},
        {"5 s interval: 13 s", "09:59:47", 5000, DaemonState::stale(13),
         "Daemon not responding (last poll 13s ago)"},
        {"no interval: 75 s", "09:58:45", std::nullopt, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"zero interval: 75 s", "09:58:45", 0, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"negative interval: 75 s", "09:58:45", -1, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"poll time ahead of the clock", "10:00:05", 30000, DaemonState::running(-5),
         "Daemon running (last poll 0s ago)"},
        {"no poll time", std::nullopt, 30000, DaemonState::stale(std::nullopt),
         "Daemon not responding (no poll time in status file)"},
    };
    for (const auto& [name, polledAt, intervalMs, expected, title] : cases) {
        StatusFile file{.intervalMs = intervalMs};
        if (polledAt)
            file.at = at(*polledAt);
        const DaemonState state = DaemonState::from(file, at("10:00:00"));
        EXPECT_EQ(state, expected) << name;
        EXPECT_EQ(state.title(TimeZone::utc()), title) << name;
    }
}
