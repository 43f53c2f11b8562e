#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>

#include "app/settings/SettingsWindowController.hpp"
#include "app/start/AppDelegate.hpp"
#include "app/system/Log.hpp"
#include "app/system/PlatformStart.hpp"
#include "app/system/ProcessEnvironment.hpp"
#include "app/system/SingleInstance.hpp"
#include "app/system/TerminationSignals.hpp"
#include "system/CommandLine.hpp"
#include "system/PlatformAdvice.hpp"

int main(int argc, char* argv[]) {
    // Answered before Qt opens a display, so --help works on a bare console.
    const menubar::CommandLineRequest request =
        menubar::CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (request.kind) {
    case menubar::CommandLineRequest::Kind::help:
        std::fputs(menubar::CommandLine::helpText().c_str(), stdout);
        return 0;
    case menubar::CommandLineRequest::Kind::version:
        std::fputs(menubar::CommandLine::versionText(MENUBAR_VERSION).c_str(), stdout);
        return 0;
    case menubar::CommandLineRequest::Kind::usageError:
        menubar::app::log(request.error);
        return menubar::CommandLine::usageExitCode;
    case menubar::CommandLineRequest::Kind::run:
    case menubar::CommandLineRequest::Kind::window:
        break;
    }

    menubar::app::provideRuntimeDirectory();
    // The menus are lists of text; icons beside items would only add noise.
    QApplication::setAttribute(Qt::AA_DontShowIconsInMenus);
    // The status icon is drawn again at each change of its percentage. Through
    // the X server's shared memory each repaint first waits for the server to be
    // done with the last one, a round trip that wakes two threads; a 22-pixel
    // icon costs less sent over the connection. Only Qt's X connection reads the
    // switch, as it opens, so it is taken back at once and programs started from
    // the app do not inherit it. A user's own setting stands.
    const bool sharedMemoryChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!sharedMemoryChosen)
        qputenv("QT_XCB_NO_MITSHM", "1");
    // Read as each thread's event loop is made: those of the main thread, the X
    // connection and the session bus, which start-up makes. Taken back once it
    // is done, for the same reason as the switch above.
    const bool qtEventLoop = menubar::PlatformAdvice::asksForQtEventLoop(
        menubar::app::processEnvironment(),
        menubar::app::qtPlugins(QStringLiteral("platformthemes")));
    if (qtEventLoop)
        qputenv("QT_NO_GLIB", "1");
    auto guard = std::make_unique<menubar::app::PlatformStartGuard>();
    QApplication application(argc, argv);
    guard.reset();
    if (!sharedMemoryChosen)
        qunsetenv("QT_XCB_NO_MITSHM");
    QApplication::setApplicationName(QStringLiteral("tessaly-menubar"));
    QApplication::setOrganizationName(QStringLiteral("tessaly-menubar"));
    menubar::app::quitOnTerminationSignals();
    // The status item is the app's only permanent face; closing the settings
    // window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Started again (by hand while autostart already ran it, say): the running
    // one comes forward instead of a second icon appearing.
    const auto instance = menubar::app::SingleInstance::forThisSession();
    if (!instance->claim()) {
        if (!instance->askRunningToShow(request.kind ==
                                        menubar::CommandLineRequest::Kind::window)) {
            menubar::app::log("the running tessaly-menubar did not answer");
        }
        std::puts("tessaly-menubar is already running");
        return 0;
    }

    // The one place where the status item and the settings window meet: each
    // poll reaches the settings window's model once the window was opened (the
    // opening asks for a poll), and the menus open the window.
    const auto dependencies = [](const std::string& home) {
        auto system = menubar::app::StatusMenuDependencies::system(home);
        system.settingsUpdate = [](const menubar::StatusFile* file,
                                   const menubar::DaemonState& state) {
            if (auto* settings = menubar::app::SettingsWindowController::existing()) {
                settings->model()->update(file, state);
            }
        };
        return system;
    };
    menubar::app::AppDelegate delegate(
        dependencies, [] { menubar::app::SettingsWindowController::shared().show(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    QObject::connect(instance.get(), &menubar::app::SingleInstance::showRequested, &delegate,
                     [&delegate](bool window) {
                         menubar::app::log(std::string("showing ") +
                                           (window ? "the status window" : "the menu") +
                                           " at the request of another start");
                         if (window) {
                             delegate.showStatusWindow();
                         } else {
                             delegate.showYourself();
                         }
                     });

    delegate.applicationDidFinishLaunching(menubar::app::processEnvironment(),
                                           QDir::homePath().toStdString());
    if (qtEventLoop)
        qunsetenv("QT_NO_GLIB");
    if (request.kind == menubar::CommandLineRequest::Kind::window) {
        delegate.showStatusWindow();
    }

    QApplication::exec();
    return 0;
}
