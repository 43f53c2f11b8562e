#include "Documents.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <string_view>

#include <nlohmann/json.hpp>

namespace menubar::bench {

namespace {

using nlohmann::json;

std::string timestamp(long long seconds, int millis) {
    using namespace std::chrono;
    const sys_seconds instant{std::chrono::seconds(seconds)};
    const auto day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss time{instant - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long long>(time.hours().count()),
                  static_cast<long long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()), millis);
    return text;
}

std::string hexId(std::size_t n, std::size_t salt) {
    char text[64];
    const auto a = static_cast<unsigned>((n * 2654435761u + salt) & 0xffffffffu);
    const auto b = static_cast<unsigned>((n * 40503u + salt * 7919u) & 0xffffu);
    std::snprintf(text, sizeof text, "%08x-%04x-7%03x-9%03x-%012zx", a, b, b & 0xfffu,
                  (a >> 4) & 0xfffu, n * 97 + salt);
    return text;
}

constexpr std::array<std::string_view, 6> projects{"api-gateway", "web-console", "infra",
                                                   "billing",     "docs",        "mobile-app"};
constexpr std::array<std::string_view, 3> lifecycles{"running", "idle", "needsInput"};
constexpr std::array<std::string_view, 3> levels{"ok", "warn", "critical"};
constexpr std::array<std::string_view, 3> kinds{"notify", "inject", "handoff"};

json session(std::size_t n, long long poll) {
    const std::string id = hexId(n, 1);
    const std::string dir = std::string(projects[n % projects.size()]) + "-" + std::to_string(n);
    const double pct = static_cast<double>((n * 37) % 1000) / 10.0;
    json record = {
        {"cacheExpiresAt", timestamp(poll + 60 + static_cast<long long>(n % 300), 362)},
        {"cacheTtlMs", 300000},
        {"contextPct", pct},
        {"contextTokens", static_cast<long long>(pct * 2000)},
        {"contextWindow", 200000},
        {"currentForSurface", n % 2 == 0},
        {"cwd", "/home/dev/src/" + dir},
        {"dirName", dir},
        {"lastActivityAt", timestamp(poll - static_cast<long long>(n % 600), 362)},
        {"level", pct >= 85   ? levels[2]
                  : pct >= 70 ? levels[1]
                              : levels[0]},
        {"lifecycle", lifecycles[n % lifecycles.size()]},
        {"model", n % 4 == 0 ? "claude-opus-4-1" : "claude-sonnet-4-5-20250929"},
        {"provider", "claude"},
        {"sessionId", id},
        {"shortId", id.substr(0, 8)},
        {"source", n % 5 == 0 ? "scan" : "store"},
        {"surfaceId", "surface:" + std::to_string(n + 1)},
        {"workspaceId", "workspace:" + std::to_string(n / 3 + 1)},
    };
    if (n % 3 == 0)
        record["handoff"] = {{"location", n % 2 == 0 ? "repo" : "scratchpad"},
                             {"path", "/home/dev/src/" + dir + "/HANDOFF.md"},
                             {"writtenAt", timestamp(poll - 120, 5)}};
    return record;
}

json event(std::size_t n, std::size_t sessions, long long poll) {
    const std::size_t owner = sessions == 0 ? n : n % sessions;
    const std::string id = hexId(owner, 1);
    const std::string dir =
        std::string(projects[owner % projects.size()]) + "-" + std::to_string(owner);
    return {
        {"at", timestamp(poll - static_cast<long long>(n), static_cast<int>(n % 1000))},
        {"dirName", dir},
        {"dryRun", n % 7 == 0},
        {"kind", kinds[n % kinds.size()]},
        {"level", levels[n % levels.size()]},
        {"sessionId", id},
        {"shortId", id.substr(0, 8)},
        {"text", dir + " context at " + std::to_string(70 + n % 30) + "% (warn at 70%)"},
    };
}

} // namespace

std::string statusDocument(std::size_t sessions, std::size_t events, long long pollSeconds) {
    json document = {
        {"at", timestamp(pollSeconds, 403)},
        {"config",
         {{"cacheLeadMs", 60000},
          {"cacheMinContextPct", 40},
          {"criticalContextPct", 85},
          {"dryRun", false},
          {"messageAgents", true},
          {"onCacheExpiry", {"notify", "inject"}},
          {"onCritical", {"notify", "inject", "handoff"}},
          {"settings",
           {{"cache-lead", "1m"},
            {"critical-context", 85},
            {"interval", 2000},
            {"message-prefix", "[tessaly]"},
            {"warn-context", 70}}},
          {"warnContextPct", 70}}},
        {"configFile",
         {{"changedSinceLoad", false},
          {"loadedAt", timestamp(pollSeconds - 3600, 0)},
          {"path", "/home/dev/.config/tessaly/config.json"}}},
        {"configSources",
         {{"cache-lead", "default"}, {"interval", "cli"}, {"warn-context", "file"}}},
        {"daemonPid", 4242},
        {"intervalMs", 2000},
        {"startedAt", timestamp(pollSeconds - 3600, 0)},
        {"version", 1},
    };
    json& sessionList = document["sessions"] = json::array();
    for (std::size_t n = 0; n < sessions; ++n)
        sessionList.push_back(session(n, pollSeconds));
    json& eventList = document["events"] = json::array();
    for (std::size_t n = 0; n < events; ++n)
        eventList.push_back(event(n, sessions, pollSeconds));
    return document.dump(2);
}

