#pragma once

// Driving the daemon through launchd (`launchctl`): start, restart and stop on
// macOS.
//
// LaunchdService (DaemonService.hpp) calls, on the main thread:
//   LaunchAgent::start([self = QPointer(this)] { if (self) self->refresh(); });
//   LaunchAgent::stop(...same...);
// Both return at once and call the completion exactly once, on the main thread,
// whatever happened: callers refresh from the status file rather than inspect
// a result. Failures reach the log through the command runner.

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
void start(std::function<void()> completion, const Setup& setup = {});

// "bootout <service>", which unloads the agent and so stops the daemon.
void stop(std::function<void()> completion, const Setup& setup = {});

} // namespace LaunchAgent

} // namespace menubar::app
