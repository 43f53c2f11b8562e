#include "WindowPlacement.hpp"

#include <algorithm>

namespace menubar::WindowPlacement {

Rect placed(const Rect& available, Size frame, Size wish, Size least) {
    const int width = std::max(least.width, std::min(wish.width, available.width - frame.width));
    const int height =
        std::max(least.height, std::min(wish.height, available.height - frame.height));
    const int outerWidth = width + frame.width;
    const int outerHeight = height + frame.height;
    const int x = available.x + std::max(0, (available.width - outerWidth) / 2);
    const int y = available.y + std::max(0, (available.height - outerHeight) / 2);
    return {x, y, width, height};
}

} // namespace menubar::WindowPlacement
