#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// A handful of made-up agent sessions whose context fills up, whose prompt caches run
// down and which wait for input now and then, paced by the wall clock so that the demo
// looks the same at any poll interval.
namespace tessaly_sim {

using nlohmann::json;
using Clock = std::chrono::system_clock;

// RFC 3339 in UTC with milliseconds, the form every date of the status file takes.
std::string timestamp(Clock::time_point instant);

struct Handoff {
    std::string path;
    Clock::time_point writtenAt;
    std::string location;
};

struct Session {
    std::string provider, model, sessionId, shortId, dirName, cwd, source;
    std::optional<std::string> surfaceId, workspaceId;
    bool currentForSurface = true;
    long long contextWindow = 0;
    double contextPct = 0;
    double growthPerSecond = 0;
    double scheduleOffset = 0; // seconds into the lifecycle schedule at start
    long long cacheTtlMs = 0;
    Clock::time_point lastActivityAt;
    bool cacheActedOn = false;
    std::string level = "ok", lifecycle = "running";
    std::optional<Handoff> handoff;
};

class Simulation {
public:
    Simulation(std::uint32_t seed, int sessionCount, const std::string& home,
               Clock::time_point startedAt);

    // Moves every session on to `now` under the effective `settings`, recording events
    // and writing handoff files into `handoffDir` as the daemon would.
    void advance(Clock::time_point now, const json& settings,
                 const std::filesystem::path& handoffDir);

    json sessionsJSON() const;
    json eventsJSON() const { return json(events_); }
    // Every event recorded since the start, also those the status file no longer holds.
    std::uint64_t recordedCount() const { return recorded_; }

private:
    void record(Clock::time_point at, const Session& session, const std::string& kind,
                const std::string& level, const std::string& text, bool dryRun = false);
    void turnCritical(Clock::time_point now, Session& session, const json& settings,
                      const std::filesystem::path& handoffDir);
    void actOnCache(Clock::time_point now, Session& session, const json& settings);

    Clock::time_point startedAt_;
    Clock::time_point lastAdvance_;
    std::vector<Session> sessions_;
    std::deque<json> events_;
    std::uint64_t recorded_ = 0;
};

} // namespace tessaly_sim
