#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DaemonState.hpp"

using namespace menubar;

namespace {

Instant at(const char* text) {
    return *StatusDecoder::parseDate(text);
}

const Instant now = at("2024-05-01T10:00:00Z");
const TimeZone utc = TimeZone::utc();

StatusFile polled(std::optional<Instant> pollAt, std::optional<std::int64_t> intervalMs) {
    StatusFile file;
    file.at = pollAt;
    file.intervalMs = intervalMs;
    return file;
}

} // namespace

// The status menu's tests show a poll 5 s old with a 30 s interval.
TEST(DaemonState, FreshnessLimitFromTheInterval) {
    struct Case {
        const char* name;
        StatusFile file;
        DaemonState expected;
        std::string title;
    };
    const std::vector<Case> cases{
        {"limit is inclusive", polled(at("2024-05-01T09:58:45Z"), 30000), DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"just past the limit", polled(at("2024-05-01T09:58:44.5Z"), 30000),
         DaemonState::stale(75.5), "Daemon not responding (last poll 1m ago)"},
        {"5 s interval: 12.5 s", polled(at("2024-05-01T09:59:47.5Z"), 5000),
         DaemonState::running(12.5), "Daemon running (last poll 12s ago)"},
        {"5 s interval: 13 s", polled(at("2024-05-01T09:59:47Z"), 5000), DaemonState::stale(13),
         "Daemon not responding (last poll 13s ago)"},
        {"no interval: 75 s", polled(at("2024-05-01T09:58:45Z"), std::nullopt),
         DaemonState::running(75), "Daemon running (last poll 1m ago)"},
        {"zero interval: 75 s", polled(at("2024-05-01T09:58:45Z"), 0), DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"negative interval: 75 s", polled(at("2024-05-01T09:58:45Z"), -1),
         DaemonState::running(75), "Daemon running (last poll 1m ago)"},
        {"poll time ahead of the clock", polled(at("2024-05-01T10:00:05Z"), 30000),
         DaemonState::running(-5), "Daemon running (last poll 0s ago)"},
        {"no poll time", polled(std::nullopt, 30000), DaemonState::stale(std::nullopt),
         "Daemon not responding (no poll time in status file)"},
    };
    for (const auto& [name, file, expected, title] : cases) {
        const DaemonState state = DaemonState::from(file, now);
        EXPECT_EQ(state, expected) << name;
        EXPECT_EQ(state.title(utc), title) << name;
    }
}
