#include "Simulation.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "Settings.hpp"

namespace tessaly_sim {

namespace {

using Seconds = std::chrono::duration<double>;

// Starting points chosen so that a fresh demo shows a believable mix at once: one session
// already past warn, one that climbs through warn and critical within the first minute,
// an idle one whose cache runs out, one waiting for input and one small one found by scan.
struct Profile {
    const char *dirName, *provider, *model;
    long long contextWindow;
    double startPct, growthPerSecond, scheduleOffset, idleSeconds;
    long long cacheTtlMs;
    bool inTerminal;
};

constexpr Profile profiles[] = {
    {"api-gateway", "claude", "claude-sonnet-4-5-20250929", 200'000, 58, 0.6, 0, 0, 300'000, true},
    {"web-console", "codex", "gpt-5-codex", 272'000, 73, 0.15, 20, 0, 600'000, true},
    {"billing", "claude", "claude-opus-4-1-20250805", 200'000, 44, 0.1, 50, 220, 300'000, true},
    {"infra", "gemini", "gemini-2.5-pro", 1'048'576, 46, 0.2, 80, 45, 3'600'000, true},
    {"docs-site", "claude", "claude-haiku-4-5-20251001", 200'000, 12, 0.4, 60, 15, 300'000, false},
};
constexpr int profileCount = sizeof(profiles) / sizeof(profiles[0]);

// Every session runs through the same 90-second schedule from its own offset.
std::string lifecycleAt(double scheduleSeconds) {
    const double phase = std::fmod(scheduleSeconds, 90.0);
    if (phase < 50)
        return "running";
    return phase < 80 ? "idle" : "needsInput";
}

std::string wholeNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string percentText(double pct) {
    return wholeNumber(pct) + "%";
}

std::string sessionIdFrom(std::mt19937& random) {
    static constexpr const char* digits = "0123456789abcdef";
    std::string id;
    for (int index = 0; index < 32; ++index) {
        if (index == 8 || index == 12 || index == 16 || index == 20)
            id += '-';
        id += digits[random() % 16];
    }
    return id;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Injections only reach an agent when messaging is on and this is not a dry run.
bool injectionIsDryRun(const json& settings) {
    return settings["dry-run"].get<bool>() || !settings["message-agents"].get<bool>();
}

bool wants(const json& settings, const char* name, const char* action) {
    const json& actions = settings[name];
    return std::find(actions.begin(), actions.end(), action) != actions.end();
}

} // namespace

std::string timestamp(Clock::time_point instant) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

Simulation::Simulation(std::uint32_t seed, int sessionCount, const std::string& home,
                       Clock::time_point startedAt)
    : startedAt_(startedAt), lastAdvance_(startedAt) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-3.0, 3.0);
    for (int index = 0; index < sessionCount; ++index) {
        const Profile& profile = profiles[index % profileCount];
        const int round = index / profileCount;
        Session session;
        session.provider = profile.provider;
        session.model = profile.model;
        session.sessionId = sessionIdFrom(random);
        session.shortId = session.sessionId.substr(0, 8);
        session.dirName =
            std::string(profile.dirName) + (round ? "-" + std::to_string(round + 1) : "");
        session.cwd = home + "/src/" + session.dirName;
        session.source = profile.inTerminal ? "store" : "scan";
        if (profile.inTerminal) {
            session.workspaceId = "workspace:" + std::to_string(index / 2 + 1);
            session.surfaceId = "surface:" + std::to_string(index + 1);
        }
        session.contextWindow = profile.contextWindow;
        session.contextPct = std::max(1.0, profile.startPct + jitter(random));
        session.growthPerSecond = profile.growthPerSecond;
        session.scheduleOffset = profile.scheduleOffset + 17.0 * round;
        session.cacheTtlMs = profile.cacheTtlMs;
        session.lastActivityAt =
            startedAt - std::chrono::duration_cast<Clock::duration>(Seconds(profile.idleSeconds));
        sessions_.push_back(std::move(session));
    }
}

void Simulation::advance(Clock::time_point now, const json& settings,
                         const std::filesystem::path& handoffDir) {
    const double elapsed = Seconds(now - startedAt_).count();
    const double step = std::max(0.0, Seconds(now - lastAdvance_).count());
    lastAdvance_ = now;
    const double warn = settings["warn-context"];
    const double critical = settings["critical-context"];

    for (auto& session : sessions_) {
        const std::string lifecycle = lifecycleAt(elapsed + session.scheduleOffset);
        if (lifecycle == "needsInput" && session.lifecycle != "needsInput")
            record(now, session, "notify", "info", session.dirName + " needs input");
        session.lifecycle = lifecycle;

        if (lifecycle == "running") {
            session.contextPct += session.growthPerSecond * step;
            session.lastActivityAt = now;
            session.cacheActedOn = false;
        }
        // A full context gets compacted by the agent, which starts the climb again.
        if (session.contextPct >= 97) {
            session.contextPct = 8;
            record(now, session, "notify", "ok",
                   session.dirName + " compacted its context to " + percentText(8));
        }

        const std::string level = session.contextPct >= critical ? "critical"
                                  : session.contextPct >= warn   ? "warn"
                                                                 : "ok";
        if (level == "critical" && session.level != "critical")
            turnCritical(now, session, settings, handoffDir);
        else if (level == "warn" && session.level == "ok")
            record(now, session, "notify", "warn",
                   session.dirName + " context at " + percentText(session.contextPct) +
                       " (warn at " + percentText(warn) + ")");
        session.level = level;

        const auto lead = std::chrono::milliseconds(durationMs(settings["cache-lead"]));
        const auto expiresAt =
            session.lastActivityAt + std::chrono::milliseconds(session.cacheTtlMs);
        if (!session.cacheActedOn && lifecycle != "running" && now >= expiresAt - lead &&
            session.contextPct >= settings["cache-min-context"].get<double>()) {
            session.cacheActedOn = true;
            actOnCache(now, session, settings);
        }
    }
}

