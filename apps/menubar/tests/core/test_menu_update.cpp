// How a poll reaches the screen: the file read and watched, refreshes paced, and
// the menu updated in place or rebuilt.

#include <array>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "status/MenuUpdate.hpp"
#include "status/StatusFileReader.hpp"
#include "status/StatusWatch.hpp"

using namespace menubar;
using Kind = MenuUpdate::Kind;
using View = MenuUpdate::View;

namespace {

const auto line = [](const std::string& title) { return MenuEntry{.title = title}; };

MenuEntry session(int tag) {
    return {.title = "s" + std::to_string(tag),
            .enabled = true,
            .action = MenuAction::focusSession,
            .tag = tag};
}

const MenuEntry settings{
    .title = "Settings...", .enabled = true, .action = MenuAction::openSettings};

} // namespace

// Texts always follow; a change of items waits while the menu is open, and the
// window replaces only the rows between the unchanged ones.
TEST(MenuUpdate, RetitlesKeepsRebuildsOrPatches) {
    const std::vector<MenuEntry> shown{line("running"), session(1), session(2), settings};
    std::vector<MenuEntry> retitled = shown;
    retitled[0].title = "stopped";
    retitled[3].enabled = false;
    const std::vector<MenuEntry> grown{line("running"), session(1), session(2), session(3),
                                       settings};
    const std::vector<MenuEntry> emptied{line("stopped"), line("No sessions"), settings};
    const std::vector<MenuEntry> none;
    // The rows kept at the front and at the back; the window replaces those between.
    const auto patch = [](std::size_t front, std::size_t back) {
        return MenuUpdate{.kind = Kind::patch, .front = front, .back = back};
    };
    // The menu shown next and how, the plan, and the menu shown before.
    using Row = std::tuple<const char*, const std::vector<MenuEntry>&, View, MenuUpdate,
                           const std::vector<MenuEntry>&>;
    const Row cases[] = {
        {"new texts, closed", retitled, View::closedMenu, {.kind = Kind::retitle}, shown},
        {"new texts, open", retitled, View::openMenu, {.kind = Kind::retitle}, shown},
        {"a session more, closed", grown, View::closedMenu, {.kind = Kind::rebuild}, shown},
        {"a session more, open", grown, View::openMenu, {.kind = Kind::keep}, shown},
        {"a session more, window", grown, View::window, patch(3, 1), shown},
        {"sessions gone, window", emptied, View::window, patch(1, 1), shown},
        {"nothing shown yet, window", shown, View::window, patch(0, 0), none},
    };
    for (const auto& [name, next, view, update, before] : cases)
        EXPECT_EQ(MenuUpdate::plan(before, next, view), update) << name;
}

TEST(MenuUpdate, AMenuThatGrewStaysOnTheScreen) {
    const ScreenRect screen{.x = 0, .y = 0, .width = 1280, .height = 800};
    const std::tuple<const char*, ScreenRect, ScreenRect> cases[] = {
        {"inside stays", {723, 28, 500, 300}, {723, 28, 500, 300}},
        {"wider than the room to its right moves left", {723, 28, 731, 300}, {549, 28, 731, 300}},
        {"taller than the room below moves up", {100, 600, 300, 400}, {100, 400, 300, 400}},
        {"wider than the screen keeps its start", {723, 28, 1400, 300}, {0, 28, 1400, 300}},
    };
    for (const auto& [name, menu, placed] : cases)
        EXPECT_EQ(keptOnScreen(menu, screen), placed) << name;
}

// The poll reads the file every time but decodes only bytes it has not seen.
TEST(StatusFileReader, DecodesOnlyBytesThatChanged) {
    std::map<std::string, std::string> disk;
    int reads = 0;
    const FileSystem fileSystem{
        .exists = [&](const std::string& path) { return disk.contains(path); },
        .readFile = [&](const std::string& path, std::uint64_t) -> FileReadResult {
            ++reads;
            return disk.at(path);
        },
        .isExecutable = [](const std::string&) { return false; },
    };
    StatusFileReader reader;
    // The bytes on disk (none: no file), whether the read saw a change, and the poll time of
    // the snapshot's file.
    using Step =
        std::tuple<const char*, std::optional<std::string>, bool, std::optional<std::string>>;
    const Step steps[] = {
        {"missing at first", std::nullopt, true, std::nullopt},
        {"still missing", std::nullopt, false, std::nullopt},
        {"written", R"({"at":"2025-06-01T12:00:01Z"})", true, "2025-06-01T12:00:01Z"},
        {"the same bytes again", R"({"at":"2025-06-01T12:00:01Z"})", false, "2025-06-01T12:00:01Z"},
        {"rewritten at the same size", R"({"at":"2025-06-01T12:00:02Z"})", true,
         "2025-06-01T12:00:02Z"},
        {"removed", std::nullopt, true, std::nullopt},
    };
    for (const auto& [name, bytes, changed, at] : steps) {
        SCOPED_TRACE(name);
        if (bytes)
            disk["s"] = *bytes;
        else
            disk.erase("s");
        EXPECT_EQ(reader.read("s", fileSystem), changed);
        const StatusFile* file = reader.snapshot().file();
        EXPECT_EQ(file ? file->at : std::nullopt,
                  at ? StatusDecoder::parseDate(*at) : std::nullopt);
    }
    EXPECT_EQ(reads, 3);
}

