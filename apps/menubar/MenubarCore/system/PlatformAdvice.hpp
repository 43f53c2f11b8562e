#pragma once

// What the app settles about Qt's platform before it opens the display: the one
// line it prints instead of Qt's abort when no platform plugin can open the
// desktop, and which event loop to ask for. `plugins` are the file names in
// Qt's "platforms" folders (libqxcb.so, ...), `themePlugins` those in its
// "platformthemes" folders (libqgtk3.so, ...).

#include <map>
#include <string>
#include <vector>

namespace menubar::PlatformAdvice {

using Environment = std::map<std::string, std::string>;

std::string line(const Environment& environment, const std::vector<std::string>& plugins);

// Whether to ask Qt for its own event loop (QT_NO_GLIB) rather than GLib's. The
// app wakes at every write of the status file, and GLib's loop costs more CPU
// at every wake than Qt's own. GTK's native dialogs (the file chooser of a path
// setting) run only on GLib's loop, so it stays wherever Qt may load its GTK
// theme; a user's own QT_NO_GLIB stands either way.
bool asksForQtEventLoop(const Environment& environment,
                        const std::vector<std::string>& themePlugins);

} // namespace menubar::PlatformAdvice
