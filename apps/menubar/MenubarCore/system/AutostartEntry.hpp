#pragma once

// "Start at login" on freedesktop desktops: an XDG autostart entry named after
// the app's desktop id. Its presence is the setting, so a file the user deletes
// (or disables with Hidden=true) reads as off at the next poll.

#include <functional>
#include <map>
#include <string>

namespace menubar::AutostartEntry {

inline constexpr const char* desktopId = "dev.tessaly.Menubar";

// $XDG_CONFIG_HOME/autostart/<id>.desktop; a relative or empty XDG_CONFIG_HOME
// is ignored, as the base-directory rules require, for home + "/.config".
std::string path(const std::map<std::string, std::string>& environment, const std::string& home);

// The executable the entry starts: the running one when it is installed (it is
// found on PATH), else an installed `tessaly-menubar` on PATH, else the running
// one (say, a build tree that was never installed).
std::string executable(const std::string& running, const std::string& searchPath,
                       const std::function<bool(const std::string&)>& isExecutable);

// The whole entry, with `executable` quoted for the Exec key.
std::string text(const std::string& executable);

// Whether an entry with this content starts the app: not when it is hidden or
// switched off the way GNOME's startup-applications tool does it.
bool isEnabled(const std::string& content);

} // namespace menubar::AutostartEntry
