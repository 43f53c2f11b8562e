#pragma once

// Qt aborts the process (status 134, "Reinstalling the application may fix this
// problem") when no platform plugin can open the display: a Wayland session
// without Qt's Wayland plugin, a DISPLAY nobody answers. While a guard lives,
// such a failure prints instead the one line PlatformAdvice gives and exits with
// status 1. Held only around the QApplication's construction, where that failure
// happens; Qt's other messages pass through unchanged.

#include <string>
#include <vector>

#include <QString>

namespace menubar::app {

// The plugin files of one kind ("platforms", "platformthemes") in the folders
// Qt looks through: its own, then QT_PLUGIN_PATH's.
std::vector<std::string> qtPlugins(const QString& kind);

class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

} // namespace menubar::app
