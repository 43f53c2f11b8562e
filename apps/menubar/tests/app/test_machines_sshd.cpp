// Other machines read over SSH, against real OpenSSH servers (sshd_fixture.sh):
// what each kind of machine shows, all machines in one icon and menu, a
// hanging machine beside this machine's own file, a hand edit of the machines
// file, a hostile line that must never reach ssh, and a machine that streams.

#include <algorithm>
#include <csignal>
#include <ctime>

#include <QProcess>
#include <QtTest>

#include "StatusMenuTestSupport.hpp"
#include "app/tray/MachinesMonitor.hpp"

using namespace menubar;
using namespace menubar::app;
using status_menu_test::Harness;

namespace {

std::string rfc3339(Instant at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
    return text;
}

std::string status(Instant at, int pct, const char* level, Instant cacheExpiresAt = {}) {
    return R"({"version":1,"at":")" + rfc3339(at) +
           R"(","intervalMs":60000,"sessions":[{"provider":"claude","shortId":"s1",)" +
           R"("dirName":"api","contextPct":)" + std::to_string(pct) + R"(,"level":")" + level +
           R"(","workspaceId":"ws-1","cacheExpiresAt":")" + rfc3339(cacheExpiresAt) + R"("}]})";
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path + ".tmp") << text;
    std::filesystem::rename(path + ".tmp", path);
}

} // namespace

class MachinesOverSsh : public QObject {
    Q_OBJECT

    // Short: ssh's control sockets live in here, and a socket's path is limited.
    QTemporaryDir scratch_{QStringLiteral("/tmp/m-XXXXXX")};
    std::string root_ = scratch_.path().toStdString();
    std::string path_;
    std::string script_ = std::string(MENUBAR_FIXTURES) + "/../app/sshd_fixture.sh";
    Harness harness_;
    std::unique_ptr<MachinesMonitor> monitor_;

    MachinesMonitor::Setup setup(const std::string& machinesFile) {
        const std::map<std::string, std::string> environment{
            {"PATH", path_}, {"HOME", harness_.home}, {"XDG_RUNTIME_DIR", root_ + "/run"}};
        auto setup = MachinesMonitor::system(environment, harness_.home);
        setup.filePath = machinesFile;
        return setup;
    }

    const MachineView* view(const std::string& destination) {
        static std::vector<MachineView> views;
        views = monitor_->views(currentInstant(), TimeZone::utc());
        for (const MachineView& v : views)
            if (v.machine.destination == destination)
                return &v;
        return nullptr;
    }

    bool anyConnecting() {
        return std::ranges::any_of(
            monitor_->views(currentInstant(), TimeZone::utc()),
            [](const MachineView& v) { return v.stateLine == AllMachines::connecting; });
    }

    // Every argument the stand-in ssh was given, one a line, over all its runs.
    QStringList sshArguments() const {
        return status_menu_test::linesOf(QString::fromStdString(root_ + "/ssh-arguments"));
    }

private slots:
    void initTestCase() {
        QProcess fixture;
        fixture.start(QString::fromStdString(script_),
                      {"start", scratch_.path(), QString(MENUBAR_TESSALY_BAR)});
        QVERIFY(fixture.waitForFinished(60000));
        QCOMPARE(fixture.exitCode(), 0);
        path_ = fixture.readAllStandardOutput().trimmed().toStdString();
        std::filesystem::create_directories(root_ + "/run");
        std::filesystem::permissions(root_ + "/run", std::filesystem::perms::owner_all);

        const Instant now = currentInstant();
        const std::string remote = root_ + "/remote/";
        put(remote + "a.json", status(now, 91, "critical", now + std::chrono::minutes(1)));
        put(remote + "b.json", status(now, 75, "warn", now + std::chrono::minutes(1)));
        // That machine's own now is ten minutes ahead of ours.
        const Instant theirs = now + std::chrono::minutes(10);
        put(remote + "skewed.json", status(theirs, 20, "ok", theirs + std::chrono::seconds(270)));
        std::ofstream(remote + "huge.json")
            << std::string(StatusFileLocator::sizeLimit + 10, ' ') << "{}";

        const std::string file = harness_.home + "/machines";
        put(file, "healthy-a\tBuild box\nhealthy-b\nmissing\nhuge\nskewed\nrekeyed\nclosed\n"
                  "silent\n-oProxyCommand=touch " +
                      root_ + "/pwned\n");
        monitor_ = std::make_unique<MachinesMonitor>(setup(file));
        monitor_->start();
        QTRY_VERIFY_WITH_TIMEOUT(!anyConnecting(), 30000);
    }

