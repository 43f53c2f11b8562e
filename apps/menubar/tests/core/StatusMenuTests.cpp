#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StatusMenu.hpp"

namespace menubar {
// Failures print one readable line per entry instead of raw bytes.
void PrintTo(const MenuEntry& entry, std::ostream* out) {
    if (entry.isSeparator) {
        *out << "----";
        return;
    }
    *out << '"' << entry.title << '"' << (entry.enabled ? " enabled" : " disabled")
         << " action=" << static_cast<int>(entry.action);
    if (entry.tooltip)
        *out << " tooltip=\"" << *entry.tooltip << '"';
    if (entry.tag)
        *out << " tag=" << entry.tag;
    if (entry.path)
        *out << " path=" << *entry.path;
    if (entry.indentation)
        *out << " indent=" << entry.indentation;
    if (entry.checked)
        *out << " checked";
    if (!entry.keyEquivalent.empty())
        *out << " key=" << entry.keyEquivalent;
}
} // namespace menubar

using namespace menubar;
using A = MenuAction;

namespace {

Instant at(const char* text) {
    return *StatusDecoder::parseDate(text);
}

const Instant now = at("2024-05-01T10:00:00Z");
const TimeZone utc = TimeZone::utc();

// Entry builders, so that an expected menu reads like the menu.
MenuEntry sep() {
    return MenuEntry::separator();
}
MenuEntry line(std::string title, std::optional<std::string> tooltip = std::nullopt) {
    return MenuEntry{.title = std::move(title), .tooltip = std::move(tooltip)};
}
MenuEntry item(std::string title, A action, bool enabled = true) {
    return MenuEntry{.title = std::move(title), .enabled = enabled, .action = action};
}
MenuEntry session(std::string title, std::string tooltip, int tag, bool focusable) {
    return MenuEntry{.title = std::move(title),
                     .enabled = focusable,
                     .tooltip = std::move(tooltip),
                     .action = focusable ? A::focusSession : A::none,
                     .tag = tag};
}
MenuEntry handoff(std::string title, std::string path, bool exists) {
    return MenuEntry{.title = std::move(title),
                     .enabled = exists,
                     .tooltip = path,
                     .action = exists ? A::openHandoff : A::none,
                     .path = path};
}
MenuEntry event(std::string title, std::optional<std::string> tooltip) {
    return MenuEntry{.title = std::move(title), .tooltip = std::move(tooltip), .indentation = 1};
}
MenuEntry iconOnly(std::string title, bool enabled, bool checked) {
    return MenuEntry{.title = std::move(title),
                     .enabled = enabled,
                     .action = A::toggleCompact,
                     .checked = checked};
}
MenuEntry quit() {
    return MenuEntry{.title = "Quit", .enabled = true, .action = A::quit, .keyEquivalent = "q"};
}

const CompactSetting builtIn{false, CompactSetting::Source::builtIn};

MenuFacts everythingOnDisk() {
    return MenuFacts{.handoffExists = [](const std::string&) { return true; },
                     .logsDirectoryExists = true,
                     .statusFileExists = true,
                     .launchAgentInstalled = true};
}

SessionStatus apiSession() {
    return SessionStatus{.sessionId = "sess-api",
                         .cwd = "/src/api",
                         .dirName = "api",
                         .model = "claude-sonnet-4",
                         .contextTokens = 162400,
                         .contextWindow = 200000,
                         .contextPct = 81.2,
                         .level = SessionLevel::warn,
                         .lifecycle = SessionLifecycle::running,
                         .cacheExpiresAt = at("2024-05-01T10:03:10Z"),
                         .workspaceId = "ws-1",
                         .handoff = SessionHandoff{.path = "/src/api/HANDOFF.md",
                                                   .writtenAt = at("2024-05-01T09:55:00Z")}};
}
SessionStatus webSession() {
    return SessionStatus{.cwd = "/src/web",
                         .dirName = "web",
                         .model = "claude-opus-4",
                         .contextPct = 40,
                         .level = SessionLevel::ok,
                         .lifecycle = SessionLifecycle::idle,
                         .workspaceId = "",
                         .handoff = SessionHandoff{.path = "/src/web/HANDOFF.md",
                                                   .writtenAt = at("2024-05-01T09:48:00Z")}};
}
SessionStatus docsSession() {
    return SessionStatus{.shortId = "d0c5",
                         .level = SessionLevel::ok,
                         .lifecycle = SessionLifecycle::idle,
                         .workspaceId = "ws-3"};
}

StatusFile runningFile() {
    StatusFile file;
    file.at = at("2024-05-01T09:59:55Z");
    file.intervalMs = 30000;
    file.config =
        TessalyConfig{.warnContextPct = 70, .criticalContextPct = 85, .messageAgents = true};
    return file;
}

StatusMenu build(const StatusSnapshot& snapshot, const MenuFacts& facts,
                 const CompactSetting& compact = builtIn,
                 std::optional<Instant> hiddenSince = std::nullopt) {
    return StatusMenu::build(snapshot, DaemonState::from(snapshot, now), compact, hiddenSince, now,
                             utc, facts);
}

} // namespace

