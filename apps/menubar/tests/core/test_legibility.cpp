// The legibility rules: a tone against its panel and a menu title against the screen.

#include <gtest/gtest.h>

#include "status/Legibility.hpp"

using namespace menubar::Legibility;

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
    const struct {
        int screen, reserved, expected;
    } cases[] = {{1280, 120, 640}, {3840, 120, 720}, {2560, 2000, 560},
                 {600, 120, 320},  {400, 120, 280},  {100, 120, 0}};
    for (const auto& row : cases)
        EXPECT_EQ(menuTitleWidth(row.screen, row.reserved), row.expected) << row.screen;
}
