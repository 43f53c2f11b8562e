#pragma once

// One app per user session: the name the running instance listens under and
// locks, made of the user and the display, so two users, or one user on two
// displays (a local seat and a remote X session), each get their own.

#include <map>
#include <string>

namespace menubar::InstanceKey {

// "tessaly-menubar-<uid>-<display>" in characters that are safe in a file name.
// The display is WAYLAND_DISPLAY, else DISPLAY without its screen number (":0"
// and ":0.1" are one session), else "nodisplay".
std::string name(unsigned int userId, const std::map<std::string, std::string>& environment);

} // namespace menubar::InstanceKey
