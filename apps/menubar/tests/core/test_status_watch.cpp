#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/StatusWatch.hpp"

using namespace menubar;

// Each row is a timeline in milliseconds: changes seen on the file and refreshes
// the timer (or the menu) ran; the pacing's own refreshes run when they are due.
TEST(RefreshPacing, BurstsBecomeOneRefreshAtLeastFloorApartAndTheLastChangeIsKept) {
    struct Case {
        const char* name;
        std::vector<int> changes;
        std::vector<int> ticks;
        std::vector<int> refreshes; // the pacing's, in order
    };
    std::vector<int> stream; // a change every 2 ms for 200 ms
    for (int at = 0; at < 200; at += 2)
        stream.push_back(at);
    const std::vector<Case> cases{
        {"a rename and its folder event", {0, 0, 1, 4}, {}, {5}},
        {"two bursts far apart", {0, 100}, {}, {5, 105}},
        // The controller's watch test shows a change just after a refresh waiting too.
        {"a change at the refresh is not lost and waits for the floor", {0, 5}, {}, {5, 55}},
        {"a steady stream", stream, {}, {5, 55, 105, 155, 205}},
        {"a tick settles what was seen before it", {0}, {2}, {}},
        {"the floor counts from a tick too", {10}, {0}, {50}},
        {"a change after a tick is still owed", {0, 3}, {2}, {52}},
    };
    using Moment = RefreshPacing::Moment;
    const auto ms = [](int at) { return Moment(std::chrono::milliseconds(at)); };
    for (const Case& c : cases) {
        RefreshPacing pacing;
        std::vector<int> refreshes;
        const std::set<int> ticks(c.ticks.begin(), c.ticks.end());
        for (int now = 0; now <= 400; ++now) {
            // A refresh due now runs before what is seen at the same moment.
            if (pacing.due() && *pacing.due() <= ms(now)) {
                EXPECT_EQ(*pacing.due(), ms(now)) << c.name;
                pacing.refreshed(ms(now));
                refreshes.push_back(now);
            }
            if (ticks.contains(now))
                pacing.refreshed(ms(now));
            for (int seen : c.changes)
                if (seen == now)
                    pacing.changed(ms(now));
        }
        EXPECT_EQ(refreshes, c.refreshes) << c.name;
        EXPECT_FALSE(pacing.due()) << c.name;
    }
}

// The controller's watch test shows the file and its folder watched, and the
// home when the folder goes; here the climb past several missing folders and
// the paths it never meets.
TEST(WatchTargets, TheFileWhileItExistsAndTheNearestFolderThatDoes) {
    struct Case {
        const char* path;
        std::set<std::string> folders;
        std::set<std::string> files;
        WatchTargets expected;
    };
    const std::vector<Case> cases{
        {"/h/state/tessaly/status.json", {"/", "/h"}, {}, {std::nullopt, "/h"}},
        {"/gone/status.json", {}, {}, {std::nullopt, "/"}},
        // A folder of that name is not the status file.
        {"/h/status.json", {"/", "/h", "/h/status.json"}, {}, {std::nullopt, "/h"}},
        {"status.json", {"."}, {"status.json"}, {"status.json", "."}},
        {"a/b/status.json", {}, {}, {std::nullopt, "."}},
    };
    for (const Case& c : cases) {
        const auto isDirectory = [&](const std::string& path) { return c.folders.contains(path); };
        const auto isFile = [&](const std::string& path) { return c.files.contains(path); };
        EXPECT_EQ(WatchTargets::of(c.path, isDirectory, isFile), c.expected) << c.path;
    }
}
