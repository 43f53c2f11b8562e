#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/Visibility.hpp"

using namespace menubar;

TEST(Visibility, ItemVisibilityNeedsAPositiveWidth) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    using V = ItemVisibility;
    const std::vector<std::tuple<std::optional<bool>, std::optional<double>, V>> cases{
        {true, 94, V::visible},         {false, 94, V::hidden},           {false, 0.5, V::hidden},
        {false, 0, V::unknown},         {true, -1, V::unknown},           {false, nan, V::unknown},
        {std::nullopt, 94, V::unknown}, {true, std::nullopt, V::unknown},
    };
    for (const auto& [onscreen, width, expected] : cases)
        EXPECT_EQ(itemVisibilityFrom(onscreen, width), expected)
            << onscreen.value_or(false) << " " << width.value_or(-99);
}

// What the log says when the icon goes missing.
TEST(Visibility, Texts) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {describe({}), "window x=? width=? onscreen=? occlusion=?"},
        {describe({.occlusionVisible = false}), "window x=? width=? onscreen=? occlusion=occluded"},
        {describe({.occlusionVisible = true, .onscreen = true, .x = 1203.4, .width = 94}),
         "window x=1203 width=94 onscreen=yes occlusion=visible"},
        {describe({.onscreen = false, .x = -12.6, .width = 0}),
         "window x=-13 width=0 onscreen=no occlusion=?"},
        {HiddenItemCopy::logLine(true), "status item is hidden (menu bar full or behind the "
                                        "notch); already icon only, free a slot in the menu bar"},
        {HiddenItemCopy::logLine(false),
         "status item is hidden (menu bar full or behind the notch); try icon-only mode "
         "(TESSALY_MENUBAR_COMPACT=1 or the Icon only menu item)"},
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
}

TEST(Visibility, CompactSettingFromTheEnvironmentOverTheStoredChoice) {
    const std::vector<std::pair<std::string, std::optional<bool>>> words{
        {"1", true},           {"true", true},
        {"YES", true},         {" Yes \n", true},
        {"\tOn\r\n", true},    {"\u00a0on\u2028", true},
        {"0", false},          {"False", false},
        {"no", false},         {" OFF ", false},
        {"", std::nullopt},    {"  ", std::nullopt},
        {"2", std::nullopt},   {"y", std::nullopt},
        {"o n", std::nullopt}, {"truee", std::nullopt},
    };
    for (const auto& [text, expected] : words)
        EXPECT_EQ(CompactSetting::parse(text), expected) << "'" << text << "'";

    using S = CompactSetting::Source;
    const std::optional<std::string> unset;
    const std::vector<std::tuple<std::optional<std::string>, std::optional<bool>, CompactSetting>>
        cases{
            {unset, std::nullopt, {false, S::builtIn}}, {unset, true, {true, S::defaults}},
            {unset, false, {false, S::defaults}},       {"0", true, {false, S::environment}},
            {"2", true, {true, S::defaults}},           {"2", std::nullopt, {false, S::builtIn}},
        };
    for (const auto& [variable, stored, expected] : cases) {
        std::map<std::string, std::string> environment{{"OTHER", "1"}};
        if (variable)
            environment["TESSALY_MENUBAR_COMPACT"] = *variable;
        EXPECT_EQ(CompactSetting::resolve(environment, stored), expected)
            << variable.value_or("(unset)") << " " << ::testing::PrintToString(stored);
    }
}
