#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// `tessaly install` and `tessaly uninstall`: the stand-in as the user's own service.
// On macOS a launch agent property list, on Linux a systemd user unit; the logs
// folder that goes with each.
namespace tessaly_sim {

// The folder `watch` keeps its log in, and launchd sends its output to:
// ~/Library/Logs/tessaly on macOS, $XDG_STATE_HOME/tessaly/logs elsewhere.
std::string logsDirectory(const std::string& home);

// `program` as one ExecStart= line: each word quoted the way systemd reads it back.
std::string execStartLine(const std::vector<std::string>& program);

// Writes the service definition for `program` (this binary, "watch", its options),
// tells the service manager where it can, and says what it did. Exit status.
int install(const std::vector<std::string>& program, const std::string& home);
int uninstall(const std::string& home);

// Appends one line per state change to daemon.log in the logs folder, keeping one
// older file beside it so that the log never outgrows two megabytes.
class DaemonLog {
public:
    static constexpr std::uintmax_t sizeLimit = 1 << 20;

    explicit DaemonLog(std::optional<std::string> folder);
    void write(const std::string& line) const;

private:
    std::optional<std::string> path_;
};

} // namespace tessaly_sim
