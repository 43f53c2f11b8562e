#pragma once

// The tray icon's title (a percentage, or "--") as outlines built into the app.
// Filling paths needs no font machinery, and the font stack (fontconfig,
// FreeType, HarfBuzz and a font file) would otherwise be loaded for nothing but
// these few glyphs: about 2 MiB resident for as long as the app sits in the tray.
// It also makes the digits look the same on every system. Any other text has no
// outline here, and the caller sets it in a font instead.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace menubar::IconGlyphs {

enum class Verb { move, line, cubic };

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

// A move or a line goes to its first point; a cubic uses two control points
// and ends at the third.
struct Segment {
    Verb verb = Verb::move;
    std::array<Point, 3> points{};
};

// Edges of a rectangle, y growing downwards.
struct Box {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
    bool operator==(const Box&) const = default;
};

struct Glyph {
    char character = 0;
    double advance = 0;
    Box ink;
    std::size_t first = 0;
    std::size_t count = 0;
};

struct Outline {
    std::vector<Segment> segments;
    // What gets fitted and centred: across, where the glyphs put ink (a line
    // box would leave the digits off centre); up and down, at least a digit's
    // height, so "--" is set at the size and height of the digits it stands
    // for instead of being blown up into two slabs.
    Box bounds;
};

// The characters of `text` set side by side on one baseline at 1 em, starting at
// the origin; absent for empty text or when a character has no outline.
std::optional<Outline> outline(std::string_view text);

// The outline scaled by the largest factor that keeps its bounds inside `box`,
// with the bounds centred in it.
Outline fitted(const Outline& outline, const Box& box);

} // namespace menubar::IconGlyphs
