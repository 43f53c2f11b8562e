#include "Watch.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "Service.hpp"
#include "Settings.hpp"
#include "Simulation.hpp"

namespace tessaly_sim {

namespace fs = std::filesystem;

namespace {

// The signal handler only writes to this pipe; the poll loop sleeps on its read end, so a
// stop request ends the sleep at once and nothing spins.
int stopPipe[2] = {-1, -1};

void requestStop(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe[1], &byte, 1);
}

void installStopHandlers() {
    if (::pipe(stopPipe) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    ::fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// True when a stop was requested before the interval ran out.
bool sleepUnlessStopped(long long intervalMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(intervalMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd entry{stopPipe[0], POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

std::string expandTilde(const std::string& path, const std::string& home) {
    if (path == "~" || path.rfind("~/", 0) == 0)
        return home + path.substr(1);
    return path;
}

std::optional<fs::file_time_type> modificationTime(const std::string& path) {
    std::error_code error;
    const auto time = fs::last_write_time(path, error);
    return error ? std::nullopt : std::optional(time);
}

// The reader must never see a half-written file: write beside it, then rename over it.
void writeAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::cerr << "tessaly: could not write " << temporary << "\n";
            return;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cerr << "tessaly: could not rename " << temporary << ": " << std::strerror(errno)
                  << "\n";
        fs::remove(temporary, ignored);
    }
}

json configObject(const json& settings) {
    return {{"warnContextPct", settings["warn-context"]},
            {"criticalContextPct", settings["critical-context"]},
            {"cacheMinContextPct", settings["cache-min-context"]},
            {"cacheLeadMs", durationMs(settings["cache-lead"])},
            {"messageAgents", settings["message-agents"]},
            {"dryRun", settings["dry-run"]},
            {"onCritical", settings["on-critical"]},
            {"onCacheExpiry", settings["on-cache-expiry"]},
            {"settings", settings}};
}

template <typename Number> Number numberArgument(const std::string& flag, const std::string& text) {
    std::istringstream in(text);
    Number number{};
    if (!(in >> number) || !in.eof())
        throw std::invalid_argument(flag + " needs a number, not \"" + text + "\"");
    return number;
}

} // namespace

WatchOptions parseWatchOptions(const std::vector<std::string>& arguments, const std::string& home) {
    WatchOptions options;
    options.statusPath = home + "/.local/state/tessaly/status.json";
    options.configPath = home + "/.config/tessaly/config.json";
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& flag = arguments[index];
        if (index + 1 >= arguments.size())
            throw std::invalid_argument("unknown watch option or missing value: " + flag);
        const std::string& value = arguments[++index];
        if (flag == "--status")
            options.statusPath = value;
        else if (flag == "--config")
            options.configPath = value;
        else if (flag == "--interval-ms")
            options.intervalMs = numberArgument<long long>(flag, value);
        else if (flag == "--sessions")
            options.sessions = numberArgument<int>(flag, value);
        else if (flag == "--seed")
            options.seed = numberArgument<std::uint32_t>(flag, value);
        else if (flag == "--warn-context")
            options.warnContext = numberArgument<double>(flag, value);
        else
            throw std::invalid_argument("unknown watch option: " + flag);
    }
    // The same bounds as the interval setting, so a flag never reports a value the
    // settings window would call invalid.
    if (options.intervalMs && (*options.intervalMs < 50 || *options.intervalMs > 600'000))
        throw std::invalid_argument("--interval-ms must be between 50 and 600000");
    if (options.sessions < 0 || options.sessions > 50)
        throw std::invalid_argument("--sessions must be between 0 and 50");
    if (options.warnContext && (*options.warnContext < 0 || *options.warnContext > 100))
        throw std::invalid_argument("--warn-context must be between 0 and 100");
    return options;
}

int watch(const WatchOptions& options, const std::string& home) {
    installStopHandlers();
    const auto startedAt = Clock::now();

    json flags = json::object();
    if (options.intervalMs)
        flags["interval"] = *options.intervalMs;
    if (options.warnContext)
        flags["warn-context"] = *options.warnContext;

    // The config file is read once, at start, as the daemon does; later edits only show
    // up as changedSinceLoad until the next start.
    const auto loadedMTime = modificationTime(options.configPath);
    std::optional<std::string> fileText;
    if (loadedMTime) {
        std::ifstream in(options.configPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        fileText = in ? text.str() : std::string();
    }
    const Effective effective = resolve(fileText, flags);
    const json& settings = effective.settings;
    const long long intervalMs = settings["interval"];

    const std::string handoffSetting = settings["handoff-dir"];
    const fs::path handoffDir = handoffSetting.empty()
                                    ? fs::path(options.statusPath).parent_path() / "handoffs"
                                    : fs::path(expandTilde(handoffSetting, home));

    json status = {{"version", 1},
                   {"daemonPid", ::getpid()},
                   {"startedAt", timestamp(startedAt)},
                   {"intervalMs", intervalMs},
                   {"config", configObject(settings)},
                   {"configSources", effective.sources}};
    if (effective.error)
        status["configError"] = {{"message", *effective.error},
                                 {"path", options.configPath},
                                 {"at", timestamp(startedAt)}};
    status["configFile"] = {{"path", options.configPath}};
    if (loadedMTime && !effective.error)
        status["configFile"]["loadedAt"] = timestamp(startedAt);

    Simulation simulation(options.seed, options.sessions, home, startedAt);
    std::cerr << "tessaly: watching " << options.sessions << " simulated sessions, writing "
              << options.statusPath << " every " << intervalMs << " ms\n";
#ifdef __APPLE__
    // launchd already sends standard error to the logs folder.
    const DaemonLog log(std::nullopt);
#else
    const DaemonLog log(logsDirectory(home));
#endif
    log.write("started (pid " + std::to_string(::getpid()) + "), watching " +
              std::to_string(options.sessions) + " simulated sessions, writing " +
              options.statusPath);
    if (effective.error)
        log.write("config file ignored: " + *effective.error);
    std::uint64_t logged = 0;
    for (bool stopped = false; !stopped;) {
        const auto now = Clock::now();
        simulation.advance(now, settings, handoffDir);
        const json events = simulation.eventsJSON();
        const auto fresh =
            std::min<std::uint64_t>(simulation.recordedCount() - logged, events.size());
        for (auto event = events.end() - static_cast<std::ptrdiff_t>(fresh); event != events.end();
             ++event)
            log.write((*event)["level"].get<std::string>() + " " +
                      (*event)["kind"].get<std::string>() + ": " +
                      (*event)["dirName"].get<std::string>() + ": " +
                      (*event)["text"].get<std::string>());
        logged = simulation.recordedCount();
        status["at"] = timestamp(now);
        status["configFile"]["changedSinceLoad"] =
            modificationTime(options.configPath) != loadedMTime;
        status["sessions"] = simulation.sessionsJSON();
        status["events"] = events;
        writeAtomically(options.statusPath, status.dump(2) + "\n");
        stopped = sleepUnlessStopped(intervalMs);
    }
    status["stoppedAt"] = timestamp(Clock::now());
    writeAtomically(options.statusPath, status.dump(2) + "\n");
    log.write("stopped");
    std::cerr << "tessaly: stopped\n";
    return 0;
}

} // namespace tessaly_sim
