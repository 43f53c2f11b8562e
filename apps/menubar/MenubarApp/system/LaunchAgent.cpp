#include "LaunchAgent.hpp"

#include <unistd.h>

#include "system/DaemonCommand.hpp"

namespace menubar::app {

namespace LaunchAgent {

std::string domainTarget() {
    // The real user id, as the service manager names a user's GUI domain.
    return "gui/" + std::to_string(::getuid());
}

std::string serviceTarget() {
    return domainTarget() + "/" + std::string(LaunchAgentLabel);
}

void start(CommandRunner::Completion completion, const Setup& setup) {
    CommandRunner::runInBackground([setup, completion = std::move(completion)] {
        auto result = CommandRunner::runSync(
            setup.launchctl, {"kickstart", "-k", serviceTarget()}, {}, setup.timeLimit);
        if (!result.succeeded())
            result = CommandRunner::runSync(
                setup.launchctl, {"bootstrap", domainTarget(), launchAgentPlistPath(setup.home)},
                {}, setup.timeLimit);
        CommandRunner::runOnMainThread([completion, result] { completion(result); });
    });
}

void stop(CommandRunner::Completion completion, const Setup& setup) {
    CommandRunner::run(setup.launchctl, {"bootout", serviceTarget()}, {}, std::move(completion),
                       setup.timeLimit);
}

} // namespace LaunchAgent

} // namespace menubar::app
