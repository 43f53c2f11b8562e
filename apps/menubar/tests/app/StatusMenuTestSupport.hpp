#pragma once

// A temporary home for the status menu controller's tests: the status file the
// daemon would write, a fixed clock and zone, a scratch defaults file, and every
// outside command stood in for and recorded; and a capture of the app's log.

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/system/StartAtLogin.hpp"
#include "app/tray/StatusMenuController.hpp"

namespace status_menu_test {

using namespace menubar;
using namespace menubar::app;

// Records each request instead of asking a service manager; whether the daemon
// is installed, and where its logs are, come from the real backend it wraps.
struct RecordingService : DaemonService {
    std::shared_ptr<const DaemonService> real;
    std::vector<std::string>* requests;
    const CommandResult* answer; // what the manager's tool answers

    RecordingService(std::shared_ptr<const DaemonService> real, std::vector<std::string>* requests,
                     const CommandResult* answer)
        : real(std::move(real)), requests(requests), answer(answer) {}
    ServiceControls controls() const override { return real->controls(); }
    void start(Done done) const override { note("start", done); }
    void restart(Done done) const override { note("restart", done); }
    void stop(Done done) const override { note("stop", done); }
    std::optional<DaemonCommand> locate(const Environment& environment) const override {
        return real->locate(environment);
    }
    std::string logsDirectory() const override { return real->logsDirectory(); }

private:
    void note(const char* request, const Done& done) const {
        requests->push_back(request);
        done(*answer);
    }
};

struct Harness {
    QTemporaryDir dir;
    std::string home = dir.path().toStdString();
    std::string statusPath = home + "/status.json";
    Instant now = *StatusDecoder::parseDate("2025-06-01T12:00:00Z");
    std::map<std::string, std::string> environment;
    VisibilityReading reading{.onscreen = true, .width = 22};
    bool trayHost = true, altHeld = false, underSystemd = false, openFails = false;
    CommandResult serviceAnswer{0, {}, {}};
    int probes = 0, polls = 0;
    std::chrono::steady_clock::time_point refreshedAt; // when the last refresh began
    // What the controller asked of the world, in order; `requests` holds them
    // all as "focus ws/sf", "stop", "open PATH" and so on.
    std::vector<std::string> focused, notified, requests;

    StatusMenuDependencies dependencies() {
        StatusMenuDependencies d = StatusMenuDependencies::system(home);
        d.now = [this] {
            refreshedAt = std::chrono::steady_clock::now();
            return now;
        };
        d.timeZone = [] { return TimeZone::utc(); };
        d.environment = [this] { return environment; };
        d.settings = [this] {
            return std::make_unique<QSettings>(dir.filePath("defaults.ini"), QSettings::IniFormat);
        };
        d.probe = [this](const QSystemTrayIcon&) {
            ++probes;
            return reading;
        };
        d.focusSession = [this](const std::string& workspace,
                                const std::optional<std::string>& surface, Done done) {
            focused.push_back(workspace + "/" + surface.value_or("-"));
            requests.push_back("focus " + focused.back());
            done();
        };
        std::shared_ptr<const DaemonService> backend;
        if (underSystemd)
            backend = std::make_shared<SystemdService>(SystemdService::Setup::forUser(home, {}));
        else
            backend = std::make_shared<LaunchdService>(LaunchAgent::Setup{.home = home});
        d.service = std::make_shared<RecordingService>(backend, &requests, &serviceAnswer);
        d.notify = [this](const std::string& title, const std::string&, QSystemTrayIcon*) {
            notified.push_back(title);
        };
        d.trayHostPresent = [this] { return trayHost; };
        d.open = [this](const std::string& path, OpenFailed failed) {
            requests.push_back("open " + path);
            if (openFails)
                failed("xdg-open", {3, {}, "xdg-open: no method available"});
        };
        d.reveal = [this](const std::string& path, OpenFailed) {
            requests.push_back("reveal " + path);
        };
        d.showSettings = [this] { requests.push_back("settings"); };
        d.quit = [this] { requests.push_back("quit"); };
        d.revealModifierHeld = [this] { return altHeld; };
        d.settingsUpdate = [this](const StatusFile*, const DaemonState&) {
            ++polls;
            requests.push_back("poll");
        };
        const StartAtLogin startAtLogin(autostartEntry(), home + "/bin/tessaly-menubar");
        d.startsAtLogin = [startAtLogin] { return std::optional(startAtLogin.isEnabled()); };
        d.setStartAtLogin = [this, startAtLogin](bool enabled) {
            requests.push_back(enabled ? "start at login" : "no start at login");
            startAtLogin.setEnabled(enabled);
        };
        return d;
    }

    std::string autostartEntry() const { return home + "/autostart/dev.tessaly.Menubar.desktop"; }

    // Written beside and renamed into place, as the daemon does.
    void write(const std::string& text) {
        const std::string temporary = statusPath + ".tmp";
        std::ofstream(temporary) << text;
        std::filesystem::rename(temporary, statusPath);
    }
    // A controller over this home after its first poll, as the app starts one.
    std::unique_ptr<StatusMenuController> started(const char* file = nullptr) {
        if (file)
            write(file);
        auto controller = std::make_unique<StatusMenuController>(statusPath, dependencies());
        controller->start();
        return controller;
    }
    void installUnit() {
        std::filesystem::create_directories(home + "/.config/systemd/user");
        std::ofstream(home + "/.config/systemd/user/tessaly.service") << "[Service]\n";
    }
};

// The lines of a text file; none when there is no such file.
inline QStringList linesOf(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Sends fd 2, where the app's log goes, to a file for as long as it lives.
class LogCapture {
public:
    LogCapture() {
        file.open();
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~LogCapture() {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QStringList lines() const { return linesOf(file.fileName()); }

private:
    QTemporaryFile file;
    int saved = ::dup(STDERR_FILENO);
};

// Each item's text, "---" for a separator.
inline QStringList titles(const QMenu* menu) {
    QStringList result;
    for (const QAction* action : menu->actions())
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

// The item titled `title`, or, by `prefix`, whose title starts with it: a narrow
// screen elides the end of a long title.
inline QAction* item(const QMenu* menu, const QString& title, bool prefix = false) {
    for (QAction* action : menu->actions())
        if (prefix ? action->text().startsWith(title) : action->text() == title)
            return action;
    return nullptr;
}

} // namespace status_menu_test
