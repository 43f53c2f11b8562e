#include "Log.hpp"

#include <string>

#include <unistd.h>

namespace menubar::app {

void log(std::string_view message) {
    std::string line;
    line.reserve(message.size() + 18);
    line += "tessaly-menubar: ";
    line += message;
    line += '\n';
    // One write call: a failed or short write is not retried, by design.
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

} // namespace menubar::app
