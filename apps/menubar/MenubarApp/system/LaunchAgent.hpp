#pragma once

// Driving the daemon through launchd (`launchctl`): start, restart and stop on
// macOS.
//
// LaunchdService (DaemonService.hpp) calls, on the main thread:
//   LaunchAgent::start([self = QPointer(this)](const CommandResult&) { ... refresh ... });
//   LaunchAgent::stop(...same...);
// Both return at once and call the completion exactly once, on the main thread,
// whatever happened, with the result of the last command run. Under launchd the
// callers refresh from the status file rather than inspect it; failures reach
// the log through the command runner.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "CommandRunner.hpp"
#include "ProcessEnvironment.hpp"

namespace menubar::app {

namespace LaunchAgent {

struct Setup {
    std::string launchctl = "/bin/launchctl";
    std::string home = homeDirectory();
    std::chrono::milliseconds timeLimit = CommandRunner::defaultTimeLimit;
};

// "gui/<real user id>" and "gui/<real user id>/dev.tessaly.daemon".
std::string domainTarget();
std::string serviceTarget();

// "kickstart -k <service>", which starts a stopped agent and restarts a running
// one; when that fails for any reason, "bootstrap <domain> <plist>" loads the
// agent from its property list. Both run one after the other on a worker thread.
void start(CommandRunner::Completion completion, const Setup& setup = {});

// "bootout <service>", which unloads the agent and so stops the daemon.
void stop(CommandRunner::Completion completion, const Setup& setup = {});

} // namespace LaunchAgent

} // namespace menubar::app
