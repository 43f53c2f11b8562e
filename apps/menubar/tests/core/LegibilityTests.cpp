// The legibility rules: a tone against its panel and a menu title against the screen.

#include <gtest/gtest.h>

#include "Legibility.hpp"

using namespace menubar::Legibility;

namespace {

Colour hex(unsigned rgb) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

} // namespace

TEST(Legibility, ContrastFollowsTheGuidelinesFormula) {
    EXPECT_NEAR(contrast(hex(0x000000), hex(0xffffff)), 21.0, 1e-9);
    EXPECT_NEAR(contrast(hex(0xffffff), hex(0x000000)), 21.0, 1e-9);
    EXPECT_NEAR(contrast(hex(0x777777), hex(0xffffff)), 4.48, 0.01);
    EXPECT_NEAR(contrast(hex(0x787878), hex(0x1f1f1f)), 3.73, 0.01);
}

// Every tone on the panels users run, dark and light: a colour that already
// reads is kept exactly, one that does not moves just far enough, towards
// white on a dark panel and black on a light one.
TEST(Legibility, EveryToneKeepsThreeToOneOnItsPanel) {
    const unsigned tones[] = {0x34c759, 0xff9500, 0xff3b30, 0x787878, 0x5a5a5a, 0xaaaaaa};
    const unsigned panels[] = {0x000000, 0x1f1f1f, 0x303030, 0x3c3c3c, 0x777777,
                               0xb0b0b0, 0xe8e8e8, 0xefefef, 0xffffff};
    for (const unsigned tone : tones)
        for (const unsigned panel : panels) {
            const Colour shown = legibleOn(hex(tone), hex(panel));
            const double kept = contrast(shown, hex(panel));
            SCOPED_TRACE(testing::Message() << std::hex << tone << " on " << panel);
            EXPECT_GE(kept, minimumContrast);
            if (contrast(hex(tone), hex(panel)) >= minimumContrast) {
                EXPECT_EQ(shown, hex(tone));
                continue;
            }
            EXPECT_LT(kept, minimumContrast + 0.01); // no further than needed
            const bool darkPanel = luminance(hex(panel)) < 0.18;
            EXPECT_EQ(luminance(shown) > luminance(hex(tone)), darkPanel);
        }
}

TEST(Legibility, MenuTitlesAreBoundedByTheScreen) {
    const struct {
        int screen;
        int reserved;
        int expected;
    } cases[] = {
        {1280, 120, 640}, {1024, 120, 512}, {3840, 120, 720}, {2560, 2000, 560},
        {600, 120, 320},  {400, 120, 280},  {100, 120, 0},
    };
    for (const auto& row : cases)
        EXPECT_EQ(menuTitleWidth(row.screen, row.reserved), row.expected)
            << row.screen << " " << row.reserved;
}
