#include "TonePalette.hpp"

namespace menubar::TonePalette {

Colour colour(Tone tone) {
    switch (tone) {
    case Tone::ok:
        return {0x34, 0xc7, 0x59};
    case Tone::warn:
        return {0xff, 0x95, 0x00};
    case Tone::critical:
        return {0xff, 0x3b, 0x30};
    case Tone::muted:
        break;
    }
    return {0x8e, 0x8e, 0x93};
}

std::string hex(Tone tone) {
    static constexpr char digits[] = "0123456789abcdef";
    const Colour shade = colour(tone);
    std::string text = "#";
    for (const std::uint8_t channel : {shade.red, shade.green, shade.blue}) {
        text += digits[channel >> 4];
        text += digits[channel & 0xf];
    }
    return text;
}

} // namespace menubar::TonePalette
