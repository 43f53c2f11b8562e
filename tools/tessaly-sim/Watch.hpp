#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// `tessaly watch`: polls the simulated sessions and rewrites the status file every
// interval until SIGTERM or SIGINT, then records the stop and exits.
namespace tessaly_sim {

struct WatchOptions {
    std::string statusPath;
    std::string configPath;
    std::optional<long long> intervalMs; // flag values override the config file
    std::optional<double> warnContext;
    int sessions = 5;
    std::uint32_t seed = 1;
};

// Throws std::invalid_argument with a one-line reason for a usage error.
WatchOptions parseWatchOptions(const std::vector<std::string>& arguments, const std::string& home);

// Returns the process exit status.
int watch(const WatchOptions& options, const std::string& home);

} // namespace tessaly_sim
