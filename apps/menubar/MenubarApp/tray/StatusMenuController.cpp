#include "StatusMenuController.hpp"

#include <chrono>
#include <cstdio>

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QProxyStyle>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>

#include "StatusFileWatch.hpp"
#include "TrayIconRenderer.hpp"
#include "app/system/Desktop.hpp"
#include "app/system/Log.hpp"
#include "app/system/QtText.hpp"
#include "app/system/WakeWatch.hpp"
#include "status/Legibility.hpp"
#include "status/StatusView.hpp"

namespace menubar::app {

namespace {

// The entry's title as written, indented; a tab would start Qt's shortcut column.
QString fullTitle(const MenuEntry& entry) {
    QString text = qs(entry.title);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return QString(entry.indentation * 4, QLatin1Char(' ')) + text;
}

// "&" marks a mnemonic in a QAction's text; session names and event texts are
// shown as written.
QString menuText(const QString& title) {
    QString text = title;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A menu taller than the screen scrolls instead of opening further columns
// beside the first, which made a crowded menu cover the screen.
class ScrollingMenuStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Menu_Scrollable)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

StatusMenuController::StatusMenuController(std::string statusPath,
                                           StatusMenuDependencies dependencies, QObject* parent)
    : QObject(parent), statusPath_(std::move(statusPath)), dependencies_(std::move(dependencies)),
      statusItem_(new QSystemTrayIcon(this)), menu_(std::make_unique<QMenu>()),
      logsDirectory_(dependencies_.service->logsDirectory()) {
    menu_->setObjectName(QStringLiteral("statusMenu"));
    menu_->setToolTipsVisible(true);
    auto* style = new ScrollingMenuStyle;
    style->setParent(menu_.get());
    menu_->setStyle(style);
    connect(menu_.get(), &QMenu::aboutToShow, this, &StatusMenuController::menuWillOpen);
    connect(menu_.get(), &QMenu::aboutToHide, this, &StatusMenuController::menuDidClose);
    statusItem_->setContextMenu(menu_.get());
#ifndef Q_OS_MACOS
    // Trays differ in which click opens a context menu; a left click opening it
    // too makes the item behave like a menu-bar item everywhere.
    connect(statusItem_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && !menu_->isVisible()) {
                    menu_->popup(QCursor::pos());
                }
            });
#endif
}

StatusMenuController::~StatusMenuController() = default;

void StatusMenuController::start() {
    trace_ = environmentValue(traceKey) == "1";
    refresh();
    trayWasAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
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
    // The same refresh as a tick's, also while the menu is open: it then keeps
    // the menu current and, as always while open, skips the visibility probe.
    connect(fileWatch, &StatusFileWatch::refreshDue, this, &StatusMenuController::refresh);
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
    // A tray host that starts after the app (a login race) does not pick up an
    // icon that was shown into nothing; showing it again docks it.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayWasAvailable_) {
        statusItem_->hide();
        statusItem_->show();
    }
    trayWasAvailable_ = available;
    refresh();
}

void StatusMenuController::refresh() {
    if (watch_) {
        watch_->refreshed();
    }
    const Instant now = dependencies_.now();
    const TimeZone timeZone = dependencies_.timeZone();
    snapshot_ = StatusFileLocator::load(statusPath_, dependencies_.fileSystem);
    state_ = DaemonState::from(snapshot_, now);
    const StatusFile* file = snapshot_.file();
    compact_ = CompactSetting::resolve(dependencies_.environment(), storedCompact());
    presentation_ = dependencies_.allMachinesLook(state_, file, compact_.compact, timeZone);
    updateStatusItem(presentation_);
    dependencies_.settingsUpdate(file, state_);
    if (!menuIsOpen_) {
        probeTrayHost();
        probeVisibility(now);
    }
    rebuildMenu(now, timeZone);
}

bool StatusMenuController::popUpMenu() {
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !statusItem_->isVisible()) {
        return false;
    }
    const QRect item = statusItem_->geometry();
    menu_->popup(item.isValid() ? item.bottomLeft() : QCursor::pos());
    return true;
}

