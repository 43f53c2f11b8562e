#pragma once

// The status menu as every renderer shows it, one case per status file: the tray
// menu and the status window (app/test_status_menu_controller) and the menu a
// StatusNotifierItem host reads over D-Bus (desktop/test_status_notifier) are
// held to the same rows. The texts themselves are the core's (core/test_status_menu);
// here what a renderer makes of them.
//
// A row is the label as a menu item shows it ("&" doubled), then " off" when it
// cannot be clicked and " [x]" / " [ ]" for a check mark; "---" is a separator.
// "HOME" in a file, a row or a request stands for the test's home folder. The
// daemon runs as an installed systemd user unit throughout, its logs folder there.

#include <QStringList>

#include <string>
#include <vector>

namespace menu_cases {

struct Click {
    QString row;                       // as listed in `rows`, without " off" or the check
    std::vector<std::string> requests; // what the click asked of the world, in order
    bool altHeld = false;
};

struct MenuCase {
    const char* name;
    const char* file; // none: no status file at all
    QStringList rows;
    std::vector<Click> clicks;
};

// One row in the tables' form.
inline QString row(const QString& label, bool enabled, bool checkable, bool checked) {
    return label + (enabled ? "" : " off") + (checkable ? (checked ? " [x]" : " [ ]") : "");
}

// The rows every case ends with, from "Refresh" on: the daemon's control, and
// "Open status file" enabled while there is a file.
inline QStringList controls(const QString& daemon, bool statusFile = true) {
    return {"---",
            "Refresh",
            "Settings...",
            "Icon only [ ]",
            "Start at login [ ]",
            "Notify when a session needs input [x]",
            daemon,
            "Open logs",
            statusFile ? "Open status file" : "Open status file off",
            "---",
            "Quit"};
}

// Polled five seconds before the tests' "now", 2025-06-01T12:00:00Z.
inline const std::vector<MenuCase>& menuCases() {
    static const std::vector<MenuCase> cases{
        {"running with sessions, handoffs and an event",
         R"({"version":1,"at":"2025-06-01T11:59:55Z","intervalMs":2000,
  "config":{"warnContextPct":70,"criticalContextPct":85,"messageAgents":true},
  "sessions":[
    {"dirName":"web & docs","model":"gpt-5","contextPct":40,"level":"ok","lifecycle":"idle",
     "handoff":{"path":"HOME/HANDOFF.md","writtenAt":"2025-06-01T11:50:00Z"}},
    {"dirName":"api","model":"claude-opus-4","contextPct":72.4,"level":"warn",
     "lifecycle":"running","workspaceId":"ws-api","surfaceId":"sf-api",
     "handoff":{"path":"/nowhere/HANDOFF.md"}}],
  "events":[{"at":"2025-06-01T11:58:00Z","dirName":"api","kind":"notify","level":"warn",
             "text":"context at 72%"}]})",
         QStringList{"Daemon running (last poll 5s ago) off",
                     "warn 70% · critical 85% · messaging on off", "---",
                     "[warn] api · opus-4 · 72% · running · handoff",
                     "web && docs · gpt-5 · 40% · idle · handoff off", "---", "Handoffs off",
                     "Open handoff · web && docs (10m ago)", "Open handoff · api (missing) off",
                     "---", "Recent events off", "    11:58 [warn] api: context at 72% off"} +
             controls("Stop daemon"),
         {{"[warn] api · opus-4 · 72% · running · handoff", {"focus ws-api/sf-api", "poll"}},
          {"Open handoff · web && docs (10m ago)", {"open HOME/HANDOFF.md"}},
          {"Open handoff · web && docs (10m ago)", {"reveal HOME/HANDOFF.md"}, true},
          {"Refresh", {"poll"}},
          {"Settings...", {"settings"}},
          {"Icon only", {"poll"}},
          {"Stop daemon", {"stop", "poll"}},
          {"Open logs", {"open HOME/.local/state/tessaly/logs"}},
          {"Open status file", {"open HOME/status.json"}},
          {"Start at login", {"start at login", "poll"}},
          {"Notify when a session needs input", {"poll"}},
          {"Quit", {"quit"}}}},
        {"stopped, the unit installed",
         R"({"version":1,"at":"2025-06-01T11:29:00Z","intervalMs":2000,
  "stoppedAt":"2025-06-01T11:30:00Z",
  "config":{"warnContextPct":70,"criticalContextPct":85,"messageAgents":true},
  "sessions":[
    {"dirName":"web & docs","model":"gpt-5","contextPct":40,"level":"ok","lifecycle":"idle"},
    {"dirName":"api","model":"claude-opus-4","contextPct":91,"level":"critical",
     "lifecycle":"running","workspaceId":"ws-api"}],
  "events":[{"at":"2025-06-01T11:28:00Z","dirName":"api","kind":"notify","level":"critical",
             "text":"context at 91%"}]})",
         QStringList{
             "Daemon stopped at 11:30 off", "warn 70% · critical 85% · messaging on off", "---",
             "Sessions from the last poll off", "[critical] api · opus-4 · 91% · running",
             "web && docs · gpt-5 · 40% · idle off", "---", "Handoffs off", "No handoffs off",
             "---", "Recent events off", "    11:28 [critical] api: context at 91% off"} +
             controls("Start daemon"),
         {{"Start daemon", {"start", "poll"}}}},
        {"not responding",
         R"({"at":"2025-06-01T11:58:00Z","intervalMs":2000})",
         QStringList{"Daemon not responding (last poll 2m ago) off", "No config in status file off",
                     "---", "No session data off", "---", "Handoffs off", "No handoffs off", "---",
                     "Recent events off", "No events yet off"} +
             controls("Restart daemon"),
         {{"Restart daemon", {"restart", "poll"}}}},
        {"no status file",
         nullptr,
         QStringList{"Daemon not running off",
                     "Start it with: tessaly watch (or tessaly install) off", "---",
                     "No session data off", "---", "Handoffs off", "No handoffs off", "---",
                     "Recent events off", "No events yet off"} +
             controls("Start daemon", false),
         {}},
    };
    return cases;
}

} // namespace menu_cases
