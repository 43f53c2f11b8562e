// Launch order, the settings-on-launch variable, termination and the main menu.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "AppDelegate.hpp"
#include "MainMenu.hpp"

using namespace menubar;
using namespace menubar::app;

namespace {

// Whatever the block writes to standard error, by file descriptor, since the
// log goes straight to write(2).
template <class Block> std::string standardErrorOf(const QString& scratch, Block block) {
    const std::string path = (scratch + "/stderr.txt").toStdString();
    const int saved = ::dup(STDERR_FILENO);
    std::FILE* capture = std::fopen(path.c_str(), "w");
    ::dup2(::fileno(capture), STDERR_FILENO);
    block();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::fclose(capture);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

AppDelegate::DependenciesFactory quietDependencies(const QString& scratch) {
    return [scratch](const std::string& home) {
        StatusMenuDependencies d = StatusMenuDependencies::system(home);
        d.settings = [scratch] {
            return std::make_unique<QSettings>(scratch + "/defaults.ini", QSettings::IniFormat);
        };
        d.probe = [](const QSystemTrayIcon&) {
            return VisibilityReading{.onscreen = true, .width = 22};
        };
        return d;
    };
}

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

private slots:
    void launchLogsTheWatchedPathFirst() {
        QTemporaryDir scratch;
        AppDelegate delegate(quietDependencies(scratch.path()));
        const std::string written = standardErrorOf(scratch.path(), [&] {
            delegate.applicationDidFinishLaunching({{"TESSALY_STATUS_FILE", "~/state/s.json"}},
                                                   "/home/ada");
        });

        QCOMPARE(QString::fromStdString(written.substr(0, written.find('\n') + 1)),
                 QString("tessaly-menubar: watching /home/ada/state/s.json\n"));
        QVERIFY(delegate.controller());
        QCOMPARE(delegate.controller()->statusPath(), std::string("/home/ada/state/s.json"));
        // The first poll happened before launch returned.
        QCOMPARE(delegate.controller()->statusItem()->toolTip(), QString("Daemon not running"));
        QVERIFY(delegate.controller()->timer()->isActive());
    }

    void settingsOpenAtLaunchOnlyForExactlyOne_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("opened");
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("true") << "true" << 0;
        QTest::newRow("space before 1") << " 1" << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void settingsOpenAtLaunchOnlyForExactlyOne() {
        QFETCH(QString, value);
        QFETCH(int, opened);
        QTemporaryDir scratch;
        int shown = 0;
        AppDelegate delegate(quietDependencies(scratch.path()), [&shown] { ++shown; });
        standardErrorOf(scratch.path(), [&] {
            delegate.applicationDidFinishLaunching(
                {{"TESSALY_STATUS_FILE", (scratch.path() + "/s.json").toStdString()},
                 {"TESSALY_MENUBAR_OPEN_SETTINGS", value.toStdString()}},
                scratch.path().toStdString());
        });
        QCOMPARE(shown, opened);
    }

    void terminationStopsTheTimerAndToleratesNoController() {
        QTemporaryDir scratch;
        AppDelegate delegate(quietDependencies(scratch.path()));
        delegate.applicationWillTerminate();
        QVERIFY(!delegate.controller());

        standardErrorOf(scratch.path(), [&] {
            delegate.applicationDidFinishLaunching({}, scratch.path().toStdString());
        });
        delegate.applicationWillTerminate();
        QVERIFY(!delegate.controller()->timer());
    }

    void mainMenuHasTheStandardItemsAndShortcuts() {
        int settingsShown = 0;
        std::unique_ptr<QMenuBar> menuBar(MainMenu::build([&settingsShown] { ++settingsShown; }));
        QStringList rows;
        for (const QAction* top : menuBar->actions()) {
            rows << top->text();
            for (const QAction* action : top->menu()->actions()) {
                rows << (action->isSeparator()
                             ? QStringLiteral("  ---")
                             : "  " + action->text() + " = " +
                                   action->shortcut().toString(QKeySequence::PortableText));
            }
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
