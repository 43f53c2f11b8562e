#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StatusDecoder.hpp"
#include "Visibility.hpp"

using namespace menubar;

namespace {

Instant at(const char* text) {
    return *StatusDecoder::parseDate(text);
}

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

TEST(Visibility, TrackerNotifiesOncePerHiddenEpisode) {
    using V = ItemVisibility;
    using T = HiddenItemTracker::Transition;
    struct Case {
        const char* name;
        std::vector<V> readings;
        std::vector<T> expected;
        bool hiddenAtEnd;
    };
    const std::vector<Case> cases{
        {"hidden, hidden, hidden",
         {V::hidden, V::hidden, V::hidden},
         {T::becameHidden, T::unchanged, T::unchanged},
         true},
        {"hidden, unknown, hidden",
         {V::hidden, V::unknown, V::hidden},
         {T::becameHidden, T::unchanged, T::unchanged},
         true},
        {"hidden, visible, hidden",
         {V::hidden, V::visible, V::hidden},
         {T::becameHidden, T::becameVisible, T::becameHidden},
         true},
        {"visible, unknown", {V::visible, V::unknown}, {T::unchanged, T::unchanged}, false},
        {"unknown first", {V::unknown, V::hidden}, {T::unchanged, T::becameHidden}, true},
    };
    for (const auto& [name, readings, expected, hiddenAtEnd] : cases) {
        HiddenItemTracker tracker;
        std::vector<T> transitions;
        Instant now = at("2024-05-01T10:00:00Z");
        for (const V reading : readings) {
            transitions.push_back(tracker.observe(reading, now));
            now += std::chrono::seconds(3);
        }
        EXPECT_EQ(transitions, expected) << name;
        EXPECT_EQ(tracker.isHidden(), hiddenAtEnd) << name;
    }
}

TEST(Visibility, TrackerKeepsTheStartOfTheEpisode) {
    HiddenItemTracker tracker;
    tracker.observe(ItemVisibility::hidden, at("2024-05-01T10:00:00Z"));
    tracker.observe(ItemVisibility::hidden, at("2024-05-01T10:00:03Z"));
    tracker.observe(ItemVisibility::unknown, at("2024-05-01T10:00:06Z"));
    EXPECT_EQ(tracker.hiddenSince, at("2024-05-01T10:00:00Z"));
    tracker.observe(ItemVisibility::visible, at("2024-05-01T10:00:09Z"));
    EXPECT_EQ(tracker, HiddenItemTracker{});
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
    using Env = std::map<std::string, std::string>;
    struct Case {
        Env environment;
        std::optional<bool> stored;
        CompactSetting expected;
    };
    const std::vector<Case> cases{
        {{}, std::nullopt, {false, S::builtIn}},
        {{}, true, {true, S::defaults}},
        {{}, false, {false, S::defaults}},
        {{{"TESSALY_MENUBAR_COMPACT", " Yes \n"}}, std::nullopt, {true, S::environment}},
        {{{"TESSALY_MENUBAR_COMPACT", "0"}}, true, {false, S::environment}},
        {{{"TESSALY_MENUBAR_COMPACT", "2"}}, true, {true, S::defaults}},
        {{{"TESSALY_MENUBAR_COMPACT", "2"}}, std::nullopt, {false, S::builtIn}},
        {{{"TESSALY_MENUBAR_COMPACT", ""}}, false, {false, S::defaults}},
        {{{"OTHER", "1"}}, std::nullopt, {false, S::builtIn}},
    };
    for (const auto& [environment, stored, expected] : cases) {
        const auto setting = CompactSetting::resolve(environment, stored);
        EXPECT_EQ(setting, expected);
        EXPECT_EQ(setting.isLockedByEnvironment(), expected.source == S::environment);
    }
}