    void cleanupTestCase() {
        QProcess::execute(QString::fromStdString(script_), {"stop", scratch_.path()});
    }

    void eachMachineSaysWhereItStands_data() {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("stateLine");
        QTest::addColumn<QString>("alsoShown"); // a text in the machine's menu section or tooltip
        const auto row = [](const char* name, const char* destination, const char* stateLine,
                            const char* alsoShown) {
            QTest::newRow(name) << QString(destination) << QString(stateLine) << QString(alsoShown);
        };
        row("healthy", "healthy-a", "Daemon running", "api · unknown · 91%");
        row("port closed", "closed", "Unreachable: connection refused", "Connection refused");
        row("accepts and never speaks", "silent", "Unreachable: no answer in time", "timed out");
        row("wrong host key", "rekeyed", "Unreachable: host key changed",
            "Host key verification failed.");
        row("no status file there", "missing", "Daemon not running",
            "Start it with: tessaly watch");
        row("status file over the limit", "huge", "Status file unreadable",
            "status file is too large (16777228 bytes");
        // By our clock the cache would expire in 14m and the poll would lie ahead.
        row("clock ten minutes ahead", "skewed", "Daemon running", "cache expires in 4m");
    }
    void eachMachineSaysWhereItStands() {
        QFETCH(QString, destination);
        QFETCH(QString, stateLine);
        QFETCH(QString, alsoShown);
        const MachineView* machine = view(destination.toStdString());
        QVERIFY(machine);
        QVERIFY2(QString::fromStdString(machine->stateLine).startsWith(stateLine),
                 machine->stateLine.c_str());
        const StatusMenu menu = monitor_->menu({}, {}, TimeZone::utc());
        QString shown = QString::fromStdString(machine->stateTooltip.value_or(""));
        for (const MenuEntry& entry : menu.entries)
            shown += "\n" + QString::fromStdString(entry.title);
        QVERIFY2(shown.contains(alsoShown), qPrintable(shown));
    }

    void iconIsTheWorstOfAllAndMenuGroupsByMachine() {
        const Instant now = currentInstant();
        const StatusSnapshot local = StatusFileLocator::snapshot(status(now, 30, "ok"));
        const DaemonState state = DaemonState::from(local, now);
        const auto look = monitor_->look(state, local.file(), false, TimeZone::utc());
        QCOMPARE(look.title, std::string("91%"));
        QCOMPARE(look.tone, Tone::critical);
        QCOMPARE(QString::fromStdString(look.tooltip).count('\n'), 8);
        QVERIFY(look.tooltip.starts_with("This machine: Daemon running"));

        MenuFacts facts;
        const StatusMenu menu = monitor_->menu(
            StatusMenu::build(local, state, {}, std::nullopt, now, TimeZone::utc(), facts), {},
            TimeZone::utc());
        QStringList headers;
        for (const MenuEntry& entry : menu.entries)
            if (entry.tooltip && entry.tooltip->rfind("healthy", 0) == 0)
                headers << QString::fromStdString(entry.title);
        QCOMPARE(menu.entries.front().title, std::string("This machine"));
        QCOMPARE(headers, (QStringList{"Build box", "healthy-b"}));
    }

    void hostileLineNeverReachesSsh() {
        const auto& refused = monitor_->list().refused;
        QCOMPARE(refused.size(), std::size_t(1));
        const QStringList arguments = sshArguments();
        QVERIFY(!arguments.isEmpty());
        QVERIFY2(arguments.filter("ProxyCommand").isEmpty(), qPrintable(arguments.join(' ')));
        QVERIFY(!std::filesystem::exists(root_ + "/pwned"));
    }

