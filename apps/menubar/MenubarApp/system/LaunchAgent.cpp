#include "LaunchAgent.hpp"

#include <QDir>

#include <unistd.h>

#include "FileSystem.hpp"
#include "ProcessEnvironment.hpp"

namespace menubar::app {

std::string homeDirectory() {
    return QDir::homePath().toStdString();
}

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

namespace DaemonCommand {

std::optional<LaunchAgentCommand> locate(const std::string& home) {
    const LaunchAgentCommand::Environment environment = processEnvironment();

    const auto files = FileSystem::real();
    const auto readFile = [&files](const std::string& path) -> std::optional<std::string> {
        // A launch agent's list is a few kilobytes; anything huge is not one.
        auto read = files.readFile(path, 1 << 20);
        if (auto* bytes = std::get_if<std::string>(&read))
            return std::move(*bytes);
        return std::nullopt;
    };
    return LaunchAgentCommand::resolve(environment, home, launchAgentPlistPath(home), readFile,
                                       files.isExecutable);
}

void loadSchema(const LaunchAgentCommand& command, CommandRunner::Completion completion,
                std::chrono::milliseconds timeLimit) {
    CommandRunner::run(command.executable,
                       command.arguments(LaunchAgentCommand::configSchemaArguments()), {},
                       std::move(completion), timeLimit);
}

CommandResult validate(const LaunchAgentCommand& command, const std::string& candidatePath,
                       std::chrono::milliseconds timeLimit) {
    return CommandRunner::runSync(
        command.executable,
        command.arguments(LaunchAgentCommand::configValidateArguments(candidatePath)), {},
        timeLimit);
}

} // namespace DaemonCommand

} // namespace menubar::app
