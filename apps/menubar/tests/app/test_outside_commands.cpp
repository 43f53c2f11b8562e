// The outside commands the app runs: the command runner itself, and each tool
// (launchctl, systemctl, cmux, osascript, the daemon) with its arguments.

#include <QDir>
#include <QTest>
#include <QThread>

#include "StatusMenuTestSupport.hpp"
#include "app/system/DaemonConfig.hpp"

using namespace status_menu_test;
using namespace std::chrono_literals;

namespace menubar::app {
// Lets QCOMPARE show both results when they differ.
char* toString(const CommandResult& result) {
    return QTest::toString(QString("{%1, \"%2\", \"%3\"}")
                               .arg(result.status)
                               .arg(QString::fromStdString(result.standardOutput).left(200))
                               .arg(QString::fromStdString(result.standardError).left(200)));
}
} // namespace menubar::app

namespace {

const std::string probe = MENUBAR_FIXTURES "/commands/probe";
const QString probeLine = QString::fromStdString(probe);

// How often, and where, an asynchronous operation's completion ran.
struct Calls {
    int count = 0;
    bool onMainThread = true;
    CommandResult last;

    void note() {
        ++count;
        onMainThread =
            onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    }
    std::function<void()> done() {
        return [this] { note(); };
    }
    CommandRunner::Completion result() {
        return [this](const CommandResult& result) {
            note();
            last = result;
        };
    }
};

// Waits for the one completion, then long enough for a second one to show up.
#define AWAIT_ONCE(calls)                                                                          \
    QTRY_COMPARE_WITH_TIMEOUT((calls).count, 1, 30000);                                            \
    QTest::qWait(200);                                                                             \
    QCOMPARE((calls).count, 1);                                                                    \
    QVERIFY((calls).onMainThread)

// The recording fixture under the name of the tool it stands in for.
std::string standIn(const QTemporaryDir& directory, const QString& name) {
    const QString link = directory.filePath(name);
    QFile::link(MENUBAR_FIXTURES "/commands/record", link);
    return link.toStdString();
}

QStringList recorded() {
    return linesOf(qEnvironmentVariable("FIXTURE_LOG"));
}

const QString user = QString::number(::getuid());

} // namespace

class OutsideCommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    int calls = 0;

