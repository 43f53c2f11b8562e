#include "StatusMenuDependencies.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include "VisibilityProbe.hpp"
#include "app/system/Cmux.hpp"
#include "app/system/Desktop.hpp"
#include "app/system/ProcessEnvironment.hpp"
#include "app/system/StartAtLogin.hpp"

namespace menubar::app {

StatusMenuDependencies StatusMenuDependencies::system(std::string home) {
    StatusMenuDependencies dependencies;
    dependencies.home = std::move(home);
    dependencies.now = [] { return currentInstant(); };
    dependencies.timeZone = [] { return TimeZone::current(); };
    dependencies.environment = processEnvironment;
    dependencies.fileSystem = FileSystem::real();
    dependencies.settings = [] {
#ifdef Q_OS_MACOS
        return std::make_unique<QSettings>(QStringLiteral("tessaly-menubar"),
                                           QStringLiteral("tessaly-menubar"));
#else
        // The same file QSettings("tessaly-menubar", "tessaly-menubar") uses, named
        // outright: asked for by organisation and name, QSettings looks for three
        // system-wide fallbacks too, a dozen file-system calls at every refresh.
        return std::make_unique<QSettings>(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/tessaly-menubar/tessaly-menubar.conf"),
            QSettings::IniFormat);
#endif
    };
    dependencies.probe = VisibilityProbe::read;
    dependencies.focusSession = [](const std::string& workspaceId,
                                   const std::optional<std::string>& surfaceId, Done done) {
        Cmux::focus(workspaceId, surfaceId, std::move(done));
    };
    dependencies.service = DaemonService::forThisSystem(dependencies.home);
    dependencies.notify = Notifier::platform();
    dependencies.trayHostPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    dependencies.open = openWithDesktop;
    dependencies.reveal = revealInFileManager;
    dependencies.cmuxInstalled = [] { return Cmux::path().has_value(); };
    dependencies.revealModifierHeld = [] {
        return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
    };
    dependencies.showSettings = [] {};
    dependencies.settingsUpdate = [](const StatusFile*, const DaemonState&) {};
    dependencies.quit = [] { QCoreApplication::quit(); };
    const std::optional<StartAtLogin> startAtLogin = StartAtLogin::forThisApp(dependencies.home);
    dependencies.startsAtLogin = [startAtLogin]() -> std::optional<bool> {
        return startAtLogin ? std::optional(startAtLogin->isEnabled()) : std::nullopt;
    };
    dependencies.setStartAtLogin = [startAtLogin](bool enabled) {
        if (startAtLogin) {
            startAtLogin->setEnabled(enabled);
        }
    };
    return dependencies;
}

} // namespace menubar::app
