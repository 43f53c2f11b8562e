// Launch order, the settings-on-launch variable, termination and the main menu.

#include <QMenuBar>
#include <QTest>

#include "StatusMenuTestSupport.hpp"
#include "app/start/AppDelegate.hpp"
#include "app/system/MainMenu.hpp"

using namespace menubar;
using namespace menubar::app;
using status_menu_test::Harness;
using status_menu_test::LogCapture;

namespace {

// The controller's outside connections from the harness, for whichever home the
// delegate asks about.
AppDelegate::DependenciesFactory from(Harness& harness) {
    return [&harness](const std::string& home) {
        StatusMenuDependencies dependencies = harness.dependencies();
        dependencies.home = home;
        return dependencies;
    };
}

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_MAIN(AppDelegateTest)
#include "test_app_delegate.moc"
