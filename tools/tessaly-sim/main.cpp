// The stand-in daemon `tessaly`: the command line the menu-bar app relies on, backed by a
// simulation, for the demo and for tests that need a real child process.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "Service.hpp"
#include "Settings.hpp"
#include "Watch.hpp"

namespace fs = std::filesystem;
using namespace tessaly_sim;

namespace {

constexpr const char* usage = R"(tessaly - stand-in daemon for tessaly-menubar (simulated sessions)

Usage:
  tessaly config schema                  print the settings schema as JSON
  tessaly config validate FILE [--json]  judge a config file; exit 0 ok, 1 not ok, 2 usage
  tessaly watch [options]                write the status file every interval until
                                         SIGTERM or SIGINT
  tessaly install [watch options]        run `watch` with these options as the user's
                                         own service (see below)
  tessaly uninstall                      stop that service and remove its definition
  tessaly --help                         this text

Watch options (flags win over the config file and are reported as "cli"):
  --status PATH       status file (default ~/.local/state/tessaly/status.json)
  --config PATH       config file (default ~/.config/tessaly/config.json)
  --interval-ms N     milliseconds between polls (default: the interval setting, 2000)
  --sessions N        number of simulated sessions (default 5)
  --seed N            seed of the simulation (default 1)
  --warn-context PCT  warn threshold in percent

Install and logs, by platform:
  Linux   install writes the systemd user unit
          $XDG_CONFIG_HOME/systemd/user/tessaly.service (default ~/.config/...),
          then runs `systemctl --user daemon-reload` when systemctl exists; start it
          with `systemctl --user enable --now tessaly.service`. uninstall runs
          `systemctl --user disable --now tessaly.service` and removes the unit.
          watch appends one line per state change to
          $XDG_STATE_HOME/tessaly/logs/daemon.log (default ~/.local/state/...),
          keeping one older file, daemon.log.1, of at most 1 MiB.
  macOS   install writes the launch agent property list
          ~/Library/LaunchAgents/dev.tessaly.daemon.plist, which starts at login
          and sends the daemon's output to ~/Library/Logs/tessaly/daemon.log;
          uninstall removes that property list.
)";

int usageError(const std::string& reason) {
    std::cerr << "tessaly: " << reason << "\n" << usage;
    return 2;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? entry->pw_dir : "/";
}

// The launch agent must name this very binary, so that the app finds the same stand-in.
std::string executablePath(const std::string& argv0) {
    std::error_code error;
    if (auto self = fs::read_symlink("/proc/self/exe", error); !error)
        return self.string();
    if (argv0.find('/') != std::string::npos)
        return fs::weakly_canonical(fs::absolute(argv0)).string();
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string directory; std::getline(path, directory, ':');)
        if (!directory.empty() && ::access((directory + "/" + argv0).c_str(), X_OK) == 0)
            return fs::weakly_canonical(fs::absolute(directory + "/" + argv0)).string();
    return argv0;
}

int validateCommand(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    bool asJSON = false;
    for (const auto& argument : arguments) {
        if (argument == "--json")
            asJSON = true;
        else if (argument.rfind("--", 0) == 0)
            return usageError("unknown option for config validate: " + argument);
        else
            files.push_back(argument);
    }
    if (files.size() != 1)
        return usageError("config validate needs exactly one FILE");

    std::vector<Issue> issues;
    std::ifstream in(files.front(), std::ios::binary);
    if (!in) {
        issues.push_back({{}, "Cannot read " + files.front() + ": " + std::strerror(errno)});
    } else {
        std::ostringstream text;
        text << in.rdbuf();
        issues = validate(text.str());
    }

    if (asJSON) {
        std::cout << answer(issues).dump() << "\n";
    } else if (issues.empty()) {
        std::cout << "ok\n";
    } else {
        for (const auto& issue : issues)
            std::cout << (issue.options.empty() ? "" : issue.options.front() + ": ")
                      << issue.message << "\n";
    }
    return issues.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::vector<std::string> rest(arguments.empty() ? arguments.end() : arguments.begin() + 1,
                                        arguments.end());
    const std::string command = arguments.empty() ? "" : arguments.front();
    const std::string home = homeDirectory();
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << usage;
            return 0;
        }
        if (command == "config" && !rest.empty() && rest.front() == "schema" && rest.size() == 1) {
            std::cout << schema().dump(2) << "\n";
            return 0;
        }
        if (command == "config" && !rest.empty() && rest.front() == "validate")
            return validateCommand({rest.begin() + 1, rest.end()});
        if (command == "watch")
            return watch(parseWatchOptions(rest, home), home);
        if (command == "install") {
            parseWatchOptions(rest, home); // refuse a launch agent that could never start
            std::vector<std::string> program = {executablePath(argv[0]), "watch"};
            program.insert(program.end(), rest.begin(), rest.end());
            return install(program, home);
        }
        if (command == "uninstall" && rest.empty())
            return uninstall(home);
        return usageError(command.empty() ? "no command given" : "unknown command: " + command);
    } catch (const std::invalid_argument& error) {
        return usageError(error.what());
    } catch (const std::exception& error) {
        std::cerr << "tessaly: " << error.what() << "\n";
        return 1;
    }
}
