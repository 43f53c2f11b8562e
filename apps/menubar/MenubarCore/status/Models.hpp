#pragma once

// The records of the daemon's status file, as the app decodes them.
//
// Every field is optional: a key that is missing or null leaves it absent, so an
// older or newer daemon never makes the file unreadable. Lists are never absent
// (missing gives empty), a handoff's path is never absent (missing gives ""), and
// each enumeration takes every string it does not know as `unknown`.
//
// Records are aggregates: build them from their fields in declaration order (or
// with designated initialisers) and compare them field by field.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/Instant.hpp"
#include "json/JSONValue.hpp"

namespace menubar {

enum class SessionLevel { ok, warn, critical, unknown };
enum class SessionLifecycle { running, idle, needsInput, unknown };
enum class SessionSource { store, scan, unknown };
enum class EventKind { notify, inject, handoff, unknown };
enum class EventLevel { ok, info, warn, critical, unknown };
enum class HandoffLocation { repo, scratchpad, unknown };
enum class ConfigSource { cli, file, default_, unknown };

// The wire strings of each lenient enumeration, in case order.
template <class E> struct EnumStrings;
template <> struct EnumStrings<SessionLevel> {
    static constexpr std::array<std::pair<SessionLevel, std::string_view>, 4> cases{{
        {SessionLevel::ok, "ok"},
        {SessionLevel::warn, "warn"},
        {SessionLevel::critical, "critical"},
        {SessionLevel::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<SessionLifecycle> {
    static constexpr std::array<std::pair<SessionLifecycle, std::string_view>, 4> cases{{
        {SessionLifecycle::running, "running"},
        {SessionLifecycle::idle, "idle"},
        {SessionLifecycle::needsInput, "needsInput"},
        {SessionLifecycle::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<SessionSource> {
    static constexpr std::array<std::pair<SessionSource, std::string_view>, 3> cases{{
        {SessionSource::store, "store"},
        {SessionSource::scan, "scan"},
        {SessionSource::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<EventKind> {
    static constexpr std::array<std::pair<EventKind, std::string_view>, 4> cases{{
        {EventKind::notify, "notify"},
        {EventKind::inject, "inject"},
        {EventKind::handoff, "handoff"},
        {EventKind::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<EventLevel> {
    static constexpr std::array<std::pair<EventLevel, std::string_view>, 5> cases{{
        {EventLevel::ok, "ok"},
        {EventLevel::info, "info"},
        {EventLevel::warn, "warn"},
        {EventLevel::critical, "critical"},
        {EventLevel::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<HandoffLocation> {
    static constexpr std::array<std::pair<HandoffLocation, std::string_view>, 3> cases{{
        {HandoffLocation::repo, "repo"},
        {HandoffLocation::scratchpad, "scratchpad"},
        {HandoffLocation::unknown, "unknown"},
    }};
};
template <> struct EnumStrings<ConfigSource> {
    static constexpr std::array<std::pair<ConfigSource, std::string_view>, 4> cases{{
        {ConfigSource::cli, "cli"},
        {ConfigSource::file, "file"},
        {ConfigSource::default_, "default"},
        {ConfigSource::unknown, "unknown"},
    }};
};

// Exact, case-sensitive match of the whole string; anything else is `unknown`.
template <class E> E enumFrom(std::string_view text) {
    for (const auto& [value, string] : EnumStrings<E>::cases)
        if (string == text)
            return value;
    return E::unknown;
}

// The string a case is decoded from; `unknown` writes as "unknown".
template <class E> std::string_view rawValue(E value) {
    for (const auto& [candidate, string] : EnumStrings<E>::cases)
        if (candidate == value)
            return string;
    return "unknown";
}

// Severity for ordering: an unknown level ranks above ok so it is never hidden
// behind healthy sessions.
int rank(SessionLevel level);
// Display word: "running", "idle", "needs input", "unknown".
std::string_view label(SessionLifecycle lifecycle);

struct TessalyConfig {
    std::optional<double> warnContextPct;
    std::optional<double> criticalContextPct;
    std::optional<double> cacheMinContextPct;
    std::optional<std::int64_t> cacheLeadMs;
    std::optional<bool> messageAgents;
    std::optional<bool> dryRun;
    std::optional<std::vector<std::string>> onCritical;
    std::optional<std::vector<std::string>> onCacheExpiry;
    std::optional<JSONObject> settings;

    // The effective value of one setting, absent when not reported.
    std::optional<JSONValue> setting(std::string_view name) const;

    bool operator==(const TessalyConfig&) const = default;
};

struct ConfigFileStatus {
    std::optional<std::string> path;
    std::optional<Instant> loadedAt;
    std::optional<bool> changedSinceLoad;

    bool operator==(const ConfigFileStatus&) const = default;
};

struct ConfigError {
    std::optional<std::string> message;
    std::optional<std::string> path;
    std::optional<Instant> at;

    bool operator==(const ConfigError&) const = default;
};

struct SessionHandoff {
    std::string path;
    std::optional<Instant> writtenAt;
    HandoffLocation location = HandoffLocation::unknown;

    bool operator==(const SessionHandoff&) const = default;
};

struct SessionStatus {
    std::optional<std::string> provider;
    std::optional<std::string> sessionId;
    std::optional<std::string> shortId;
    std::optional<std::string> cwd;
    std::optional<std::string> dirName;
    std::optional<std::string> model;
    std::optional<std::int64_t> contextTokens;
    std::optional<std::int64_t> contextWindow;
    std::optional<double> contextPct;
    SessionLevel level = SessionLevel::unknown;
    SessionLifecycle lifecycle = SessionLifecycle::unknown;
    SessionSource source = SessionSource::unknown;
    std::optional<Instant> lastActivityAt;
    std::optional<Instant> cacheExpiresAt;
    std::optional<std::int64_t> cacheTtlMs;
    std::optional<std::string> surfaceId;
    std::optional<std::string> workspaceId;
    std::optional<bool> currentForSurface;
    std::optional<SessionHandoff> handoff;

    // dirName if not empty, else shortId if not empty, else "session".
    std::string displayName() const;

    bool operator==(const SessionStatus&) const = default;
};

struct TessalyEvent {
    std::optional<Instant> at;
    std::optional<std::string> sessionId;
    std::optional<std::string> shortId;
    std::optional<std::string> dirName;
    EventKind kind = EventKind::unknown;
    EventLevel level = EventLevel::unknown;
    std::optional<std::string> text;
    std::optional<bool> dryRun;

    bool operator==(const TessalyEvent&) const = default;
};

struct StatusFile {
    std::optional<std::int64_t> version;
    std::optional<std::int64_t> daemonPid;
    std::optional<Instant> startedAt;
    std::optional<Instant> at;
    std::optional<Instant> stoppedAt;
    std::optional<std::int64_t> intervalMs;
    std::optional<TessalyConfig> config;
    std::optional<ConfigFileStatus> configFile;
    std::optional<std::map<std::string, ConfigSource>> configSources;
    std::optional<ConfigError> configError;
    std::vector<SessionStatus> sessions;
    std::vector<TessalyEvent> events;

    static constexpr std::int64_t defaultIntervalMs = 30000;

    // The poll interval in seconds; an absent, zero or negative interval is 30 s.
    double intervalSeconds() const;
    // True only when the daemon reports that its config file changed after it read it.
    bool configChangedSinceLoad() const;
    // The settings the daemon took from a command-line flag (source "cli").
    std::set<std::string> flagLockedSettings() const;

    bool operator==(const StatusFile&) const = default;
};

} // namespace menubar