void StatusMenuController::menuWillOpen() {
    menuIsOpen_ = true;
    refresh();
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
    window_->render(shownEntries_, statusWindowNote(trayHost_));
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void StatusMenuController::rebuildMenu(Instant now, const TimeZone& timeZone) {
    MenuFacts facts = menuFactsOnDisk(dependencies_.fileSystem, statusPath_, logsDirectory_,
                                      dependencies_.service->controls());
    facts.startsAtLogin = dependencies_.startsAtLogin();
    StatusMenu built = StatusMenu::build(snapshot_, state_, compact_, hiddenTracker_.hiddenSince,
                                         now, timeZone, facts);
    built = dependencies_.allMachinesMenu(std::move(built), compact_, timeZone);
    sessionsByTag_ = std::move(built.sessionsByTag);
    const QList<QAction*> actions = menu_->actions();
    if (actions.size() == static_cast<qsizetype>(shownEntries_.size()) &&
        StatusMenu::sameItems(shownEntries_, built.entries)) {
        for (std::size_t i = 0; i < built.entries.size(); ++i) {
            if (built.entries[i] != shownEntries_[i]) {
                show(actions[static_cast<qsizetype>(i)], built.entries[i]);
            }
        }
    } else {
        // The action that asked for this rebuild may still be delivering its
        // signal, so old items are detached now and deleted once control is back
        // in the loop.
        for (QAction* action : actions) {
            menu_->removeAction(action);
            action->deleteLater();
        }
        for (const MenuEntry& entry : built.entries) {
            menu_->addAction(render(entry));
        }
    }
    shownEntries_ = std::move(built.entries);
    if (window_ && window_->isVisible()) {
        window_->render(shownEntries_, statusWindowNote(trayHost_));
    }
}

QAction* StatusMenuController::render(const MenuEntry& entry) {
    auto* action = new QAction(menu_.get());
    if (entry.isSeparator) {
        action->setSeparator(true);
        return action;
    }
    show(action, entry);
    if (!entry.keyEquivalent.empty()) {
        action->setShortcut(
            QKeySequence(QStringLiteral("Ctrl+") + qs(entry.keyEquivalent).toUpper()));
    }
    if (entry.action != MenuAction::none) {
        connect(action, &QAction::triggered, this,
                [this, kind = entry.action, tag = entry.tag, path = entry.path] {
                    perform(kind, tag, path);
                });
    }
    return action;
}

// What may change while an item keeps its place; see StatusMenu::sameItems.
void StatusMenuController::show(QAction* action, const MenuEntry& entry) {
    // The value's texts stay whole; only the drawing is bounded by the screen,
    // and an elided title is whole in the tooltip, above the entry's own.
    const QString title = fullTitle(entry);
    const QString shown = menu_->fontMetrics().elidedText(title, Qt::ElideRight, titleWidth());
    QStringList tooltip;
    if (shown != title)
        tooltip << title.trimmed();
    if (entry.tooltip && !entry.tooltip->empty())
        tooltip << qs(*entry.tooltip);
    action->setText(menuText(shown));
    action->setEnabled(entry.enabled);
    action->setToolTip(tooltip.join(QLatin1Char('\n')));
    const bool checkable = entry.checkable();
    action->setCheckable(checkable);
    action->setChecked(checkable && entry.checked);
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
        dependencies_.service->start(refreshWhenDone());
        return;
    case MenuAction::restartDaemon:
        dependencies_.service->restart(refreshWhenDone());
        return;
    case MenuAction::stopDaemon:
        dependencies_.service->stop(refreshWhenDone());
        return;
    case MenuAction::openLogs:
        dependencies_.open(logsDirectory_);
        return;
    case MenuAction::openStatusFile:
        dependencies_.open(statusPath_);
        return;
    case MenuAction::quit:
        dependencies_.quit();
        return;
    case MenuAction::toggleStartAtLogin:
        dependencies_.setStartAtLogin(!dependencies_.startsAtLogin().value_or(false));
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
    dependencies_.focusSession(*found->second.workspaceId, found->second.surfaceId,
                               refreshWhenDone());
}

void StatusMenuController::openHandoff(const std::optional<std::string>& path) {
    if (!path) {
        return;
    }
    if (dependencies_.revealModifierHeld()) {
        dependencies_.reveal(*path);
    } else {
        dependencies_.open(*path);
    }
}

void StatusMenuController::toggleCompact() {
    const std::unique_ptr<QSettings> settings = dependencies_.settings();
    settings->setValue(QString::fromUtf8(CompactSetting::defaultsKey), !compact_.compact);
    settings->sync();
    refresh();
}

std::optional<bool> StatusMenuController::storedCompact() const {
    const QVariant stored =
        dependencies_.settings()->value(QString::fromUtf8(CompactSetting::defaultsKey));
    // Text-based stores give back a written boolean as "true" / "false".
    if (stored.typeId() == QMetaType::Bool) {
        return stored.toBool();
    }
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true")) {
            return true;
        }
        if (text == QLatin1String("false")) {
            return false;
        }
    }
    return std::nullopt;
}

int StatusMenuController::titleWidth() const {
    const QScreen* screen = menu_->screen() ? menu_->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    // The check column, the shortcut column and the frame, roughly as styles draw them.
    const QFontMetrics metrics = menu_->fontMetrics();
    const int reserved = metrics.horizontalAdvance(QStringLiteral("Ctrl+Q")) + 6 * metrics.height();
    return Legibility::menuTitleWidth(screenWidth, reserved);
}

Done StatusMenuController::refreshWhenDone() {
    return [self = QPointer<StatusMenuController>(this)] {
        if (self) {
            self->refresh();
        }
    };
}

} // namespace menubar::app
