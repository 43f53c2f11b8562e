// The status menu controller against real status files in a temporary home,
// with the clock, the tray probe and every outside command stood in for. The
// menu's texts and states are the core's (core/test_status_menu, and over D-Bus in
// desktop/test_status_notifier); here what the controller does with them. Last,
// the app delegate that starts it: launch order, the settings-on-launch
// variable, termination and the main menu.
//
// Then the tray polling hostile status files on a real disk: every wrong type at
// every key, every cut of a valid file, files past the size limit and a file
// replaced while the polls run. Each poll must show "Status file unreadable"
// with the reason on the detail line, and the next good file must show again.

#include <QAbstractButton>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <set>
#include <thread>

#include <unicode/unistr.h>

#include "../MenuCases.hpp"
#include "../StatusFaultTable.hpp"
#include "StatusMenuTestSupport.hpp"
#include "app/start/AppDelegate.hpp"
#include "app/system/MainMenu.hpp"
#include "app/tray/StatusFileWatch.hpp"

using namespace menubar::faults;
using namespace status_menu_test;

namespace {

// The table's files: a daemon that polled five seconds before the test's "now",
// and one that recorded its stop at 11:30.
const char* const runningFile = menu_cases::menuCases()[0].file;
const char* const stoppedFile = menu_cases::menuCases()[1].file;
const char* reorderedFile = R"({"at":"2025-06-01T11:59:58Z","intervalMs":2000,
  "sessions":[
    {"dirName":"api","contextPct":10,"level":"ok","lifecycle":"idle","workspaceId":"ws-api"},
    {"dirName":"web","contextPct":90,"level":"critical","lifecycle":"running",
     "workspaceId":"ws-web"}]})";

// Refreshed `polls` times in all, and no more once the pacing floor has passed twice.
void settled(const Harness& harness, int polls) {
    QTRY_COMPARE(harness.polls, polls);
    QTest::qWait(2 * RefreshPacing::floor.count());
    QCOMPARE(harness.polls, polls);
}

QString headline(StatusMenuController& controller) {
    return titles(controller.menu()).value(0);
}

// One home per case, the daemon's unit installed, the tray host there or not.
void prepare(Harness& harness, const menu_cases::MenuCase& c, bool window) {
    harness.underSystemd = true;
    harness.installUnit();
    harness.trayHost = !window;
    std::ofstream(harness.home + "/HANDOFF.md") << "notes";
    std::filesystem::create_directories(harness.home + "/.local/state/tessaly/logs");
    if (c.file)
        harness.write(
            QString(c.file).replace("HOME", QString::fromStdString(harness.home)).toStdString());
}

// The rows of the menu as it opens, or of the status window as it shows, in
// the tables' form; `click` is clicked on the way if given, after `requests`,
// if given, is emptied (opening the menu reads the status file).
QStringList rendered(StatusMenuController& controller, bool window, const QString& click = {},
                     std::vector<std::string>* requests = nullptr) {
    QStringList rows;
    std::function<void()> clicked;
    QMenu* menu = window ? nullptr : controller.menu();
    if (window) {
        StatusWindow* shown = controller.statusWindow();
        if (!shown || !shown->isVisible())
            return {"<no status window>"};
        for (QWidget* row : shown->rows()) {
            const auto* label = qobject_cast<const QLabel*>(row);
            auto* button = qobject_cast<QAbstractButton*>(row);
            // A button doubles "&" as a menu item does; a label shows it as written.
            rows << (label ? menu_cases::row(label->text().replace("&", "&&"), false, false, false)
                     : button ? menu_cases::row(button->text(), button->isEnabled(),
                                                button->isCheckable(), button->isChecked())
                              : "---");
            if (button && button->text() == click)
                clicked = [button] { button->click(); };
        }
    } else {
        menu->popup(QPoint(0, 0));
        for (QAction* action : menu->actions()) {
            rows << (action->isSeparator()
                         ? "---"
                         : menu_cases::row(action->text(), action->isEnabled(),
                                           action->isCheckable(), action->isChecked()));
            if (action->text() == click)
                clicked = [action] { action->trigger(); };
        }
    }
    if (requests)
        requests->clear();
    if (clicked)
        clicked();
    if (menu)
        menu->hide();
    return rows;
}

