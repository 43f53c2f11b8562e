#pragma once

// The daemon's two configuration subcommands, which the settings window runs
// through the daemon's own command line on every platform.

#include <chrono>
#include <string>

#include "CommandRunner.hpp"
#include "system/DaemonCommand.hpp"

namespace menubar::app::DaemonConfig {

// "<command> config schema", asynchronously; the completion gets the result on
// the main thread (standard output is the schema when the status is 0).
void loadSchema(const DaemonCommand& command, CommandRunner::Completion completion,
                std::chrono::milliseconds timeLimit = CommandRunner::defaultTimeLimit);

// "<command> config validate <candidatePath> --json", blocking: for the save
// worker thread only. Only standard output answers; see the save pipeline.
CommandResult validate(const DaemonCommand& command, const std::string& candidatePath,
                       std::chrono::milliseconds timeLimit = CommandRunner::defaultTimeLimit);

} // namespace menubar::app::DaemonConfig
