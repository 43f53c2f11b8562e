#pragma once

// What the status menu controller reaches outside the process: the clock, the
// time zone, the environment, the disk, the tray probe, child processes and the
// desktop. The app passes system(); tests stand in for each.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/system/DaemonService.hpp"
#include "app/system/Desktop.hpp"
#include "app/system/Notifier.hpp"
#include "status/DaemonState.hpp"
#include "status/Models.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"
#include "status/Visibility.hpp"
#include "system/FileSystem.hpp"
#include "system/TimeZone.hpp"

class QSettings;
class QSystemTrayIcon;

namespace menubar::app {

// Called exactly once, on the main thread, when a started command has ended.
using Done = std::function<void()>;

struct StatusMenuDependencies {
    std::string home;
    std::function<Instant()> now;
    std::function<TimeZone()> timeZone;
    std::function<std::map<std::string, std::string>()> environment;
    FileSystem fileSystem;
    // Where the "compact" user default lives.
    std::function<std::unique_ptr<QSettings>()> settings;
    std::function<VisibilityReading(const QSystemTrayIcon&)> probe;

    std::function<void(const std::string& workspaceId, const std::optional<std::string>& surfaceId,
                       Done done)>
        focusSession;
    // The daemon's service: installed or not, start, restart and stop, its logs.
    std::shared_ptr<const DaemonService> service;
    Notifier::Notify notify;
    // Whether the desktop has a tray host for the status item right now.
    std::function<bool()> trayHostPresent;
    // Opens a file or folder with the desktop's default application; `failed`
    // hears when nothing could.
    std::function<void(const std::string& path, OpenFailed failed)> open;
    // Shows the file selected in a file-manager window.
    std::function<void(const std::string& path, OpenFailed failed)> reveal;
    // Whether cmux, which focuses a session, is installed now.
    std::function<bool()> cmuxInstalled;
    // Whether Alt (Option) is held as a handoff is chosen.
    std::function<bool()> revealModifierHeld;
    // The settings window opens here once it exists.
    std::function<void()> showSettings;
    // Each poll, for the settings window's model once it exists.
    std::function<void(const StatusFile* file, const DaemonState& state)> settingsUpdate;
    std::function<void()> quit;
    // "Start at login": whether the app starts at login, read at each poll
    // (nothing hides the item), and the switch.
    std::function<std::optional<bool>()> startsAtLogin;
    std::function<void(bool enabled)> setStartAtLogin;

    // The icon's look from this machine's state and file, with every other
    // machine added; this machine's alone where no machines are followed.
    std::function<StatusItemPresentation(const DaemonState& state, const StatusFile* file,
                                         bool compact, const TimeZone& timeZone)>
        allMachinesLook = [](const DaemonState& state, const StatusFile* file, bool compact,
                             const TimeZone& timeZone) {
            return StatusItemPresentation::make(
                state, file ? file->sessions : std::vector<SessionStatus>{}, compact, timeZone);
        };
    // This machine's menu with a section per other machine added.
    std::function<StatusMenu(StatusMenu local, const CompactSetting& compact,
                             const TimeZone& timeZone)>
        allMachinesMenu =
            [](StatusMenu local, const CompactSetting&, const TimeZone&) { return local; };
    // Refresh (every machine is fetched at once), "Machines…" and "Open in
    // terminal" (the destination).
    std::function<void(MenuAction action, const std::string& destination)> machineAction =
        [](MenuAction, const std::string&) {};

    // The real clock, zone, environment, disk, settings store, tray probe,
    // desktop, cmux, notifier and launch agent.
    static StatusMenuDependencies system(std::string home);
};

} // namespace menubar::app
