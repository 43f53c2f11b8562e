#pragma once

// The whole status menu as a value: an ordered list of entries built from one
// poll, the time and a few answers from the disk. The app only renders the
// entries and routes their actions; nothing here knows about widgets.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Attention.hpp"
#include "DaemonState.hpp"
#include "Models.hpp"
#include "StatusDecoder.hpp"
#include "Visibility.hpp"
#include "system/ServiceManager.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

enum class MenuAction {
    none,
    refresh,
    openSettings,
    toggleCompact,
    focusSession,
    openHandoff,
    startDaemon,
    restartDaemon, // only where the service manager's start leaves a running daemon alone
    stopDaemon,
    openLogs,
    openStatusFile,
    quit,
    toggleStartAtLogin,
    toggleNotify,
    openMachines,       // "Machines…": the window that lists the other machines
    openMachineTerminal // another machine's "Open in terminal": the path is the ssh destination
};

struct MenuEntry {
    bool isSeparator = false;
    std::string title;
    bool enabled = false;
    std::optional<std::string> tooltip;
    MenuAction action = MenuAction::none;
    int tag = 0;                     // session items: position + 1
    std::optional<std::string> path; // handoff items: the handoff file's path
    int indentation = 0;             // recent events: 1
    bool checked = false;            // "Icon only", "Start at login", "Notify when ...""
    std::string keyEquivalent;       // "q" for Quit

    static MenuEntry separator() {
        MenuEntry entry;
        entry.isSeparator = true;
        return entry;
    }

    // Shown with a check box: the on/off settings, whether on or off now.
    bool checkable() const {
        return checked || action == MenuAction::toggleCompact ||
               action == MenuAction::toggleStartAtLogin || action == MenuAction::toggleNotify;
    }

    bool operator==(const MenuEntry&) const = default;
};

// What the app checks on disk for one rebuild.
struct MenuFacts {
    std::function<bool(const std::string& path)>
        handoffExists; // asked exactly once per handoff item
    bool logsDirectoryExists = false;
    bool statusFileExists = false;
    // Whether the daemon is installed as a service, and how it is driven.
    ServiceControls service;
    // Whether cmux, which focuses a session's workspace, is installed. Without
    // it, a session item's tooltip says so under systemd; under launchd the
    // menu reads as it always has.
    bool cmuxInstalled = true;
    // Whether the app starts at login; nothing where the platform or the build
    // cannot make it do so, and the menu then has no such item.
    std::optional<bool> startsAtLogin;
    // Whether a session starting to wait for input is announced; nothing where
    // nobody would announce it (tessaly-bar), and the menu then has no such item.
    std::optional<NotifySetting> notify;
};

struct StatusMenu {
    inline static constexpr std::size_t recentEventLimit = 5;

    std::vector<MenuEntry> entries;
    std::map<int, SessionStatus> sessionsByTag; // the session behind each session item's tag

    // Notices, hidden line, state and detail, then the sessions, handoffs, recent
    // events and actions sections, separated; every section shows an empty-state
    // line rather than disappearing.
    static StatusMenu build(const StatusSnapshot& snapshot, const DaemonState& state,
                            const CompactSetting& compact, std::optional<Instant> hiddenSince,
                            Instant now, const TimeZone& timeZone, const MenuFacts& facts);

    // Whether `next` can be shown by updating the items of `shown` one by one:
    // the same items in the same order doing the same thing (action, tag, path,
    // shortcut), so only texts and states differ. A running daemon changes the
    // "last poll" line at nearly every poll; the menu is then updated in place
    // rather than rebuilt.
    static bool sameItems(const std::vector<MenuEntry>& shown, const std::vector<MenuEntry>& next);
    // One entry of sameItems: the same item, whatever its texts and states.
    static bool sameItem(const MenuEntry& shown, const MenuEntry& next);

    bool operator==(const StatusMenu&) const = default;
};

} // namespace menubar
