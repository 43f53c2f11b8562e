// The status menu controller against real status files in a temporary home,
// with the clock, the tray probe and every outside command stood in for.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "StatusFileWatch.hpp"
#include "StatusMenuTestSupport.hpp"

using namespace menubar;
using namespace menubar::app;
using status_menu_test::Harness;
using status_menu_test::item;
using status_menu_test::titles;

namespace {

// Two sessions on a daemon that polled five seconds before the test's "now".
const char* runningFile = R"({"version":1,"at":"2025-06-01T11:59:55Z","intervalMs":2000,
  "config":{"warnContextPct":70,"criticalContextPct":85,"messageAgents":true},
  "sessions":[
    {"dirName":"web & docs","model":"gpt-5","contextPct":40,"level":"ok","lifecycle":"idle"},
    {"dirName":"api","model":"claude-opus-4","contextPct":72.4,"level":"warn","lifecycle":"running",
     "workspaceId":"ws-api","surfaceId":"sf-api"}],
  "events":[{"at":"2025-06-01T11:58:00Z","dirName":"api","kind":"notify","level":"warn",
             "text":"context at 72%"}]})";

const char* stoppedFile = R"({"at":"2025-06-01T11:29:00Z","stoppedAt":"2025-06-01T11:30:00Z",
  "sessions":[{"dirName":"api","model":"claude-opus-4","contextPct":81,"level":"warn",
               "lifecycle":"idle","workspaceId":""}]})";

// Last polled two minutes before "now": not responding.
const char* staleFile = R"({"at":"2025-06-01T11:58:00Z","intervalMs":2000})";

const char* reorderedFile = R"({"at":"2025-06-01T11:59:58Z","intervalMs":2000,
  "sessions":[
    {"dirName":"api","contextPct":10,"level":"ok","lifecycle":"idle","workspaceId":"ws-api"},
    {"dirName":"web","contextPct":90,"level":"critical","lifecycle":"running",
     "workspaceId":"ws-web"}]})";

QString headline(const StatusMenuController& controller) {
    return titles(controller.menu()).value(0);
}

} // namespace

class StatusMenuControllerTest : public QObject {
    Q_OBJECT

private slots:
    // The texts of each menu are pinned by the core's whole-menu tests; here the
    // controller must pick the state from the file on disk at every tick.
    void eachSnapshotShowsAtTheNextTick() {
        Harness harness;
        const auto controller = harness.started();
        QCOMPARE(controller->statusItem()->toolTip(), QString("Daemon not running"));
        QVERIFY(!controller->statusItem()->icon().isNull());
        const struct {
            const char* file; // nullptr: removed
            QString tooltip;
            std::string title;
        } steps[] = {
            {runningFile, "Daemon running (last poll 5s ago)", "72%"},
            {stoppedFile, "Daemon stopped at 11:30", "--"},
            {nullptr, "Daemon not running", "--"},
            {R"({"at":"yesterday"})", "Status file unreadable", "--"},
            {reorderedFile, "Daemon running (last poll 2s ago)", "90%"},
        };
        for (const auto& step : steps) {
            step.file ? harness.write(step.file)
                      : void(std::filesystem::remove(harness.statusPath));
            controller->tick();
            QCOMPARE(controller->statusItem()->toolTip(), step.tooltip);
            QCOMPARE(headline(*controller), step.tooltip);
            QCOMPARE(controller->presentation().title, step.title);
        }
    }

