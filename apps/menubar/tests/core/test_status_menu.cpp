#include <cstdlib>
#include <limits>
#include <map>

#include <gtest/gtest.h>

#include "status/Formatting.hpp"
#include "status/Selection.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"

namespace menubar {
// Failures print one readable line per entry instead of raw bytes.
void PrintTo(const MenuEntry& e, std::ostream* out) {
    if (e.isSeparator) {
        *out << "----";
        return;
    }
    *out << '"' << e.title << '"' << (e.enabled ? " enabled" : " disabled")
         << " action=" << static_cast<int>(e.action) << " tooltip=" << e.tooltip.value_or("-")
         << " tag=" << e.tag << " path=" << e.path.value_or("-") << " indent=" << e.indentation
         << (e.checked ? " checked" : "") << " key=" << e.keyEquivalent;
}
} // namespace menubar

using namespace menubar;
using A = MenuAction;
namespace F = menubar::Formatting;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };

const Instant now = at("2024-05-01T10:00:00Z");
const TimeZone utc = TimeZone::utc();

// Entry builders, so that an expected menu reads like the menu.
const MenuEntry sep = MenuEntry::separator();
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
MenuEntry iconOnly(bool checked) {
    return MenuEntry{
        .title = "Icon only", .enabled = true, .action = A::toggleCompact, .checked = checked};
}
const MenuEntry quit{.title = "Quit", .enabled = true, .action = A::quit, .keyEquivalent = "q"};

const CompactSetting builtIn{false, CompactSetting::Source::builtIn};

// The daemon installed as a service, under launchd unless a case says otherwise.
MenuFacts everythingOnDisk(ServiceManager manager = ServiceManager::launchd,
                           bool installed = true) {
    return MenuFacts{.handoffExists = [](const std::string&) { return true; },
                     .logsDirectoryExists = true,
                     .statusFileExists = true,
                     .service = {manager, installed}};
}

// Three sessions as the daemon writes them: d0c5 is known by its short id alone
// (an empty name is none) and its cache expires this very second; web has a token
// count without a window; api's tooltip names it by its session id alone, not the
// short id too.
std::vector<SessionStatus> polledSessions() {
    return StatusDecoder::decode(R"({"sessions":[
      {"shortId":"d0c5","dirName":"","level":"unknown","lifecycle":"needsInput",
       "cacheExpiresAt":"2024-05-01T10:00:00Z","workspaceId":"ws-3",
       "handoff":{"path":"/src/docs/HANDOFF.md"}},
      {"cwd":"/src/web","dirName":"web","model":"claude-opus-4","contextTokens":1234,
       "contextPct":40,"level":"ok","lifecycle":"idle","workspaceId":"",
       "handoff":{"path":"/src/web/HANDOFF.md","writtenAt":"2024-05-01T09:48:00Z"}},
      {"sessionId":"sess-api","shortId":"a1","cwd":"/src/api","dirName":"api",
       "model":"claude-sonnet-4","contextTokens":162400,"contextWindow":200000,
       "contextPct":81.2,"level":"warn","lifecycle":"running",
       "cacheExpiresAt":"2024-05-01T10:03:10Z","workspaceId":"ws-1",
       "handoff":{"path":"/src/api/HANDOFF.md","writtenAt":"2024-05-01T09:55:00Z"}}]})")
        .sessions;
}

StatusFile runningFile(const char* polledAt = "2024-05-01T09:59:55Z") {
    return StatusFile{.at = at(polledAt),
                      .intervalMs = 30000,
                      .config = TessalyConfig{
                          .warnContextPct = 70, .criticalContextPct = 85, .messageAgents = true}};
}

StatusMenu build(const StatusSnapshot& snapshot, const MenuFacts& facts,
                 const CompactSetting& compact = builtIn) {
    return StatusMenu::build(snapshot, DaemonState::from(snapshot, now), compact, std::nullopt, now,
                             utc, facts);
}

// A session as the orders see it.
SessionStatus ranked(std::string name, std::optional<double> pct,
                     SessionLevel level = SessionLevel::ok, std::string id = "") {
    return SessionStatus{.shortId = id.empty() ? "id-" + name : id,
                         .dirName = name,
                         .contextPct = pct,
                         .level = level};
}

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += unit;
    return text;
}

