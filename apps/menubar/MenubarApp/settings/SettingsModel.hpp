#pragma once

// The one observable state behind the settings window: where the load and the
// last save stand, the editable form, and what the latest status file says
// about the running daemon. It lives as long as the process (also while no
// window is open) and is fed every poll by the status menu controller.
//
// `changed` is emitted once per operation, and only when some property took a
// different value, so a poll that repeats the previous status redraws nothing.
// `formReplaced` is emitted when a load brings a new form (or drops it): the
// only time the view rebuilds its rows. Every rule comes from the core
// (SettingsPhase, SaveState, ConfigLocation, SaveReport, SettingsForm, SavePipeline,
// ConfigNotices); this class holds
// the state, runs the child processes off the GUI thread and hands results
// back on it. Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "app/system/DaemonService.hpp"
#include "settings/SaveSettings.hpp"
#include "settings/SaveState.hpp"
#include "settings/SettingsForm.hpp"
#include "settings/SettingsPhase.hpp"
#include "status/ConfigNotices.hpp"
#include "status/DaemonState.hpp"
#include "status/Models.hpp"
#include "system/DaemonCommand.hpp"

namespace menubar::app {

struct CommandResult;

// What the model reaches outside the process; tests stand in for each.
struct SettingsModelDependencies {
    std::string home;
    std::function<std::map<std::string, std::string>()> environment;
    std::function<Instant()> now;
    // Finds the daemon's command line and restarts the daemon.
    std::shared_ptr<const DaemonService> service;

    // The real home, process environment, clock and the platform's service.
    static SettingsModelDependencies system();
};

class SettingsModel : public QObject {
    Q_OBJECT

public:
    using SaveCompletion = std::function<void(const SaveOutcome&)>;

    explicit SettingsModel(
        SettingsModelDependencies dependencies = SettingsModelDependencies::system(),
        QObject* parent = nullptr);
    ~SettingsModel() override;

    const SettingsPhase& phase() const { return phase_; }
    // The form once loaded; null while loading and after a failed load.
    const SettingsForm* form() const { return form_ ? &*form_ : nullptr; }
    const std::string& configPath() const { return configPath_; }
    bool configFileExists() const { return configFileExists_; }
    const SaveState& saveState() const { return saveState_; }
    const std::vector<std::string>& generalErrors() const { return generalErrors_; }
    bool restartNeeded() const { return restartNeeded_; }
    const std::optional<ConfigNotice>& configErrorNotice() const { return configErrorNotice_; }
    const std::optional<JSONObject>& liveSettings() const { return liveSettings_; }
    bool isDaemonInstalled() const { return service_.installed; }
    const ServiceControls& service() const { return service_; }

    const StatusFile* status() const { return status_ ? &*status_ : nullptr; }
    const std::optional<DaemonCommand>& command() const { return command_; }
    const SettingsModelDependencies& dependencies() const { return dependencies_; }
    // Runs once, after the next load that succeeds; a later call replaces it.
    void setAfterLoad(std::function<void()> action) { afterLoad_ = std::move(action); }

    // Starts (re)loading schema and config file; returns at once.
    void load();
    // Each poll: `status` is the decoded status file, or null.
    void update(const StatusFile* status, const DaemonState& state);

    bool canSave() const;
    std::optional<std::string> liveValue(const SettingField& field) const;

    // Starts a save on a worker; `completion` gets the outcome on the main thread,
    // also when the model is gone by then. Without a form or command nothing
    // happens and `completion` is not called.
    void save(SaveCompletion completion);
    void restartDaemon();
    void clearSavedMark();

    // Edits of the form; each is followed by clearSavedMark().
    void set(const std::string& name, const SettingValue& value);
    void setEditableText(const std::string& name, const std::string& text);
    void reset(const std::string& name);

signals:
    void changed();
    void formReplaced();

private:
    void finishLoad(const DaemonCommand& command, const CommandResult& result);
    void finishSave(const SaveOutcome& outcome, const std::optional<std::string>& written);
    void edit(const std::function<void(SettingsForm&)>& change);
    void replaceForm(std::optional<SettingsForm> form);

    // Assigns and remembers that something changed; `publish` emits once.
    template <typename T> void assign(T& property, T value) {
        if (!(property == value)) {
            property = std::move(value);
            pending_ = true;
        }
    }
    void publish();

    SettingsModelDependencies dependencies_;

    SettingsPhase phase_ = SettingsPhase::loading();
    std::optional<SettingsForm> form_;
    std::string configPath_;
    bool configFileExists_ = false;
    SaveState saveState_ = SaveState::idle();
    std::vector<std::string> generalErrors_;
    bool restartNeeded_ = false;
    std::optional<ConfigNotice> configErrorNotice_;
    std::optional<JSONObject> liveSettings_;
    ServiceControls service_;

    std::optional<StatusFile> status_;
    std::function<void()> afterLoad_;
    std::optional<DaemonCommand> command_;
    // What the form was loaded from, so a save never overwrites someone else's change.
    LoadedFile loaded_ = LoadedFile::absent();
    bool pending_ = false;
};

} // namespace menubar::app