// The controller's outside connections from the harness, for whichever home the
// delegate asks about.
AppDelegate::DependenciesFactory from(Harness& harness) {
    return [&harness](const std::string& home) {
        StatusMenuDependencies dependencies = harness.dependencies();
        dependencies.home = home;
        return dependencies;
    };
}

// Between polls in one thread it makes no difference how a file is replaced,
// and ext4 flushes a file renamed over another to disk: these are written in place.
void rewrite(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One timer tick, then the menu items it replaced are really deleted, as the
// event loop would between ticks.
void poll(StatusMenuController& controller) {
    controller.tick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The detail line as the menu shows it: "&" doubled so it is not a mnemonic.
QString asShown(const std::string& reason) {
    return QString::fromStdString(reason).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// The reason the controller shows, or why it shows none.
QString detail(StatusMenuController& controller) {
    const QString tooltip = controller.statusItem()->toolTip();
    const QStringList items = titles(controller.menu());
    if (tooltip != "Status file unreadable" || items.value(0) != tooltip)
        return "<not unreadable: " + tooltip + ">";
    // A reason too long for the screen is elided there and whole in the tooltip.
    const QAction* item = controller.menu()->actions().value(1);
    if (item->text().endsWith(QChar(0x2026)))
        return asShown(item->toolTip().section('\n', 0, 0).toStdString());
    return items.value(1);
}

std::string reasonOf(const StatusSnapshot& snapshot) {
    const auto* unreadable = std::get_if<StatusSnapshot::Unreadable>(&snapshot.value());
    return unreadable ? unreadable->reason : "";
}

} // namespace

class StatusMenuControllerTest : public QObject {
    Q_OBJECT

    QProcess systemBus; // a bus of the test's own in the system bus's place, for logind

private slots:
    void initTestCase() {
        systemBus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(systemBus.waitForReadyRead(10000));
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.readLine().trimmed());
    }
    void cleanupTestCase() {
        systemBus.kill();
        systemBus.waitForFinished();
    }

    // logind says the machine is going to sleep, then that it woke: only the
    // waking reads the status again, at once rather than at the next tick.
    void wakingFromSleepRefreshesAtOnce() {
        QDBusConnection logind = QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), "logind");
        QVERIFY(logind.registerService("org.freedesktop.login1"));
        Harness harness;
        const auto controller = harness.started(runningFile);
        controller->stopTimer();
        const auto prepareForSleep = [&](bool sleeping) {
            logind.send(QDBusMessage::createSignal("/org/freedesktop/login1",
                                                   "org.freedesktop.login1.Manager",
                                                   "PrepareForSleep")
                        << sleeping);
        };
        prepareForSleep(false);
        QTRY_COMPARE(harness.polls, 2);
        // Signals arrive in order: once the second waking has refreshed, the sleep
        // before it has been seen too.
        prepareForSleep(true);
        prepareForSleep(false);
        settled(harness, 3);
    }

    void everyRendererShowsTheRowsAndActsOnTheClicks_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("window");
        for (int index = 0; index < int(menu_cases::menuCases().size()); ++index)
            for (const bool window : {false, true})
                QTest::newRow(qPrintable(QString(menu_cases::menuCases()[index].name) +
                                         (window ? ", status window" : ", tray menu")))
                    << index << window;
    }
    void everyRendererShowsTheRowsAndActsOnTheClicks() {
        QFETCH(int, index);
        QFETCH(bool, window);
        const menu_cases::MenuCase& c = menu_cases::menuCases()[index];
        {
            Harness harness;
            prepare(harness, c, window);
            const auto controller = harness.started();
            QStringList expected = c.rows;
            // The window does not indent the events.
            if (window)
                expected.replaceInStrings(QRegularExpression("^ +"), "");
            QCOMPARE(rendered(*controller, window), expected);
        }
        for (const menu_cases::Click& click : c.clicks) {
            Harness harness;
            prepare(harness, c, window);
            harness.altHeld = click.altHeld;
            const auto controller = harness.started();
            rendered(*controller, window, click.row, &harness.requests);
            // Compared whole and headed by the clicked row, so that a failure names it.
            QStringList requested{click.row}, expected{click.row};
            for (const std::string& request : harness.requests)
                requested << QString::fromStdString(request);
            for (const std::string& request : click.requests)
                expected << QString::fromStdString(request).replace(
                    "HOME", QString::fromStdString(harness.home));
            QCOMPARE(requested.join(" | "), expected.join(" | "));
        }
    }

    // A refused service request and an open with no handler reach the user, not only the log.
    void failuresReachTheUser() {
        Harness harness;
        harness.underSystemd = true;
        harness.installUnit();
        harness.serviceAnswer = {1, {}, "Failed to connect to bus: No medium found"};
        harness.openFails = true;
        const auto controller = harness.started(runningFile);
        item(controller->menu(), "Stop daemon")->trigger();
        item(controller->menu(), "Open status file")->trigger();
        QCOMPARE(harness.notified, (std::vector<std::string>{"Could not stop the daemon",
                                                             "Could not open the status file"}));
    }

    // After a rebuild an item from the old menu reaches whichever session now
    // holds its place (tag 1), not the one it was built for.
    void anItemFromAnOldMenuReachesTheSessionNowInItsPlace() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        rendered(*controller, false);
        QCOMPARE(item(controller->menu(), "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QPointer<QAction> first =
            item(controller->menu(), "[warn] api · opus-4 · 72% · running · handoff");
        harness.write(reorderedFile);
        controller->refresh();
        controller->menu(); // brought up to the poll, as when it opens
        QVERIFY(first);
        first->trigger();
        QCOMPARE(harness.focused, std::vector<std::string>{"ws-web/-"});
    }

    // A running daemon changes the "last poll" line at nearly every poll; that
    // updates the items in place, and only a change of items rebuilds them. While
    // the menu is open a tick changes nothing, and opening does not probe the tray.
    // Without the watch, only the timer's ticks (and the menu opening) refresh.
    void itemsUpdateInPlaceAndNotWhileTheMenuIsOpen() {
        Harness harness;
        harness.environment["TESSALY_MENUBAR_WATCH"] = "off";
        const auto controller = harness.started(runningFile);
        const QList<QAction*> before = controller->menu()->actions();
        harness.now -= std::chrono::seconds(1);
        controller->refresh();
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 4s ago)"));
        QCOMPARE(controller->menu()->actions(), before);
        QCOMPARE(harness.probes, 2);

        harness.write(stoppedFile);
        emit controller->menu()->aboutToShow();
        QVERIFY(controller->menuIsOpen());
        QCOMPARE(harness.probes, 2);
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));
        const QList<QAction*> shown = controller->menu()->actions();
        QVERIFY(shown.first() != before.first());

        harness.write(runningFile);
        controller->tick();
        QCOMPARE(controller->menu()->actions(), shown);
        QCOMPARE(harness.probes, 2);
        QCOMPARE(harness.polls, 3);

        emit controller->menu()->aboutToHide();
        QTest::qWait(2 * RefreshPacing::floor.count());
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));
        controller->tick();
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 4s ago)"));
        QCOMPARE(harness.probes, 3);
    }

    // The choice an earlier run stored, as a text store gives it back, is the
    // starting point (the table's rows show the check box either way), and the
    // icon is drawn again only when what it shows changes.
    void iconOnlyFlipsTheStoredDefaultUnlessTheEnvironmentLocksIt() {
        Harness harness;
        std::ofstream(harness.dir.filePath("defaults.ini").toStdString()) << "[General]\n"
                                                                          << "compact=true\n";
        harness.environment["TESSALY_MENUBAR_TRACE"] = "1";
        status_menu_test::LogCapture log;
        const auto controller = harness.started(runningFile);
        const auto iconOnly = [&] { return item(controller->menu(), "Icon only"); };
        const auto icon = [&] { return controller->statusItem()->icon().cacheKey(); };
        QVERIFY(iconOnly()->isChecked());
        const qint64 iconOnlyIcon = icon();
        iconOnly()->trigger();
        QCOMPARE(controller->presentation().title, std::string("72%"));
        QVERIFY(icon() != iconOnlyIcon);
        iconOnly()->trigger();
        const qint64 drawn = icon();
        controller->refresh(); // nothing changed
        harness.now -= std::chrono::seconds(1);
        controller->refresh(); // only the tooltip's poll age
        QCOMPARE(icon(), drawn);
        QCOMPARE(log.lines().filter(" applied ").size(), 4);
        // Another program's write counts from the next poll.
        std::ofstream(harness.dir.filePath("defaults.ini").toStdString()) << "[General]\n"
                                                                          << "compact=false\n";
        controller->refresh();
        QCOMPARE(controller->presentation().title, std::string("72%"));

        // The environment wins over what the item stores.
        harness.environment["TESSALY_MENUBAR_COMPACT"] = " Yes \n";
        iconOnly()->trigger();
        QAction* locked = item(controller->menu(), "Icon only (set by TESSALY_MENUBAR_COMPACT)");
        QVERIFY(locked && !locked->isEnabled() && locked->isChecked());
        QCOMPARE(controller->presentation().title, std::string(""));
    }

    // The item's choice is stored: a controller started later reads it (the
    // click itself is the table's); the environment wins and locks the item.
    void notifyingIsStoredUnlessTheEnvironmentLocksIt() {
        Harness harness;
        item(harness.started(runningFile)->menu(), "Notify when a session needs input")->trigger();
        const auto controller = harness.started();
        const auto notify = [&] {
            return item(controller->menu(), "Notify when a session needs input", true);
        };
        QVERIFY(!notify()->isChecked());
        harness.environment["TESSALY_MENUBAR_NOTIFY"] = "on";
        controller->refresh();
        QVERIFY(notify()->isChecked() && !notify()->isEnabled());
        QVERIFY(notify()->toolTip().contains("(set by TESSALY_MENUBAR_NOTIFY)"));
    }

    // The item writes a valid autostart entry and removes it again (its check
    // mark is the table's).
    void startAtLoginFollowsTheAutostartEntry() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        const QString entry = QString::fromStdString(harness.autostartEntry());
        item(controller->menu(), "Start at login")->trigger();
        QCOMPARE(QProcess::execute("desktop-file-validate", {entry}), 0);
        QVERIFY(linesOf(entry).contains(
            QString::fromStdString("Exec=" + harness.home + "/bin/tessaly-menubar")));
        QCOMPARE(QFileInfo(entry).dir().entryList(QDir::Files | QDir::Hidden).size(), 1);
        item(controller->menu(), "Start at login")->trigger();
        QVERIFY(!QFile::exists(entry));
    }

    // Readings a minute apart, the first at start: u unknown, h hidden, o an
    // occlusion answer with no geometry (unknown too), v visible. An episode
    // notifies once and heads the menu with its start until the icon shows again.
    void hiddenEpisodesNotifyOnce() {
        Harness harness;
        harness.write(runningFile);
        std::unique_ptr<StatusMenuController> controller;
        const QString readings = "uhuovhh", notified = "0111122", since = "-111-55";
        for (int i = 0; i < readings.size(); ++i) {
            const QChar r = readings[i];
            harness.reading = r == 'h'   ? VisibilityReading{.onscreen = false, .width = 22}
                              : r == 'v' ? VisibilityReading{.onscreen = true, .width = 22}
                              : r == 'o' ? VisibilityReading{.occlusionVisible = true}
                                         : VisibilityReading{};
            controller ? controller->tick() : void(controller = harness.started());
            QCOMPARE(QString::number(harness.notified.size()), QString(notified[i]));
            QCOMPARE(headline(*controller).startsWith("Icon hidden since "), since[i] != '-');
            if (since[i] != '-')
                QCOMPARE(headline(*controller), QString("Icon hidden since 12:0") + since[i] +
                                                    " (menu bar full or behind the notch)");
            harness.now += std::chrono::minutes(1);
        }
        QCOMPARE(harness.notified.back(), std::string("tessaly menu bar icon is hidden"));
    }

    // Without a tray host the status window shows (its rows are the table's above);
    // it closes when a host appears and opens again when it goes.
    void aDesktopWithoutATrayGetsTheStatusWindowUntilOneAppears() {
        Harness harness;
        harness.trayHost = false;
        status_menu_test::LogCapture log;
        const auto controller = harness.started(runningFile);
        StatusWindow* window = controller->statusWindow();
        QVERIFY(window && window->isVisible());
        const QLabel* note = window->findChild<QLabel*>("statusWindowNote");
        QVERIFY(note->isVisible() && note->text().startsWith("No system tray found; on GNOME"));
        // A newer event: the window patches its rows, and the separator under
        // the events stays there.
        std::string more = runningFile;
        more.insert(more.rfind("]}"), R"(,{"at":"2025-06-01T11:59:00Z","text":"again"})");
        harness.write(more);
        controller->refresh();
        QVERIFY(rendered(*controller, true).join('|').contains("72% off|---|Refresh"));
        for (const bool host : {false, true, true, false}) {
            harness.trayHost = host;
            controller->tick();
            QCOMPARE(window->isVisible(), !host);
        }
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        // Once per episode, however many readings it lasts.
        QCOMPARE(harness.notified,
                 (std::vector<std::string>(2, "tessaly menu bar icon has no tray")));
        const QString advice = "tessaly-menubar: no system tray found; on GNOME enable the "
                               "AppIndicator extension, elsewhere add a tray or status-notifier "
                               "widget to your panel";
        QCOMPARE(log.lines().filter("tray found"),
                 (QStringList{advice,
                              "tessaly-menubar: system tray found; the status item is shown there",
                              advice}));
    }

    // The watch, with the timer stopped so that every refresh counted is the watch's.
    void aReplacedFileRefreshesOnceAndABurstShowsItsLastContents() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        controller->stopTimer();
        harness.write(stoppedFile);
        settled(harness, 2);
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));

        // While the menu is open too.
        emit controller->menu()->aboutToShow();
        harness.write(runningFile);
        harness.write(stoppedFile);
        harness.write(reorderedFile);
        settled(harness, 4);
        // The item shows the last contents; the open menu keeps its items.
        QVERIFY(QString::fromStdString(controller->presentation().tooltip)
                    .startsWith("Daemon running (last poll 2s ago)"));
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));

        // A refresh of any origin starts the floor: a change just after it waits.
        controller->refresh();
        const auto refreshed = harness.refreshedAt;
        harness.write(stoppedFile);
        settled(harness, 6);
        QVERIFY(harness.refreshedAt - refreshed >=
                RefreshPacing::floor - std::chrono::milliseconds(5));

        // A write's refresh takes the tray probes along only once a poll's
        // interval has passed since they last ran.
        emit controller->menu()->aboutToHide();
        const int probes = harness.probes;
        harness.write(runningFile);
        settled(harness, 7);
        QCOMPARE(harness.probes, probes);
        harness.now += std::chrono::milliseconds(StatusMenuController::pollIntervalMs);
        harness.write(stoppedFile);
        settled(harness, 8);
        QCOMPARE(harness.probes, probes + 1);
    }

    // Notices begin with the first refresh a poll's interval after the start:
    // the first may start the desktop's notification service, which would
    // compete with the item's first showing. A session already waiting is told
    // of then.
    void noticesBeginAPollAfterTheStart() {
        const QTemporaryDir bin;
        const QString cmux = bin.filePath("cmux");
        QVERIFY(QFile::copy(MENUBAR_FIXTURES "/commands/record", cmux));
        const QString calls = bin.filePath("calls.log");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        qputenv("FIXTURE_LOG", calls.toUtf8());
        Harness harness;
        const auto controller = harness.started(R"({"at":"2025-06-01T12:00:00Z","intervalMs":2000,
          "sessions":[{"sessionId":"s-api","dirName":"api","lifecycle":"needsInput"}]})");
        QTest::qWait(100);
        QCOMPARE(linesOf(calls), QStringList());
        harness.now += std::chrono::milliseconds(StatusMenuController::pollIntervalMs);
        controller->refresh();
        QTRY_COMPARE(linesOf(calls).filter("cmux [notify]").size(), 1);
    }

    void theWatchOutlivesTheFileAndItsFolder() {
        Harness harness;
        const std::string folder = harness.home + "/state";
        harness.statusPath = folder + "/status.json";
        const auto controller = harness.started();
        controller->stopTimer();
        const auto shows = [&](const char* text) {
            QTRY_COMPARE_WITH_TIMEOUT(headline(*controller), QString(text), 2000);
        };
        const auto folderAndFile = [&] {
            std::filesystem::create_directories(folder);
            harness.write(runningFile);
        };
        folderAndFile();
        shows("Daemon running (last poll 5s ago)");
        std::filesystem::remove(harness.statusPath);
        shows("Daemon not running");
        // A folder in the file's place is unreadable; a dangling link is no file at all.
        std::filesystem::create_directory(harness.statusPath);
        shows("Status file unreadable");
        std::filesystem::remove(harness.statusPath);
        std::filesystem::create_symlink(folder + "/gone", harness.statusPath);
        shows("Daemon not running");
        harness.write(runningFile);
        shows("Daemon running (last poll 5s ago)");
        std::filesystem::remove_all(folder);
        shows("Daemon not running");
        folderAndFile();
        shows("Daemon running (last poll 5s ago)");
        QCOMPARE(controller->watch()->watchedPaths().size(), 2);
        // Written in place, as an editor or another writer may: the file's own events.
        std::ofstream(harness.statusPath, std::ios::trunc) << stoppedFile;
        shows("Daemon stopped at 11:30");
    }

    // The file changes under an open menu: a session more keeps the menu open
    // with the same items and the same highlighted one until it closes, and a
    // longer name that widens it keeps it on the screen.
    void anOpenMenuStaysOpenWithItsItemsAndHighlight() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        QMenu* menu = controller->menu();
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QAction* settings = item(menu, "Settings...");
        menu->setActiveAction(settings);
        const QList<QAction*> shown = menu->actions();
        std::string grown = runningFile;
        grown.replace(grown.find("{\"dirName\":\"api\""), 0,
                      R"({"dirName":"db","contextPct":5,"level":"ok","lifecycle":"idle"},)");
        harness.write(grown);
        controller->refresh();
        QTest::qWait(50);
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->actions(), shown);
        QCOMPARE(menu->activeAction(), settings);
        menu->hide();
        QCOMPARE(controller->menu()->actions().size(), shown.size() + 1);

        const QRect screen = menu->screen()->availableGeometry();
        menu->popup(QPoint(screen.right() - menu->sizeHint().width(), 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        grown.replace(grown.find("\"db\""), 4, "\"" + std::string(30, 'd') + "\"");
        harness.write(grown);
        controller->refresh();
        QVERIFY(menu->isVisible());
        QVERIFY(item(menu, QString(30, 'd') + " · unknown · 5% · idle"));
        QVERIFY2(menu->geometry().right() <= screen.right(),
                 qPrintable(QString::number(menu->geometry().right())));
        menu->hide();
    }

    // Forty sessions and one very long name: the menu scrolls in one column within
    // the screen (the fault tests show a long line elided, whole in its tooltip).
    void aCrowdedMenuKeepsToTheScreen() {
        const std::string longName(176, 'n');
        std::string sessions = "{\"dirName\":\"" + longName + "\",\"contextPct\":50}";
        for (int index = 1; index < 40; ++index)
            sessions += ",{\"dirName\":\"s" + std::to_string(index) + "\",\"contextPct\":10}";
        Harness harness;
        const auto controller = harness.started(
            ("{\"at\":\"2025-06-01T11:59:58Z\",\"sessions\":[" + sessions + "]}").c_str());
        QMenu* menu = controller->menu();
        QAction* named = menu->actions().value(3);

        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY(menu->width() <= menu->screen()->availableGeometry().width() / 2 + 100);
        QVERIFY(menu->height() <= menu->screen()->availableGeometry().height());
        for (QAction* action : menu->actions())
            QCOMPARE(menu->actionGeometry(action).x(), menu->actionGeometry(named).x());
        menu->hide();
    }

    void launchLogsTheWatchedPathFirstAndTerminationStopsTheTimer() {
        Harness harness;
        AppDelegate delegate(from(harness));
        delegate.applicationWillTerminate(); // before launch: nothing to stop
        QVERIFY(!delegate.controller());
        LogCapture log;
        delegate.applicationDidFinishLaunching({{"TESSALY_STATUS_FILE", "~/state/s.json"}},
                                               "/home/ada");
        QCOMPARE(log.lines().value(0), QString("tessaly-menubar: watching /home/ada/state/s.json"));
        QVERIFY(delegate.controller());
        QCOMPARE(delegate.controller()->statusPath(), std::string("/home/ada/state/s.json"));
        // The first poll happened before launch returned.
        QCOMPARE(delegate.controller()->statusItem()->toolTip(), QString("Daemon not running"));
        QVERIFY(delegate.controller()->timer()->isActive());
        QCOMPARE(delegate.controller()->timer()->interval(), 3000);
        delegate.applicationWillTerminate();
        QVERIFY(!delegate.controller()->timer());
    }

    void settingsOpenAtLaunchOnlyForExactlyOne() {
        for (const auto& [value, opened] : {std::pair{"1", 1}, {"true", 0}, {" 1", 0}, {"", 0}}) {
            Harness harness;
            int shown = 0;
            AppDelegate delegate(from(harness), [&shown] { ++shown; });
            LogCapture log;
            delegate.applicationDidFinishLaunching({{"TESSALY_MENUBAR_OPEN_SETTINGS", value}},
                                                   harness.home);
            QCOMPARE(shown, opened);
        }
    }

    void mainMenuHasTheStandardItemsAndShortcuts() {
        int settingsShown = 0;
        std::unique_ptr<QMenuBar> menuBar(MainMenu::build([&settingsShown] { ++settingsShown; }));
        QStringList rows;
        for (const QAction* top : menuBar->actions()) {
            rows << top->text();
            for (const QAction* action : top->menu()->actions())
                rows << (action->isSeparator()
                             ? QStringLiteral("  ---")
                             : "  " + action->text() + " = " +
                                   action->shortcut().toString(QKeySequence::PortableText));
        }
        QCOMPARE(rows, (QStringList{"tessaly-menubar", "  Settings... = Ctrl+,", "  ---",
                                    "  Quit tessaly-menubar = Ctrl+Q", "Edit", "  Undo = Ctrl+Z",
                                    "  Redo = Ctrl+Shift+Z", "  ---", "  Cut = Ctrl+X",
                                    "  Copy = Ctrl+C", "  Paste = Ctrl+V", "  Select All = Ctrl+A",
                                    "Window", "  Close = Ctrl+W", "  Minimize = Ctrl+M"}));
        menuBar->actions().first()->menu()->actions().first()->trigger();
        QCOMPARE(settingsShown, 1);
    }

    // One tray through the document with every key, a null at each key (taken
    // as absent), every wrong type and every cut of it: each poll shows the
    // reason of the file it read. Good files taking turns with bad ones are below.
    void everyHostileFileShowsItsReasonAndAGoodFileShowsAgain() {
        Harness harness;
        const std::string good = fullDocument().dump();
        rewrite(harness.statusPath, good);
        const auto controller = harness.started();
        const StatusFile* file = controller->snapshot().file();
        QVERIFY(file && file->sessions.size() == 2 && file->sessions[1].handoff);
        QCOMPARE(file->sessions[1].handoff->path, std::string("web & docs \"naïve\" ✓ 🚀"));
        for (const Record& record : statusRecords())
            for (const Key& key : record.keys) {
                Json document = fullDocument();
                document[Json::json_pointer(pointerTo(joined(record.path, key.name)))] = nullptr;
                rewrite(harness.statusPath, document.dump());
                poll(*controller);
                QVERIFY2(controller->snapshot().file(), qPrintable(detail(*controller)));
            }
        for (const Fault& fault : statusFaults()) {
            rewrite(harness.statusPath, withFault(fault));
            poll(*controller);
            QCOMPARE(detail(*controller), asShown(fault.reason));
        }
        for (std::size_t length = 0; length < good.size(); ++length) {
            rewrite(harness.statusPath, good.substr(0, length));
            poll(*controller);
            const std::string reason = reasonOf(controller->snapshot());
            QVERIFY2(reason.starts_with("parse error at "), reason.c_str());
            QVERIFY2(reason.find('\n') == std::string::npos, reason.c_str());
            std::string roundTrip;
            QVERIFY2(icu::UnicodeString::fromUTF8(reason).toUTF8String(roundTrip) == reason,
                     "the reason is well-formed UTF-8");
            QCOMPARE(detail(*controller), asShown(reason));
        }
    }

    // Sparse files, growing: the disk holds a few bytes however large each claims to
    // be. At the limit the file is read: it is "{}" and then NUL bytes.
    void filesPastTheSizeLimitAreRefused() {
        const auto limit = static_cast<std::uintmax_t>(StatusFileLocator::sizeLimit);
        const std::pair<std::uintmax_t, QString> rows[] = {
            {limit, "parse error at byte 3: syntax error - a NUL byte is not allowed in JSON"},
            {limit + 1, "status file is too large (16777217 bytes; the limit is 16 MiB)"},
            {std::uintmax_t{1} << 40,
             "status file is too large (1099511627776 bytes; the limit is 16 MiB)"}};
        Harness harness;
        rewrite(harness.statusPath, "{}");
        const auto controller = harness.started();
        for (const auto& [size, reason] : rows) {
            std::error_code error;
            std::filesystem::resize_file(harness.statusPath, size, error);
            if (error)
                QSKIP("this file system does not hold sparse files that large");
            poll(*controller);
            QCOMPARE(detail(*controller), reason);
        }
    }

    void aFileReplacedWhilePollsRunShowsOneWholeVersion_data() {
        QTest::addColumn<bool>("atomically");
        QTest::newRow("renamed over") << true;
        QTest::newRow("rewritten in place") << false;
    }

    // Two good versions and two bad ones take turns while the tray polls. Renamed
    // over, every poll shows exactly one version; rewritten in place, a poll may
    // also catch a part of one, which must show as unreadable.
    void aFileReplacedWhilePollsRunShowsOneWholeVersion() {
        QFETCH(bool, atomically);
        Harness harness;
        Json other = fullDocument();
        other["sessions"].push_back(other["sessions"][0]);
        const std::vector<Fault> faults = statusFaults();
        const Fault& wrongType = faults.back();
        const std::vector<std::string> versions = {fullDocument().dump(), withFault(wrongType),
                                                   other.dump(2), "{\"at\":\"noon\"}"};
        const std::set<std::string> wholeReasons = {wrongType.reason,
                                                    "Unrecognised ISO-8601 date: noon"};
        harness.write(versions[0]);

        std::atomic<int> written = 0;
        // Stopped and joined however the test leaves, a failed check included.
        const std::jthread writer([&](const std::stop_token& stop) {
            for (std::size_t i = 1; !stop.stop_requested(); ++i) {
                const std::string& bytes = versions[i % versions.size()];
                atomically ? harness.write(bytes) : rewrite(harness.statusPath, bytes);
                ++written;
                std::this_thread::yield();
            }
        });

        const auto controller = harness.started();
        int loaded = 0;
        int seenWritten = written;
        for (int polls = 0; polls < 300; ++polls) {
            // At least one new version between two polls, however the threads are scheduled.
            while (written == seenWritten)
                std::this_thread::yield();
            seenWritten = written;
            poll(*controller);
            if (const StatusFile* file = controller->snapshot().file()) {
                QVERIFY(!atomically || file->sessions.size() == 2 || file->sessions.size() == 3);
                ++loaded;
                continue;
            }
            const std::string reason = reasonOf(controller->snapshot());
            QCOMPARE(detail(*controller), asShown(reason));
            // In place, a poll may read any mix of the old and the new bytes.
            QVERIFY2(!atomically || wholeReasons.contains(reason), reason.c_str());
        }
        // Half the versions are good: 300 polls that never met one would mean the
        // writer never got through.
        QVERIFY(!atomically || (loaded > 0 && loaded < 300));
    }
};

QTEST_MAIN(StatusMenuControllerTest)
#include "test_status_menu_controller.moc"
