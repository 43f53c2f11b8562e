#pragma once

// What to tell a user whose desktop no Qt platform plugin can open: the one
// line the app prints instead of Qt's abort, naming what to install or set.
// `plugins` are the file names in Qt's "platforms" folders (libqxcb.so, ...).

#include <map>
#include <string>
#include <vector>

namespace menubar::PlatformAdvice {

using Environment = std::map<std::string, std::string>;

std::string line(const Environment& environment, const std::vector<std::string>& plugins);

} // namespace menubar::PlatformAdvice
