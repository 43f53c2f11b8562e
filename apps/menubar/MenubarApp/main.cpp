#include <QApplication>
#include <QDir>

#include "AppDelegate.hpp"
#include "ProcessEnvironment.hpp"
#include "SettingsWindowController.hpp"

int main(int argc, char* argv[]) {
    menubar::app::provideRuntimeDirectory();
    // The menus are lists of text; icons beside items would only add noise.
    QApplication::setAttribute(Qt::AA_DontShowIconsInMenus);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaly-menubar"));
    QApplication::setOrganizationName(QStringLiteral("tessaly-menubar"));
    // The status item is the app's only permanent face; closing the settings
    // window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    menubar::app::AppDelegate delegate(menubar::app::StatusMenuDependencies::system, [] {
        menubar::app::SettingsWindowController::shared().show();
    });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    delegate.applicationDidFinishLaunching(menubar::app::processEnvironment(),
                                           QDir::homePath().toStdString());
    if (QCoreApplication::arguments().contains(QStringLiteral("--window"))) {
        delegate.showStatusWindow();
    }

    QApplication::exec();
    return 0;
}
