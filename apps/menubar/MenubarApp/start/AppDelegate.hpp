#pragma once

// Wires the application up at launch and winds it down at termination. Launch,
// in order: read the environment, locate the status file, log "watching <path>"
// (the first line the app writes), install the main menu, create and start the
// one StatusMenuController, and open the settings window when
// TESSALY_MENUBAR_OPEN_SETTINGS is exactly "1". Termination stops the poll timer
// and leaves everything else (the status file, the daemon, child processes)
// alone. The delegate holds the only strong reference to the controller.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QObject>
#include <QPointer>

#include "app/tray/MachinesMonitor.hpp"
#include "app/tray/MachinesWindow.hpp"
#include "app/tray/StatusMenuController.hpp"

namespace menubar::app {

class AppDelegate : public QObject {
    Q_OBJECT

public:
    using Environment = std::map<std::string, std::string>;
    // Builds the controller's outside connections for a home directory; tests
    // pass stand-ins, the app StatusMenuDependencies::system.
    using DependenciesFactory = std::function<StatusMenuDependencies(const std::string& home)>;

    static constexpr const char* openSettingsKey = "TESSALY_MENUBAR_OPEN_SETTINGS";

    // `settingsWindow` opens the settings window; until that window exists the
    // app passes nothing and the request is dropped.
    explicit AppDelegate(DependenciesFactory dependencies = StatusMenuDependencies::system,
                         std::function<void()> settingsWindow = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching(const Environment& environment, const std::string& home);
    void applicationWillTerminate();

    // Every way of opening the settings window ends here: the menus and the
    // launch variable.
    void showSettingsWindow();
    // The status menu as a window (`--window`); the app opens it by itself on a
    // desktop without a tray.
    void showStatusWindow();
    // "Machines…": the list of other machines, raised when already open.
    void showMachinesWindow();

    // What a second start of the app asks for: the menu pops up at the status
    // item, or, with no tray to hold one, the status window opens.
    void showYourself();

    StatusMenuController* controller() const { return controller_.get(); }
    MachinesMonitor* machines() const { return machines_; }

private:
    DependenciesFactory dependencies_;
    std::function<void()> settingsWindow_;
    std::unique_ptr<StatusMenuController> controller_;
    MachinesMonitor* machines_ = nullptr;
    QPointer<MachinesWindow> machinesWindow_;
};

} // namespace menubar::app
