#pragma once

// What keeps the app's drawings legible wherever they land: a colour against
// the panel it is drawn on, and a menu title against the width of the screen.
// Pure rules; the app measures the palette, the screen and the font and applies
// what these give.

namespace menubar::Legibility {

// An sRGB colour, each channel from 0 to 1.
struct Colour {
    double red = 0;
    double green = 0;
    double blue = 0;
    bool operator==(const Colour&) const = default;
};

// The least contrast a glyph keeps against its panel: the ratio asked of
// normal-size text, since the icon carries the percentage as text at 16 to 22
// pixels, where a grey at 3:1 on a dark panel was all but lost.
inline constexpr double minimumContrast = 4.5;

// Relative luminance and contrast ratio (1 to 21) as the web's accessibility
// guidelines define them.
double luminance(const Colour& colour);
double contrast(const Colour& a, const Colour& b);

// `colour` itself when it keeps `minimum` against `panel`; otherwise the least
// mix of it with white (on a dark panel) or black (on a light one) that does,
// so a tone keeps its hue as far as it can.
Colour legibleOn(const Colour& colour, const Colour& panel, double minimum = minimumContrast);

// The widest a menu title is drawn, in pixels, on a screen `screenWidth` wide
// when `reserved` pixels of each row go to the check mark, the shortcut column
// and the frame: half the screen, at most 720 (a line that long is read no
// better), at least 320 (names stay readable on a small screen), and never more
// than the screen leaves beside the reserved room.
int menuTitleWidth(int screenWidth, int reserved);

} // namespace menubar::Legibility
