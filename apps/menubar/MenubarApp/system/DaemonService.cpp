#include "DaemonService.hpp"

#include <QtGlobal>

#include "Log.hpp"
#include "ProcessEnvironment.hpp"
#include "system/FileSystem.hpp"
#include "system/SystemdUnit.hpp"

namespace menubar::app {

std::shared_ptr<const DaemonService> DaemonService::forThisSystem(const std::string& home) {
    switch (ServiceFiles::native) {
    case ServiceManager::launchd:
        return std::make_shared<LaunchdService>(LaunchAgent::Setup{.home = home});
    case ServiceManager::systemd:
        return std::make_shared<SystemdService>(
            SystemdService::Setup::forUser(home, processEnvironment()));
    }
    return nullptr;
}

LaunchdService::LaunchdService(LaunchAgent::Setup setup) : setup_(std::move(setup)) {}

ServiceControls LaunchdService::controls() const {
    return {ServiceManager::launchd, FileSystem::real().exists(launchAgentPlistPath(setup_.home))};
}

void LaunchdService::start(Done done) const {
    LaunchAgent::start(std::move(done), setup_);
}

void LaunchdService::restart(Done done) const {
    LaunchAgent::start(std::move(done), setup_);
}

void LaunchdService::stop(Done done) const {
    LaunchAgent::stop(std::move(done), setup_);
}

std::optional<DaemonCommand> LaunchdService::locate(const Environment& environment) const {
    const FileSystem files = FileSystem::real();
    const auto readFile = [&files](const std::string& path) -> std::optional<std::string> {
        // A launch agent's list is a few kilobytes; anything huge is not one.
        auto read = files.readFile(path, 1 << 20);
        if (auto* bytes = std::get_if<std::string>(&read))
            return std::move(*bytes);
        return std::nullopt;
    };
    return DaemonCommand::resolve(environment, setup_.home, launchAgentPlistPath(setup_.home),
                                  readFile, files.isExecutable);
}

std::string LaunchdService::logsDirectory() const {
    return ServiceFiles::logsDirectory(ServiceManager::launchd, {}, setup_.home);
}

SystemdService::Setup SystemdService::Setup::forUser(std::string home, Environment environment) {
    Setup setup;
    setup.directories = SystemdUnit::directories(environment, home);
    setup.home = std::move(home);
    setup.environment = std::move(environment);
    return setup;
}

SystemdService::SystemdService(Setup setup) : setup_(std::move(setup)) {}

ServiceControls SystemdService::controls() const {
    return {ServiceManager::systemd,
            SystemdUnit::find(setup_.directories, FileSystem::real()).has_value()};
}

void SystemdService::start(Done done) const {
    request("start", std::move(done));
}

void SystemdService::restart(Done done) const {
    request("restart", std::move(done));
}

void SystemdService::stop(Done done) const {
    request("stop", std::move(done));
}

void SystemdService::request(const std::string& verb, Done done) const {
    std::optional<std::string> searchPath;
    if (const auto path = setup_.environment.find("PATH"); path != setup_.environment.end())
        searchPath = path->second;
    // PATH first: the user's own choice of systemctl wins over the usual places.
    auto systemctl =
        ExecutableLocator::resolve("systemctl", {}, searchPath, FileSystem::real().isExecutable);
    if (!systemctl)
        systemctl = ExecutableLocator::resolve("systemctl", setup_.systemctlCandidates,
                                               std::nullopt, FileSystem::real().isExecutable);
    if (!systemctl) {
        std::string places;
        for (const auto& candidate : setup_.systemctlCandidates)
            places += (places.empty() ? "" : ", ") + candidate;
        const std::string missing = "not found on PATH or at " + places;
        log("systemctl " + missing + "; cannot " + verb + " " + std::string(SystemdUnit::unitName));
        CommandRunner::runOnMainThread(
            [done = std::move(done), missing] { done(CommandResult{-1, {}, missing}); });
        return;
    }
    CommandRunner::run(*systemctl, {"--user", verb, std::string(SystemdUnit::unitName)}, {},
                       std::move(done), setup_.timeLimit);
}

std::optional<DaemonCommand> SystemdService::locate(const Environment& environment) const {
    const FileSystem disk = FileSystem::real();
    const auto fromUnit = [&]() -> std::optional<DaemonCommand> {
        const auto reading = SystemdUnit::load(setup_.directories, disk, setup_.home);
        if (!reading)
            return std::nullopt;
        if (const auto* refusal = std::get_if<SystemdUnit::Refusal>(&*reading)) {
            log(std::string(SystemdUnit::unitName) + " gives no daemon command (" +
                refusal->reason + "); looking in the usual places");
            return std::nullopt;
        }
        const auto& command = std::get<DaemonCommand>(*reading);
        if (!disk.isExecutable(command.executable))
            log(std::string(SystemdUnit::unitName) + " starts " + command.executable +
                ", which is not an executable file; looking in the usual places");
        return command;
    };
    return DaemonCommand::resolve(environment, setup_.home, fromUnit,
                                  FileSystem::real().isExecutable);
}

std::string SystemdService::logsDirectory() const {
    return ServiceFiles::logsDirectory(ServiceManager::systemd, setup_.environment, setup_.home);
}

} // namespace menubar::app
