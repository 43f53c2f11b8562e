#include <optional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <unistd.h>

#include "Cmux.hpp"
#include "CommandRunner.hpp"
#include "LaunchAgent.hpp"

using namespace menubar::app;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<std::string>)

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
const std::string recorder = MENUBAR_FIXTURES "/commands/record";

// Sends fd 2 (where the app's log goes) to a file for as long as it lives.
class LogCapture {
public:
    LogCapture() {
        file.open();
        saved = ::dup(STDERR_FILENO);
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~LogCapture() {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QStringList lines() {
        QFile reader(file.fileName());
        reader.open(QIODevice::ReadOnly);
        return QString::fromUtf8(reader.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryFile file;
    int saved = -1;
};

// Records, for an asynchronous operation, how often and where its completion ran.
template <typename Result> struct Completions {
    int count = 0;
    bool onMainThread = true;
    Result last{};
    void operator()(Result result) {
        ++count;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        last = std::move(result);
    }
};

struct Done {
    int count = 0;
    bool onMainThread = true;
};

std::function<void()> counting(Done& done) {
    return [&done] {
        ++done.count;
        done.onMainThread = done.onMainThread && QThread::currentThread() == qApp->thread();
    };
}

// A name the fixture answers to (launchctl, cmux, osascript, tessaly) in `directory`.
std::string standIn(const QTemporaryDir& directory, const QString& name) {
    const QString link = directory.filePath(name);
    QFile::link(QString::fromStdString(recorder), link);
    return link.toStdString();
}

QStringList recorded(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Lets queued completions that should not exist show up before counting.
void settle() {
    QTest::qWait(200);
}

} // namespace

class CommandRunnerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;
    QString logPath;

private slots:
    void init() {
        logPath = scratch.filePath(QString("calls-%1.txt").arg(QTest::currentTestFunction()));
        QFile::remove(logPath);
        qputenv("FIXTURE_LOG", logPath.toUtf8());
        qunsetenv("FIXTURE_FAIL");
        qunsetenv("CMUX_QUIET");
    }

    void decodesAndTrimsOutput_data() {
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("expectedOut");
        QTest::addColumn<QString>("expectedErr");
        QTest::newRow("line break at the end") << "done\\n"
                                               << ""
                                               << "done"
                                               << "";
        QTest::newRow("white space around, kept inside") << " \\t\\n  a  b\\n\\nc \\r\\n"
                                                         << "\\n warn \\n"
                                                         << "a  b\n\nc"
                                                         << "warn";
        QTest::newRow("only white space") << " \\n\\t\\n"
                                          << "  "
                                          << ""
                                          << "";
        QTest::newRow("invalid UTF-8") << "a\\0377b"
                                       << "\\0300x"
                                       << "a\uFFFDb"
                                       << "\uFFFDx";
        QTest::newRow("valid UTF-8") << "caf\\0303\\0251 \\0342\\0200\\0224 ok"
                                     << ""
                                     << "caf\u00e9 \u2014 ok"
                                     << "";
    }
    void decodesAndTrimsOutput() {
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, expectedOut);
        QFETCH(QString, expectedErr);
        const auto result =
            CommandRunner::runSync(probe, {"text", out.toStdString(), err.toStdString()}, {});
        QCOMPARE(result, (CommandResult{0, expectedOut.toStdString(), expectedErr.toStdString()}));
    }

    void laysExtraEnvironmentOverTheInheritedOne() {
        qputenv("TEST_INHERITED", "from the app");
        qputenv("TEST_OVERRIDDEN", "from the app");
        const auto result = CommandRunner::runSync(
            probe, {"env", "TEST_INHERITED", "TEST_OVERRIDDEN", "TEST_EXTRA", "TEST_ABSENT"},
            {{"TEST_OVERRIDDEN", "extra"}, {"TEST_EXTRA", "a b=c"}});
        QCOMPARE(result.standardOutput, std::string("TEST_INHERITED=from the app\n"
                                                    "TEST_OVERRIDDEN=extra\n"
                                                    "TEST_EXTRA=a b=c\n"
                                                    "TEST_ABSENT=unset"));
        qunsetenv("TEST_INHERITED");
        qunsetenv("TEST_OVERRIDDEN");
    }

    void childSeesEndOfInputAtOnce() {
        // Our own standard input is a pipe nobody writes to: a child that inherited
        // it would wait until the time limit.
        int ends[2];
        QVERIFY(::pipe(ends) == 0);
        const int saved = ::dup(STDIN_FILENO);
        ::dup2(ends[0], STDIN_FILENO);
        const auto result = CommandRunner::runSync(probe, {"stdin"}, {}, 20s);
        ::dup2(saved, STDIN_FILENO);
        for (const int fd : {saved, ends[0], ends[1]})
            ::close(fd);
        QCOMPARE(result, (CommandResult{0, "read::end", ""}));
    }

    void logsOneLinePerRun_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("standardError");
        QTest::addColumn<QString>("line");
        const QString command = QString::fromStdString(probe);
        QTest::newRow("success") << QStringList{"exit", "0"} << 0 << ""
                                 << "tessaly-menubar: ok: " + command + " exit 0";
        QTest::newRow("failure, quiet") << QStringList{"exit", "7"} << 7 << ""
                                        << "tessaly-menubar: exit 7: " + command + " exit 7";
        QTest::newRow("failure with a reason")
            << QStringList{"exit", "2", " no such profile "} << 2 << "no such profile"
            << "tessaly-menubar: exit 2: " + command +
                   " exit 2  no such profile  -- no such profile";
    }
    void logsOneLinePerRun() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, standardError);
        QFETCH(QString, line);
        CommandRunner::Arguments list;
        for (const auto& argument : arguments)
            list.push_back(argument.toStdString());
        LogCapture log;
        const auto result = CommandRunner::runSync(probe, list, {});
        QCOMPARE(result, (CommandResult{status, "", standardError.toStdString()}));
        QCOMPARE(log.lines(), QStringList{line});
    }

    void reportsAChildThatCannotStart_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "/nonexistent/tool"
                                 << "No such file or directory";
        QTest::newRow("not executable") << MENUBAR_FIXTURES "/commands/../commands"
                                        << "Permission denied";
    }
    void reportsAChildThatCannotStart() {
        QFETCH(QString, executable);
        QFETCH(QString, reason);
        const QString message = "failed to launch " + executable + ": " + reason;
        LogCapture log;
        const auto result = CommandRunner::runSync(executable.toStdString(), {"x"}, {});
        QCOMPARE(result, (CommandResult{-1, "", message.toStdString()}));
        QCOMPARE(log.lines(), QStringList{"tessaly-menubar: " + message});
    }

    void drainsBothStreamsWhicheverFillsFirst_data() {
        QTest::addColumn<QString>("order");
        QTest::newRow("standard error first") << "flood-stderr-first";
        QTest::newRow("standard output first") << "flood-stdout-first";
    }
    void drainsBothStreamsWhicheverFillsFirst() {
        QFETCH(QString, order);
        // A stall here ends at the time limit instead, with a signal status.
        const auto result = CommandRunner::runSync(probe, {order.toStdString()}, {}, 60s);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.standardOutput, std::string(8 << 20, 'o'));
        QCOMPARE(result.standardError, std::string(8 << 20, 'e'));
    }

    void endsAChildAtTheTimeLimit() {
        LogCapture log;
        Completions<CommandResult> completions;
        CommandRunner::run(probe, {"hang"}, {}, std::ref(completions), 1s);
        QTRY_COMPARE_WITH_TIMEOUT(completions.count, 1, 30000);
        settle();
        QCOMPARE(completions.count, 1);
        QVERIFY(completions.onMainThread);
        // 143: SIGTERM sufficed, so the sleeping grandchild was ended with its shell.
        QCOMPARE(completions.last, (CommandResult{143, "", "partial\ntimed out after 1 s"}));
        QCOMPARE(log.lines(), (QStringList{"tessaly-menubar: exit 143: " +
                                               QString::fromStdString(probe) + " hang -- partial",
                                           "timed out after 1 s"}));
    }

    void killsAChildThatIgnoresTermination() {
        const auto result = CommandRunner::runSync(probe, {"stubborn"}, {}, 250ms);
        QCOMPARE(result, (CommandResult{137, "", "timed out after 0.25 s"}));
    }

    void runsFiftyCommandsAtOnce() {
        QTemporaryDir gathering;
        Completions<CommandResult> completions;
        int failures = 0;
        for (int index = 0; index < 50; ++index) {
            CommandRunner::run(
                probe, {"gather", gathering.path().toStdString(), "50"}, {},
                [&](const CommandResult& result) {
                    completions(result);
                    failures += result.status == 0 ? 0 : 1;
                },
                60s);
        }
        QTRY_COMPARE_WITH_TIMEOUT(completions.count, 50, 90000);
        settle();
        QCOMPARE(completions.count, 50);
        QVERIFY(completions.onMainThread);
        QCOMPARE(failures, 0);
    }

    void startKickstartsAndFallsBackToBootstrap_data() {
        QTest::addColumn<QString>("fail");
        QTest::addColumn<bool>("bootstraps");
        QTest::newRow("agent loaded") << "" << false;
        QTest::newRow("agent not loaded") << "kickstart" << true;
        QTest::newRow("bootstrap fails too") << "kickstart bootstrap" << true;
    }
    void startKickstartsAndFallsBackToBootstrap() {
        QFETCH(QString, fail);
        QFETCH(bool, bootstraps);
        qputenv("FIXTURE_FAIL", fail.toUtf8());
        QTemporaryDir tools;
        const QString user = QString::number(::getuid());
        Done done;
        LaunchAgent::start(counting(done), {standIn(tools, "launchctl"), "/Users/ada", 10s});
        QTRY_COMPARE_WITH_TIMEOUT(done.count, 1, 30000);
        settle();
        QCOMPARE(done.count, 1);
        QVERIFY(done.onMainThread);
        QStringList expected{"launchctl [kickstart] [-k] [gui/" + user +
                             "/dev.tessaly.daemon] CMUX_QUIET=unset"};
        if (bootstraps)
            expected << "launchctl [bootstrap] [gui/" + user +
                            "] [/Users/ada/Library/LaunchAgents/dev.tessaly.daemon.plist] "
                            "CMUX_QUIET=unset";
        QCOMPARE(recorded(logPath), expected);
    }

    void startWithoutTheToolStillCompletesOnce() {
        LogCapture log;
        Done done;
        LaunchAgent::start(counting(done), {"/nonexistent/launchctl", "/Users/ada", 10s});
        QTRY_COMPARE_WITH_TIMEOUT(done.count, 1, 30000);
        settle();
        QCOMPARE(done.count, 1);
        const QString line =
            "tessaly-menubar: failed to launch /nonexistent/launchctl: No such file or directory";
        QCOMPARE(log.lines(), (QStringList{line, line}));
    }

    void stopBootsOutAndCompletesWhateverTheStatus_data() {
        QTest::addColumn<QString>("fail");
        QTest::newRow("unloaded") << "";
        QTest::newRow("bootout fails") << "bootout";
    }
    void stopBootsOutAndCompletesWhateverTheStatus() {
        QFETCH(QString, fail);
        qputenv("FIXTURE_FAIL", fail.toUtf8());
        QTemporaryDir tools;
        Done done;
        LaunchAgent::stop(counting(done), {standIn(tools, "launchctl"), "/Users/ada", 10s});
        QTRY_COMPARE_WITH_TIMEOUT(done.count, 1, 30000);
        settle();
        QCOMPARE(done.count, 1);
        QVERIFY(done.onMainThread);
        QCOMPARE(recorded(logPath),
                 QStringList{"launchctl [bootout] [gui/" + QString::number(::getuid()) +
                             "/dev.tessaly.daemon] CMUX_QUIET=unset"});
    }

    void findsCmuxInFixedPlacesBeforePath() {
        QTemporaryDir places;
        QDir(places.path()).mkpath("homebrew");
        QDir(places.path()).mkpath("local");
        QDir(places.path()).mkpath("early");
        QDir(places.path()).mkpath("plain");
        const std::string local = standIn(places, "local/cmux");
        const std::string early = standIn(places, "early/cmux");
        QFile plain(places.filePath("plain/cmux"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const std::string root = places.path().toStdString();

        Cmux::Setup setup;
        setup.candidates = {root + "/homebrew/cmux", root + "/local/cmux"};
        setup.searchPath = [&] { return std::optional<std::string>(root + "/early"); };
        QCOMPARE(Cmux::path(setup), std::optional<std::string>(local));

        // Not executable, empty pieces: both passed over.
        setup.candidates = {};
        setup.searchPath = [&] {
            return std::optional(":" + root + "/plain::" + root + "/early:");
        };
        QCOMPARE(Cmux::path(setup), std::optional<std::string>(early));

        setup.searchPath = [] { return std::optional<std::string>(); };
        QCOMPARE(Cmux::path(setup), std::optional<std::string>());
        QCOMPARE(Cmux::candidatesDescription(Cmux::candidates()),
                 std::string(R"(["/opt/homebrew/bin/cmux", "/usr/local/bin/cmux"])"));
    }

    void focusSelectsTheWorkspaceThenItsSurface_data() {
        QTest::addColumn<std::optional<std::string>>("surface");
        QTest::addColumn<QString>("fail");
        QTest::addColumn<bool>("focusesPanel");
        QTest::newRow("with a surface") << std::optional<std::string>("s-9") << "" << true;
        QTest::newRow("without a surface") << std::optional<std::string>() << "" << false;
        QTest::newRow("empty surface") << std::optional<std::string>("") << "" << false;
        QTest::newRow("select-workspace fails")
            << std::optional<std::string>("s-9") << "select-workspace" << false;
    }
    void focusSelectsTheWorkspaceThenItsSurface() {
        QFETCH(std::optional<std::string>, surface);
        QFETCH(QString, fail);
        QFETCH(bool, focusesPanel);
        qputenv("FIXTURE_FAIL", fail.toUtf8());
        QTemporaryDir tools;
        Cmux::Setup setup;
        setup.candidates = {standIn(tools, "cmux")};
        Done done;
        Cmux::focus("w 1", surface, counting(done), setup);
        QTRY_COMPARE_WITH_TIMEOUT(done.count, 1, 30000);
        settle();
        QCOMPARE(done.count, 1);
        QVERIFY(done.onMainThread);
        QStringList expected{"cmux [select-workspace] [--workspace] [w 1] CMUX_QUIET=1"};
        if (focusesPanel)
            expected << "cmux [focus-panel] [--panel] [s-9] [--workspace] [w 1] CMUX_QUIET=1";
        QCOMPARE(recorded(logPath), expected);
    }

    void focusWithoutCmuxLogsAndCompletesAtOnce() {
        Cmux::Setup setup;
        setup.candidates = {"/nope/a/cmux", "/nope/b/cmux"};
        setup.searchPath = [] { return std::optional<std::string>("/nope/c"); };
        LogCapture log;
        Done done;
        Cmux::focus("w1", "s1", counting(done), setup);
        QCOMPARE(done.count, 1);
        QCOMPARE(log.lines(), QStringList{R"(tessaly-menubar: cmux not found in ["/nope/a/cmux", )"
                                          R"("/nope/b/cmux"] or PATH)"});
        settle();
        QCOMPARE(done.count, 1);
    }

    void notifiesThroughCmux() {
        QTemporaryDir tools;
        Cmux::Setup setup;
        setup.candidates = {standIn(tools, "cmux")};
        setup.osascript = "/nonexistent/osascript";
        Completions<CommandResult> completions;
        Notifier::notify("Hidden", "Menu bar is full", std::ref(completions), setup);
        QTRY_COMPARE_WITH_TIMEOUT(completions.count, 1, 30000);
        QCOMPARE(completions.last, (CommandResult{0, "", ""}));
        QCOMPARE(recorded(logPath),
                 QStringList{"cmux [notify] [--title] [Hidden] [--body] [Menu bar is full] "
                             "CMUX_QUIET=1"});
    }

    void notifiesThroughOsascriptWithTextsAsArguments() {
        QTemporaryDir tools;
        Cmux::Setup setup;
        setup.candidates = {};
        setup.searchPath = [] { return std::optional<std::string>(); };
        setup.osascript = standIn(tools, "osascript");
        const std::string title = R"(Say "hi" \ 'there')";
        const std::string body = R"($(touch /tmp/owned) `id` \" end)";
        LogCapture log;
        Completions<CommandResult> completions;
        Notifier::notify(title, body, std::ref(completions), setup);
        QTRY_COMPARE_WITH_TIMEOUT(completions.count, 1, 30000);
        settle();
        QCOMPARE(completions.count, 1);
        QCOMPARE(completions.last.status, 0);
        QCOMPARE(recorded(logPath),
                 QStringList{"osascript [-e] [on run argv] [-e] [display notification (item 2 of "
                             "argv) with title (item 1 of argv)] [-e] [end run] [" +
                             QString::fromStdString(title) + "] [" + QString::fromStdString(body) +
                             "] CMUX_QUIET=unset"});
        QCOMPARE(log.lines().first(), QString("tessaly-menubar: cmux not found in [] or PATH; "
                                              "using osascript for the notification"));
    }

    void runsTheDaemonsTwoSubcommands() {
        QTemporaryDir tools;
        const menubar::LaunchAgentCommand command{standIn(tools, "tessaly"), {"--profile", "w"}};
        const auto validated = DaemonCommand::validate(command, "/c/my candidate.json");
        QCOMPARE(validated.status, 0);
        Completions<CommandResult> completions;
        DaemonCommand::loadSchema(command, std::ref(completions));
        QTRY_COMPARE_WITH_TIMEOUT(completions.count, 1, 30000);
        QCOMPARE(recorded(logPath),
                 (QStringList{"tessaly [--profile] [w] [config] [validate] [/c/my candidate.json] "
                              "[--json] CMUX_QUIET=unset",
                              "tessaly [--profile] [w] [config] [schema] CMUX_QUIET=unset"}));
    }
};

QTEST_GUILESS_MAIN(CommandRunnerTest)
#include "test_command_runner.moc"
