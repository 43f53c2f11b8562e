// A real notification server (dunst) on a private bus: what it receives from
// the built app on a desktop without a tray, from the notifier directly and
// when systemctl refuses a request, and how both carry on when no server answers.

#include <QRegularExpression>

#include "PrivateDesktop.hpp"
#include "app/system/DaemonService.hpp"
#include "app/system/Notifier.hpp"
#include "app/tray/ActionFeedback.hpp"
#include "status/TrayHost.hpp"

using namespace menubar;
using namespace menubar::app;
using namespace desktop_test;

namespace {

// Each notification the server has shown, newest first, as "app|text", where the
// text is what the server draws: its Pango markup of summary and body, read back.
QStringList history(const PrivateDesktop& desktop) {
    desktop.output("dunstctl", {"close-all"});
    QStringList shown;
    for (const QJsonValue entry : desktop.history())
        shown << entry["appname"]["data"].toString() + "|" +
                     QString(entry["message"]["data"].toString())
                         .remove(QRegularExpression("<[^>]*>"))
                         .replace("&lt;", "<")
                         .replace("&gt;", ">")
                         .replace("&quot;", "\"")
                         .replace("&apos;", "'")
                         .replace("&amp;", "&");
    return shown;
}

// The app's log so far, one entry per line.
QStringList logOf(QProcess* app) {
    static QMap<QProcess*, QString> seen;
    seen[app] += QString::fromUtf8(app->readAllStandardError());
    return seen[app].split('\n', Qt::SkipEmptyParts);
}

const QString sent = "notification sent through org.freedesktop.Notifications";
const QString notShown = "and there is no system tray; notification not shown";

} // namespace

class NotificationServerTest : public QObject {
    Q_OBJECT

    PrivateDesktop desktop;
    QProcess* server = nullptr;

    QProcess* startApp(const QString& home) {
        QProcessEnvironment environment = desktop.environment();
        environment.insert("HOME", desktop.dir.filePath(home));
        environment.insert("TESSALY_STATUS_FILE", desktop.dir.filePath("status.json"));
        environment.insert("PATH", "/usr/bin:/bin"); // no cmux
        QDir().mkpath(desktop.dir.filePath(home));
        // One copy runs per user and runtime folder; each app here is a user of its own.
        const QString runtime = desktop.dir.filePath(home + "-runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert("XDG_RUNTIME_DIR", runtime);
        return desktop.start(MENUBAR_APP, {}, environment);
    }

    // The server's history once it holds `count` notifications (closing moves them
    // there, in the server's own time), or as it is after 20 s.
    QStringList notifications(int count) {
        QStringList shown;
        (void)QTest::qWaitFor([&] { return (shown = history(desktop)).size() == count; }, 20000);
        return shown;
    }

    // The notifier sending straight to this desktop's server, with no cmux and no tray.
    Notifier::DesktopSetup direct() {
        return {.cmux = {.candidates = {}, .searchPath = [] { return std::nullopt; }},
                .bus = [this] { return desktop.client(); },
                .trayAvailable = [] { return false; }};
    }

private slots:
    void initTestCase() {
        if (const QString why =
                PrivateDesktop::missing({"Xvfb", "dbus-daemon", "dunst", "dunstctl"});
            !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(desktop.startX());
        QVERIFY(desktop.startBus());
        QVERIFY((server = desktop.startNotificationServer()));
    }

    // No tray host: one notification with the texts as given, and the window.
    void aDesktopWithoutATrayNotifiesOnceAndOpensTheWindow() {
        QProcess* app = startApp("home");
        QVERIFY(QTest::qWaitFor([&] { return logOf(app).filter(sent).size() == 1; }, 20000));
        QTest::qWait(3500); // one more poll, which must not notify again
        QCOMPARE(notifications(1),
                 QStringList{"tessaly-menubar|" + QString(NoTrayCopy::notificationTitle.data()) +
                             "\n" + QString(NoTrayCopy::notificationBody.data())});
        QCOMPARE(logOf(app).filter(QString(NoTrayCopy::advice.data())).size(), 1);
        QVERIFY(desktop.output("xwininfo", {"-root", "-tree"}).contains("\"tessaly\""));
    }

    void markupInTheBodyIsShownAsWritten() {
        const std::string body = R"(Session <b>api</b> & "web" at 'full' &amp;)";
        Notifier::notifyDesktop("Title & \"quotes\"", body, nullptr, direct());
        QCOMPARE(notifications(2).value(0),
                 "tessaly-menubar|Title & \"quotes\"\n" + QString::fromStdString(body));
    }

    // A service request refused for real: with no user manager to reach,
    // systemctl cannot connect, and the user reads what failed and why.
    void aRefusedServiceRequestIsShown() {
        if (!PrivateDesktop::has("systemctl"))
            QSKIP("systemctl is missing");
        qputenv("XDG_RUNTIME_DIR", desktop.dir.filePath("home").toUtf8()); // no manager there
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        const auto service = std::make_shared<SystemdService>(SystemdService::Setup::forUser(
            desktop.dir.filePath("home").toStdString(), {{"PATH", "/usr/bin:/bin"}}));
        bool refreshed = false;
        const ActionFeedback feedback(
            [this](const std::string& title, const std::string& body, QSystemTrayIcon*) {
                Notifier::notifyDesktop(title, body, nullptr, direct());
            },
            nullptr, service, [&] { refreshed = true; });
        feedback.request(ServiceRequest::stop);
        const QString refused = notifications(3).value(0);
        QVERIFY2(refused.startsWith("tessaly-menubar|Could not stop the daemon\n"
                                    "systemctl: Failed to connect to bus"),
                 qPrintable(refused));
        QVERIFY(refreshed);
    }

    // Without a server the app logs that once and keeps polling.
    void withoutAServerNothingHangs() {
        server->terminate();
        QVERIFY(server->waitForFinished(10000));
        QProcess* app = startApp("home2");
        QVERIFY(QTest::qWaitFor([&] { return logOf(app).filter(notShown).size() == 1; }, 20000));
        QTest::qWait(3500);
        QCOMPARE(logOf(app).filter("cmux not found").size(), 1); // each notification's one line
        QCOMPARE(app->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(NotificationServerTest)
#include "test_notification_server.moc"
