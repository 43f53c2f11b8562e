#include "AppDelegate.hpp"

#include <QMenu>

#include "app/system/Log.hpp"
#include "app/system/MainMenu.hpp"
#include "status/StatusDecoder.hpp"

namespace menubar::app {

AppDelegate::AppDelegate(DependenciesFactory dependencies, std::function<void()> settingsWindow,
                         QObject* parent)
    : QObject(parent), dependencies_(std::move(dependencies)),
      settingsWindow_(std::move(settingsWindow)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(const Environment& environment,
                                                const std::string& home) {
    const std::string statusPath = StatusFileLocator::path(environment, home);
    log("watching " + statusPath);
    MainMenu::install([this] { showSettingsWindow(); });

    StatusMenuDependencies dependencies = dependencies_(home);
    dependencies.showSettings = [this] { showSettingsWindow(); };
    machines_ = new MachinesMonitor(MachinesMonitor::system(environment, home), this);
    machines_->attach(dependencies, [this] { showMachinesWindow(); });
    controller_ = std::make_unique<StatusMenuController>(statusPath, std::move(dependencies));
    // Each machine's answer redraws at once; opening the menu asks every machine again.
    connect(machines_, &MachinesMonitor::changed, controller_.get(),
            &StatusMenuController::refresh);
    connect(controller_->menu(), &QMenu::aboutToShow, machines_, &MachinesMonitor::retryNow);
    machines_->start();
    controller_->start();

    const auto openSettings = environment.find(openSettingsKey);
    if (openSettings != environment.end() && openSettings->second == "1") {
        showSettingsWindow();
    }
}

void AppDelegate::applicationWillTerminate() {
    if (controller_) {
        controller_->stopTimer();
    }
}

void AppDelegate::showYourself() {
    if (controller_ && controller_->popUpMenu()) {
        return;
    }
    // No tray to pop a menu from: the status window is the app's face then.
    showStatusWindow();
}

void AppDelegate::showSettingsWindow() {
    if (settingsWindow_) {
        settingsWindow_();
    }
    // The window's model is made with it and learns the daemon's state from a poll.
    if (controller_) {
        controller_->refresh();
    }
}

} // namespace menubar::app

namespace menubar::app {

void AppDelegate::showMachinesWindow() {
    if (!machinesWindow_) {
        machinesWindow_ = new MachinesWindow(*machines_);
        machinesWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    machinesWindow_->showList();
    machinesWindow_->show();
    machinesWindow_->raise();
    machinesWindow_->activateWindow();
}

void AppDelegate::showStatusWindow() {
    if (controller_) {
        controller_->showStatusWindow();
    }
}

} // namespace menubar::app
