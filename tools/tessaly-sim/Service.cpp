#include "Service.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <spawn.h>
#include <sys/wait.h>

#include "Simulation.hpp"

extern char** environ;

namespace tessaly_sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* launchAgentLabel = "dev.tessaly.daemon";
constexpr const char* unitName = "tessaly.service";

// An XDG base directory: the variable when it holds an absolute path, else the default.
std::string xdgDirectory(const char* variable, const std::string& home, const char* fallback) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? value : home + "/" + fallback;
}

[[maybe_unused]] std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

[[maybe_unused]] fs::path launchAgentPath(const std::string& home) {
    return fs::path(home) / "Library/LaunchAgents" / (std::string(launchAgentLabel) + ".plist");
}

[[maybe_unused]] fs::path unitPath(const std::string& home) {
    return fs::path(xdgDirectory("XDG_CONFIG_HOME", home, ".config")) / "systemd/user" / unitName;
}

// systemd.syntax(7): inside double quotes a backslash starts a C escape; "%" is a
// specifier everywhere, and "$" in an argument names a variable, so both are doubled.
std::string quoted(const std::string& word, bool isArgument) {
    bool plain = !word.empty();
    std::string body;
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            body += '\\';
            body += c;
        } else if (c == '%') {
            body += "%%";
        } else if (c == '$' && isArgument) {
            body += "$$";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            body += escape;
        } else {
            body += c;
        }
        if (c == ' ' || c == '\'' || c == ';' || c == '"' || c == '\\' || byte < 0x20 ||
            byte == 0x7F)
            plain = false;
    }
    return plain ? body : "\"" + body + "\"";
}

// Runs `systemctl --user ARGUMENTS...` from PATH and waits for it; its exit status,
// or nothing when there is no systemctl to run.
[[maybe_unused]] std::optional<int> systemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"systemctl", "--user"});
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, "systemctl", nullptr, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return 1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Says what one systemctl step did.
[[maybe_unused]] void report(const std::string& step, std::optional<int> status) {
    if (!status)
        std::cout << "systemctl not found; skipped: systemctl --user " << step << "\n";
    else if (*status == 0)
        std::cout << "ran: systemctl --user " << step << "\n";
    else
        std::cout << "failed (exit " << *status << "): systemctl --user " << step << "\n";
}

} // namespace

std::string logsDirectory(const std::string& home) {
#ifdef __APPLE__
    return home + "/Library/Logs/tessaly";
#else
    return xdgDirectory("XDG_STATE_HOME", home, ".local/state") + "/tessaly/logs";
#endif
}

std::string execStartLine(const std::vector<std::string>& program) {
    std::string line = "ExecStart=";
    for (std::size_t i = 0; i < program.size(); ++i)
        line += (i == 0 ? "" : " ") + quoted(program[i], i > 0);
    return line;
}

#ifdef __APPLE__

int install(const std::vector<std::string>& program, const std::string& home) {
    std::string arguments;
    for (const auto& argument : program)
        arguments += "\t\t<string>" + xmlEscaped(argument) + "</string>\n";
    const std::string logs = logsDirectory(home) + "/";

    const fs::path path = launchAgentPath(home);
    fs::create_directories(path.parent_path());
    std::ofstream out(path);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
           "\t<key>Label</key>\n\t<string>"
        << launchAgentLabel
        << "</string>\n"
           "\t<key>ProgramArguments</key>\n\t<array>\n"
        << arguments
        << "\t</array>\n"
           "\t<key>RunAtLoad</key>\n\t<true/>\n"
           "\t<key>KeepAlive</key>\n\t<true/>\n"
           "\t<key>StandardOutPath</key>\n\t<string>"
        << xmlEscaped(logs) << "daemon.log</string>\n\t<key>StandardErrorPath</key>\n\t<string>"
        << xmlEscaped(logs) << "daemon.log</string>\n</dict>\n</plist>\n";
    if (!out.flush()) {
        std::cerr << "tessaly: could not write " << path.string() << "\n";
        return 1;
    }
    std::cout << "installed " << path.string() << "\n";
    return 0;
}

int uninstall(const std::string& home) {
    const fs::path path = launchAgentPath(home);
    std::error_code error;
    std::cout << (fs::remove(path, error) ? "removed " : "not installed: ") << path.string()
              << "\n";
    return 0;
}

#else

int install(const std::vector<std::string>& program, const std::string& home) {
    const fs::path path = unitPath(home);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path);
    out << "[Unit]\n"
           "Description=tessaly stand-in daemon (simulated sessions)\n"
           "\n"
           "[Service]\n"
        << execStartLine(program)
        << "\n"
           "Restart=on-failure\n"
           "\n"
           "[Install]\n"
           "WantedBy=default.target\n";
    if (!out.flush()) {
        std::cerr << "tessaly: could not write " << path.string() << "\n";
        return 1;
    }
    std::cout << "installed " << path.string() << "\n";
    report("daemon-reload", systemctl({"daemon-reload"}));
    std::cout << "start it with: systemctl --user enable --now " << unitName << "\n";
    return 0;
}

int uninstall(const std::string& home) {
    const fs::path path = unitPath(home);
    std::error_code error;
    if (!fs::exists(path, error)) {
        std::cout << "not installed: " << path.string() << "\n";
        return 0;
    }
    report(std::string("disable --now ") + unitName, systemctl({"disable", "--now", unitName}));
    if (!fs::remove(path, error)) {
        std::cerr << "tessaly: could not remove " << path.string() << ": " << error.message()
                  << "\n";
        return 1;
    }
    std::cout << "removed " << path.string() << "\n";
    report("daemon-reload", systemctl({"daemon-reload"}));
    return 0;
}

#endif

DaemonLog::DaemonLog(std::optional<std::string> folder) {
    if (!folder)
        return;
    std::error_code error;
    fs::create_directories(*folder, error);
    path_ = *folder + "/daemon.log";
}

void DaemonLog::write(const std::string& line) const {
    if (!path_)
        return;
    std::error_code error;
    if (fs::file_size(*path_, error) >= sizeLimit && !error)
        fs::rename(*path_, *path_ + ".1", error);
    std::ofstream(*path_, std::ios::app) << timestamp(Clock::now()) << " " << line << "\n";
}

} // namespace tessaly_sim
