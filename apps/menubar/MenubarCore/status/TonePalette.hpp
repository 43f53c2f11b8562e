#pragma once

// One colour per tone for every place that paints the status: the tray icon
// tints its symbol with it and the bar's faces name it in their markup, so a
// warning has the same orange wherever it shows.

#include <cstdint>
#include <string>

#include "StatusItemPresentation.hpp"

namespace menubar::TonePalette {

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Colour&) const = default;
};

// Muted is a fixed mid grey here, for faces that cannot see the panel; the
// tray draws its muted tone from the panel's own text colour instead.
Colour colour(Tone tone);

// "#rrggbb" in lower case, as bar markup writes a colour.
std::string hex(Tone tone);

} // namespace menubar::TonePalette
