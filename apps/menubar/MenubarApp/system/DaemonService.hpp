#pragma once

// The daemon as a service of the platform's service manager: whether it is
// installed, starting, restarting and stopping it, the command line its
// definition gives, and where its logs are. launchd drives it on macOS and a
// systemd user unit everywhere else; `forThisSystem` picks one at start-up, and
// tests build either on any platform over a scratch home and stand-in tools.
//
// start, restart and stop return at once and call their completion exactly once,
// on the main thread, whatever happened, with the result of the manager's last
// command (status -1 when the manager's tool is not there). Callers refresh from
// the status file either way; where the manager is systemd, they also tell the
// user what went wrong (FailureNotices). Failures reach the log through the
// command runner.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CommandRunner.hpp"
#include "LaunchAgent.hpp"
#include "system/DaemonCommand.hpp"
#include "system/ServiceManager.hpp"

namespace menubar::app {

class DaemonService {
public:
    using Done = CommandRunner::Completion;
    using Environment = std::map<std::string, std::string>;

    virtual ~DaemonService() = default;

    // Asks the disk, so it is current at each call.
    virtual ServiceControls controls() const = 0;
    virtual void start(Done done) const = 0;
    virtual void restart(Done done) const = 0;
    virtual void stop(Done done) const = 0;
    // TESSALY_CLI, then this service's definition, then the fixed places and PATH.
    virtual std::optional<DaemonCommand> locate(const Environment& environment) const = 0;
    virtual std::string logsDirectory() const = 0;

    // launchd on macOS, the systemd user unit elsewhere, for `home` and the
    // process environment.
    static std::shared_ptr<const DaemonService> forThisSystem(const std::string& home);
};

// The launch agent `dev.tessaly.daemon` through `launchctl`.
class LaunchdService : public DaemonService {
public:
    explicit LaunchdService(LaunchAgent::Setup setup = {});

    ServiceControls controls() const override;
    // kickstart -k restarts a running agent too, so both are one request.
    void start(Done done) const override;
    void restart(Done done) const override;
    void stop(Done done) const override;
    std::optional<DaemonCommand> locate(const Environment& environment) const override;
    std::string logsDirectory() const override;

private:
    LaunchAgent::Setup setup_;
};

// The user unit `tessaly.service` through `systemctl --user`.
class SystemdService : public DaemonService {
public:
    struct Setup {
        std::string home;
        // For the XDG folders and for finding systemctl on PATH.
        Environment environment;
        // Where units are looked for, most important first.
        std::vector<std::string> directories;
        // Tried after PATH.
        std::vector<std::string> systemctlCandidates{"/usr/bin/systemctl", "/bin/systemctl"};
        std::chrono::milliseconds timeLimit = CommandRunner::defaultTimeLimit;

        // systemd's own folders for this home and environment.
        static Setup forUser(std::string home, Environment environment);
    };

    explicit SystemdService(Setup setup);

    ServiceControls controls() const override;
    void start(Done done) const override;
    void restart(Done done) const override;
    void stop(Done done) const override;
    std::optional<DaemonCommand> locate(const Environment& environment) const override;
    std::string logsDirectory() const override;

private:
    void request(const std::string& verb, Done done) const;

    Setup setup_;
};

} // namespace menubar::app
