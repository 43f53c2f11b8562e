#include "MenuUpdate.hpp"

#include <algorithm>

namespace menubar {

MenuUpdate MenuUpdate::plan(const std::vector<MenuEntry>& shown, const std::vector<MenuEntry>& next,
                            View view) {
    if (StatusMenu::sameItems(shown, next))
        return {.kind = Kind::retitle};
    switch (view) {
    case View::closedMenu:
        return {.kind = Kind::rebuild};
    case View::openMenu:
        return {.kind = Kind::keep};
    case View::window:
        break;
    }
    const std::size_t shorter = std::min(shown.size(), next.size());
    std::size_t front = 0;
    while (front < shorter && StatusMenu::sameItem(shown[front], next[front]))
        ++front;
    std::size_t back = 0;
    while (back < shorter - front &&
           StatusMenu::sameItem(shown[shown.size() - 1 - back], next[next.size() - 1 - back]))
        ++back;
    return {.kind = Kind::patch, .front = front, .back = back};
}

ScreenRect keptOnScreen(ScreenRect menu, ScreenRect screen) {
    menu.x = std::max(screen.x, std::min(menu.x, screen.x + screen.width - menu.width));
    menu.y = std::max(screen.y, std::min(menu.y, screen.y + screen.height - menu.height));
    return menu;
}

} // namespace menubar