    void handEditIsFollowedWithoutRestart() {
        const std::string file = harness_.home + "/machines";
        put(file, "healthy-b\tRenamed\n");
        QTRY_COMPARE_WITH_TIMEOUT(monitor_->list().machines.size(), std::size_t(1), 5000);
        QCOMPARE(monitor_->list().machines.front().displayName(), std::string("Renamed"));
        // Kept machines keep what they knew; nothing reconnects.
        QVERIFY(QString::fromStdString(view("healthy-b")->stateLine).startsWith("Daemon running"));
    }

    void aRemoteChangeComesThroughTheOpenStream() {
        const std::string remote = root_ + "/remote/stream.json";
        put(remote, status(currentInstant(), 40, "ok"));
        const std::string file = harness_.home + "/streaming";
        put(file, "streaming\n");
        const auto shown = [](MachinesMonitor& monitor) {
            const auto views = monitor.views(currentInstant(), TimeZone::utc());
            return views.front().sessions().empty()
                       ? -1.0
                       : views.front().sessions().front().contextPct.value_or(-2);
        };
        {
            MachinesMonitor streaming(setup(file));
            streaming.start();
            QTRY_COMPARE_WITH_TIMEOUT(shown(streaming), 40.0, 10000);
            put(remote, status(currentInstant(), 66, "warn"));
            QTRY_COMPARE_WITH_TIMEOUT(shown(streaming), 66.0, 10000);
            // Both answers came over the one ssh run that is still open.
            QCOMPARE(sshArguments().count("streaming"), 1);
        }
        // Gone with the monitor: its ssh, and with it the follow on the far side.
        std::ifstream pidFile(root_ + "/stream.pid");
        pid_t follow = 0;
        QVERIFY(pidFile >> follow);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(follow, 0) != 0, 10000);
    }

    void barPrintsThisMachineAtOnceWhileAMachineHangs() {
        const std::string local = root_ + "/bar-status.json";
        put(local, status(currentInstant(), 30, "ok"));
        QProcess bar;
        QProcessEnvironment environment;
        environment.insert("PATH", QString::fromStdString(path_));
        environment.insert("HOME", QString::fromStdString(harness_.home));
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(root_ + "/run"));
        environment.insert("TESSALY_STATUS_FILE", QString::fromStdString(local));
        environment.insert("TESSALY_MENUBAR_MACHINES", "silent");
        bar.setProcessEnvironment(environment);
        bar.start(QString(MENUBAR_TESSALY_BAR), {"--waybar", "--follow"});
        // Each face before the machine gave up: it is still connecting in both.
        for (const int pct : {30, 55}) {
            if (pct != 30)
                put(local, status(currentInstant(), pct, "ok"));
            // The face is printed again as its poll age moves, so the new
            // file may show a line or two later.
            QString face;
            bool shown = false;
            const auto showsIt = [&] {
                while (!shown && bar.canReadLine()) {
                    face = QString::fromUtf8(bar.readLine());
                    shown = face.contains(QString("\"%1%\"").arg(pct));
                }
                return shown;
            };
            QTRY_VERIFY_WITH_TIMEOUT(showsIt(), 30000);
            QVERIFY2(face.contains("silent\\nConnecting..."), qPrintable(face));
        }
        bar.terminate();
        QVERIFY(bar.waitForFinished(10000));
    }

    void localIconFollowsWhileAMachineHangs() {
        const std::string file = harness_.home + "/hanging";
        put(file, "silent\n");
        MachinesMonitor hanging(setup(file));
        harness_.write(status(currentInstant(), 30, "ok"));
        StatusMenuDependencies dependencies = harness_.dependencies();
        dependencies.now = [] { return currentInstant(); };
        hanging.attach(dependencies, [] {});
        StatusMenuController controller(harness_.statusPath, std::move(dependencies));
        hanging.start();
        controller.start();
        QCOMPARE(controller.presentation().title, std::string("30%"));
        harness_.write(status(currentInstant(), 55, "ok"));
        // Well inside the hanging machine's five seconds.
        QTRY_COMPARE_WITH_TIMEOUT(controller.presentation().title, std::string("55%"), 2000);
        QCOMPARE(hanging.views(currentInstant(), TimeZone::utc()).front().stateLine,
                 std::string(AllMachines::connecting));
    }
};

QTEST_MAIN(MachinesOverSsh)
#include "test_machines_sshd.moc"
