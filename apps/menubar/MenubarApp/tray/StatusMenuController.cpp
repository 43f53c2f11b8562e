#include "StatusMenuController.hpp"

#include <chrono>
#include <cstdio>

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>

#include "AttentionNotices.hpp"
#include "StatusFileWatch.hpp"
#include "TrayIconRenderer.hpp"
#include "app/system/Desktop.hpp"
#include "app/system/FileWatchSupport.hpp"
#include "app/system/Log.hpp"
#include "app/system/QtText.hpp"
#include "app/system/StoredFlag.hpp"
#include "app/system/WakeWatch.hpp"
#include "status/StatusView.hpp"

namespace menubar::app {

StatusMenuController::StatusMenuController(std::string statusPath,
                                           StatusMenuDependencies dependencies, QObject* parent)
    : QObject(parent), statusPath_(std::move(statusPath)), dependencies_(std::move(dependencies)),
      statusItem_(new QSystemTrayIcon(this)),
      renderer_(std::make_unique<StatusMenuRenderer>(
          [this](const MenuEntry& entry) { perform(entry.action, entry.tag, entry.path); })),
      feedback_(dependencies_.notify, statusItem_, dependencies_.service, refreshWhenDone()),
      logsDirectory_(dependencies_.service->logsDirectory()),
      attention_(new AttentionNotices(
          {dependencies_.environment, dependencies_.settings, dependencies_.focusSession},
          statusItem_, this)) {
    QMenu* menu = renderer_->menu();
    connect(menu, &QMenu::aboutToShow, this, &StatusMenuController::menuWillOpen);
    connect(menu, &QMenu::aboutToHide, this, &StatusMenuController::menuDidClose);
    statusItem_->setContextMenu(menu);
#ifndef Q_OS_MACOS
    // Trays differ in which click opens a context menu; a left click opening it
    // too makes the item behave like a menu-bar item everywhere.
    connect(statusItem_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && !renderer_->menu()->isVisible()) {
                    renderer_->menu()->popup(QCursor::pos());
                }
            });
#endif
}

StatusMenuController::~StatusMenuController() = default;

void StatusMenuController::start() {
    trace_ = environmentValue(traceKey) == "1";
    // Known before the first refresh, whose probes would otherwise take the
    // first showing for a tray host that has just come.
    trayWasAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
    // Notices wait for the first refresh a poll's interval after the start: the
    // first one may start the desktop's notification service, and that start
    // would compete with the item's first showing.
    startedAt_ = dependencies_.now();
    refresh();
    statusItem_->show();
    auto* timer = new QTimer(this);
    timer->setInterval(pollIntervalMs);
    connect(timer, &QTimer::timeout, this, &StatusMenuController::tick);
    timer->start();
    timer_ = timer;
    startWatching();
}

std::optional<std::string> StatusMenuController::environmentValue(std::string_view key) const {
    const auto environment = dependencies_.environment();
    const auto found = environment.find(std::string(key));
    return found == environment.end() ? std::nullopt : std::optional(found->second);
}

void StatusMenuController::startWatching() {
    // Waking refreshes whether or not the file is watched: the timer's first
    // tick after a sleep may be up to three seconds away.
    connect(new WakeWatch(this), &WakeWatch::awake, this, &StatusMenuController::refresh);
    const std::optional<std::string> watch = environmentValue(watchKey);
    if (watch && CompactSetting::parse(*watch) == false) {
        return;
    }
    auto* fileWatch = new StatusFileWatch(statusPath_, this);
    if (!fileWatch->start()) {
        delete fileWatch;
        return;
    }
    // The same refresh as a tick's but for the tray probes, also while the menu
    // is open: it then keeps the menu current.
    connect(fileWatch, &StatusFileWatch::refreshDue, this, &StatusMenuController::refreshForWrite);
    watch_ = fileWatch;
}

void StatusMenuController::stopTimer() {
    if (timer_) {
        timer_->stop();
        timer_->deleteLater();
    }
    timer_ = nullptr;
}

void StatusMenuController::tick() {
    // The menu shows the poll it opened with until it closes.
    if (menuIsOpen_) {
        return;
    }
    refresh();
}

void StatusMenuController::refresh() {
    update(true);
}

void StatusMenuController::refreshForWrite() {
    update(!lastPollWork_ || RefreshPacing::pollWorkDue(dependencies_.now() - *lastPollWork_,
                                                        std::chrono::milliseconds(pollIntervalMs)));
}

