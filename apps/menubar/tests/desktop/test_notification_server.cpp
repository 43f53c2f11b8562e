// A real notification server (dunst) on a private bus: what it receives from
// the built app on a desktop without a tray, from the notifier directly and
// when systemctl refuses a request, a session waiting for input (one notification
// while it waits, closed when it resumes, its default action focusing the
// session's workspace through cmux), and how both carry on when no server answers.

#include <QRegularExpression>
#include <QSettings>

#include "PrivateDesktop.hpp"
#include "app/system/DaemonService.hpp"
#include "app/system/Notifier.hpp"
#include "app/tray/ActionFeedback.hpp"
#include "app/tray/AttentionNotices.hpp"
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

    int displayed() const {
        return desktop.output("dunstctl", {"count", "displayed"}).trimmed().toInt();
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

    void aWaitingSessionIsShownClosedAndFocused() {
        const QString cmux = desktop.dir.filePath("cmux");
        QVERIFY(QFile::copy(MENUBAR_FIXTURES "/commands/record", cmux));
        const QString calls = desktop.dir.filePath("calls.log");
        qputenv("FIXTURE_LOG", calls.toUtf8());
        const Cmux::Setup focusing{.candidates = {cmux.toStdString()},
                                   .searchPath = [] { return std::nullopt; }};
        AttentionNotices notices(
            {.environment = [] { return std::map<std::string, std::string>{}; },
             .settings =
                 [this] {
                     return std::make_unique<QSettings>(desktop.dir.filePath("settings.ini"),
                                                        QSettings::IniFormat);
                 },
             .focus =
                 [focusing](const std::string& workspace, const std::optional<std::string>& surface,
                            std::function<void()> done) {
                     Cmux::focus(workspace, surface, std::move(done), focusing);
                 },
             .cmux = {.candidates = {}, .searchPath = [] { return std::nullopt; }},
             .desktop = {.bus = [this] { return desktop.client(); }}},
            nullptr);

        const qsizetype before = desktop.history().size(); // the tests' above
        const Instant now = currentInstant();
        const DaemonState running = DaemonState::running(1);
        StatusFile file;
        file.sessions = {{.sessionId = "sess-api",
                          .dirName = "api",
                          .model = "claude-sonnet-4",
                          .contextPct = 81,
                          .lifecycle = SessionLifecycle::running,
                          .lastActivityAt = now - std::chrono::seconds(125),
                          .surfaceId = "surface-1",
                          .workspaceId = "workspace-1"}};
        const auto poll = [&](SessionLifecycle lifecycle, int second) {
            file.sessions[0].lifecycle = lifecycle;
            notices.observe(&file, running, false, now + std::chrono::seconds(second));
        };
        poll(SessionLifecycle::running, 0);
        poll(SessionLifecycle::needsInput, 3);
        poll(SessionLifecycle::needsInput, 6);
        QVERIFY(QTest::qWaitFor([&] { return displayed() == 1; }, 10000));
        QTest::qWait(500);
        QCOMPARE(displayed(), 1);

        // Resuming closes it, which moves it into the history as it was shown.
        poll(SessionLifecycle::running, 9);
        QVERIFY(QTest::qWaitFor([&] { return displayed() == 0; }, 10000));
        const QJsonArray history = desktop.history();
        QCOMPARE(history.size(), before + 1);
        QCOMPARE(history[0]["summary"]["data"].toString(), QString("api needs input"));
        QCOMPARE(history[0]["body"]["data"].toString(),
                 QString("sonnet-4 \u00b7 81% \u00b7 needs input \u00b7 2m ago"));

        // Waiting again, past the flap window: the default action focuses it.
        poll(SessionLifecycle::needsInput, 60);
        QVERIFY(QTest::qWaitFor([&] { return displayed() == 1; }, 10000));
        desktop.output("dunstctl", {"action", "0"});
        QFile log(calls);
        QVERIFY(QTest::qWaitFor([&] { return log.exists() && log.size() > 0 && displayed() == 0; },
                                10000));
        QTest::qWait(500);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()),
                 QString("cmux [select-workspace] [--workspace] [workspace-1] CMUX_QUIET=1\n"
                         "cmux [focus-panel] [--panel] [surface-1] [--workspace] [workspace-1] "
                         "CMUX_QUIET=1\n"));
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
