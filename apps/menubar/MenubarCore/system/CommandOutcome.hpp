#pragma once

// The result of one child process, as logic sees it: the exit status (-1 when
// the child could not be started), and its standard output and standard error,
// decoded as UTF-8 and trimmed. The app's CommandResult copies into it unchanged.
// (The streams are spelled out because `stdout` and `stderr` are C macros.)
// A default-constructed outcome reads as a failure, never as success.

#include <cstdint>
#include <string>

namespace menubar {

struct CommandOutcome {
    std::int32_t status = -1;
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const { return status == 0; }
    bool operator==(const CommandOutcome&) const = default;
};

} // namespace menubar
