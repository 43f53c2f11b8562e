#pragma once

// Turns the core's StatusMenu entries into the tray menu's QActions, as
// MenuUpdate plans: retitled in place while the items stay the same, rebuilt
// while the menu is closed, and kept as they are while it is open (their texts
// still follow), so that an open menu neither closes nor loses the highlighted
// entry. The same QMenu is what Qt exports to a StatusNotifierItem host over
// D-Bus. No rule lives here.
//
// Owned by the StatusMenuController; main thread only.

#include <functional>
#include <memory>
#include <vector>

#include "status/StatusMenu.hpp"

class QAction;
class QMenu;

namespace menubar::app {

class StatusMenuRenderer {
public:
    using Perform = std::function<void(const MenuEntry& entry)>;

    explicit StatusMenuRenderer(Perform perform);
    ~StatusMenuRenderer();

    // Brings the menu to `entries`; false when it keeps what it shows, which
    // happens only while it is open.
    bool render(const std::vector<MenuEntry>& entries, bool open);

    QMenu* menu() const { return menu_.get(); }
    // What the menu's actions show, one entry each.
    const std::vector<MenuEntry>& shown() const { return shown_; }

private:
    QAction* make(const MenuEntry& entry);
    void show(QAction* action, const MenuEntry& entry);
    // How wide a title is drawn before it is elided, for the menu's screen.
    int titleWidth() const;
    void keepOnScreen();

    Perform perform_;
    std::unique_ptr<QMenu> menu_;
    std::vector<MenuEntry> shown_;
};

} // namespace menubar::app
