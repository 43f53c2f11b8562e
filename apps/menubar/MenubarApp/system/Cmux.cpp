#include "Cmux.hpp"

#include <cstdlib>

#include "Log.hpp"
#include "status/Formatting.hpp"
#include "system/DaemonCommand.hpp"
#include "system/FileSystem.hpp"

namespace menubar::app {

namespace {

const CommandRunner::Environment quiet{{"CMUX_QUIET", "1"}};

} // namespace

namespace Cmux {

const std::vector<std::string>& candidates() {
    static const std::vector<std::string> places{"/opt/homebrew/bin/cmux", "/usr/local/bin/cmux"};
    return places;
}

std::optional<std::string> processSearchPath() {
    if (const char* value = std::getenv("PATH"))
        return std::string(value);
    return std::nullopt;
}

std::string candidatesDescription(const std::vector<std::string>& candidates) {
    std::vector<std::string> quoted;
    for (const auto& candidate : candidates)
        quoted.push_back("\"" + candidate + "\"");
    return "[" + Formatting::join(quoted, ", ") + "]";
}

std::optional<std::string> path(const Setup& setup) {
    return ExecutableLocator::resolve("cmux", setup.candidates, setup.searchPath(),
                                      FileSystem::real().isExecutable);
}

void focus(const std::string& workspaceId, const std::optional<std::string>& surfaceId,
           std::function<void()> completion, const Setup& setup) {
    const auto cmux = path(setup);
    if (!cmux) {
        log("cmux not found in " + candidatesDescription(setup.candidates) + " or PATH");
        completion();
        return;
    }
    CommandRunner::runInBackground(
        [cmux = *cmux, workspaceId, surfaceId, setup, completion = std::move(completion)] {
            const auto selected = CommandRunner::runSync(
                cmux, {"select-workspace", "--workspace", workspaceId}, quiet, setup.timeLimit);
            if (selected.succeeded() && surfaceId && !surfaceId->empty())
                CommandRunner::runSync(
                    cmux, {"focus-panel", "--panel", *surfaceId, "--workspace", workspaceId}, quiet,
                    setup.timeLimit);
            CommandRunner::runOnMainThread(completion);
        });
}

} // namespace Cmux

namespace Notifier {

void notify(const std::string& title, const std::string& body, CommandRunner::Completion completion,
            const Cmux::Setup& setup) {
    if (const auto cmux = Cmux::path(setup)) {
        CommandRunner::run(*cmux, {"notify", "--title", title, "--body", body}, quiet,
                           std::move(completion), setup.timeLimit);
        return;
    }
    log("cmux not found in " + Cmux::candidatesDescription(setup.candidates) +
        " or PATH; using osascript for the notification");
    CommandRunner::run(setup.osascript,
                       {"-e", "on run argv", "-e",
                        "display notification (item 2 of argv) with title (item 1 of argv)", "-e",
                        "end run", title, body},
                       {}, std::move(completion), setup.timeLimit);
}

} // namespace Notifier

} // namespace menubar::app
