#include "Legibility.hpp"

#include <algorithm>
#include <cmath>

namespace menubar::Legibility {

namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

Colour mix(const Colour& colour, const Colour& towards, double share) {
    const auto channel = [share](double from, double to) { return from + (to - from) * share; };
    return {channel(colour.red, towards.red), channel(colour.green, towards.green),
            channel(colour.blue, towards.blue)};
}

} // namespace

double luminance(const Colour& colour) {
    return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) +
           0.0722 * linear(colour.blue);
}

double contrast(const Colour& a, const Colour& b) {
    // Held by value: std::minmax of two temporaries returns references to them.
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

Colour legibleOn(const Colour& colour, const Colour& panel, double minimum) {
    if (contrast(colour, panel) >= minimum)
        return colour;
    // Whichever end is further from the panel; it reaches at least 4.58 against
    // any panel, so the search below always ends inside the range.
    const Colour white{1, 1, 1};
    const Colour black{0, 0, 0};
    const Colour end = contrast(white, panel) >= contrast(black, panel) ? white : black;
    // Judged as drawn, in whole 8-bit steps: a mix that reaches the minimum only
    // before rounding would fall just short of it on the panel.
    const auto drawn = [&](double share) {
        const Colour mixed = mix(colour, end, share);
        const auto step = [](double channel) { return std::round(channel * 255) / 255; };
        return Colour{step(mixed.red), step(mixed.green), step(mixed.blue)};
    };
    double enough = 1;
    double short_ = 0;
    for (int step = 0; step < 30; ++step) {
        const double share = (enough + short_) / 2;
        (contrast(drawn(share), panel) >= minimum ? enough : short_) = share;
    }
    return drawn(enough);
}

int menuTitleWidth(int screenWidth, int reserved) {
    const int room = std::max(0, screenWidth - reserved);
    return std::min(room, std::clamp(screenWidth / 2, 320, 720));
}

} // namespace menubar::Legibility