// Each row is a timeline in milliseconds: changes seen on the file and refreshes
// the timer (or the menu) ran; the pacing's own refreshes run when they are due.
TEST(RefreshPacing, BurstsBecomeOneRefreshAtLeastFloorApartAndTheLastChangeIsKept) {
    std::vector<int> stream; // a change every 2 ms for 200 ms
    for (int at = 0; at < 200; at += 2)
        stream.push_back(at);
    // Changes seen, whole files seen, ticks, and the pacing's own refreshes in order.
    using Row = std::tuple<const char*, std::vector<int>, std::vector<int>, std::set<int>,
                           std::vector<int>>;
    const Row cases[] = {
        {"an editor's writes", {0, 0, 1, 4}, {}, {}, {5}},
        {"two bursts far apart", {0, 100}, {}, {}, {5, 105}},
        // The controller's watch test shows a change just after a refresh waiting too.
        {"a change at the refresh is not lost and waits for the floor", {0, 5}, {}, {}, {5, 55}},
        {"a steady stream", stream, {}, {}, {5, 55, 105, 155, 205}},
        {"a tick settles what was seen before it", {0}, {}, {2}, {}},
        {"the floor counts from a tick too", {10}, {}, {0}, {50}},
        {"a change after a tick is still owed", {0, 3}, {}, {2}, {52}},
        {"the daemon's rename is refreshed the moment it is seen", {}, {0}, {}, {0}},
        {"a whole file still waits for the floor", {}, {0, 10}, {}, {0, 50}},
        {"a whole file cuts an editor's settle short", {0}, {2}, {}, {2}},
    };
    using Moment = RefreshPacing::Moment;
    const auto ms = [](int at) { return Moment(std::chrono::milliseconds(at)); };
    for (const auto& [name, changes, wholes, ticks, expected] : cases) {
        RefreshPacing pacing;
        std::vector<int> refreshes;
        for (int now = 0; now <= 400; ++now) {
            const auto refreshIfDue = [&] {
                if (pacing.due() && *pacing.due() <= ms(now)) {
                    EXPECT_EQ(*pacing.due(), ms(now)) << name;
                    pacing.refreshed(ms(now));
                    refreshes.push_back(now);
                }
            };
            // A refresh due now runs before what is seen at the same moment, and
            // a whole file's the moment it is seen.
            refreshIfDue();
            if (ticks.contains(now))
                pacing.refreshed(ms(now));
            for (int seen : changes)
                if (seen == now)
                    pacing.changed(ms(now));
            for (int seen : wholes)
                if (seen == now)
                    pacing.changed(ms(now), true);
            refreshIfDue();
        }
        EXPECT_EQ(refreshes, expected) << name;
        EXPECT_FALSE(pacing.due()) << name;
    }
}

// Only a new inode that is not empty is a whole file; one written in place, or
// created empty and written after, is let settle. Only the same file, still
// there, keeps the watch as it was: a missing one is looked for again. A file
// that was there and is again keeps the folder it was found in.
TEST(FileStamp, AWholeReplacementIsANewInodeThatIsNotEmpty) {
    const FileStamp before{.exists = true, .device = 1, .inode = 7, .size = 90};
    const FileStamp renamed{.exists = true, .device = 1, .inode = 8, .size = 90};
    // Whole, keeps the watch, keeps the targets.
    using Expected = std::array<bool, 3>;
    const std::tuple<const char*, FileStamp, FileStamp, Expected> cases[] = {
        {"renamed into place", before, renamed, {true, false, true}},
        {"on another device",
         before,
         {.exists = true, .device = 2, .inode = 7, .size = 90},
         {true, false, true}},
        {"written in place",
         before,
         {.exists = true, .device = 1, .inode = 7, .size = 95},
         {false, false, true}},
        {"created empty", before, {.exists = true, .device = 1, .inode = 8}, {false, false, true}},
        {"removed", before, {}, {false, false, false}},
        {"where there was none", {}, renamed, {true, false, false}},
        {"looked at again", before, before, {false, true, true}},
        {"still missing", {}, {}, {false, false, false}},
    };
    for (const auto& [name, was, is, expected] : cases) {
        EXPECT_EQ(
            (Expected{is.wholeReplacementOf(was), is.keepsWatchOf(was), is.keepsTargetsOf(was)}),
            expected)
            << name;
    }
}

// The controller's watch test shows the file and its folder watched, and the
// home when the folder goes; here the climb past several missing folders and
// the paths it never meets.
TEST(WatchTargets, TheFileWhileItExistsAndTheNearestFolderThatDoes) {
    // The status file's path, the folders and files that exist, and what to watch.
    using Row = std::tuple<const char*, std::set<std::string>, std::set<std::string>, WatchTargets>;
    const Row cases[] = {
        {"/h/state/tessaly/status.json", {"/", "/h"}, {}, {std::nullopt, "/h"}},
        {"/gone/status.json", {}, {}, {std::nullopt, "/"}},
        // A folder of that name is not the status file.
        {"/h/status.json", {"/", "/h", "/h/status.json"}, {}, {std::nullopt, "/h"}},
        {"status.json", {"."}, {"status.json"}, {"status.json", "."}},
        {"a/b/status.json", {}, {}, {std::nullopt, "."}},
    };
    for (const auto& [path, folders, files, expected] : cases) {
        const auto isDirectory = [&in = folders](const std::string& p) { return in.contains(p); };
        const auto isFile = [&in = files](const std::string& p) { return in.contains(p); };
        EXPECT_EQ(WatchTargets::of(path, isDirectory, isFile), expected) << path;
    }
}