private slots:
    void init() {
        qputenv("FIXTURE_LOG", scratch.filePath(QString("calls-%1").arg(++calls)).toUtf8());
        qunsetenv("FIXTURE_FAIL");
        qunsetenv("CMUX_QUIET");
    }

    // Output decoded as UTF-8 (bad bytes replaced) and trimmed, both streams drained
    // whichever fills first (a stall would end at the time limit), extra variables
    // laid over the inherited ones, a child that ignores SIGTERM killed, end of
    // input at once, and one log line per run (where a row gives it).
    void runsGiveTheirResultAndOneLogLine() {
        qputenv("TEST_INHERITED", "from the app");
        qputenv("TEST_OVERRIDDEN", "from the app");
        const QString unlaunched = "failed to launch /nonexistent/tool: No such file or directory";
        const struct {
            CommandRunner::Arguments arguments;
            CommandResult expected;
            QString line;
            CommandRunner::Environment environment = {};
            std::chrono::milliseconds limit = 60s;
            QString executable = probeLine;
        } cases[] = {
            {{"text", " \\t\\n  a  b\\n\\ncaf\\0303\\0251 \\0377! \\r\\n", "\\n \\0300x \\n"},
             {0, "a  b\n\ncaf\u00e9 \uFFFD!", "\uFFFDx"}},
            {{"flood-stderr-first"}, {0, std::string(8 << 20, 'o'), std::string(8 << 20, 'e')}},
            {{"env", "TEST_INHERITED", "TEST_OVERRIDDEN", "TEST_EXTRA", "TEST_ABSENT"},
             {0,
              "TEST_INHERITED=from the app\nTEST_OVERRIDDEN=extra\nTEST_EXTRA=a b=c\n"
              "TEST_ABSENT=unset",
              ""},
             {},
             {{"TEST_OVERRIDDEN", "extra"}, {"TEST_EXTRA", "a b=c"}}},
            {{"stubborn"}, {137, "", "timed out after 0.25 s"}, {}, {}, 250ms},
            {{"stdin"}, {0, "read::end", ""}, {}, {}, 20s},
            {{"signal", "HUP"}, {129, "", ""}, "exit 129: " + probeLine + " signal HUP"},
            {{"exit", "0"}, {0, "", ""}, "ok: " + probeLine + " exit 0"},
            {{"exit", "2", " no profile "},
             {2, "", "no profile"},
             "exit 2: " + probeLine + " exit 2  no profile  -- no profile"},
            {{"x"}, {-1, "", unlaunched.toStdString()}, unlaunched, {}, 60s, "/nonexistent/tool"},
        };
        // Our own standard input is a pipe nobody writes to: a child that inherited
        // it would wait until the time limit.
        int ends[2];
        QVERIFY(::pipe(ends) == 0);
        const int saved = ::dup(STDIN_FILENO);
        ::dup2(ends[0], STDIN_FILENO);
        for (const auto& c : cases) {
            LogCapture log;
            QCOMPARE(CommandRunner::runSync(c.executable.toStdString(), c.arguments, c.environment,
                                            c.limit),
                     c.expected);
            if (!c.line.isNull())
                QCOMPARE(log.lines(), QStringList{"tessaly-menubar: " + c.line});
        }
        ::dup2(saved, STDIN_FILENO);
        for (const int fd : {saved, ends[0], ends[1]})
            ::close(fd);
    }

    void endsAChildAtTheTimeLimit() {
        LogCapture log;
        Calls calls;
        CommandRunner::run(probe, {"hang"}, {}, calls.result(), 1050ms);
        // Well inside the 30 s default: the caller's limit is the one applied (the
        // message below is made from the limit asked for, whichever one ran).
        QTRY_COMPARE_WITH_TIMEOUT(calls.count, 1, 10000);
        AWAIT_ONCE(calls);
        // 143: SIGTERM sufficed, so the sleeping grandchild was ended with its shell.
        QCOMPARE(calls.last, (CommandResult{143, "", "partial\ntimed out after 1.05 s"}));
        QCOMPARE(log.lines(),
                 (QStringList{"tessaly-menubar: exit 143: " + probeLine + " hang -- partial",
                              "timed out after 1.05 s"}));
    }

    void runsFiftyCommandsAtOnce() {
        // Each child succeeds only while all fifty run together.
        QTemporaryDir gathering;
        int completed = 0;
        int failures = 0;
        for (int index = 0; index < 50; ++index) {
            CommandRunner::run(
                probe, {"gather", gathering.path().toStdString(), "50"}, {},
                [&](const CommandResult& result) {
                    ++completed;
                    failures += result.status == 0 ? 0 : 1;
                },
                60s);
        }
        QTRY_COMPARE_WITH_TIMEOUT(completed, 50, 90000);
        QCOMPARE(failures, 0);
    }

    // Each outside tool, through the recording stand-in, gets its arguments and its
    // CMUX_QUIET; a step that fails decides what follows.
    void eachToolGetsItsArgumentsInOrder() {
        const QString kickstart =
            "launchctl [kickstart] [-k] [gui/" + user + "/dev.tessaly.daemon] CMUX_QUIET=unset";
        const QString bootstrap = "launchctl [bootstrap] [gui/" + user +
                                  "] [/Users/ada/Library/LaunchAgents/dev.tessaly.daemon.plist] "
                                  "CMUX_QUIET=unset";
        const QString bootout =
            "launchctl [bootout] [gui/" + user + "/dev.tessaly.daemon] CMUX_QUIET=unset";
        const QString select = "cmux [select-workspace] [--workspace] [w 1] CMUX_QUIET=1";
        const QString panel = "cmux [focus-panel] [--panel] [s-9] [--workspace] [w 1] CMUX_QUIET=1";
        const QString notice =
            "cmux [notify] [--title] [Hidden] [--body] [Menu bar is full] CMUX_QUIET=1";
        const QString validate =
            "tessaly [--profile] [w] [config] [validate] [/c/my candidate.json] "
            "[--json] CMUX_QUIET=unset";
        const QString schema = "tessaly [--profile] [w] [config] [schema] CMUX_QUIET=unset";
        using Run = std::function<void(const std::string& tool, Calls& calls)>;
        using Request = void (DaemonService::*)(DaemonService::Done) const;
        const auto launchd = [](Request request) -> Run {
            return [request](auto& tool, Calls& calls) {
                (LaunchdService({tool, "/Users/ada", 10s}).*request)(calls.result());
            };
        };
        const Run start = launchd(&DaemonService::start);
        const Run stop = launchd(&DaemonService::stop);
        // systemctl is looked for on PATH, as a user's shell would.
        const auto systemd = [](Request request) -> Run {
            return [request](auto& tool, Calls& calls) {
                const SystemdService service(
                    {.environment = {{"PATH", tool.substr(0, tool.rfind('/'))}},
                     .systemctlCandidates = {},
                     .timeLimit = 10s});
                (service.*request)(calls.result());
            };
        };
        const auto unit = [](const char* verb) {
            return QString("systemctl [--user] [%1] [tessaly.service] CMUX_QUIET=unset").arg(verb);
        };
        const auto focus = [](std::optional<std::string> surface) -> Run {
            return [surface](auto& tool, Calls& calls) {
                Cmux::focus("w 1", surface, calls.done(), {.candidates = {tool}});
            };
        };
        const Run notify = [](auto& tool, Calls& calls) {
            Notifier::notify("Hidden", "Menu bar is full", calls.result(), {.candidates = {tool}});
        };
        const Run daemon = [](auto& tool, Calls& calls) {
            const menubar::DaemonCommand command{tool, {"--profile", "w"}};
            DaemonConfig::validate(command, "/c/my candidate.json");
            DaemonConfig::loadSchema(command, calls.result());
        };
        const struct {
            QString tool;
            const char* fail;
            Run run;
            QStringList expected;
        } cases[] = {
            {"launchctl", "", start, {kickstart}},
            {"launchctl", "kickstart", start, {kickstart, bootstrap}},
            {"launchctl", "", stop, {bootout}},
            {"launchctl", "bootout", stop, {bootout}},
            {"launchctl", "", launchd(&DaemonService::restart), {kickstart}},
            {"systemctl", "", systemd(&DaemonService::start), {unit("start")}},
            {"systemctl", "", systemd(&DaemonService::restart), {unit("restart")}},
            {"systemctl", "--user", systemd(&DaemonService::stop), {unit("stop")}},
            {"cmux", "", focus("s-9"), {select, panel}},
            {"cmux", "", focus(std::nullopt), {select}},
            {"cmux", "", focus(""), {select}},
            {"cmux", "select-workspace", focus("s-9"), {select}},
            {"cmux", "", notify, {notice}},
            {"tessaly", "", daemon, {validate, schema}},
        };
        for (const auto& c : cases) {
            init();
            qputenv("FIXTURE_FAIL", c.fail);
            QTemporaryDir tools;
            Calls calls;
            c.run(standIn(tools, c.tool), calls);
            AWAIT_ONCE(calls);
            QCOMPARE(recorded(), c.expected);
        }
    }

    void startWithoutTheToolStillCompletesOnce() {
        LogCapture log;
        Calls calls;
        LaunchAgent::start(calls.result(), {"/nonexistent/launchctl", "/Users/ada", 10s});
        AWAIT_ONCE(calls);
        const QString line =
            "tessaly-menubar: failed to launch /nonexistent/launchctl: No such file or directory";
        Calls unit;
        SystemdService({.environment = {{"PATH", "/nonexistent"}},
                        .systemctlCandidates = {"/nonexistent/systemctl"}})
            .stop(unit.result());
        AWAIT_ONCE(unit);
        // A missing manager is a failure the menu tells about, never a success.
        QCOMPARE(unit.last.status, -1);
        QCOMPARE(log.lines(), (QStringList{line, line,
                                           "tessaly-menubar: systemctl not found on PATH or at "
                                           "/nonexistent/systemctl; cannot stop tessaly.service"}));
    }

    // The search order is the core locator's; here the real disk decides what is
    // executable: a plain file on the path is passed over for a later tool.
    void findsCmuxOnlyAsAnExecutable() {
        QTemporaryDir places;
        for (const char* directory : {"early", "plain"})
            QDir(places.path()).mkpath(directory);
        const std::string early = standIn(places, "early/cmux");
        QFile plain(places.filePath("plain/cmux"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        const std::string root = places.path().toStdString();
        QCOMPARE(
            Cmux::path(
                {.candidates = {root + "/plain/cmux"},
                 .searchPath = [&] { return std::optional(root + "/plain:" + root + "/early"); }}),
            std::optional<std::string>(early));
    }

    // Without cmux, focusing logs where it looked and completes at once; a
    // notification goes through osascript, its texts as arguments that the fixed
    // script never quotes into itself.
    void withoutCmuxFocusGivesUpAndNotifyUsesOsascript() {
        QTemporaryDir tools;
        const Cmux::Setup setup{.candidates = {"/nope/a/cmux", "/nope/b/cmux"},
                                .searchPath = [] { return std::optional<std::string>("/nope/c"); },
                                .osascript = standIn(tools, "osascript")};
        LogCapture log;
        Calls focused;
        Cmux::focus("w1", "s1", focused.done(), setup);
        QCOMPARE(focused.count, 1);
        const QString title = R"(Say "hi" \ 'there')";
        const QString body = R"($(touch /tmp/owned) `id` \" end)";
        Calls notified;
        Notifier::notify(title.toStdString(), body.toStdString(), notified.result(), setup);
        AWAIT_ONCE(notified);
        QCOMPARE(recorded(),
                 QStringList{"osascript [-e] [on run argv] [-e] [display notification (item 2 of "
                             "argv) with title (item 1 of argv)] [-e] [end run] [" +
                             title + "] [" + body + "] CMUX_QUIET=unset"});
        const QString notFound =
            R"(tessaly-menubar: cmux not found in ["/nope/a/cmux", "/nope/b/cmux"] or PATH)";
        QCOMPARE(log.lines().mid(0, 2),
                 (QStringList{notFound, notFound + "; using osascript for the notification"}));
    }
};

QTEST_GUILESS_MAIN(OutsideCommandsTest)
#include "test_outside_commands.moc"
