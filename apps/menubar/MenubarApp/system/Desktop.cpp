#include "Desktop.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <csignal>

#include "Log.hpp"
#include "QtText.hpp"

namespace menubar::app {

void openWithDesktop(const std::string& path, OpenFailed failed) {
#ifdef Q_OS_MACOS
    const QUrl url = QUrl::fromLocalFile(QFileInfo(qs(path)).absoluteFilePath());
    if (!QDesktopServices::openUrl(url) && failed)
        failed("open", CommandResult{1, {}, "no application could open it"});
#else
    // Not through the command runner: xdg-open may wait for the application it
    // starts (an editor, a file manager) for as long as that runs, which no time
    // limit may cut short. Qt's own openUrl starts it detached and so cannot
    // tell "no method available" from success.
    const QString absolute = QFileInfo(qs(path)).absoluteFilePath();
    auto* process = new QProcess(qApp);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    const std::string line = "xdg-open " + absolute.toStdString();
    const auto ended = [process, line, failed](const CommandResult& result) {
        process->deleteLater();
        if (result.succeeded()) {
            log("ok: " + line);
            return;
        }
        log(result.status == -1
                ? "failed to launch xdg-open: " + result.standardError
                : "exit " + std::to_string(result.status) + ": " + line +
                      (result.standardError.empty() ? "" : " -- " + result.standardError));
        if (failed)
            failed("xdg-open", result);
    };
    QObject::connect(
        process, &QProcess::finished, process,
        [process, ended](int code, QProcess::ExitStatus status) {
            const QString said = QString::fromUtf8(process->readAllStandardError()).trimmed();
            ended(CommandResult{
                status == QProcess::NormalExit ? code : 128 + SIGKILL, {}, said.toStdString()});
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, ended](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             ended(CommandResult{-1, {}, process->errorString().toStdString()});
                     });
    process->start(QStringLiteral("xdg-open"), {absolute});
#endif
}

void revealInFileManager(const std::string& path, OpenFailed failed) {
#ifdef Q_OS_MACOS
    (void)failed;
    QProcess::startDetached(QStringLiteral("/usr/bin/open"),
                            {QStringLiteral("-R"), QFileInfo(qs(path)).absoluteFilePath()});
#else
    const QString absolute = QFileInfo(qs(path)).absoluteFilePath();
    const auto openFolder = [absolute, failed] {
        openWithDesktop(QFileInfo(absolute).absolutePath().toStdString(), failed);
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