namespace {

// One setting of each control kind in turn: its property and its presentation.
void addSetting(std::size_t n, json& properties, json& entries) {
    const std::string name = "setting-" + std::to_string(n);
    json property;
    json entry = {{"name", name}, {"help", "What setting " + std::to_string(n) + " does."}};
    switch (n % 10) {
    case 0:
        property = {{"type", "number"}, {"minimum", 0}, {"maximum", 100}, {"default", 70}};
        entry["control"] = "percent";
        break;
    case 1:
        property = {{"type", "integer"}, {"minimum", 50}, {"maximum", 600000}, {"default", 2000}};
        entry["control"] = "number";
        entry["integer"] = true;
        break;
    case 2:
        property = {{"type", "string"}, {"pattern", "^[0-9]+(ms|s|m|h)$"}, {"default", "1m"}};
        entry["control"] = "duration";
        break;
    case 3:
        property = {{"type", "boolean"}, {"default", false}};
        entry["control"] = "toggle";
        entry["restart"] = false;
        break;
    case 4:
        property = {{"type", "string"}, {"default", "[tessaly] hello"}};
        entry["control"] = "text";
        entry["requiredPrefix"] = "[tessaly]";
        break;
    case 5:
        property = {{"type", "array"},
                    {"items", {{"type", "string"}, {"pattern", "^[^/]+$"}}},
                    {"default", {"node_modules", ".venv"}}};
        entry["control"] = "list";
        break;
    case 6:
        property = {{"type", "array"},
                    {"items", {{"type", "string"}, {"enum", {"notify", "inject", "handoff"}}}},
                    {"default", {"notify"}}};
        entry["control"] = "enum";
        entry["multiple"] = true;
        entry["values"] = {"notify", "inject", "handoff"};
        break;
    case 7:
        property = {{"type", "string"}, {"enum", {"scratchpad", "repo"}}, {"default", "repo"}};
        entry["control"] = "enum";
        entry["values"] = {"scratchpad", "repo"};
        break;
    case 8:
        property = {{"type", "string"}, {"default", ""}};
        entry["control"] = "path";
        break;
    default:
        property = {{"type", "object"}, {"default", json::object()}};
        entry["control"] = "provider-map";
        break;
    }
    properties[name] = std::move(property);
    entries.push_back(std::move(entry));
}

json configValue(std::size_t n) {
    const bool wrongType = n % 20 == 0; // one in ten of the values written
    if (wrongType)
        return "not what the control expects";
    switch (n % 10) {
    case 0:
        return 55;
    case 1:
        return 5000;
    case 2:
        return "30s";
    case 3:
        return true;
    case 4:
        return "[tessaly] from the file";
    case 5:
        return {"target", "dist"};
    case 6:
        return {"notify", "handoff"};
    case 7:
        return "scratchpad";
    case 8:
        return "/home/dev/handoffs";
    default:
        return {{"claude", {{"warn", 60}}}};
    }
}

} // namespace

std::string schemaDocument(std::size_t settings) {
    json properties = json::object();
    json groups = json::array();
    constexpr std::size_t perGroup = 10;
    for (std::size_t first = 0; first < settings; first += perGroup) {
        json entries = json::array();
        for (std::size_t n = first; n < settings && n < first + perGroup; ++n)
            addSetting(n, properties, entries);
        groups.push_back({{"id", "group-" + std::to_string(first / perGroup)},
                          {"title", "Group " + std::to_string(first / perGroup)},
                          {"settings", std::move(entries)}});
    }
    return json{{"x-settings-version", 1}, {"properties", properties}, {"x-groups", groups}}.dump(
        2);
}

std::string configDocument(std::size_t settings) {
    json file = {{"$schema", "./config.schema.json"},
                 {"experimental-flag", true},
                 {"notes", {"kept", "as", "is"}}};
    for (std::size_t n = 0; n < settings; n += 2)
        file["setting-" + std::to_string(n)] = configValue(n);
    return file.dump(2) + "\n";
}

} // namespace menubar::bench
