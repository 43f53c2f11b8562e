#pragma once

// The app's one diagnostic channel: "tessaly-menubar: " + message + "\n" to
// standard error in a single write, so lines from worker threads never interleave.
// Nothing else in the app writes to standard error.

#include <string_view>

namespace menubar::app {

void log(std::string_view message);

} // namespace menubar::app
