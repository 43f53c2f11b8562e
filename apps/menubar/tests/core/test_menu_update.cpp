#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/MenuUpdate.hpp"
#include "status/StatusFileReader.hpp"

using namespace menubar;
using Kind = MenuUpdate::Kind;
using View = MenuUpdate::View;

namespace {

MenuEntry line(const std::string& title) {
    return {.title = title};
}

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
    struct Case {
        const char* name;
        const std::vector<MenuEntry>& next;
        View view;
        MenuUpdate update;
        const std::vector<MenuEntry>& before;
    };
    const std::vector<Case> cases{
        {"new texts, closed", retitled, View::closedMenu, {.kind = Kind::retitle}, shown},
        {"new texts, open", retitled, View::openMenu, {.kind = Kind::retitle}, shown},
        {"a session more, closed", grown, View::closedMenu, {.kind = Kind::rebuild}, shown},
        {"a session more, open", grown, View::openMenu, {.kind = Kind::keep}, shown},
        {"a session more, window",
         grown,
         View::window,
         {.kind = Kind::patch, .front = 3, .back = 1},
         shown},
        {"sessions gone, window",
         emptied,
         View::window,
         {.kind = Kind::patch, .front = 1, .back = 1},
         shown},
        {"nothing shown yet, window", shown, View::window, {.kind = Kind::patch}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MenuUpdate::plan(c.before, c.next, c.view), c.update);
    }
}

TEST(MenuUpdate, AMenuThatGrewStaysOnTheScreen) {
    const ScreenRect screen{.x = 0, .y = 0, .width = 1280, .height = 800};
    struct Case {
        const char* name;
        ScreenRect menu;
        ScreenRect placed;
    };
    const std::vector<Case> cases{
        {"inside stays", {723, 28, 500, 300}, {723, 28, 500, 300}},
        {"wider than the room to its right moves left", {723, 28, 731, 300}, {549, 28, 731, 300}},
        {"taller than the room below moves up", {100, 600, 300, 400}, {100, 400, 300, 400}},
        {"wider than the screen keeps its start", {723, 28, 1400, 300}, {0, 28, 1400, 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keptOnScreen(c.menu, screen), c.placed);
    }
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
    struct Step {
        const char* name;
        std::optional<std::string> file;
        bool changed;
        std::optional<std::string> at; // of the snapshot's file
    };
    const std::vector<Step> steps{
        {"missing at first", std::nullopt, true, std::nullopt},
        {"still missing", std::nullopt, false, std::nullopt},
        {"written", R"({"at":"2025-06-01T12:00:01Z"})", true, "2025-06-01T12:00:01Z"},
        {"the same bytes again", R"({"at":"2025-06-01T12:00:01Z"})", false, "2025-06-01T12:00:01Z"},
        {"rewritten at the same size", R"({"at":"2025-06-01T12:00:02Z"})", true,
         "2025-06-01T12:00:02Z"},
        {"removed", std::nullopt, true, std::nullopt},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.file)
            disk["s"] = *step.file;
        else
            disk.erase("s");
        EXPECT_EQ(reader.read("s", fileSystem), step.changed);
        const StatusFile* file = reader.snapshot().file();
        EXPECT_EQ(file != nullptr, step.at.has_value());
        if (file && step.at) {
            EXPECT_EQ(file->at, StatusDecoder::parseDate(*step.at));
        }
    }
    EXPECT_EQ(reads, 3);
}