void StatusMenuController::update(bool poll) {
    if (watch_) {
        watch_->refreshed();
    }
    const Instant now = dependencies_.now();
    polledAt_ = now;
    // The state follows the clock (a daemon that stopped writing goes stale), so
    // it is derived again from an unchanged file too.
    reader_.read(statusPath_, dependencies_.fileSystem);
    state_ = DaemonState::from(reader_.snapshot(), now);
    const StatusFile* file = reader_.snapshot().file();
    // The stored choices and the system's time zone are read again at the poll,
    // not at every write: each read is a copy of the environment or a look at
    // /etc/localtime.
    if (poll || !timeZone_) {
        timeZone_ = dependencies_.timeZone();
        const bool storedChanged = storedChoicesMayHaveChanged();
        if (storedChanged) {
            storedCompact_ = storedFlag(*dependencies_.settings(), CompactSetting::defaultsKey);
        }
        attention_->reread(storedChanged);
        compact_ = CompactSetting::resolve(dependencies_.environment(), storedCompact_);
    }
    presentation_ = dependencies_.allMachinesLook(state_, file, compact_.compact, *timeZone_);
    updateStatusItem(presentation_);
    dependencies_.settingsUpdate(file, state_);
    if (!startedAt_ || now - *startedAt_ >= std::chrono::milliseconds(pollIntervalMs)) {
        attention_->observe(file, state_, menuIsOpen_, now);
    }
    if (timer_ && refreshRestartsPoll) {
        timer_->start();
    }
    if (poll) {
        lastPollWork_ = now;
        if (!menuIsOpen_) {
            redockIfTrayReturned();
            probeTrayHost();
            probeVisibility(now);
        }
    }
    if (menuValueShown()) {
        presentMenu(menuIsOpen_ || exported(), window_ && window_->isVisible());
    }
}

bool StatusMenuController::popUpMenu() {
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !statusItem_->isVisible()) {
        return false;
    }
    const QRect item = statusItem_->geometry();
    renderer_->menu()->popup(item.isValid() ? item.bottomLeft() : QCursor::pos());
    return true;
}

void StatusMenuController::menuWillOpen() {
    // The menu opens with a fresh poll, rebuilt before it is shown, and then
    // keeps its items until it closes.
    menuIsOpen_ = true;
    menuOpening_ = true;
    refresh();
    menuOpening_ = false;
}

void StatusMenuController::menuDidClose() {
    menuIsOpen_ = false;
}

