#pragma once

#include <string>

namespace menubar::Paths {

// Tilde expansion as the shell and the platform do it: a leading "~" alone or
// before "/" stands for `home`; "~name" for that user's home directory (left as
// it is when there is no such user). Nothing else is changed.
std::string expandTilde(const std::string& path, const std::string& home);

// The path without its last component ("/a/b/c" gives "/a/b", "c" gives ".").
std::string parentDirectory(const std::string& path);

} // namespace menubar::Paths