TEST(StatusMenu, RunningWithSessionsHandoffsAndEvents) {
    StatusFile file = runningFile();
    file.sessions = {webSession(), apiSession(), docsSession()};
    for (int minute = 1; minute <= 7; ++minute)
        file.events.push_back(
            TessalyEvent{.at = at("2024-05-01T09:00:00Z") + std::chrono::minutes(minute),
                         .dirName = "api",
                         .kind = EventKind::notify,
                         .level = EventLevel::info,
                         .text = "event " + std::to_string(minute)});
    file.events[5].text.reset(); // 09:06, an inject without text
    file.events[5].kind = EventKind::inject;
    file.events[6].dryRun = true;

    std::map<std::string, int> asked;
    MenuFacts facts = everythingOnDisk();
    facts.handoffExists = [&](const std::string& path) {
        ++asked[path];
        return path == "/src/api/HANDOFF.md";
    };
    const StatusMenu menu = build(StatusSnapshot::loaded(file), facts);

    const std::vector<MenuEntry> expected{
        line("Daemon running (last poll 5s ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep(),
        session("[warn] api \u00b7 sonnet-4 \u00b7 81% \u00b7 running \u00b7 cache expires in 3m "
                "\u00b7 handoff",
                "162,400 of 200,000 tokens\n/src/api\nsess-api\n"
                "Handoff written 5m ago: /src/api/HANDOFF.md",
                1, true),
        session("web \u00b7 opus-4 \u00b7 40% \u00b7 idle \u00b7 handoff",
                "/src/web\nHandoff written 12m ago: /src/web/HANDOFF.md", 2, false),
        session("d0c5 \u00b7 unknown \u00b7 -- \u00b7 idle", "d0c5", 3, true),
        sep(),
        line("Handoffs"),
        handoff("Open handoff \u00b7 api (5m ago)", "/src/api/HANDOFF.md", true),
        handoff("Open handoff \u00b7 web (12m ago) (missing)", "/src/web/HANDOFF.md", false),
        sep(),
        line("Recent events"),
        event("09:07 [info] api: event 7 (dry-run)", "event 7"),
        event("09:06 [info] api: inject", std::nullopt),
        event("09:05 [info] api: event 5", "event 5"),
        event("09:04 [info] api: event 4", "event 4"),
        event("09:03 [info] api: event 3", "event 3"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        item("Stop daemon", A::stopDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
    EXPECT_EQ(menu.sessionsByTag, (std::map<int, SessionStatus>{
                                      {1, apiSession()}, {2, webSession()}, {3, docsSession()}}));
    EXPECT_EQ(asked,
              (std::map<std::string, int>{{"/src/api/HANDOFF.md", 1}, {"/src/web/HANDOFF.md", 1}}));
}

TEST(StatusMenu, StaleWithSessionsShowsTheLastPoll) {
    StatusFile file = runningFile();
    file.at = at("2024-05-01T09:58:00Z");
    file.configError = ConfigError{.message = "unknown key \"colour\""};
    file.configFile =
        ConfigFileStatus{.changedSinceLoad = true}; // not claimed without a live daemon
    SessionStatus api = apiSession();
    api.handoff.reset();
    api.cacheExpiresAt = at("2024-05-01T09:58:30Z");
    file.sessions = {api};

    const StatusMenu menu = build(StatusSnapshot::loaded(file), everythingOnDisk());
    const std::vector<MenuEntry> expected{
        line("Config file ignored: unknown key \"colour\"", "unknown key \"colour\""),
        line("Daemon not responding (last poll 2m ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep(),
        line("Sessions from the last poll"),
        session("[warn] api \u00b7 sonnet-4 \u00b7 81% \u00b7 running \u00b7 cache expired 1m ago",
                "162,400 of 200,000 tokens\n/src/api\nsess-api", 1, true),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        item("Restart daemon", A::startDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}

TEST(StatusMenu, Stopped) {
    StatusFile file;
    file.at = at("2024-05-01T09:06:58Z");
    file.stoppedAt = at("2024-05-01T09:07:00Z");
    const StatusMenu menu = build(StatusSnapshot::loaded(file), everythingOnDisk());
    const std::vector<MenuEntry> expected{
        line("Daemon stopped at 09:07"),
        line("No config in status file"),
        sep(),
        line("No session data"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        item("Start daemon", A::startDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
    EXPECT_TRUE(menu.sessionsByTag.empty());
}

TEST(StatusMenu, Unreadable) {
    MenuFacts facts = everythingOnDisk();
    facts.logsDirectoryExists = false;
    const StatusMenu menu =
        build(StatusSnapshot::unreadable("type mismatch (String) at sessions.0.level"), facts);
    const std::vector<MenuEntry> expected{
        line("Status file unreadable"),
        line("type mismatch (String) at sessions.0.level"),
        sep(),
        line("No session data"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        item("Start daemon", A::startDaemon),
        item("Open logs", A::openLogs, false),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}

TEST(StatusMenu, MissingStatusFile) {
    MenuFacts facts = everythingOnDisk();
    facts.statusFileExists = false;
    facts.handoffExists = nullptr; // never needed without sessions
    const StatusMenu menu = build(StatusSnapshot::missing(), facts);
    const std::vector<MenuEntry> expected{
        line("Daemon not running"),
        line("Start it with: tessaly watch (or tessaly install)"),
        sep(),
        line("No session data"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        item("Start daemon", A::startDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile, false),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}

TEST(StatusMenu, HiddenItemWithIconOnlySetByTheEnvironment) {
    const StatusMenu menu = build(StatusSnapshot::loaded(runningFile()), everythingOnDisk(),
                                  CompactSetting{true, CompactSetting::Source::environment},
                                  at("2024-05-01T09:41:00Z"));
    const std::vector<MenuEntry> expected{
        line("Icon hidden since 09:41 (menu bar full or behind the notch)"),
        line("Daemon running (last poll 5s ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep(),
        line("No sessions"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only (set by TESSALY_MENUBAR_COMPACT)", false, true),
        item("Stop daemon", A::stopDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}

TEST(StatusMenu, RestartNeededWithConfigError) {
    StatusFile file = runningFile();
    file.configError = ConfigError{.message = "bad value for warnContextPct",
                                   .path = "/home/u/.config/tessaly/config.json"};
    file.configFile = ConfigFileStatus{.changedSinceLoad = true};
    const StatusMenu menu = build(StatusSnapshot::loaded(file), everythingOnDisk(),
                                  CompactSetting{true, CompactSetting::Source::defaults});
    const std::vector<MenuEntry> expected{
        line("Config file ignored: bad value for warnContextPct",
             "bad value for warnContextPct\n/home/u/.config/tessaly/config.json"),
        line("Restart daemon to apply settings"),
        line("Daemon running (last poll 5s ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep(),
        line("No sessions"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, true),
        item("Restart daemon to apply settings", A::startDaemon),
        item("Stop daemon", A::stopDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}

TEST(StatusMenu, DaemonNotInstalled) {
    StatusFile file = runningFile();
    file.configFile = ConfigFileStatus{.changedSinceLoad = true};
    MenuFacts facts = everythingOnDisk();
    facts.launchAgentInstalled = false;
    const StatusMenu menu = build(StatusSnapshot::loaded(file), facts);
    const std::vector<MenuEntry> expected{
        line("Restart daemon to apply settings"),
        line("Daemon running (last poll 5s ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep(),
        line("No sessions"),
        sep(),
        line("Handoffs"),
        line("No handoffs"),
        sep(),
        line("Recent events"),
        line("No events yet"),
        sep(),
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly("Icon only", true, false),
        line("Daemon not installed (run: tessaly install)"),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep(),
        quit(),
    };
    EXPECT_EQ(menu.entries, expected);
}