void StatusMenuController::updateStatusItem(const StatusItemPresentation& presentation) {
    // Redrawing an unchanged icon makes some trays flicker and costs a D-Bus
    // round trip on others.
    if (drawn_ == presentation) {
        return;
    }
    // The tooltip's poll age changes at nearly every refresh, and the status
    // file changes every few seconds; the picture changes far less often.
    if (!drawn_ || drawn_->symbolName != presentation.symbolName ||
        drawn_->title != presentation.title || drawn_->tone != presentation.tone) {
        statusItem_->setIcon(
            renderStatusIcon(presentation, QGuiApplication::palette(), nativeIconShape()));
    }
    statusItem_->setToolTip(qs(presentation.tooltip));
    drawn_ = presentation;
    if (trace_) {
        // The monotonic clock that a benchmark's writer can read too
        // (CLOCK_MONOTONIC on Linux), in seconds.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%lld.%09lld",
                      static_cast<long long>(ns / 1'000'000'000),
                      static_cast<long long>(ns % 1'000'000'000));
        log(std::string("trace ") + seconds + " applied " + presentation.title);
    }
}

bool StatusMenuController::storedChoicesMayHaveChanged() {
#ifdef Q_OS_MACOS
    // The preferences daemon answers another program's write at once and may
    // write the file later, so the file's stamp cannot tell.
    return true;
#else
    // Parsing the settings file costs a dozen file calls; its stamp costs one.
    if (choicesFile_.empty()) {
        choicesFile_ = dependencies_.settings()->fileName().toStdString();
    }
    const FileStamp stamp = fileStampOf(choicesFile_);
    if (choicesStamp_ && stamp == *choicesStamp_) {
        return false;
    }
    choicesStamp_ = stamp;
    return true;
#endif
}

void StatusMenuController::redockIfTrayReturned() {
    // A tray host that starts after the app (a login race) does not pick up an
    // icon that was shown into nothing; showing it again docks it.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayWasAvailable_) {
        statusItem_->hide();
        statusItem_->show();
    }
    trayWasAvailable_ = available;
}

void StatusMenuController::probeVisibility(Instant now) {
    const VisibilityReading reading = dependencies_.probe(*statusItem_);
    switch (hiddenTracker_.observe(itemVisibilityFrom(reading.onscreen, reading.width), now)) {
    case HiddenItemTracker::Transition::becameHidden:
        log(HiddenItemCopy::logLine(compact_.compact) + "; " + describe(reading));
        dependencies_.notify(std::string(HiddenItemCopy::notificationTitle),
                             std::string(HiddenItemCopy::notificationBody), statusItem_);
        break;
    case HiddenItemTracker::Transition::becameVisible:
        log("status item is visible again");
        break;
    case HiddenItemTracker::Transition::unchanged:
        break;
    }
}

void StatusMenuController::probeTrayHost() {
    const TrayHostResponse response =
        TrayHostResponse::to(trayHost_.observe(dependencies_.trayHostPresent()));
    if (response.logLine) {
        log(*response.logLine);
    }
    if (response.notificationTitle && response.notificationBody) {
        dependencies_.notify(*response.notificationTitle, *response.notificationBody, statusItem_);
    }
    switch (response.window) {
    case TrayHostResponse::Window::open:
        showStatusWindow();
        break;
    case TrayHostResponse::Window::close:
        if (window_) {
            window_->close();
        }
        break;
    case TrayHostResponse::Window::keep:
        break;
    }
}

void StatusMenuController::showStatusWindow() {
    if (!window_) {
        window_ = std::make_unique<StatusWindow>(
            [this](const MenuEntry& entry) { perform(entry.action, entry.tag, entry.path); });
    }
    presentMenu(menuIsOpen_ || exported(), true);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QMenu* StatusMenuController::menu() {
    if (!menuIsOpen_ && timeZone_) {
        presentMenu(true, window_ && window_->isVisible());
    }
    return renderer_->menu();
}

// Where the platform exports the menu (a StatusNotifierItem host), the host may
// read it at any moment, without saying it is about to show it.
bool StatusMenuController::exported() const {
    return renderer_->menu()->platformMenu() != nullptr;
}

bool StatusMenuController::menuValueShown() const {
    return menuIsOpen_ || exported() || (window_ && window_->isVisible());
}

void StatusMenuController::presentMenu(bool toMenu, bool toWindow) {
    MenuFacts facts = menuFactsOnDisk(dependencies_.fileSystem, statusPath_, logsDirectory_,
                                      dependencies_.service->controls());
    facts.startsAtLogin = dependencies_.startsAtLogin();
    facts.notify = attention_->setting();
    facts.cmuxInstalled = dependencies_.cmuxInstalled();
    StatusMenu built = StatusMenu::build(reader_.snapshot(), state_, compact_,
                                         hiddenTracker_.hiddenSince, polledAt_, *timeZone_, facts);
    built = dependencies_.allMachinesMenu(std::move(built), compact_, *timeZone_);
    // An item routes by its tag through the map of the menu it belongs to: a
    // menu kept open shows the sessions it opened with.
    const bool open = menuIsOpen_ && !menuOpening_;
    if (!toMenu || renderer_->render(built.entries, open)) {
        sessionsByTag_ = std::move(built.sessionsByTag);
    }
    if (toWindow) {
        window_->render(built.entries, statusWindowNote(trayHost_));
    }
}

void StatusMenuController::perform(MenuAction action, int tag,
                                   const std::optional<std::string>& path) {
    switch (action) {
    case MenuAction::none:
        return;
    case MenuAction::refresh:
    case MenuAction::openMachines:
    case MenuAction::openMachineTerminal:
        dependencies_.machineAction(action, path.value_or(""));
        refresh();
        return;
    case MenuAction::openSettings:
        dependencies_.showSettings();
        return;
    case MenuAction::toggleCompact:
        toggleCompact();
        return;
    case MenuAction::focusSession:
        focusSession(tag);
        return;
    case MenuAction::openHandoff:
        openHandoff(path);
        return;
    case MenuAction::startDaemon:
        feedback_.request(ServiceRequest::start);
        return;
    case MenuAction::restartDaemon:
        feedback_.request(ServiceRequest::restart);
        return;
    case MenuAction::stopDaemon:
        feedback_.request(ServiceRequest::stop);
        return;
    case MenuAction::openLogs:
        dependencies_.open(logsDirectory_, feedback_.notOpened(OpenTarget::logs, logsDirectory_));
        return;
    case MenuAction::openStatusFile:
        dependencies_.open(statusPath_, feedback_.notOpened(OpenTarget::statusFile, statusPath_));
        return;
    case MenuAction::quit:
        dependencies_.quit();
        return;
    case MenuAction::toggleStartAtLogin:
        dependencies_.setStartAtLogin(!dependencies_.startsAtLogin().value_or(false));
        refresh();
        return;
    case MenuAction::toggleNotify:
        attention_->toggle();
        refresh();
        return;
    }
}

void StatusMenuController::focusSession(int tag) {
    // Looked up in the current map: an item kept from an earlier menu reaches
    // whichever session holds its place now.
    const auto found = sessionsByTag_.find(tag);
    if (found == sessionsByTag_.end() || !found->second.workspaceId) {
        return;
    }
    feedback_.focusing(dependencies_.cmuxInstalled());
    dependencies_.focusSession(*found->second.workspaceId, found->second.surfaceId,
                               refreshWhenDone());
}

void StatusMenuController::openHandoff(const std::optional<std::string>& path) {
    if (!path) {
        return;
    }
    const OpenFailed failed = feedback_.notOpened(OpenTarget::handoff, *path);
    if (dependencies_.revealModifierHeld()) {
        dependencies_.reveal(*path, failed);
    } else {
        dependencies_.open(*path, failed);
    }
}

void StatusMenuController::toggleCompact() {
    const std::unique_ptr<QSettings> settings = dependencies_.settings();
    settings->setValue(QString::fromUtf8(CompactSetting::defaultsKey), !compact_.compact);
    settings->sync();
    choicesStamp_.reset();
    refresh();
}

Done StatusMenuController::refreshWhenDone() {
    return [self = QPointer<StatusMenuController>(this)] {
        if (self) {
            self->refresh();
        }
    };
}

} // namespace menubar::app
