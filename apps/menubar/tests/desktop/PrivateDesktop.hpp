#pragma once

// A desktop of the test's own: a virtual X server on a free display, a private
// session bus that activates nothing (so no notification daemon of the machine
// starts behind the test's back), and every process started through it ended
// when it goes out of scope, or with the test process itself if that dies.

#include <initializer_list>
#include <memory>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace desktop_test {

class PrivateDesktop {
public:
    QTemporaryDir dir;
    QString display;
    QString busAddress;

    ~PrivateDesktop() {
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            (*it)->terminate();
            if (!(*it)->waitForFinished(3000))
                (*it)->kill();
            (*it)->waitForFinished(3000);
        }
    }

    static bool has(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }
    // Why a test that needs `tools` cannot run here; empty when it can.
    static QString missing(std::initializer_list<const char*> tools) {
        for (const char* tool : tools)
            if (!has(tool))
                return QString(tool) + " is missing (scripts/install-deps installs it)";
        return {};
    }

    // Xvfb picks a free display itself and says which once it accepts clients:
    // two tests choosing by lock files could start on the same one together.
    bool startX() {
        const QString number = firstLine(
            start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}));
        display = ":" + number;
        return !number.isEmpty();
    }

    bool startBus() {
        const QString config = dir.filePath("bus.conf");
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<auth>EXTERNAL</auth><policy context='default'>"
                                  "<allow send_destination='*' eavesdrop='true'/>"
                                  "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>")
                       .arg(dir.path())
                       .toUtf8());
        file.close();
        busAddress = firstLine(
            start("dbus-daemon", {"--nofork", "--print-address=1", "--config-file=" + config}));
        return !busAddress.isEmpty();
    }

    // dunst, once it holds the notification service's name; null if it never does.
    QProcess* startNotificationServer() {
        QProcess* server = start("dunst", {}, environment());
        const auto registered = [this] {
            return client()
                .interface()
                ->isServiceRegistered("org.freedesktop.Notifications")
                .value();
        };
        return QTest::qWaitFor(registered, 10000) ? server : nullptr;
    }

    // The test's own connection to this desktop's bus.
    QDBusConnection client() const { return QDBusConnection::connectToBus(busAddress, "client"); }

    // What every program on this desktop sees: its display and bus, a home of
    // its own, UTC.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        environment.insert("HOME", dir.filePath("home"));
        environment.insert("XDG_RUNTIME_DIR", dir.path());
        environment.insert("TZ", "UTC");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME",
                                 "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "TESSALY_CLI"})
            environment.remove(name);
        return environment;
    }

    QProcess*
    start(const QString& program, const QStringList& arguments,
          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        QDir().mkpath(dir.filePath("home"));
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process->start(program, arguments);
        process->waitForStarted(10000);
        processes_.push_back(std::move(process));
        return processes_.back().get();
    }

    // Runs a tool on this desktop to its end and gives what it printed.
    QByteArray output(const QString& program, const QStringList& arguments) const {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(program, arguments);
        tool.waitForFinished(10000);
        return tool.readAllStandardOutput();
    }

    // The notifications dunst has moved into its history, newest first.
    QJsonArray history() const {
        return QJsonDocument::fromJson(output("dunstctl", {"history"}))["data"][0].toArray();
    }

private:
    std::vector<std::unique_ptr<QProcess>> processes_;

    // The first line a starting server prints; empty if it prints none.
    static QString firstLine(QProcess* server) {
        return server->waitForReadyRead(10000) ? QString::fromUtf8(server->readLine()).trimmed()
                                               : QString();
    }
};

} // namespace desktop_test
