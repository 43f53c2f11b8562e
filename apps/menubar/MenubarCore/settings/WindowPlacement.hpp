#pragma once

// Where the settings window opens: its wished size, made to fit the screen's
// available area (the form scrolls), centred in that area and never reaching
// outside it. Only a screen smaller than the window's minimum lets the window
// stand over its right or bottom edge, never over its top or left one, where
// the title bar and the footer's first texts are.

namespace menubar::WindowPlacement {

struct Size {
    int width;
    int height;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int x;
    int y;
    int width;
    int height;
    bool operator==(const Rect&) const = default;
};

inline constexpr Size wished{680, 760};
inline constexpr Size minimum{520, 420};

// `frame` is what the window system adds around the window (title bar and
// borders): `available` holds the frame. The result's x and y are where the
// frame's top-left corner goes (QWidget::move), its width and height the
// window's own size, without the frame (QWidget::resize).
Rect placed(const Rect& available, Size frame, Size wish = wished, Size least = minimum);

} // namespace menubar::WindowPlacement
