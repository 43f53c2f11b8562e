#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConfigNotices.hpp"

using namespace menubar;

TEST(ConfigNotices, NoticesByStateAndStatus) {
    StatusFile both;
    both.configError = ConfigError{.message = "bad key x", .path = "/c.json"};
    both.configFile = ConfigFileStatus{.changedSinceLoad = true};
    StatusFile emptyMessage = both;
    emptyMessage.configError->message = "";
    StatusFile noMessage = both;
    noMessage.configError->message.reset();
    StatusFile unchanged = both;
    unchanged.configFile->changedSinceLoad = false;
    StatusFile unknownChange = both;
    unknownChange.configFile->changedSinceLoad.reset();

    const auto error = ConfigNotice::configError("bad key x", "/c.json");
    const auto restart = ConfigNotice::restartNeeded();
    struct Case {
        const char* name;
        const StatusFile* status;
        DaemonState state;
        std::vector<ConfigNotice> expected;
    };
    // The status menu's tests show both notices while running and the error alone
    // while stale.
    const std::vector<Case> cases{
        {"stale without age", &both, DaemonState::stale(std::nullopt), {error}},
        {"stopped", &both, DaemonState::stopped({}), {}},
        {"no status", nullptr, DaemonState::running(1), {}},
        {"empty message", &emptyMessage, DaemonState::running(1), {restart}},
        {"absent message", &noMessage, DaemonState::running(1), {restart}},
        {"file unchanged", &unchanged, DaemonState::running(1), {error}},
        {"change unknown", &unknownChange, DaemonState::running(1), {error}},
    };
    for (const auto& [name, status, state, expected] : cases) {
        EXPECT_EQ(ConfigNotices::notices(status, state), expected) << name;
        const bool restartExpected =
            std::find(expected.begin(), expected.end(), restart) != expected.end();
        EXPECT_EQ(ConfigNotices::restartNeeded(status, state), restartExpected) << name;
    }
    EXPECT_NE(ConfigNotice::configError("m", "/p"), ConfigNotice::configError("m", std::nullopt));
}