// Rows of {what a function gave, what it must give}.
using Texts = std::vector<std::pair<std::string, std::string>>;

void expectAll(const Texts& cases) {
    for (std::size_t row = 0; row < cases.size(); ++row)
        EXPECT_EQ(cases[row].first, cases[row].second) << "row " << row;
}

} // namespace

TEST(StatusMenu, RunningWithSessionsHandoffsAndEvents) {
    StatusFile file = runningFile();
    file.sessions = polledSessions();
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
    // A rejected file the daemon has not seen change since: the error alone.
    file.configError = ConfigError{.message = "bad key x"};
    file.configFile = ConfigFileStatus{.changedSinceLoad = false};

    std::map<std::string, int> asked;
    MenuFacts facts = everythingOnDisk();
    facts.handoffExists = [&](const std::string& path) {
        ++asked[path];
        return path == "/src/api/HANDOFF.md";
    };
    const StatusMenu menu = build(StatusSnapshot::loaded(file), facts);

    const std::vector<MenuEntry> expected{
        line("Config file ignored: bad key x", "bad key x"),
        line("Daemon running (last poll 5s ago)"),
        line("warn 70% \u00b7 critical 85% \u00b7 messaging on"),
        sep,
        session("[warn] api \u00b7 sonnet-4 \u00b7 81% \u00b7 running \u00b7 cache expires in 3m "
                "\u00b7 handoff",
                "162,400 of 200,000 tokens\n/src/api\nsess-api\n"
                "Handoff written 5m ago: /src/api/HANDOFF.md",
                1, true),
        session("web \u00b7 opus-4 \u00b7 40% \u00b7 idle \u00b7 handoff",
                "1,234 tokens\n/src/web\nHandoff written 12m ago: /src/web/HANDOFF.md", 2, false),
        session("[unknown] d0c5 \u00b7 unknown \u00b7 -- \u00b7 needs input \u00b7 cache expires "
                "in 0s \u00b7 handoff",
                "d0c5\nHandoff: /src/docs/HANDOFF.md", 3, true),
        sep,
        line("Handoffs"),
        handoff("Open handoff \u00b7 api (5m ago)", "/src/api/HANDOFF.md", true),
        handoff("Open handoff \u00b7 web (12m ago) (missing)", "/src/web/HANDOFF.md", false),
        handoff("Open handoff \u00b7 d0c5 (missing)", "/src/docs/HANDOFF.md", false),
        sep,
        line("Recent events"),
        event("09:07 [info] api: event 7 (dry-run)", "event 7"),
        event("09:06 [info] api: inject", std::nullopt),
        event("09:05 [info] api: event 5", "event 5"),
        event("09:04 [info] api: event 4", "event 4"),
        event("09:03 [info] api: event 3", "event 3"),
        sep,
        item("Refresh", A::refresh),
        item("Settings...", A::openSettings),
        iconOnly(false),
        item("Stop daemon", A::stopDaemon),
        item("Open logs", A::openLogs),
        item("Open status file", A::openStatusFile),
        sep,
        quit,
    };
    EXPECT_EQ(menu.entries, expected);
    EXPECT_EQ(asked, (std::map<std::string, int>{{"/src/api/HANDOFF.md", 1},
                                                 {"/src/docs/HANDOFF.md", 1},
                                                 {"/src/web/HANDOFF.md", 1}}));
}

