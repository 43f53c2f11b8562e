#pragma once

// The one settings window of the process and the model behind it. The model is
// created with the controller and outlives every window; the window exists only
// while it is open. `show()` brings an open window forward untouched, or builds
// a new one and reloads schema and config file (so unsaved edits of a closed
// window are gone). Closing is never refused; a save that is still running
// finishes and updates the model.
//
// The save-on-open hook (TESSALY_MENUBAR_SAVE_ON_OPEN=1, only together with
// TESSALY_CONFIG_FILE so the user's real file is never touched) sets
// "warn-context" to 45 after the next load and saves, for runs without anyone
// at the keyboard. Main thread only.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "SettingsModel.hpp"
#include "SettingsView.hpp"

class QMessageBox;

namespace menubar::app {

class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    // The process's controller, created on first use and kept until the
    // application object goes.
    static SettingsWindowController& shared();
    // The shared controller if something made it already, else null: most runs
    // never open the settings window and need neither it nor its model.
    static SettingsWindowController* existing();

    explicit SettingsWindowController(
        SettingsModelDependencies dependencies = SettingsModelDependencies::system(),
        QObject* parent = nullptr);
    ~SettingsWindowController() override;

    void show();

    // Validates and writes through the model; logs the outcome and, when asked
    // and saved, offers to restart the daemon.
    void save(bool offerRestart);
    // The "Settings saved" sheet, when the window is open and the daemon installed.
    void offerRestart();

    SettingsModel* model() const { return model_; }
    QWidget* window() const { return window_; }
    SettingsView* view() const { return view_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createWindow();
    void installSaveOnOpenHook();

    SettingsModel* model_;
    QPointer<QWidget> window_;
    QPointer<SettingsView> view_;
};

} // namespace menubar::app
