#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StatusDecoder.hpp"
#include "Visibility.hpp"

using namespace menubar;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };

} // namespace

TEST(Visibility, ItemVisibilityNeedsAPositiveWidth) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::optional<bool> onscreen;
        std::optional<double> width;
        ItemVisibility expected;
    };
    const std::vector<Case> cases{
        {true, 94, ItemVisibility::visible},         {false, 94, ItemVisibility::hidden},
        {false, 0.5, ItemVisibility::hidden},        {false, 0, ItemVisibility::unknown},
        {true, -1, ItemVisibility::unknown},         {false, nan, ItemVisibility::unknown},
        {std::nullopt, 94, ItemVisibility::unknown}, {true, std::nullopt, ItemVisibility::unknown},
    };
    for (const auto& [onscreen, width, expected] : cases)
        EXPECT_EQ(itemVisibilityFrom(onscreen, width), expected)
            << onscreen.value_or(false) << " " << width.value_or(-99);
}

// The status menu controller's tests count the notifications over many sequences;
// this pins when the current episode began: readings come 3 s apart and a second
// episode starts at the fourth.
TEST(Visibility, TrackerKeepsWhenTheHiddenEpisodeBegan) {
    using V = ItemVisibility;
    const Instant start = at("2024-05-01T10:00:00Z");
    HiddenItemTracker tracker;
    int i = 0;
    for (V reading : {V::hidden, V::hidden, V::visible, V::hidden, V::unknown, V::hidden})
        tracker.observe(reading, start + std::chrono::seconds(3 * i++));
    EXPECT_EQ(tracker.hiddenSince, start + std::chrono::seconds(9));
}

TEST(Visibility, DescribeReading) {
    const std::vector<std::pair<VisibilityReading, std::string>> cases{
        {{}, "window x=? width=? onscreen=? occlusion=?"},
        {{.occlusionVisible = false}, "window x=? width=? onscreen=? occlusion=occluded"},
        {{.occlusionVisible = true, .onscreen = true, .x = 1203.4, .width = 94},
         "window x=1203 width=94 onscreen=yes occlusion=visible"},
        {{.onscreen = false, .x = -12.6, .width = 0},
         "window x=-13 width=0 onscreen=no occlusion=?"},
    };
    for (const auto& [reading, expected] : cases)
        EXPECT_EQ(describe(reading), expected);
}

TEST(Visibility, HiddenItemTexts) {
    EXPECT_EQ(HiddenItemCopy::logLine(true),
              "status item is hidden (menu bar full or behind the "
              "notch); already icon only, free a slot in the menu bar");
    EXPECT_EQ(HiddenItemCopy::logLine(false),
              "status item is hidden (menu bar full or behind the notch); try icon-only mode "
              "(TESSALY_MENUBAR_COMPACT=1 or the Icon only menu item)");
}

TEST(Visibility, ParseSwitchValue) {
    const std::vector<std::pair<std::string, std::optional<bool>>> cases{
        {"1", true},           {"true", true},
        {"YES", true},         {" Yes \n", true},
        {"\tOn\r\n", true},    {"\u00a0on\u2028", true},
        {"0", false},          {"False", false},
        {"no", false},         {" OFF ", false},
        {"", std::nullopt},    {"  ", std::nullopt},
        {"2", std::nullopt},   {"y", std::nullopt},
        {"o n", std::nullopt}, {"truee", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(CompactSetting::parse(text), expected) << "'" << text << "'";
}

TEST(Visibility, ResolveCompactSetting) {
    using S = CompactSetting::Source;
    const std::optional<std::string> unset;
    const std::vector<std::tuple<std::optional<std::string>, std::optional<bool>, CompactSetting>>
        cases{
            {unset, std::nullopt, {false, S::builtIn}},
            {unset, true, {true, S::defaults}},
            {unset, false, {false, S::defaults}},
            {" Yes \n", std::nullopt, {true, S::environment}},
            {"0", true, {false, S::environment}},
            {"2", true, {true, S::defaults}},
            {"2", std::nullopt, {false, S::builtIn}},
            {"", false, {false, S::defaults}},
        };
    for (const auto& [variable, stored, expected] : cases) {
        std::map<std::string, std::string> environment{{"OTHER", "1"}};
        if (variable)
            environment["TESSALY_MENUBAR_COMPACT"] = *variable;
        EXPECT_EQ(CompactSetting::resolve(environment, stored), expected)
            << variable.value_or("(unset)") << " " << ::testing::PrintToString(stored);
    }
}