// The other states as rows: every section of each menu is compared, with the
// handoffs and events sections empty throughout. A missing file is in the
// renderers' table (MenuCases.hpp) and the bar's golden faces. The controller's tests show the
// hidden icon's line, Icon only set by the environment and Start at login checked.
TEST(StatusMenu, EachDaemonStateAndSetting) {
    const auto adjusted = [](MenuFacts facts, auto change) {
        change(facts);
        return facts;
    };
    const MenuEntry summary = line("warn 70% \u00b7 critical 85% \u00b7 messaging on");
    const MenuEntry running = line("Daemon running (last poll 5s ago)");
    const MenuEntry restartLine = line("Restart daemon to apply settings");
    // systemctl stops the unit only, which a daemon started by hand is not.
    MenuEntry stopUnit = item("Stop daemon", A::stopDaemon);
    stopUnit.tooltip = "Stops tessaly.service; a daemon started by hand (tessaly watch) keeps "
                       "running.";
    const std::vector<MenuEntry> staleHeader{
        line("Config file ignored: unknown key \"colour\"", "unknown key \"colour\""),
        line("Daemon not responding (last poll 2m ago)"), summary};
    // The api session's tooltip, with what the menu adds to it.
    const auto staleSessions = [](const std::string& apiTooltipTail) {
        return std::vector{
            line("Sessions from the last poll"),
            session(
                "[warn] api \u00b7 sonnet-4 \u00b7 81% \u00b7 running \u00b7 cache expired 1m ago",
                "162,400 of 200,000 tokens\n/src/api\nsess-api" + apiTooltipTail, 1, true),
            session("[unknown] session \u00b7 unknown \u00b7 -- \u00b7 unknown", "", 2, false)};
    };

    StatusFile stale = runningFile("2024-05-01T09:58:00Z");
    stale.configError = ConfigError{.message = "unknown key \"colour\""};
    stale.configFile = ConfigFileStatus{.changedSinceLoad = true}; // not claimed when stale
    stale.sessions = {polledSessions().back()};
    stale.sessions[0].handoff.reset();
    stale.sessions[0].cacheExpiresAt = at("2024-05-01T09:58:30Z");
    stale.sessions.push_back(SessionStatus{.shortId = ""}); // known by no name at all
    // A recorded stop wins over a fresh poll, and the gone daemon's config notices go with it.
    StatusFile stopped{.at = at("2024-05-01T09:59:58Z"), .stoppedAt = at("2024-05-01T09:07:00Z")};
    stopped.configError = stale.configError;
    stopped.configFile = stale.configFile;
    StatusFile changed = runningFile();
    changed.configFile = ConfigFileStatus{.changedSinceLoad = true};
    changed.configError = ConfigError{.message = ""}; // an empty message is no error
    // No message, and no word on whether the file changed: neither notice.
    StatusFile unsaid = runningFile();
    unsaid.configError = ConfigError{};
    unsaid.configFile = ConfigFileStatus{};
    StatusFile rejected = changed;
    rejected.configError = ConfigError{.message = "bad value for warnContextPct",
                                       .path = "/home/u/.config/tessaly/config.json"};

    const struct {
        const char* name;
        StatusSnapshot snapshot;
        std::vector<MenuEntry> header, sessions, controls; // between "Icon only" and "Open logs"
        MenuFacts facts = everythingOnDisk();
        CompactSetting compact = builtIn;
    } cases[] = {
        {"stale with a config error and sessions",
         StatusSnapshot::loaded(stale),
         staleHeader,
         staleSessions(""),
         {item("Restart daemon", A::startDaemon)}},
        {"stopped",
         StatusSnapshot::loaded(stopped),
         {line("Daemon stopped at 09:07"), line("No config in status file")},
         {line("No session data")},
         {item("Start daemon", A::startDaemon)}},
        {"unreadable, no logs folder",
         StatusSnapshot::unreadable("type mismatch (String) at sessions.0.level"),
         {line("Status file unreadable"), line("type mismatch (String) at sessions.0.level")},
         {line("No session data")},
         {item("Start daemon", A::startDaemon)},
         adjusted(everythingOnDisk(), [](MenuFacts& f) { f.logsDirectoryExists = false; })},
        {"restart needed with a config error, icon only from the defaults",
         StatusSnapshot::loaded(rejected),
         {line("Config file ignored: bad value for warnContextPct",
               "bad value for warnContextPct\n/home/u/.config/tessaly/config.json"),
          restartLine, running, summary},
         {line("No sessions")},
         {item("Restart daemon to apply settings", A::startDaemon),
          item("Stop daemon", A::stopDaemon)},
         everythingOnDisk(),
         CompactSetting{true, CompactSetting::Source::defaults}},
        {"restart needed under systemd",
         StatusSnapshot::loaded(changed),
         {restartLine, running, summary},
         {line("No sessions")},
         {item("Restart daemon to apply settings", A::restartDaemon), stopUnit},
         everythingOnDisk(ServiceManager::systemd)},
        {"stale under systemd without cmux",
         StatusSnapshot::loaded(stale),
         staleHeader,
         staleSessions("\nFocusing a session's workspace needs cmux, which is not installed."),
         {item("Restart daemon", A::restartDaemon)},
         adjusted(everythingOnDisk(ServiceManager::systemd),
                  [](MenuFacts& f) { f.cmuxInstalled = false; })},
        {"notices off by the environment, after Start at login",
         StatusSnapshot::loaded(unsaid),
         {running, summary},
         {line("No sessions")},
         {MenuEntry{.title = "Start at login", .enabled = true, .action = A::toggleStartAtLogin},
          item("Notify when a session needs input (set by TESSALY_MENUBAR_NOTIFY)", A::toggleNotify,
               false),
          line("Daemon not installed (run: tessaly install)")},
         adjusted(everythingOnDisk(ServiceManager::systemd, false),
                  [](MenuFacts& f) {
                      f.startsAtLogin = false;
                      f.notify = NotifySetting{false, CompactSetting::Source::environment};
                  })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entries = build(c.snapshot, c.facts, c.compact).entries;
        std::vector<std::vector<MenuEntry>> sections(1);
        for (const auto& entry : entries)
            if (entry.isSeparator)
                sections.emplace_back();
            else
                sections.back().push_back(entry);
        std::vector<MenuEntry> controls{item("Refresh", A::refresh),
                                        item("Settings...", A::openSettings),
                                        iconOnly(c.compact.compact)};
        controls.insert(controls.end(), c.controls.begin(), c.controls.end());
        controls.push_back(item("Open logs", A::openLogs, c.facts.logsDirectoryExists));
        controls.push_back(item("Open status file", A::openStatusFile));
        EXPECT_EQ(sections, (std::vector<std::vector<MenuEntry>>{
                                c.header,
                                c.sessions,
                                {line("Handoffs"), line("No handoffs")},
                                {line("Recent events"), line("No events yet")},
                                controls,
                                {quit}}));
    }
}

// Texts and states may change under an item; anything its action depends on may not.
TEST(StatusMenu, SameItemsAllowsOnlyTextsAndStatesToChange) {
    const std::vector<MenuEntry> shown{session("api · 72%", "ws", 1, true), sep,
                                       handoff("Open handoff · api", "/h/a.md", true),
                                       iconOnly(false), quit};
    const std::tuple<const char*, std::function<void(std::vector<MenuEntry>&)>, bool> cases[] = {
        {"texts, tooltips and states",
         [](auto& e) {
             e[0].title = "api · 80%";
             e[0].tooltip.reset();
             e[0].enabled = false;
             e[3].checked = true;
         },
         true},
        {"another session's tag", [](auto& e) { e[0].tag = 2; }, false},
        {"another handoff file", [](auto& e) { e[2].path = "/h/b.md"; }, false},
        {"another action", [](auto& e) { e[2].action = A::none; }, false},
        {"another shortcut", [](auto& e) { e[4].keyEquivalent = "w"; }, false},
    };
    for (const auto& [name, change, same] : cases) {
        std::vector<MenuEntry> next = shown;
        change(next);
        EXPECT_EQ(StatusMenu::sameItems(shown, next), same) << name;
    }
}

// Polls seen at 10:00:00; the menus above show the other states and a poll 5 s
// old with a 30 s interval, the controller's tests a poll right at the limit.
TEST(DaemonState, FreshnessLimitFromTheInterval) {
    // The poll time and interval, then the state and its title.
    using Row = std::tuple<const char*, std::optional<std::string>, std::optional<std::int64_t>,
                           DaemonState, std::string>;
    const Row cases[] = {
        {"5 s interval: 12.5 s", "09:59:47.5", 5000, DaemonState::running(12.5),
         "Daemon running (last poll 12s ago)"},
        {"5 s interval: 13 s", "09:59:47", 5000, DaemonState::stale(13),
         "Daemon not responding (last poll 13s ago)"},
        {"no interval: 75 s", "09:58:45", std::nullopt, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"zero interval: 75 s", "09:58:45", 0, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"negative interval: 75 s", "09:58:45", -1, DaemonState::running(75),
         "Daemon running (last poll 1m ago)"},
        {"poll time ahead of the clock", "10:00:05", 30000, DaemonState::running(-5),
         "Daemon running (last poll 0s ago)"},
        {"no poll time", std::nullopt, 30000, DaemonState::stale(std::nullopt),
         "Daemon not responding (no poll time in status file)"},
    };
    for (const auto& [name, polledAt, intervalMs, expected, title] : cases) {
        StatusFile file{.intervalMs = intervalMs};
        if (polledAt)
            file.at = at(("2024-05-01T" + *polledAt + "Z").c_str());
        const DaemonState state = DaemonState::from(file, now);
        EXPECT_EQ(state, expected) << name;
        EXPECT_EQ(state.title(utc), title) << name;
    }
}

// The item's look: which percentage, symbol and tone each state shows, and where
// the percentage goes when the item is icon only.
TEST(StatusItemPresentation, EveryStateAndWorstSession) {
    using L = SessionLevel;
    const auto worst = [](std::optional<double> pct, SessionLevel level) {
        return SessionStatus{.dirName = "s", .contextPct = pct, .level = level};
    };
    const DaemonState running = DaemonState::running(5), stale = DaemonState::stale(120),
                      stopped = DaemonState::stopped(at("2024-05-01T09:07:00Z"));
    const std::string alert = "eye.trianglebadge.exclamationmark";
    // The state, the sessions and whether icon only, then "symbol title tone | tooltip".
    using Case = std::tuple<DaemonState, std::vector<SessionStatus>, bool, std::string>;
    // The tooltips of a fresh and a stale daemon.
    const std::string fresh = " | Daemon running (last poll 5s ago)";
    const std::string old = " | Daemon not responding (last poll 2m ago)";
    const std::vector<Case> cases{
        {running, {}, false, "eye -- ok" + fresh},
        {running, {worst(30, L::unknown)}, false, "eye 30% ok" + fresh},
        {running,
         {worst(40, L::critical), worst(72.4, L::warn)},
         false,
         alert + " 72% warn" + fresh},
        {running, {worst(std::nullopt, L::critical)}, false, alert + " -- critical" + fresh},
        {running, {worst(90, L::ok), worst(50, L::critical)}, false, "eye 90% ok" + fresh},
        {stale, {worst(81, L::critical)}, false, "eye.slash 81% muted" + old},
        {stopped, {worst(81, L::critical)}, false, "eye.slash -- muted | Daemon stopped at 09:07"},
        {DaemonState::unreadable("R"), {}, false, "eye.slash -- muted | Status file unreadable"},
        // Icon only: the percentage moves into the tooltip, and only when there is one.
        {DaemonState::missing(), {}, true, "eye.slash  muted | Daemon not running"},
        {running,
         {worst(72, L::warn)},
         true,
         alert + "  warn" + fresh + " \u00b7 worst session 72%"},
    };
    const char* tones[] = {"ok", "warn", "critical", "muted"};
    for (const auto& [state, sessions, compact, expected] : cases) {
        const auto look = StatusItemPresentation::make(state, sessions, compact, utc);
        EXPECT_EQ(look.symbolName + " " + look.title + " " + tones[static_cast<int>(look.tone)] +
                      " | " + look.tooltip,
                  expected);
    }
}

// The edges of each text the menus above do not reach; they show the "ago",
// session, tooltip, handoff, event and config lines whole, session lines and
// tooltips with their edges.
TEST(Formatting, NumbersAndDurations) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expectAll({
        // Whole seconds, floored; exact up to 2^63 s, beyond it the largest.
        {F::duration(-0.001), "expired"},
        {F::duration(59.99), "59s"},
        {F::duration(60), "1m"},
        {F::duration(3599.99), "59m"},
        {F::duration(3600), "1h"},
        {F::duration(3659), "1h"},
        {F::duration(93900), "26h 5m"},
        {F::duration(9.1e18), "2527777777777777h 46m"},
        {F::duration(1e300), "2562047788015215h 30m"},
        {F::ago(at("2024-05-01T10:00:30Z"), now), "0s ago"},
        // Halves away from zero; beyond 64 bits the magnitude stays.
        {F::percent(nan), "--"},
        {F::percent(std::numeric_limits<double>::infinity()), "--"},
        {F::percent(72.5), "73%"},
        {F::percent(-0.4), "0%"},
        {F::percent(-0.5), "-1%"},
        {F::percent(1e20), "100000000000000000000%"},
        {F::tokens(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808"},
        {F::modelShort("Claude-x"), "Claude-x"},
        {F::modelShort(""), "unknown"},
        {F::configSummary(TessalyConfig{.dryRun = true}),
         "warn -- \u00b7 critical -- \u00b7 messaging off \u00b7 dry-run"},
    });
}

TEST(Formatting, ClockAcrossZonesAndMidnight) {
    const auto berlin = *TimeZone::named("Europe/Berlin");
    const auto newYork = *TimeZone::named("America/New_York");
    // The system's own zone is the C library's: the same clock as ICU's zone of that name.
    setenv("TZ", "America/New_York", 1);
    const auto system = TimeZone::current();
    unsetenv("TZ");
    const auto clock = [](const char* instant, const TimeZone& zone) {
        return F::clock(at(instant), zone);
    };
    expectAll({
        {clock("2024-05-01T22:01:00Z", TimeZone::fixedOffset(2 * 3600)), "00:01"},
        {clock("2024-05-01T09:07:59.999999Z", utc), "09:07"},
        {clock("2024-05-01T01:00:00Z", TimeZone::fixedOffset(-90 * 60)), "23:30"},
        // Summer and winter time of the same zone.
        {clock("2024-07-01T22:01:00Z", berlin), "00:01"},
        {clock("2024-01-01T22:01:00Z", berlin), "23:01"},
        // The night New York moves its clocks forward.
        {clock("2024-03-10T06:59:00Z", newYork), "01:59"},
        {clock("2024-03-10T07:00:00Z", newYork), "03:00"},
        // Before the epoch the fraction must not round the minute up.
        {clock("1969-12-31T23:59:59.500Z", utc), "23:59"},
        {clock("2024-03-10T07:00:00Z", system), "03:00"},
    });
    EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_EQ(system.identifier(), "America/New_York");
}

TEST(Formatting, EventLine) {
    using K = EventKind;
    using L = EventLevel;
    const Instant t = at("2024-05-01T14:03:00Z");
    const auto line = [](const TessalyEvent& event) { return F::eventLine(event, utc); };
    const auto api = [&](std::string text, K kind = K::notify, bool dryRun = false) {
        TessalyEvent event{.at = t, .dirName = "api", .kind = kind, .level = L::info, .text = text};
        event.dryRun = dryRun;
        return line(event);
    };
    const std::string flag = "\U0001F1E9\U0001F1EA"; // one cluster, two code points
    const std::string prefix = "14:03 [info] api: "; // 18 characters
    expectAll({
        {line({.dirName = "api", .kind = K::inject, .level = L::ok}), "--:-- [ok] api: inject"},
        {line({.at = t, .shortId = "ab12", .kind = K::unknown, .level = L::unknown}),
         "14:03 [unknown] ab12: unknown"},
        {line({.at = t, .shortId = "ab12", .dirName = "", .level = L::info, .text = "x"}),
         "14:03 [info] : x"},
        {line({.at = t, .level = L::critical, .text = "two\nlines\n"}),
         "14:03 [critical] session: two lines "},
        // The handoff text names its session already; the line names it once.
        {api("api: wrote handoff", K::handoff), "14:03 [handoff] api: wrote handoff"},
        {api("api: api: twice", K::handoff), "14:03 [handoff] api: api: twice"},
        {api("web: other", K::handoff), "14:03 [handoff] api: web: other"},
        // 70 characters stay whole; 71 are cut to 69 and an ellipsis.
        {api(std::string(52, 'x')), prefix + std::string(52, 'x')},
        {api(std::string(53, 'x')), prefix + std::string(51, 'x') + "\u2026"},
        {api(std::string(100, 'x'), K::notify, true),
         prefix + std::string(51, 'x') + "\u2026 (dry-run)"},
        // User-perceived characters, not bytes or code points.
        {api(repeated(flag, 52)), prefix + repeated(flag, 52)},
        {api(repeated(flag, 60)), prefix + repeated(flag, 51) + "\u2026"},
    });
}

// The orders the menus above do not reach: ties, absent values and names beyond
// ASCII. The menus show sessions by percentage, handoffs and events newest first
// and the event limit; the item's look shows percentage over level.
TEST(Selection, SortedMostUrgentFirst) {
    using L = SessionLevel;
    // Enough equal sessions that a sort which is not stable would move some.
    std::vector<SessionStatus> equal;
    std::vector<std::string> equalIds;
    for (int i = 20; i > 0; --i) {
        equal.push_back(ranked("same", 50, L::ok, std::to_string(i)));
        equalIds.push_back(std::to_string(i));
    }
    // The rule, the sessions, and their shortIds in order (unique when names tie).
    using Case = std::tuple<const char*, std::vector<SessionStatus>, std::vector<std::string>>;
    const Case cases[] = {
        {"level between equal percentages: critical, warn, unknown, ok",
         {ranked("a", 60, L::ok), ranked("b", 60, L::unknown), ranked("c", 60, L::warn),
          ranked("d", 60, L::critical)},
         {"id-d", "id-c", "id-b", "id-a"}},
        {"absent percentage ranks by level too",
         {ranked("a", std::nullopt, L::ok), ranked("b", std::nullopt, L::critical)},
         {"id-b", "id-a"}},
        {"names by scalar value: upper case first",
         {ranked("alpha", 10), ranked("Beta", 10), ranked("\u00e9t\u00e9", 10), ranked("zed", 10)},
         {"id-Beta", "id-alpha", "id-zed", "id-\u00e9t\u00e9"}},
        // Compared as bytes, the decomposed names would move first.
        {"names compare in normalised form: decomposed \u00e9 after f",
         {ranked("e\u0301", 10), ranked("f", 10)},
         {"id-f", "id-e\u0301"}},
        {"precomposed and decomposed are one name",
         {ranked("\u00e9", 10, L::ok, "composed"), ranked("e\u0301", 10, L::ok, "decomposed")},
         {"composed", "decomposed"}},
        {"equal sessions keep their order", equal, equalIds},
    };
    for (const auto& [rule, input, expected] : cases) {
        std::vector<std::string> ids;
        for (const auto& s : Selection::sorted(input))
            ids.push_back(*s.shortId);
        EXPECT_EQ(ids, expected) << rule;
    }
}

TEST(Selection, TiesAndUndatedComeLast) {
    const auto withHandoff = [](std::string name, std::optional<Instant> written) {
        SessionStatus s = ranked(name, 10);
        s.handoff = SessionHandoff{.path = "/" + name + ".md", .writtenAt = written};
        return s;
    };
    const std::vector<SessionStatus> sessions{
        withHandoff("ten", at("2024-05-01T10:00:00Z")), withHandoff("undated", std::nullopt),
        withHandoff("b-tie", at("2024-05-01T10:00:00Z")), withHandoff("Undated", std::nullopt)};
    std::vector<std::string> paths;
    for (const auto& item : Selection::handoffItems(sessions, now, [](auto&) { return true; }))
        paths.push_back(item.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/b-tie.md", "/ten.md", "/Undated.md", "/undated.md"}));

    const auto event = [](std::string text, std::optional<Instant> when) {
        return TessalyEvent{.at = when, .text = std::move(text)};
    };
    std::vector<std::string> texts;
    for (const auto& e : Selection::recentEvents({event("x", std::nullopt), event("t1", now),
                                                  event("y", std::nullopt), event("t2", now),
                                                  event("z", std::nullopt)},
                                                 4))
        texts.push_back(*e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"t1", "t2", "x", "y"}));
}
