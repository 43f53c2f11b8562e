#pragma once

// The tray item, its menu and the poll timer. When the menu opens, after each
// action, when the status file changes (StatusFileWatch), when the machine wakes
// and at each tick of the three-second poll (which starts over at every refresh
// but on macOS, see refreshRestartsPoll), one refresh re-reads the status file
// (decoding it only when its bytes changed) and redraws the item when its look
// changed. The poll's refresh, and a write's once three seconds have passed
// since the last, also checks that the item is still on screen (not while the
// menu is open). The menu value is built only while something shows it: the
// open menu, the status window, or a StatusNotifierItem host, which may read
// the exported menu at any time; a closed menu is built as it opens
// (StatusMenuRenderer). Every rule comes from the core; this class only turns
// its values into the tray icon and the menu's rendering and routes the actions.
//
// One instance, owned by the AppDelegate; main thread only. What it reaches
// outside the process (the clock, the time zone, the environment, the tray probe,
// child processes, the desktop) comes in through StatusMenuDependencies, so tests
// can stand in for each.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "ActionFeedback.hpp"
#include "StatusMenuDependencies.hpp"
#include "StatusMenuRenderer.hpp"
#include "StatusWindow.hpp"
#include "app/system/DaemonService.hpp"
#include "app/system/Notifier.hpp"
#include "status/DaemonState.hpp"
#include "status/Models.hpp"
#include "status/StatusDecoder.hpp"
#include "status/StatusFileReader.hpp"
#include "status/StatusItemPresentation.hpp"
#include "status/StatusMenu.hpp"
#include "status/StatusWatch.hpp"
#include "status/TrayHost.hpp"
#include "status/Visibility.hpp"
#include "system/FileSystem.hpp"
#include "system/TimeZone.hpp"

class QAction;
class QMenu;
class QSettings;
class QSystemTrayIcon;

namespace menubar::app {

class AttentionNotices;
class StatusFileWatch;

#ifdef Q_OS_MACOS
inline constexpr bool isMacOS = true;
#else
inline constexpr bool isMacOS = false;
#endif

class StatusMenuController : public QObject {
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 3000;
    // Whether every refresh starts the poll's timer over. On macOS the timer
    // fires every three seconds for the life of the process, as it always has;
    // elsewhere a daemon that writes more often than the poll then wakes the
    // app once per write instead of once per write and once per tick.
    static constexpr bool refreshRestartsPoll = !isMacOS;
    // "0", "false", "no" or "off" leaves the status file to the timer alone.
    static constexpr std::string_view watchKey = "TESSALY_MENUBAR_WATCH";
    // Exactly "1": each applied presentation is logged with a monotonic time.
    static constexpr std::string_view traceKey = "TESSALY_MENUBAR_TRACE";

    StatusMenuController(std::string statusPath, StatusMenuDependencies dependencies,
                         QObject* parent = nullptr);
    ~StatusMenuController() override;

    // The first refresh, synchronously, then the timer.
    void start();
    void refresh();
    // A refresh for a write of the status file: the daemon writes every few
    // seconds, and whether the icon is hidden or the tray host went away does
    // not follow its writes, so the tray probes run only when a poll's interval
    // has passed since they last ran.
    void refreshForWrite();
    // What one timer tick does: nothing while the menu is open, else a refresh.
    void tick();
    // At termination: the timer stops and is dropped, nothing else.
    void stopTimer();

    // Opens the menu beside the status item (at the pointer when the tray does
    // not say where the item is). False when no tray shows the item.
    bool popUpMenu();

    void menuWillOpen();
    void menuDidClose();

    // Opens (or raises) the status window; it follows every poll until closed.
    void showStatusWindow();
    StatusWindow* statusWindow() const { return window_.get(); }
    const TrayHostTracker& trayHost() const { return trayHost_; }

    const std::string& statusPath() const { return statusPath_; }
    QSystemTrayIcon* statusItem() const { return statusItem_; }
    // The tray menu, first brought up to the last poll unless it is open (it is
    // otherwise built only as it opens).
    QMenu* menu();
    const QTimer* timer() const { return timer_; }
    // Null when watching is switched off or cannot work here.
    const StatusFileWatch* watch() const { return watch_; }
    const StatusSnapshot& snapshot() const { return reader_.snapshot(); }
    const DaemonState& state() const { return state_; }
    const CompactSetting& compact() const { return compact_; }
    const StatusItemPresentation& presentation() const { return presentation_; }
    const HiddenItemTracker& hiddenTracker() const { return hiddenTracker_; }
    bool menuIsOpen() const { return menuIsOpen_; }
    const std::map<int, SessionStatus>& sessionsByTag() const { return sessionsByTag_; }

private:
    void updateStatusItem(const StatusItemPresentation& presentation);
    void probeVisibility(Instant now);
    void probeTrayHost();
    // Whether the settings file may hold other choices than when last read.
    bool storedChoicesMayHaveChanged();
    void redockIfTrayReturned();
    // `poll`: the poll's own work too (the tray probes).
    void update(bool poll);
    bool exported() const;
    // Whether anything shows the menu value now.
    bool menuValueShown() const;
    // The menu value for the last poll, rendered into the menu, the window or both.
    void presentMenu(bool toMenu, bool toWindow);
    void perform(MenuAction action, int tag, const std::optional<std::string>& path);
    void focusSession(int tag);
    void openHandoff(const std::optional<std::string>& path);
    void toggleCompact();
    Done refreshWhenDone();
    void startWatching();
    std::optional<std::string> environmentValue(std::string_view key) const;

    const std::string statusPath_;
    StatusMenuDependencies dependencies_;
    QSystemTrayIcon* statusItem_;
    std::unique_ptr<StatusMenuRenderer> renderer_;
    ActionFeedback feedback_; // after statusItem_, which it points to
    QPointer<QTimer> timer_;
    // When the poll's own work last ran.
    std::optional<Instant> lastPollWork_;
    std::optional<Instant> startedAt_; // notices wait a poll's interval from it
    StatusFileReader reader_;
    DaemonState state_;
    CompactSetting compact_;
    StatusItemPresentation presentation_;
    std::optional<StatusItemPresentation> drawn_; // what the icon shows now
    const std::string logsDirectory_;
    HiddenItemTracker hiddenTracker_;
    bool menuIsOpen_ = false;
    bool menuOpening_ = false; // between aboutToShow and the refresh it asks for
    Instant polledAt_{};
    std::optional<TimeZone> timeZone_; // of the last poll
    // The settings file, its stamp when last parsed (not kept on macOS), and the
    // icon-only choice stored in it then.
    std::string choicesFile_;
    std::optional<FileStamp> choicesStamp_;
    std::optional<bool> storedCompact_;
    std::map<int, SessionStatus> sessionsByTag_;
    bool trayWasAvailable_ = false;
    StatusFileWatch* watch_ = nullptr;
    bool trace_ = false;
    TrayHostTracker trayHost_;
    std::unique_ptr<StatusWindow> window_;
    AttentionNotices* attention_;
};

} // namespace menubar::app
