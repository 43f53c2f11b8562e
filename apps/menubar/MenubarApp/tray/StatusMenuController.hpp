#pragma once

// The tray item, its menu and the poll timer. Every three seconds, when the menu
// opens and after each action, one refresh re-reads the status file, redraws the
// item, checks that the item is still on screen (not while the menu is open) and
// rebuilds the whole menu from the core's StatusMenu value; nothing is patched in
// place. Every rule comes from the core; this class only turns its values into
// the tray icon and QActions and routes the actions.
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

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "DaemonState.hpp"
#include "FileSystem.hpp"
#include "Models.hpp"
#include "StatusDecoder.hpp"
#include "StatusItemPresentation.hpp"
#include "StatusMenu.hpp"
#include "TimeZone.hpp"
#include "Visibility.hpp"

class QAction;
class QMenu;
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
    std::function<void(Done done)> startDaemon;
    std::function<void(Done done)> stopDaemon;
    std::function<void(const std::string& title, const std::string& body)> notify;
    // Opens a file or folder with the desktop's default application.
    std::function<void(const std::string& path)> open;
    // Shows the file selected in a file-manager window.
    std::function<void(const std::string& path)> reveal;
    // Whether Alt (Option) is held as a handoff is chosen.
    std::function<bool()> revealModifierHeld;
    // The settings window opens here once it exists.
    std::function<void()> showSettings;
    // Each poll, for the settings window's model once it exists.
    std::function<void(const StatusFile* file, const DaemonState& state)> settingsUpdate;
    std::function<void()> quit;

    // The real clock, zone, environment, disk, settings store, tray probe,
    // desktop, cmux, notifier and launch agent.
    static StatusMenuDependencies system(std::string home);
};

class StatusMenuController : public QObject {
    Q_OBJECT

public:
    static constexpr int pollIntervalMs = 3000;

    StatusMenuController(std::string statusPath, StatusMenuDependencies dependencies,
                         QObject* parent = nullptr);
    ~StatusMenuController() override;

    // The first refresh, synchronously, then the timer.
    void start();
    void refresh();
    // What one timer tick does: nothing while the menu is open, else a refresh.
    void tick();
    // At termination: the timer stops and is dropped, nothing else.
    void stopTimer();

    void menuWillOpen();
    void menuDidClose();

    const std::string& statusPath() const { return statusPath_; }
    QSystemTrayIcon* statusItem() const { return statusItem_; }
    QMenu* menu() const { return menu_.get(); }
    const QTimer* timer() const { return timer_; }
    const StatusSnapshot& snapshot() const { return snapshot_; }
    const DaemonState& state() const { return state_; }
    const CompactSetting& compact() const { return compact_; }
    const StatusItemPresentation& presentation() const { return presentation_; }
    const HiddenItemTracker& hiddenTracker() const { return hiddenTracker_; }
    bool menuIsOpen() const { return menuIsOpen_; }
    const std::map<int, SessionStatus>& sessionsByTag() const { return sessionsByTag_; }

    // The process-wide log directory under `home`.
    static std::string logsDirectory(const std::string& home);

private:
    void updateStatusItem(const StatusItemPresentation& presentation);
    void probeVisibility(Instant now);
    void rebuildMenu(Instant now, const TimeZone& timeZone);
    QAction* render(const MenuEntry& entry);
    void show(QAction* action, const MenuEntry& entry);
    // How wide a title is drawn before it is elided, for the menu's screen.
    int titleWidth() const;
    void perform(MenuAction action, int tag, const std::optional<std::string>& path);
    void focusSession(int tag);
    void openHandoff(const std::optional<std::string>& path);
    void toggleCompact();
    std::optional<bool> storedCompact() const;
    Done refreshWhenDone();

    const std::string statusPath_;
    StatusMenuDependencies dependencies_;
    QSystemTrayIcon* statusItem_;
    std::unique_ptr<QMenu> menu_;
    QPointer<QTimer> timer_;
    StatusSnapshot snapshot_;
    DaemonState state_;
    CompactSetting compact_;
    StatusItemPresentation presentation_;
    std::optional<StatusItemPresentation> drawn_; // what the icon shows now
    const std::string logsDirectory_;
    HiddenItemTracker hiddenTracker_;
    bool menuIsOpen_ = false;
    std::map<int, SessionStatus> sessionsByTag_;
    std::vector<MenuEntry> shownEntries_; // what the menu's actions show, one each
    bool trayWasAvailable_ = false;
};

} // namespace menubar::app
