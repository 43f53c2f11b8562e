#pragma once

// A temporary home for settings tests: the stand-in daemon as TESSALY_CLI, a
// scratch config file, small scripts standing in for a broken daemon, and a
// launch agent that restarts nothing but counts.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "DaemonService.hpp"
#include "LaunchAgentCommand.hpp"
#include "SettingsModel.hpp"

namespace settings_test {

// The launch agent of a scratch home, whose restarts are only counted.
struct CountingAgent : menubar::app::LaunchdService {
    int* restarts;
    CountingAgent(const std::string& home, int* restarts)
        : LaunchdService({.home = home}), restarts(restarts) {}
    void restart(Done done) const override {
        ++*restarts;
        done();
    }
};

inline const std::string standIn = MENUBAR_BINARY_DIR "/tools/tessaly-sim/tessaly";

struct Home {
    QTemporaryDir dir;
    std::string home = dir.path().toStdString();
    std::string configPath = home + "/scratch/config.json";
    std::map<std::string, std::string> environment{
        {"TESSALY_CLI", standIn},
        {"TESSALY_CONFIG_FILE", configPath},
        {"PATH", home + "/bin"},
    };
    int restarts = 0;

    void writeConfig(const std::string& text) const {
        std::filesystem::create_directories(home + "/scratch");
        std::ofstream(configPath, std::ios::binary) << text;
    }
    std::string readConfig() const {
        std::ifstream in(configPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // An executable shell script under the home; its path.
    std::string script(const std::string& name, const std::string& body) const {
        const std::string path = home + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
    void installAgent() const {
        const std::string plist = menubar::launchAgentPlistPath(home);
        std::filesystem::create_directories(std::filesystem::path(plist).parent_path());
        std::ofstream(plist) << "<plist/>";
    }

    menubar::app::SettingsModelDependencies dependencies() {
        return {
            .home = home,
            .environment = [this] { return environment; },
            .now = [] { return menubar::Instant(std::chrono::seconds(1'700'000'000)); },
            .service = std::make_shared<CountingAgent>(home, &restarts),
        };
    }
};

inline bool finishedLoading(const menubar::app::SettingsModel& model) {
    return model.phase().kind() != menubar::SettingsPhase::Kind::loading;
}

inline bool finishedSaving(const menubar::app::SettingsModel& model) {
    return model.saveState().kind() != menubar::SaveState::Kind::saving;
}

// Starts a load and waits for the daemon's answers; whether they came.
inline bool load(menubar::app::SettingsModel& model) {
    model.load();
    return QTest::qWaitFor([&model] { return finishedLoading(model); }, 20000);
}

} // namespace settings_test
