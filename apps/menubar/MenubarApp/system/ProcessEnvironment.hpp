#pragma once

// The process environment as the core takes it: a map from name to value. Read
// afresh on each call, so a caller always sees what the process has now.

#include <map>
#include <string>

namespace menubar::app {

std::map<std::string, std::string> processEnvironment();

} // namespace menubar::app