    // Every entry becomes one action, separators included, with "&" doubled so Qt
    // shows it rather than taking it for a mnemonic. Only what can act is enabled:
    // the session without a workspace, headers and the missing logs folder are not.
    void everyEntryIsRenderedAndOnlyActionableOnesAreEnabled() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        QStringList shown;
        for (const QAction* action : controller->menu()->actions())
            shown << (action->isSeparator()
                          ? "---"
                          : action->text() + (action->isEnabled() ? "" : " (off)"));
        QCOMPARE(
            shown.join(" | "),
            "Daemon running (last poll 5s ago) (off) | warn 70% · critical 85% · messaging on "
            "(off) | --- | [warn] api · opus-4 · 72% · running | web && docs · gpt-5 · 40% · "
            "idle (off) | --- | Handoffs (off) | No handoffs (off) | --- | Recent events (off) "
            "|     11:58 [warn] api: context at 72% (off) | --- | Refresh | Settings... | Icon "
            "only | Start at login | Daemon not installed (run: tessaly install) (off) | Open "
            "logs (off) | Open "
            "status file | --- | Quit");
        QCOMPARE(item(controller->menu(), "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

        std::filesystem::create_directories(harness.home + "/Library/Logs/tessaly");
        controller->refresh();
        item(controller->menu(), "Open logs")->trigger();
        item(controller->menu(), "Open status file")->trigger();
        QCOMPARE(harness.opened, (std::vector<std::string>{harness.home + "/Library/Logs/tessaly",
                                                           harness.statusPath}));
    }

    void tickWhileMenuIsOpenChangesNothing() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        QCOMPARE(harness.probes, 1);

        harness.write(stoppedFile);
        emit controller->menu()->aboutToShow();
        // Opening refreshes at once but does not probe the tray.
        QVERIFY(controller->menuIsOpen());
        QCOMPARE(harness.probes, 1);
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));
        const QList<QAction*> shown = controller->menu()->actions();

        harness.write(runningFile);
        controller->tick();
        QCOMPARE(controller->menu()->actions(), shown);
        QCOMPARE(harness.probes, 1);
        QCOMPARE(harness.polls, 2);

        emit controller->menu()->aboutToHide();
        controller->tick();
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 5s ago)"));
        QCOMPARE(harness.probes, 2);
    }

    // A running daemon changes the "last poll" line at nearly every poll; that
    // updates the items in place, and only a change of items rebuilds them.
    void aChangedTextUpdatesItemsInPlace() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        const QList<QAction*> before = controller->menu()->actions();
        harness.now -= std::chrono::seconds(1);
        controller->refresh();
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 4s ago)"));
        QCOMPARE(controller->menu()->actions(), before);

        harness.write(stoppedFile);
        controller->refresh();
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));
        QVERIFY(controller->menu()->actions().first() != before.first());
    }

    void sessionActionsRouteByTheCurrentTags() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        QPointer<QAction> firstSession =
            item(controller->menu(), "[warn] api · opus-4 · 72% · running");
        QVERIFY(firstSession);
        firstSession->trigger();
        QCOMPARE(harness.focused, (std::vector<std::string>{"ws-api/sf-api"}));

        // After a rebuild, an item from the old menu reaches whichever session now
        // holds its place (tag 1), not the one it was built for.
        harness.write(reorderedFile);
        controller->refresh();
        QVERIFY(firstSession);
        firstSession->trigger();
        item(controller->menu(), "api · unknown · 10% · idle")->trigger();
        QCOMPARE(harness.focused,
                 (std::vector<std::string>{"ws-api/sf-api", "ws-web/-", "ws-api/-"}));
        // Each focus refreshes when it is done.
        QCOMPARE(harness.polls, 5);
    }

    void iconOnlyFlipsTheStoredDefaultUnlessTheEnvironmentLocksIt() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        item(controller->menu(), "Icon only")->trigger();
        QVERIFY(QSettings(harness.dir.filePath("defaults.ini"), QSettings::IniFormat)
                    .value("compact")
                    .toBool());
        QCOMPARE(controller->presentation().title, std::string(""));
        QCOMPARE(controller->statusItem()->toolTip(),
                 QString("Daemon running (last poll 5s ago) · worst session 72%"));
        QVERIFY(item(controller->menu(), "Icon only")->isChecked());
        QCOMPARE(controller->compact(),
                 (CompactSetting{.compact = true, .source = CompactSetting::Source::defaults}));
        item(controller->menu(), "Icon only")->trigger();
        QCOMPARE(controller->presentation().title, std::string("72%"));
        QVERIFY(!item(controller->menu(), "Icon only")->isChecked());

        harness.environment["TESSALY_MENUBAR_COMPACT"] = " Yes \n";
        controller->refresh();
        QAction* locked = item(controller->menu(), "Icon only (set by TESSALY_MENUBAR_COMPACT)");
        QVERIFY(locked && !locked->isEnabled() && locked->isChecked());
        QCOMPARE(controller->presentation().title, std::string(""));
    }

    // The check mark is the autostart entry on disk, whoever wrote or removed it.
    void startAtLoginFollowsTheAutostartEntry() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        const QString entry = QString::fromStdString(harness.autostartEntry());
        const auto checked = [&] {
            return item(controller->menu(), "Start at login")->isChecked();
        };
        QVERIFY(!checked());
        item(controller->menu(), "Start at login")->trigger();
        QVERIFY(checked());
        QCOMPARE(QProcess::execute("desktop-file-validate", {entry}), 0);
        QFile written(entry);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains(
            QByteArray::fromStdString("\nExec=" + harness.home + "/bin/tessaly-menubar\n")));
        QCOMPARE(QFileInfo(entry).dir().entryList(QDir::Files | QDir::Hidden).size(), 1);
        item(controller->menu(), "Start at login")->trigger();
        QVERIFY(!QFile::exists(entry) && !checked());

        const auto writeByHand = [&](const char* text) {
            std::ofstream(harness.autostartEntry()) << text;
            controller->tick();
        };
        writeByHand("[Desktop Entry]\nType=Application\nExec=tessaly-menubar\n");
        QVERIFY(checked());
        writeByHand("[Desktop Entry]\nType=Application\nHidden=true\n");
        QVERIFY(!checked());
        item(controller->menu(), "Start at login")->trigger();
        QVERIFY(checked());
        QFile::remove(entry);
        controller->tick();
        QVERIFY(!checked());
    }

    // Readings in turn, the first at start: h hidden, v visible, u unknown, o an
    // occlusion answer with no geometry, which is unknown too.
    void hiddenEpisodesNotifyOnce_data() {
        QTest::addColumn<QString>("readings");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<bool>("markedHidden");

        QTest::newRow("stays hidden") << "hhh" << 1 << true;
        QTest::newRow("hidden, visible, hidden") << "hvh" << 2 << true;
        QTest::newRow("hidden, then visible") << "hv" << 1 << false;
        QTest::newRow("always visible") << "vv" << 0 << false;
        QTest::newRow("unknown starts nothing") << "uu" << 0 << false;
        QTest::newRow("unknown ends nothing") << "uhuo" << 1 << true;
    }

    void hiddenEpisodesNotifyOnce() {
        QFETCH(QString, readings);
        QFETCH(int, notifications);
        QFETCH(bool, markedHidden);
        Harness harness;
        harness.write(runningFile);
        std::unique_ptr<StatusMenuController> controller;
        for (const QChar reading : readings) {
            harness.reading = reading == 'h'   ? VisibilityReading{.onscreen = false, .width = 22}
                              : reading == 'v' ? VisibilityReading{.onscreen = true, .width = 22}
                              : reading == 'o' ? VisibilityReading{.occlusionVisible = true}
                                               : VisibilityReading{};
            controller ? controller->tick() : void(controller = harness.started());
        }
        QCOMPARE(harness.notified, std::vector<std::string>(static_cast<std::size_t>(notifications),
                                                            "tessaly menu bar icon is hidden"));
        QCOMPARE(controller->hiddenTracker().isHidden(), markedHidden);
        QCOMPARE(headline(*controller) ==
                     "Icon hidden since 12:00 (menu bar full or behind the notch)",
                 markedHidden);
    }

    // Without a tray host the window renders the menu's entries and acts like it;
    // it closes when a host appears and opens again when it goes.
    void aDesktopWithoutATrayGetsTheStatusWindowUntilOneAppears() {
        Harness harness;
        harness.trayHost = false;
        status_menu_test::LogCapture log;
        const auto controller = harness.started(runningFile);
        StatusWindow* window = controller->statusWindow();
        QVERIFY(window && window->isVisible());
        const auto rows = [window] {
            QStringList shown;
            for (const QWidget* row : window->rows()) {
                const auto* label = qobject_cast<const QLabel*>(row);
                const auto* button = qobject_cast<const QAbstractButton*>(row);
                shown << (label    ? label->text()
                          : button ? button->text().replace("&&", "&") +
                                         (button->isEnabled() ? "" : " (off)")
                                   : "---");
            }
            return shown;
        };
        QStringList menu;
        for (const QAction* action : controller->menu()->actions())
            menu << (action->isSeparator() ? QString("---")
                                           : action->text().trimmed().replace("&&", "&"));
        QCOMPARE(rows().replaceInStrings(" (off)", ""), menu);
        QVERIFY(rows().contains("Open logs (off)") && rows().contains("Refresh"));
        QVERIFY(window->findChild<QLabel*>("statusWindowNote")->isVisible());

        window->findChild<QCheckBox*>()->click();
        QVERIFY(item(controller->menu(), "Icon only")->isChecked());
        QVERIFY(window->findChild<QCheckBox*>()->isChecked());
        harness.write(stoppedFile);
        for (QWidget* row : window->rows())
            if (auto* button = qobject_cast<QPushButton*>(row); button && button->text() == "Refresh")
                button->click();
        QCOMPARE(rows().value(0), QString("Daemon stopped at 11:30"));

        for (const bool host : {false, true, true, false}) {
            harness.trayHost = host;
            controller->tick();
            QCOMPARE(window->isVisible(), !host);
        }
        QCOMPARE(harness.notified, (std::vector<std::string>(2, "tessaly menu bar icon has no tray")));
        QCOMPARE(log.lines().filter("no system tray found; on GNOME").size(), 2);
        QCOMPARE(log.lines().filter("system tray found; the status item").size(), 1);
    }

    void handoffOpensOrRevealsWithAlt() {
        Harness harness;
        const std::string handoff = harness.home + "/HANDOFF.md";
        std::ofstream(handoff) << "notes";
        harness.write(R"({"at":"2025-06-01T11:59:55Z","intervalMs":2000,"sessions":[
            {"dirName":"api","contextPct":50,"level":"ok","lifecycle":"idle",
             "handoff":{"path":")" +
                      handoff + R"(","writtenAt":"2025-06-01T11:50:00Z"}},
            {"dirName":"gone","contextPct":10,"level":"ok","lifecycle":"idle",
             "handoff":{"path":"/nowhere/HANDOFF.md"}}]})");
        const auto controller = harness.started();
        QAction* present = item(controller->menu(), "Open handoff · api (10m ago)");
        QAction* missing = item(controller->menu(), "Open handoff · gone (missing)");
        QVERIFY(present && present->isEnabled() && missing && !missing->isEnabled());
        QCOMPARE(missing->toolTip(), QString("/nowhere/HANDOFF.md"));

        present->trigger();
        harness.altHeld = true;
        item(controller->menu(), "Open handoff · api (10m ago)")->trigger();
        QCOMPARE(harness.opened, std::vector<std::string>{handoff});
        QCOMPARE(harness.revealed, std::vector<std::string>{handoff});
    }

    void daemonControlFollowsTheState_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("underSystemd");

        QTest::newRow("running") << runningFile << "Stop daemon"
                                 << "stop" << false;
        QTest::newRow("stopped") << stoppedFile << "Start daemon"
                                 << "start" << false;
        QTest::newRow("missing") << QString() << "Start daemon"
                                 << "start" << false;
        QTest::newRow("stale, systemd") << staleFile << "Restart daemon"
                                        << "restart" << true;
        QTest::newRow("stopped, systemd") << stoppedFile << "Start daemon"
                                          << "start" << true;
    }

    void daemonControlFollowsTheState() {
        QFETCH(QString, file);
        QFETCH(QString, control);
        QFETCH(QString, command);
        QFETCH(bool, underSystemd);
        Harness harness;
        harness.underSystemd = underSystemd;
        harness.installLaunchAgent();
        const auto controller = harness.started(file.isNull() ? nullptr : qPrintable(file));
        QVERIFY(!item(controller->menu(), "Daemon not installed (run: tessaly install)"));
        QAction* action = item(controller->menu(), control);
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QCOMPARE(harness.daemonCommands, std::vector<std::string>{command.toStdString()});
        QCOMPARE(harness.polls, 2);
    }

    // The watch, with the timer stopped so that every refresh counted is the watch's.
    void aReplacedFileRefreshesOnceAndABurstShowsItsLastContents() {
        Harness harness;
        const auto controller = harness.started(runningFile);
        controller->stopTimer();
        const auto settled = [&](int polls) {
            QTRY_COMPARE(harness.polls, polls);
            QTest::qWait(2 * RefreshPacing::floor.count());
            QCOMPARE(harness.polls, polls);
        };
        harness.write(stoppedFile);
        settled(2);
        QCOMPARE(headline(*controller), QString("Daemon stopped at 11:30"));

        // While the menu is open too, and without probing the tray there.
        QCOMPARE(harness.probes, 2);
        emit controller->menu()->aboutToShow();
        harness.write(runningFile);
        harness.write(stoppedFile);
        harness.write(reorderedFile);
        settled(4);
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 2s ago)"));
        QCOMPARE(harness.probes, 2);
    }

    void theWatchOutlivesTheFileAndItsFolder() {
        Harness harness;
        const std::string folder = harness.home + "/state";
        harness.statusPath = folder + "/status.json";
        const auto controller = harness.started();
        controller->stopTimer();
        QVERIFY(controller->watch());
        QCOMPARE(controller->watch()->watchedPaths(),
                 QStringList{QString::fromStdString(harness.home)});
        const struct {
            const char* step;
            QString headline;
        } steps[] = {
            {"folder and file appear", "Daemon running (last poll 5s ago)"},
            {"file removed", "Daemon not running"},
            {"file back", "Daemon running (last poll 5s ago)"},
            {"folder removed", "Daemon not running"},
            {"folder and file back", "Daemon running (last poll 5s ago)"},
        };
        for (const auto& step : steps) {
            const QString name(step.step);
            if (name.contains("removed"))
                std::filesystem::remove_all(name.startsWith("folder") ? folder
                                                                      : harness.statusPath);
            else {
                std::filesystem::create_directories(folder);
                harness.write(runningFile);
            }
            QTRY_COMPARE_WITH_TIMEOUT(headline(*controller), step.headline, 2000);
        }
        QCOMPARE(controller->watch()->watchedPaths().size(), 2);
    }

    void withoutWatchingTheTimerAloneRefreshes() {
        Harness harness;
        harness.environment["TESSALY_MENUBAR_WATCH"] = "off";
        const auto controller = harness.started();
        QVERIFY(!controller->watch());
        harness.write(runningFile);
        QTest::qWait(2 * RefreshPacing::floor.count());
        QCOMPARE(headline(*controller), QString("Daemon not running"));
        controller->tick();
        QCOMPARE(headline(*controller), QString("Daemon running (last poll 5s ago)"));
    }

    // Forty sessions and one very long name: long titles are elided, whole in
    // the tooltip, and the menu scrolls in one column within the screen.
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
        QVERIFY(named->text().endsWith(QChar(0x2026)));
        QCOMPARE(named->toolTip(),
                 QString::fromStdString("[unknown] " + longName + " · unknown · 50% · unknown"));

        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY(menu->width() <= menu->screen()->availableGeometry().width() / 2 + 100);
        QVERIFY(menu->height() <= menu->screen()->availableGeometry().height());
        for (QAction* action : menu->actions())
            QCOMPARE(menu->actionGeometry(action).x(), menu->actionGeometry(named).x());
        menu->hide();
    }

    void terminationStopsOnlyTheTimer() {
        Harness harness;
        const auto controller = harness.started();
        QVERIFY(controller->timer() && controller->timer()->isActive());
        QCOMPARE(controller->timer()->interval(), 3000);
        controller->stopTimer();
        QVERIFY(!controller->timer());
        QVERIFY(controller->statusItem()->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable());
    }
};

QTEST_MAIN(StatusMenuControllerTest)
#include "test_status_menu_controller.moc"
