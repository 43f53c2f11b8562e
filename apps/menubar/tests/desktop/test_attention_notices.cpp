// A session waiting for input, told through a real notification server (dunst)
// on a private bus: one notification while it waits, closed when it resumes,
// and its default action focusing the session's workspace through cmux.

#include <QSettings>

#include "PrivateDesktop.hpp"
#include "app/tray/AttentionNotices.hpp"

using namespace menubar;
using namespace menubar::app;
using namespace desktop_test;

class AttentionNoticesTest : public QObject {
    Q_OBJECT

    PrivateDesktop desktop;

    int displayed() const {
        return desktop.output("dunstctl", {"count", "displayed"}).trimmed().toInt();
    }

private slots:
    void initTestCase() {
        if (const QString why =
                PrivateDesktop::missing({"Xvfb", "dbus-daemon", "dunst", "dunstctl"});
            !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(desktop.startX());
        QVERIFY(desktop.startBus());
        QVERIFY(desktop.startNotificationServer());
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
        QCOMPARE(history.size(), 1);
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
};

QTEST_GUILESS_MAIN(AttentionNoticesTest)
#include "test_attention_notices.moc"
