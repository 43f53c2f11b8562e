#pragma once

// How a freshly built menu value reaches a menu, or the status window, that
// shows an older one. Texts, enabled and check states change in place whenever
// the items stay the same. A change of items waits while the menu is open: an
// open menu shows the items it opened with until it closes (their texts stay
// current), so the highlighted entry and the one under the pointer stay where
// the user left them. The status window stays open for as long as the user
// likes, so it is patched instead: the rows before and after the change keep
// their widgets, and with them the focus.

#include <cstddef>
#include <vector>

#include "StatusMenu.hpp"

namespace menubar {

struct MenuUpdate {
    enum class Kind {
        retitle, // the same items: update each one in place
        rebuild, // replace every item (a closed menu)
        keep,    // an open menu: leave it as it is until it closes
        patch,   // replace the changed rows only
    };
    enum class View { closedMenu, openMenu, window };

    Kind kind = Kind::rebuild;
    // For `patch`: the first `front` and the last `back` rows stay (retitled),
    // the shown rows between them make way for the new value's rows between them.
    std::size_t front = 0;
    std::size_t back = 0;

    static MenuUpdate plan(const std::vector<MenuEntry>& shown, const std::vector<MenuEntry>& next,
                           View view);

    bool operator==(const MenuUpdate&) const = default;
};

// A rectangle on the screen, in pixels.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ScreenRect&) const = default;
};

// Where an open menu that grew goes: moved left (and up) as far as it must to
// stay on the screen, but never past the screen's left (top) edge, where a
// menu wider than the screen keeps its start visible.
ScreenRect keptOnScreen(ScreenRect menu, ScreenRect screen);

} // namespace menubar
