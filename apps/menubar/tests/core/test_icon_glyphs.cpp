// How the item is drawn and seen: the outlines of its titles, the legibility rules
// of a tone against its panel and of a menu title against the screen, whether the
// item is visible and whether it is icon only.

#include <limits>

#include <gtest/gtest.h>

#include "status/IconGlyphs.hpp"
#include "status/Legibility.hpp"
#include "status/Visibility.hpp"

using namespace menubar;
using namespace menubar::IconGlyphs;
using namespace menubar::Legibility;

TEST(IconGlyphs, OnlyTheItemsTitlesHaveOutlines) {
    for (const char* text : {"0", "72%", "100%", "--", "-5%", "9876543210"})
        EXPECT_TRUE(outline(text).has_value()) << text;
    // Anything else falls back to a font: an empty title, a letter, a space, a
    // byte of a multi-byte character.
    for (const char* text : {"", "7a", "7 %", "\xc2\xbd", "1e+20%"})
        EXPECT_FALSE(outline(text).has_value()) << text;
}

TEST(IconGlyphs, GlyphsFollowEachOtherOnTheBaseline) {
    const Outline one = *outline("8");
    const Outline two = *outline("88");
    const double advance = two.bounds.right - one.bounds.right;
    EXPECT_GT(advance, one.bounds.width());
    EXPECT_EQ(two.bounds, (Box{one.bounds.left, one.bounds.top, one.bounds.right + advance,
                               one.bounds.bottom}));
    ASSERT_EQ(two.segments.size(), 2 * one.segments.size());
    for (std::size_t i = 0; i < one.segments.size(); ++i) {
        const Segment& first = two.segments[i];
        const Segment& second = two.segments[i + one.segments.size()];
        EXPECT_EQ(first.verb, second.verb);
        EXPECT_DOUBLE_EQ(first.points[0].x + advance, second.points[0].x);
        EXPECT_DOUBLE_EQ(first.points[0].y, second.points[0].y);
    }
    // Digits stand on the baseline and are drawn with y growing downwards; dashes
    // are fitted as if they were digits, so they keep their size and height.
    EXPECT_LT(one.bounds.top, -0.5);
    EXPECT_NEAR(one.bounds.bottom, 0, 0.02);
    const Box dashes = outline("--")->bounds;
    EXPECT_EQ(std::pair(dashes.top, dashes.bottom), std::pair(one.bounds.top, one.bounds.bottom));
}

TEST(IconGlyphs, FittingFillsTheLimitingSideAndCentres) {
    const Outline title = *outline("72%");
    const std::pair<Box, bool> cases[] = {
        {{0, 0, 100, 10}, true}, {{2, 2, 20, 20}, false}, {{-5, 40, 5, 400}, false}};
    for (const auto& [box, heightLimits] : cases) {
        const Outline fit = fitted(title, box);
        SCOPED_TRACE(box.width());
        EXPECT_NEAR(heightLimits ? fit.bounds.height() : fit.bounds.width(),
                    heightLimits ? box.height() : box.width(), 1e-9);
        EXPECT_NEAR(fit.bounds.width() / fit.bounds.height(),
                    title.bounds.width() / title.bounds.height(), 1e-9);
        EXPECT_NEAR(fit.bounds.left - box.left, box.right - fit.bounds.right, 1e-9);
        EXPECT_NEAR(fit.bounds.top - box.top, box.bottom - fit.bounds.bottom, 1e-9);
        // Every on-curve point lands inside the box: no farther from its centre than its edges.
        for (const Segment& segment : fit.segments) {
            const Point end = segment.points[segment.verb == Verb::cubic ? 2 : 0];
            EXPECT_NEAR(end.x, (box.left + box.right) / 2, box.width() / 2 + 1e-9);
            EXPECT_NEAR(end.y, (box.top + box.bottom) / 2, box.height() / 2 + 1e-9);
        }
    }
}

// Each tone on dark and light panels: one that reads is kept exactly, one that
// does not moves just far enough, towards white on a dark panel and black on a
// light one.
TEST(Legibility, EveryToneKeepsTextContrastOnItsPanel) {
    const auto hex = [](unsigned rgb) {
        return Colour{((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0,
                      (rgb & 0xff) / 255.0};
    };
    EXPECT_NEAR(contrast(hex(0x000000), hex(0xffffff)), 21.0, 1e-9);
    EXPECT_NEAR(contrast(hex(0x787878), hex(0x1f1f1f)), 3.73, 0.01);
    EXPECT_NEAR(contrast(hex(0x0a0a0a), hex(0x000000)), 1.06, 0.01); // sRGB's linear segment
    for (const unsigned tone : {0x34c759u, 0xff9500u, 0xff3b30u, 0x787878u, 0x5a5a5au})
        for (const unsigned panel : {0x000000u, 0x1f1f1fu, 0x2f2f2fu, 0x3c3c3cu, 0x777777u,
                                     0xb0b0b0u, 0xefefefu, 0xffffffu}) {
            SCOPED_TRACE(testing::Message() << std::hex << tone << " on " << panel);
            const Colour shown = legibleOn(hex(tone), hex(panel));
            if (contrast(hex(tone), hex(panel)) >= minimumContrast) {
                EXPECT_EQ(shown, hex(tone));
                continue;
            }
            EXPECT_GE(contrast(shown, hex(panel)), minimumContrast);
            // Just far enough, give or take one 8-bit step of the drawn colour.
            EXPECT_LT(contrast(shown, hex(panel)), minimumContrast + 0.2);
            EXPECT_EQ(luminance(shown) > luminance(hex(tone)), luminance(hex(panel)) < 0.18);
        }
}

TEST(Legibility, MenuTitlesAreBoundedByTheScreen) {
    const std::tuple<int, int, int> cases[] = {{1280, 120, 640},  {3840, 120, 720},
                                               {2560, 2000, 560}, {600, 120, 320},
                                               {400, 120, 280},   {100, 120, 0}};
    for (const auto& [screen, reserved, expected] : cases)
        EXPECT_EQ(menuTitleWidth(screen, reserved), expected) << screen;
}

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
