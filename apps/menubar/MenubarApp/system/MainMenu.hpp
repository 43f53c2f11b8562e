#pragma once

// The application's main menu: "tessaly-menubar" (Settings..., Quit), "Edit" and
// "Window", with the standard shortcuts. On macOS a parentless menu bar is the
// global one, shown while the settings window is active; elsewhere the same
// menu bar is kept unshown so the settings window can take its actions and
// offer the same shortcuts. Editing and window items act on whatever widget or
// window has focus, as the platform's first responder would.

#include <functional>

#include <QMenuBar>

namespace menubar::app::MainMenu {

// A new, parentless menu bar; the caller owns it.
QMenuBar* build(std::function<void()> showSettings);

// Sets up the menu bar once for the life of the process: built at once on
// macOS, where it is the global one, and on first use elsewhere.
void install(std::function<void()> showSettings);

// The installed menu bar (built now if it was waiting), or null before install().
QMenuBar* installed();

} // namespace menubar::app::MainMenu
