#pragma once

// The outside terminal tool `cmux`: bringing a session's workspace to the front,
// and showing a notification (through cmux when installed, else osascript).
// Every cmux call carries CMUX_QUIET=1; none of its output is read.
//
// From the menu, on the main thread:
//   Cmux::focus(session.workspaceId, session.surfaceId, [self = QPointer(this)] { ... refresh ...
//   }); Notifier::notify(title, body, [](const CommandResult&) {});
// Both return at once and call the completion exactly once on the main thread.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CommandRunner.hpp"

namespace menubar::app {

namespace Cmux {

// "/opt/homebrew/bin/cmux", then "/usr/local/bin/cmux"; both win over PATH.
const std::vector<std::string>& candidates();

// The process's PATH at the moment of asking; nothing when it is unset.
std::optional<std::string> processSearchPath();

struct Setup {
    std::vector<std::string> candidates = Cmux::candidates();
    std::function<std::optional<std::string>()> searchPath = processSearchPath;
    std::string osascript = "/usr/bin/osascript";
    std::chrono::milliseconds timeLimit = CommandRunner::defaultTimeLimit;
};

// ["/opt/homebrew/bin/cmux", "/usr/local/bin/cmux"], as the log lines show them.
std::string candidatesDescription(const std::vector<std::string>& candidates);

// The first executable file among the candidates, then on the search path; looked
// up afresh on every call, so installing cmux needs no restart.
std::optional<std::string> path(const Setup& setup = {});

// "select-workspace --workspace <workspaceId>", and only when that succeeds and
// there is a surface, "focus-panel --panel <surfaceId> --workspace <workspaceId>".
// Without cmux: logs "cmux not found in <candidates> or PATH" and calls the
// completion right away, on the calling thread.
void focus(const std::string& workspaceId, const std::optional<std::string>& surfaceId,
           std::function<void()> completion, const Setup& setup = {});

} // namespace Cmux

namespace Notifier {

// "cmux notify --title <title> --body <body>"; without cmux, osascript with a
// fixed three-line script that takes the title and body as its arguments, so no
// text of theirs is ever quoted into the script.
void notify(const std::string& title, const std::string& body, CommandRunner::Completion completion,
            const Cmux::Setup& setup = {});

} // namespace Notifier

} // namespace menubar::app
