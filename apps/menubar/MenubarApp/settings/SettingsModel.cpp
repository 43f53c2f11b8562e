#include "SettingsModel.hpp"

#include <set>

#include <QPointer>

#include "app/system/CommandRunner.hpp"
#include "app/system/DaemonConfig.hpp"
#include "app/system/Log.hpp"
#include "app/system/ProcessEnvironment.hpp"
#include "settings/ConfigLocation.hpp"
#include "settings/SaveReport.hpp"
#include "settings/SettingRowText.hpp"
#include "settings/SettingsSchema.hpp"
#include "system/FailureNotice.hpp"
#include "system/FileSystem.hpp"

namespace menubar::app {

namespace {

// A config file is a few kilobytes; anything this large is not one.
constexpr std::uint64_t configSizeLimit = 16 << 20;

std::map<std::string, ConfigSource> sourcesOf(const StatusFile* status) {
    return status != nullptr && status->configSources ? *status->configSources
                                                      : std::map<std::string, ConfigSource>();
}

} // namespace

SettingsModelDependencies SettingsModelDependencies::system() {
    SettingsModelDependencies dependencies;
    dependencies.home = homeDirectory();
    dependencies.environment = processEnvironment;
    dependencies.now = [] { return currentInstant(); };
    dependencies.service = DaemonService::forThisSystem(dependencies.home);
    return dependencies;
}

SettingsModel::SettingsModel(SettingsModelDependencies dependencies, QObject* parent)
    : QObject(parent), dependencies_(std::move(dependencies)) {
    configPath_ =
        ConfigLocation::defaultConfigPath(dependencies_.environment(), dependencies_.home, nullptr);
    service_ = dependencies_.service->controls();
}

SettingsModel::~SettingsModel() = default;

void SettingsModel::publish() {
    if (pending_) {
        pending_ = false;
        emit changed();
    }
}

void SettingsModel::replaceForm(std::optional<SettingsForm> form) {
    const bool hadForm = form_.has_value();
    form_ = std::move(form);
    pending_ = true;
    if (hadForm || form_)
        emit formReplaced();
}

void SettingsModel::load() {
    assign(phase_, SettingsPhase::loading());
    if (form_)
        replaceForm(std::nullopt);
    assign(saveState_, SaveState::idle());
    assign(generalErrors_, {});
    const auto environment = dependencies_.environment();
    assign(configPath_,
           ConfigLocation::defaultConfigPath(environment, dependencies_.home, status()));

    const auto command = dependencies_.service->locate(environment);
    if (!command) {
        assign(phase_, SettingsPhase::commandNotFound());
        publish();
        return;
    }
    command_ = command;
    publish();
    DaemonConfig::loadSchema(
        *command, [self = QPointer(this), command = *command](const CommandResult& result) {
            if (self)
                self->finishLoad(command, result);
        });
}

void SettingsModel::finishLoad(const DaemonCommand& command, const CommandResult& result) {
    const std::string description = command.describe(DaemonCommand::configSchemaArguments());
    if (!result.succeeded()) {
        assign(phase_, SettingsPhase::schemaRunFailed(description, result.outcome()));
        publish();
        return;
    }
    std::optional<SettingsSchema> schema;
    try {
        schema = SettingsSchema::decode(result.standardOutput);
    } catch (const std::exception& error) {
        assign(phase_, SettingsPhase::schemaUnreadable(description, error.what()));
        publish();
        return;
    }

    JSONObject file;
    const FileSystem files = FileSystem::real();
    const bool exists = files.exists(configPath_);
    assign(configFileExists_, exists);
    LoadedFile loaded = LoadedFile::absent();
    if (exists) {
        std::string failure;
        const auto read = files.readFile(configPath_, configSizeLimit);
        if (const auto* bytes = std::get_if<std::string>(&read)) {
            try {
                file = SettingsForm::parseFile(*bytes);
                loaded = LoadedFile::bytes(*bytes);
            } catch (const std::exception& error) {
                failure = error.what();
            }
        } else if (const auto* error = std::get_if<FileReadError>(&read)) {
            failure = error->message;
        } else {
            failure = "the file is larger than " + std::to_string(configSizeLimit) + " bytes";
        }
        if (!failure.empty()) {
            assign(phase_, SettingsPhase::configUnreadable(configPath_, failure));
            publish();
            return;
        }
    }

    SettingsForm form(std::move(*schema), file);
    form.applySources(sourcesOf(status()));
    loaded_ = std::move(loaded);
    replaceForm(std::move(form));
    assign(phase_, SettingsPhase::loaded());
    publish();

    if (afterLoad_) {
        const auto action = std::move(afterLoad_);
        afterLoad_ = nullptr;
        action();
    }
}

void SettingsModel::update(const StatusFile* status, const DaemonState& state) {
    status_ = status != nullptr ? std::optional<StatusFile>(*status) : std::nullopt;
    const auto notices = ConfigNotices::notices(status, state);
    bool restart = false;
    std::optional<ConfigNotice> configError;
    for (const auto& notice : notices) {
        if (notice.kind() == ConfigNotice::Kind::restartNeeded)
            restart = true;
        else if (!configError)
            configError = notice;
    }
    assign(restartNeeded_, restart);
    assign(configErrorNotice_, configError);
    std::optional<JSONObject> live;
    if (status != nullptr && status->config && status->config->settings)
        live = *status->config->settings;
    assign(liveSettings_, live);
    assign(service_, dependencies_.service->controls());

    if (form_) {
        const std::set<std::string> locked =
            status != nullptr ? status->flagLockedSettings() : std::set<std::string>();
        std::set<std::string> shown;
        for (const auto& field : form_->fields())
            if (field.isLockedByFlag)
                shown.insert(field.name());
        if (locked != shown) {
            form_->applySources(sourcesOf(status));
            pending_ = true;
        }
    }
    publish();
}

bool SettingsModel::canSave() const {
    return menubar::canSave(phase_, form(), saveState_);
}

std::optional<std::string> SettingsModel::liveValue(const SettingField& field) const {
    return SettingRowText::liveValue(liveSettings_, field);
}

void SettingsModel::save(SaveCompletion completion) {
    if (!form_ || !command_)
        return;
    assign(saveState_, SaveState::saving());
    assign(generalErrors_, {});
    publish();

    CommandRunner::runInBackground([self = QPointer(this), form = *form_, path = configPath_,
                                    command = *command_, loaded = loaded_,
                                    completion = std::move(completion)] {
        const auto environment = SaveEnvironment::files([&command](const std::string& candidate) {
            return DaemonConfig::validate(command, candidate).outcome();
        });
        const SaveOutcome outcome = SavePipeline::save(form, path, loaded, environment);
        std::optional<std::string> written;
        if (outcome.isSaved()) {
            try {
                written = form.serializedData();
            } catch (const std::exception&) {
                // Cannot happen after a save that wrote these very bytes.
            }
        }
        CommandRunner::runOnMainThread([self, outcome, written, completion] {
            if (self)
                self->finishSave(outcome, written);
            if (completion)
                completion(outcome);
        });
    });
}

void SettingsModel::finishSave(const SaveOutcome& outcome,
                               const std::optional<std::string>& written) {
    const SaveReport report = SaveReport::of(outcome, configPath_);
    log(report.logLine);
    if (const auto* rejected = std::get_if<SaveOutcome::Rejected>(&outcome.value())) {
        if (form_)
            form_->applyErrors(rejected->fields);
        pending_ = true;
        assign(generalErrors_, rejected->general);
    }
    if (outcome.isSaved()) {
        if (form_)
            form_->markSaved();
        pending_ = true;
        assign(configFileExists_, true);
        if (written)
            loaded_ = LoadedFile::bytes(*written);
        assign(saveState_, SaveState::saved(dependencies_.now()));
    } else {
        assign(saveState_, SaveState::failed(report.failure.value_or(std::string())));
    }
    publish();
}

void SettingsModel::restartDaemon() {
    assign(saveState_, SaveState::restarting());
    publish();
    const ServiceManager manager = dependencies_.service->controls().manager;
    dependencies_.service->restart([self = QPointer(this), manager](const CommandResult& result) {
        if (self) {
            // A refused restart stays in the footer instead of the advice to restart.
            const auto failure =
                FailureNotices::serviceRequest(manager, ServiceRequest::restart, result.outcome());
            self->assign(self->saveState_,
                         failure ? SaveState::failed(failure->line()) : SaveState::idle());
            self->publish();
        }
    });
}

void SettingsModel::clearSavedMark() {
    if (saveState_.kind() == SaveState::Kind::saved) {
        assign(saveState_, SaveState::idle());
        publish();
    }
}

void SettingsModel::edit(const std::function<void(SettingsForm&)>& change) {
    if (form_) {
        const SettingsForm before = *form_;
        change(*form_);
        if (!(*form_ == before))
            pending_ = true;
        // Like the fields' daemon errors, which the form drops on an edit: the
        // daemon judged the file as it was.
        assign(generalErrors_, {});
    }
    // One redraw for the edit and the dropped "saved" mark together.
    if (saveState_.kind() == SaveState::Kind::saved)
        assign(saveState_, SaveState::idle());
    publish();
}

void SettingsModel::set(const std::string& name, const SettingValue& value) {
    edit([&](SettingsForm& form) { form.set(name, value); });
}

void SettingsModel::setEditableText(const std::string& name, const std::string& text) {
    edit([&](SettingsForm& form) { form.setEditableText(name, text); });
}

void SettingsModel::reset(const std::string& name) {
    edit([&](SettingsForm& form) { form.reset(name); });
}

} // namespace menubar::app
