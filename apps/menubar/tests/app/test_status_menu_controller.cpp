// The status menu controller against real status files in a temporary home,
// with the clock, the tray probe and every outside command stood in for.

#include <QAction>
#include <QMenu>
#include <QTest>

#include "StatusMenuTestSupport.hpp"

using namespace menubar;
using namespace menubar::app;
using status_menu_test::Harness;

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

const char* reorderedFile = R"({"at":"2025-06-01T11:59:58Z","intervalMs":2000,
  "sessions":[
    {"dirName":"api","contextPct":10,"level":"ok","lifecycle":"idle","workspaceId":"ws-api"},
    {"dirName":"web","contextPct":90,"level":"critical","lifecycle":"running",
     "workspaceId":"ws-web"}]})";

const char* corruptFile = R"({"at":"yesterday"})";

QStringList titles(const QMenu* menu) {
    QStringList result;
    for (const QAction* action : menu->actions()) {
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return result;
}

QAction* item(const QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

class StatusMenuControllerTest : public QObject {
    Q_OBJECT

private slots:
    // The texts of each menu are pinned by the core's whole-menu tests; here the
    // controller must pick the state from the file on disk and render every entry.
    void refreshShowsEachKindOfSnapshot_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("tooltip");

        QTest::newRow("missing") << QString() << "Daemon not running";
        QTest::newRow("unreadable") << corruptFile << "Status file unreadable";
        QTest::newRow("running") << runningFile << "Daemon running (last poll 5s ago)";
        QTest::newRow("stopped") << stoppedFile << "Daemon stopped at 11:30";
    }

    void refreshShowsEachKindOfSnapshot() {
        QFETCH(QString, file);
        QFETCH(QString, tooltip);
        Harness harness;
        if (!file.isNull()) {
            harness.write(file.toStdString());
        }
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.start();

        QCOMPARE(controller.statusItem()->toolTip(), tooltip);
        QCOMPARE(titles(controller.menu()).first(), tooltip);
        QVERIFY(!controller.statusItem()->icon().isNull());
    }

    // Every entry becomes one action, separators included, with "&" doubled so Qt
    // shows it rather than taking it for a mnemonic; no launch agent on disk.
    void everyEntryIsRendered() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();
        QCOMPARE(titles(controller.menu()),
                 (QStringList{"Daemon running (last poll 5s ago)",
                              "warn 70% · critical 85% · messaging on",
                              "---",
                              "[warn] api · opus-4 · 72% · running",
                              "web && docs · gpt-5 · 40% · idle",
                              "---",
                              "Handoffs",
                              "No handoffs",
                              "---",
                              "Recent events",
                              "    11:58 [warn] api: context at 72%",
                              "---",
                              "Refresh",
                              "Settings...",
                              "Icon only",
                              "Daemon not installed (run: tessaly install)",
                              "Open logs",
                              "Open status file",
                              "---",
                              "Quit"}));
    }

    void onlyActionableItemsAreEnabled() {
        Harness harness;
        harness.write(stoppedFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();

        QStringList enabled;
        for (const QAction* action : controller.menu()->actions()) {
            if (action->isEnabled() && !action->isSeparator()) {
                enabled << action->text();
            }
        }
        // The session's workspace is empty, so it cannot be focused; no logs folder exists.
        QCOMPARE(enabled,
                 (QStringList{"Refresh", "Settings...", "Icon only", "Open status file", "Quit"}));
        QCOMPARE(item(controller.menu(), "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    }

    void tickWhileMenuIsOpenChangesNothing() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.start();
        QCOMPARE(harness.probes, 1);

        harness.write(stoppedFile);
        emit controller.menu()->aboutToShow();
        // Opening refreshes at once but does not probe the tray.
        QVERIFY(controller.menuIsOpen());
        QCOMPARE(harness.probes, 1);
        QCOMPARE(titles(controller.menu()).first(), QString("Daemon stopped at 11:30"));
        const QList<QAction*> shown = controller.menu()->actions();

        harness.write(runningFile);
        controller.tick();
        QCOMPARE(controller.menu()->actions(), shown);
        QCOMPARE(harness.probes, 1);
        QCOMPARE(harness.polls, 2);

        emit controller.menu()->aboutToHide();
        controller.tick();
        QCOMPARE(titles(controller.menu()).first(), QString("Daemon running (last poll 5s ago)"));
        QCOMPARE(harness.probes, 2);
    }

    void sessionActionsRouteByTheCurrentTags() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();
        QPointer<QAction> firstSession =
            item(controller.menu(), "[warn] api · opus-4 · 72% · running");
        QVERIFY(firstSession);
        firstSession->trigger();
        QCOMPARE(harness.focused, (std::vector<std::string>{"ws-api/sf-api"}));

        // After a rebuild, an item from the old menu reaches whichever session now
        // holds its place (tag 1), not the one it was built for.
        harness.write(reorderedFile);
        controller.refresh();
        QVERIFY(firstSession);
        firstSession->trigger();
        item(controller.menu(), "api · unknown · 10% · idle")->trigger();
        QCOMPARE(harness.focused,
                 (std::vector<std::string>{"ws-api/sf-api", "ws-web/-", "ws-api/-"}));
        // Each focus refreshes when it is done.
        QCOMPARE(harness.polls, 5);
    }

    void iconOnlyFlipsTheStoredDefaultAndRedraws() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();
        QCOMPARE(controller.presentation().title, std::string("72%"));

        item(controller.menu(), "Icon only")->trigger();
        QCOMPARE(QSettings(harness.dir.filePath("defaults.ini"), QSettings::IniFormat)
                     .value("compact")
                     .toBool(),
                 true);
        QCOMPARE(controller.presentation().title, std::string(""));
        QCOMPARE(controller.statusItem()->toolTip(),
                 QString("Daemon running (last poll 5s ago) · worst session 72%"));
        QVERIFY(item(controller.menu(), "Icon only")->isChecked());
        QCOMPARE(controller.compact(),
                 (CompactSetting{.compact = true, .source = CompactSetting::Source::defaults}));

        item(controller.menu(), "Icon only")->trigger();
        QCOMPARE(controller.presentation().title, std::string("72%"));
        QVERIFY(!item(controller.menu(), "Icon only")->isChecked());
    }

    void environmentLocksIconOnly() {
        Harness harness;
        harness.write(runningFile);
        harness.environment["TESSALY_MENUBAR_COMPACT"] = " Yes \n";
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();

        QAction* locked = item(controller.menu(), "Icon only (set by TESSALY_MENUBAR_COMPACT)");
        QVERIFY(locked);
        QVERIFY(!locked->isEnabled());
        QVERIFY(locked->isChecked());
        QCOMPARE(controller.presentation().title, std::string(""));
    }

    void statusFileChangesShowAtTheNextTick() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.start();

        std::filesystem::remove(harness.statusPath);
        controller.tick();
        QCOMPARE(controller.statusItem()->toolTip(), QString("Daemon not running"));

        harness.write(corruptFile);
        controller.tick();
        QCOMPARE(controller.statusItem()->toolTip(), QString("Status file unreadable"));

        harness.write(reorderedFile);
        controller.tick();
        QCOMPARE(controller.statusItem()->toolTip(), QString("Daemon running (last poll 2s ago)"));
        QCOMPARE(controller.presentation().title, std::string("90%"));
    }

    void hiddenEpisodesNotifyOnce_data() {
        QTest::addColumn<QList<bool>>("onscreen");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<bool>("markedHidden");

        QTest::newRow("stays hidden") << QList<bool>{false, false, false} << 1 << true;
        QTest::newRow("hidden, visible, hidden") << QList<bool>{false, true, false} << 2 << true;
        QTest::newRow("hidden, then visible") << QList<bool>{false, true} << 1 << false;
        QTest::newRow("always visible") << QList<bool>{true, true} << 0 << false;
    }

    void hiddenEpisodesNotifyOnce() {
        QFETCH(QList<bool>, onscreen);
        QFETCH(int, notifications);
        QFETCH(bool, markedHidden);
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        for (const bool shown : onscreen) {
            harness.reading.onscreen = shown;
            controller.tick();
        }

        QCOMPARE(harness.notified, std::vector<std::string>(static_cast<std::size_t>(notifications),
                                                            "tessaly menu bar icon is hidden"));
        QCOMPARE(titles(controller.menu()).first() ==
                     "Icon hidden since 12:00 (menu bar full or behind the notch)",
                 markedHidden);
    }

    void unknownReadingNeitherStartsNorEndsAnEpisode() {
        Harness harness;
        harness.write(runningFile);
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        harness.reading = {};
        controller.tick();
        QVERIFY(!controller.hiddenTracker().isHidden());
        harness.reading = {.onscreen = false, .width = 22};
        controller.tick();
        harness.reading = {.occlusionVisible = true};
        controller.tick();
        QVERIFY(controller.hiddenTracker().isHidden());
        QCOMPARE(harness.notified.size(), std::size_t{1});
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
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();

        QAction* present = item(controller.menu(), "Open handoff · api (10m ago)");
        QAction* missing = item(controller.menu(), "Open handoff · gone (missing)");
        QVERIFY(present && missing);
        QVERIFY(present->isEnabled());
        QVERIFY(!missing->isEnabled());
        QCOMPARE(missing->toolTip(), QString("/nowhere/HANDOFF.md"));

        present->trigger();
        harness.altHeld = true;
        item(controller.menu(), "Open handoff · api (10m ago)")->trigger();
        QCOMPARE(harness.opened, std::vector<std::string>{handoff});
        QCOMPARE(harness.revealed, std::vector<std::string>{handoff});
    }

    void daemonControlFollowsTheState_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("command");

        QTest::newRow("running") << runningFile << "Stop daemon"
                                 << "stop";
        QTest::newRow("stopped") << stoppedFile << "Start daemon"
                                 << "start";
        QTest::newRow("missing") << QString() << "Start daemon"
                                 << "start";
    }

    void daemonControlFollowsTheState() {
        QFETCH(QString, file);
        QFETCH(QString, control);
        QFETCH(QString, command);
        Harness harness;
        harness.installLaunchAgent();
        if (!file.isNull()) {
            harness.write(file.toStdString());
        }
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();
        QVERIFY(!item(controller.menu(), "Daemon not installed (run: tessaly install)"));

        QAction* action = item(controller.menu(), control);
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QCOMPARE(harness.daemonCommands, std::vector<std::string>{command.toStdString()});
        QCOMPARE(harness.polls, 2);
    }

    void openActionsUseTheirPaths() {
        Harness harness;
        harness.write(runningFile);
        std::filesystem::create_directories(harness.home + "/Library/Logs/tessaly");
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.refresh();

        item(controller.menu(), "Open logs")->trigger();
        item(controller.menu(), "Open status file")->trigger();
        QCOMPARE(harness.opened, (std::vector<std::string>{harness.home + "/Library/Logs/tessaly",
                                                           harness.statusPath}));
    }

    void terminationStopsOnlyTheTimer() {
        Harness harness;
        StatusMenuController controller(harness.statusPath, harness.dependencies());
        controller.start();
        QVERIFY(controller.timer() && controller.timer()->isActive());
        QCOMPARE(controller.timer()->interval(), 3000);
        controller.stopTimer();
        QVERIFY(!controller.timer());
        QVERIFY(controller.statusItem()->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable());
    }
};

QTEST_MAIN(StatusMenuControllerTest)
#include "test_status_menu_controller.moc"
