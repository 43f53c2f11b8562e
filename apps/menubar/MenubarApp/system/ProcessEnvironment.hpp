#pragma once

// The process environment as the core takes it: a map from name to value. Each
// call sees what the process has now, setenv included.

#include <map>
#include <string>

namespace menubar::app {

std::map<std::string, std::string> processEnvironment();

// The user's home directory as the app sees it.
std::string homeDirectory();

} // namespace menubar::app

namespace menubar::app {

// Where XDG_RUNTIME_DIR is unset (a bare X session, a start from cron), Qt warns
// on standard error and falls back to a folder of its own. Choosing that folder
// before Qt asks keeps the app's standard error to its own lines: a private
// /tmp/runtime-<uid>, created 0700 and used only when it is ours alone.
void provideRuntimeDirectory();

} // namespace menubar::app
