#pragma once

// A temporary home for the status menu controller's tests: the status file the
// daemon would write, a fixed clock and zone, a scratch defaults file, and every
// outside command stood in for and recorded.

#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "StatusMenuController.hpp"

namespace status_menu_test {

using namespace menubar;
using namespace menubar::app;

inline Instant at(const char* text) {
    return *StatusDecoder::parseDate(text);
}

struct Harness {
    QTemporaryDir dir;
    std::string home = dir.path().toStdString();
    std::string statusPath = home + "/status.json";
    Instant now = at("2025-06-01T12:00:00Z");
    std::map<std::string, std::string> environment;
    VisibilityReading reading{.onscreen = true, .width = 22};
    int probes = 0;
    int polls = 0;
    std::vector<std::string> focused;
    std::vector<std::string> daemonCommands;
    std::vector<std::string> notified;
    std::vector<std::string> opened;
    std::vector<std::string> revealed;
    bool altHeld = false;

    StatusMenuDependencies dependencies() {
        StatusMenuDependencies d = StatusMenuDependencies::system(home);
        d.now = [this] { return now; };
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
            done();
        };
        d.startDaemon = [this](Done done) {
            daemonCommands.push_back("start");
            done();
        };
        d.stopDaemon = [this](Done done) {
            daemonCommands.push_back("stop");
            done();
        };
        d.notify = [this](const std::string& title, const std::string&) {
            notified.push_back(title);
        };
        d.open = [this](const std::string& path) { opened.push_back(path); };
        d.reveal = [this](const std::string& path) { revealed.push_back(path); };
        d.revealModifierHeld = [this] { return altHeld; };
        d.settingsUpdate = [this](const StatusFile*, const DaemonState&) { ++polls; };
        return d;
    }

    // Written beside and renamed into place, as the daemon does.
    void write(const std::string& text) {
        const std::string temporary = statusPath + ".tmp";
        std::ofstream(temporary) << text;
        std::filesystem::rename(temporary, statusPath);
    }
    void installLaunchAgent() {
        std::filesystem::create_directories(home + "/Library/LaunchAgents");
        std::ofstream(home + "/Library/LaunchAgents/dev.tessaly.daemon.plist") << "<plist/>";
    }
};

} // namespace status_menu_test
