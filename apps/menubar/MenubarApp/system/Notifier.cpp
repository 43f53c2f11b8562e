#include "Notifier.hpp"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QSystemTrayIcon>

#include "Log.hpp"
#include "QtText.hpp"
#include "system/NotificationText.hpp"

namespace menubar::app::Notifier {

namespace {

const CommandRunner::Environment quiet{{"CMUX_QUIET", "1"}};

} // namespace

void notifyDesktop(const std::string& title, const std::string& body, QSystemTrayIcon* statusItem,
                   const DesktopSetup& setup) {
    if (const auto cmux = Cmux::path(setup.cmux)) {
        CommandRunner::run(
            *cmux, {"notify", "--title", title, "--body", body}, quiet, [](const CommandResult&) {},
            setup.cmux.timeLimit);
        return;
    }
    const std::string prefix =
        "cmux not found in " + Cmux::candidatesDescription(setup.cmux.candidates) + " or PATH; ";
    const QString service = qs(NotificationText::service);
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << qs(NotificationText::appName) << 0u << QString() << qs(title)
         << qs(NotificationText::escapeMarkup(body)) << QStringList() << QVariantMap() << -1;
    // An unconnected bus answers at once with an error, which takes the same way.
    auto* watcher =
        new QDBusPendingCallWatcher(setup.bus().asyncCall(call, setup.replyTimeoutMs), qApp);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher,
        [prefix, title, body, item = QPointer<QSystemTrayIcon>(statusItem),
         trayAvailable = setup.trayAvailable](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            using NotificationText::Route;
            if (!finished->isError()) {
                log(prefix + NotificationText::routeLine(Route::notificationService, {}));
                return;
            }
            const QDBusError error = finished->error();
            const std::string reason =
                (error.name().isEmpty() ? error.message() : error.name()).toStdString();
            const bool tray =
                trayAvailable ? trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
            if (item && tray && item->isVisible()) {
                item->showMessage(qs(title), qs(body));
                log(prefix + NotificationText::routeLine(Route::trayBalloon, reason));
                return;
            }
            log(prefix + NotificationText::routeLine(Route::notShown, reason));
        });
}

Notify platform() {
#ifdef Q_OS_MACOS
    // The hidden episode stays recorded whatever the notification did; a failure
    // is in the log already.
    return [](const std::string& title, const std::string& body, QSystemTrayIcon*) {
        notify(title, body, [](const CommandResult&) {});
    };
#else
    return [](const std::string& title, const std::string& body, QSystemTrayIcon* statusItem) {
        notifyDesktop(title, body, statusItem);
    };
#endif
}

} // namespace menubar::app::Notifier