void Simulation::turnCritical(Clock::time_point now, Session& session, const json& settings,
                              const std::filesystem::path& handoffDir) {
    const std::string pct = percentText(session.contextPct);
    if (wants(settings, "on-critical", "notify"))
        record(now, session, "notify", "critical",
               session.dirName + " is critical: context at " + pct + " (critical at " +
                   percentText(settings["critical-context"].get<double>()) + ")");
    if (wants(settings, "on-critical", "handoff")) {
        // The made-up sessions have no real repositories, so every handoff file goes to the
        // scratchpad folder; the configured location is still what the file reports.
        const auto path = handoffDir / (session.dirName + "-" + session.shortId + ".md");
        if (settings["dry-run"].get<bool>()) {
            record(now, session, "handoff", "critical",
                   "Would write a handoff file to " + path.string(), true);
        } else {
            std::filesystem::create_directories(handoffDir);
            std::string text = settings["handoff-template"];
            text = replaced(text, "{dir}", session.dirName);
            text = replaced(text, "{pct}", wholeNumber(session.contextPct));
            text = replaced(text, "{session}", session.sessionId);
            std::ofstream(path) << text;
            session.handoff = Handoff{path.string(), now, settings["handoff-location"]};
            record(now, session, "handoff", "critical", "Wrote a handoff file to " + path.string());
        }
    }
    if (wants(settings, "on-critical", "inject"))
        record(now, session, "inject", "critical",
               settings["message-prefix"].get<std::string>() + " Context is at " + pct +
                   ".\nFinish the current step, then continue from the handoff file in a "
                   "fresh session.",
               injectionIsDryRun(settings));
}

void Simulation::actOnCache(Clock::time_point now, Session& session, const json& settings) {
    const auto expiresAt = session.lastActivityAt + std::chrono::milliseconds(session.cacheTtlMs);
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(expiresAt - now).count();
    const std::string when = left > 0 ? "in " + std::to_string(left) + "s" : "now";
    if (wants(settings, "on-cache-expiry", "notify"))
        record(now, session, "notify", "info", session.dirName + " prompt cache expires " + when);
    if (wants(settings, "on-cache-expiry", "inject"))
        record(now, session, "inject", "info",
               settings["message-prefix"].get<std::string>() + " Your prompt cache expires " +
                   when + ".\nReply with a one-line status to keep it warm.",
               injectionIsDryRun(settings));
}

void Simulation::record(Clock::time_point at, const Session& session, const std::string& kind,
                        const std::string& level, const std::string& text, bool dryRun) {
    events_.push_back({{"at", timestamp(at)},
                       {"sessionId", session.sessionId},
                       {"shortId", session.shortId},
                       {"dirName", session.dirName},
                       {"kind", kind},
                       {"level", level},
                       {"text", text},
                       {"dryRun", dryRun}});
    ++recorded_;
    // The status file carries recent history only.
    if (events_.size() > 50)
        events_.pop_front();
}

json Simulation::sessionsJSON() const {
    json sessions = json::array();
    for (const auto& session : sessions_) {
        json entry = {
            {"provider", session.provider},
            {"sessionId", session.sessionId},
            {"shortId", session.shortId},
            {"cwd", session.cwd},
            {"dirName", session.dirName},
            {"model", session.model},
            {"contextTokens", std::llround(session.contextPct / 100 * session.contextWindow)},
            {"contextWindow", session.contextWindow},
            {"contextPct", std::round(session.contextPct * 10) / 10},
            {"level", session.level},
            {"lifecycle", session.lifecycle},
            {"source", session.source},
            {"lastActivityAt", timestamp(session.lastActivityAt)},
            {"cacheExpiresAt",
             timestamp(session.lastActivityAt + std::chrono::milliseconds(session.cacheTtlMs))},
            {"cacheTtlMs", session.cacheTtlMs},
        };
        if (session.surfaceId) {
            entry["surfaceId"] = *session.surfaceId;
            entry["currentForSurface"] = session.currentForSurface;
        }
        if (session.workspaceId)
            entry["workspaceId"] = *session.workspaceId;
        if (session.handoff)
            entry["handoff"] = {{"path", session.handoff->path},
                                {"writtenAt", timestamp(session.handoff->writtenAt)},
                                {"location", session.handoff->location}};
        sessions.push_back(std::move(entry));
    }
    return sessions;
}

} // namespace tessaly_sim
