#include "DaemonConfig.hpp"

namespace menubar::app::DaemonConfig {

void loadSchema(const DaemonCommand& command, CommandRunner::Completion completion,
                std::chrono::milliseconds timeLimit) {
    CommandRunner::run(command.executable,
                       command.arguments(DaemonCommand::configSchemaArguments()), {},
                       std::move(completion), timeLimit);
}

CommandResult validate(const DaemonCommand& command, const std::string& candidatePath,
                       std::chrono::milliseconds timeLimit) {
    return CommandRunner::runSync(
        command.executable,
        command.arguments(DaemonCommand::configValidateArguments(candidatePath)), {}, timeLimit);
}

} // namespace menubar::app::DaemonConfig
