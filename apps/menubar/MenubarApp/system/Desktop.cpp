#include "Desktop.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "QtText.hpp"

namespace menubar::app {

namespace {

QUrl fileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QFileInfo(qs(path)).absoluteFilePath());
}

} // namespace

void openWithDesktop(const std::string& path) {
    QDesktopServices::openUrl(fileUrl(path));
}

// The file manager selects the file when it offers the freedesktop interface;
// otherwise (no such service, or it refuses) the containing folder opens.
void revealInFileManager(const std::string& path) {
#ifdef Q_OS_MACOS
    QProcess::startDetached(QStringLiteral("/usr/bin/open"),
                            {QStringLiteral("-R"), QFileInfo(qs(path)).absoluteFilePath()});
#else
    const QString absolute = QFileInfo(qs(path)).absoluteFilePath();
    const auto openFolder = [absolute] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(absolute).absolutePath()));
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             openFolder();
                         }
                         finished->deleteLater();
                     });
#endif
}

} // namespace menubar::app
