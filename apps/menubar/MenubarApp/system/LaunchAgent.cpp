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

void start(std::function<void()> completion, const Setup& setup) {
    CommandRunner::runInBackground([setup, completion = std::move(completion)] {
        const auto kicked = CommandRunner::runSync(
            setup.launchctl, {"kickstart", "-k", serviceTarget()}, {}, setup.timeLimit);
        if (!kicked.succeeded())
            CommandRunner::runSync(setup.launchctl,
                                   {"bootstrap", domainTarget(), launchAgentPlistPath(setup.home)},
                                   {}, setup.timeLimit);
        CommandRunner::runOnMainThread(completion);
    });
}

void stop(std::function<void()> completion, const Setup& setup) {
    CommandRunner::run(
        setup.launchctl, {"bootout", serviceTarget()}, {},
        [completion = std::move(completion)](const CommandResult&) { completion(); },
        setup.timeLimit);
}

} // namespace LaunchAgent

} // namespace menubar::app
