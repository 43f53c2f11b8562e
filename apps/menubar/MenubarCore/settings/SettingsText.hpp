#pragma once

// The settings window's rules as values and pure functions: where a load and a
// save stand, every text the window shows for them, the log line of each save
// outcome, the row texts and enabled rules, and the edits of the list and
// multiple-choice controls. The Qt model and views only hold state and draw
// what these give; nothing here reads the clock, the disk or the environment.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "SaveSettings.hpp"
#include "SettingsForm.hpp"
#include "status/Models.hpp"
#include "system/CommandOutcome.hpp"
#include "system/ServiceManager.hpp"
#include "system/TimeZone.hpp"
#include "json/JSONValue.hpp"

namespace menubar {

// Where loading the schema and the config file stands.
class SettingsPhase {
public:
    enum class Kind { loading, loaded, failed };
    struct Failed {
        std::string title;  // one line
        std::string detail; // may span several lines
        bool operator==(const Failed&) const = default;
    };

    static SettingsPhase loading() { return SettingsPhase(Kind::loading, {}); }
    static SettingsPhase loaded() { return SettingsPhase(Kind::loaded, {}); }
    static SettingsPhase failed(std::string title, std::string detail) {
        return SettingsPhase(Kind::failed, Failed{std::move(title), std::move(detail)});
    }

    Kind kind() const { return kind_; }
    // The title and detail of a failed load; null otherwise.
    const Failed* failure() const { return kind_ == Kind::failed ? &failed_ : nullptr; }

    bool operator==(const SettingsPhase&) const = default;

private:
    SettingsPhase(Kind kind, Failed failed) : kind_(kind), failed_(std::move(failed)) {}
    Kind kind_;
    Failed failed_;
};

// Where the last save stands.
class SaveState {
public:
    enum class Kind { idle, saving, saved, failed, restarting };
    static SaveState idle() { return SaveState(Kind::idle, {}, {}); }
    static SaveState saving() { return SaveState(Kind::saving, {}, {}); }
    static SaveState saved(Instant at) { return SaveState(Kind::saved, at, {}); }
    static SaveState failed(std::string message) {
        return SaveState(Kind::failed, {}, std::move(message));
    }
    static SaveState restarting() { return SaveState(Kind::restarting, {}, {}); }

    Kind kind() const { return kind_; }
    // When a `saved` state was reached; meaningless for other kinds.
    Instant savedAt() const { return at_; }
    // The message of a `failed` state; empty for other kinds.
    const std::string& message() const { return message_; }

    bool operator==(const SaveState&) const = default;

private:
    SaveState(Kind kind, Instant at, std::string message)
        : kind_(kind), at_(at), message_(std::move(message)) {}
    Kind kind_;
    Instant at_{};
    std::string message_;
};

namespace SettingsText {

using Environment = std::map<std::string, std::string>;

inline constexpr std::string_view configFileKey = "TESSALY_CONFIG_FILE";
inline constexpr std::string_view saveOnOpenKey = "TESSALY_MENUBAR_SAVE_ON_OPEN";
inline constexpr std::string_view saveOnOpenSetting = "warn-context";
inline constexpr double saveOnOpenValue = 45;

inline constexpr std::string_view windowTitle = "tessaly Settings";
inline constexpr std::string_view loadingText = "Loading settings from the daemon";
inline constexpr std::string_view tryAgainTitle = "Try again";
inline constexpr std::string_view configErrorBanner =
    "The daemon ignored the config file and is running on flags and defaults";
inline constexpr std::string_view restartNeededBanner =
    "The config file changed after the daemon read it. Restart the daemon to apply the change.";
inline constexpr std::string_view restartButtonTitle = "Restart daemon";
inline constexpr std::string_view cancelTitle = "Cancel";
inline constexpr std::string_view saveTitle = "Save";
inline constexpr std::string_view saveHelp =
    "Validate through the daemon and write the config file (Cmd-S)";
inline constexpr std::string_view restartOfferTitle = "Settings saved";
inline constexpr std::string_view restartOfferText =
    "The daemon reads the config file when it starts. Restart it now to apply the change?";
inline constexpr std::string_view restartOfferConfirm = "Restart Daemon";
inline constexpr std::string_view restartOfferLater = "Later";
inline constexpr std::string_view saveOnOpenIgnored =
    "TESSALY_MENUBAR_SAVE_ON_OPEN ignored: set TESSALY_CONFIG_FILE to a scratch file first";

// TESSALY_CONFIG_FILE when set and not empty (a leading tilde is the home
// directory), else the path the running daemon reports, else the usual place.
std::string defaultConfigPath(const Environment& environment, const std::string& home,
                              const StatusFile* status);

// The failed phases of a load, each with its fixed title.
SettingsPhase commandNotFound();
// `description` is the command as the user could type it; `result` a run that
// did not exit with 0.
SettingsPhase schemaRunFailed(const std::string& description, const CommandOutcome& result);
SettingsPhase schemaUnreadable(const std::string& description, const std::string& error);
SettingsPhase configUnreadable(const std::string& path, const std::string& error);

// Save is offered only for a loaded, changed, locally valid form and while no
// save or restart is under way.
bool canSave(const SettingsPhase& phase, const SettingsForm* form, const SaveState& saveState);

// What a finished save means for the window: the failure message for the
// status line (nothing after `saved`) and the one log line about it.
struct SaveReport {
    std::optional<std::string> failure;
    std::string logLine;
    bool operator==(const SaveReport&) const = default;
};
SaveReport report(const SaveOutcome& outcome, const std::string& configPath);

// Collections and outcomes as log lines write them: ["a": "b"], [:], ["x", "y"],
// rejected(fields: [...], general: [...]). Texts are quoted and escaped.
std::string describe(const std::map<std::string, std::string>& map);
std::string describe(const std::vector<std::string>& list);
std::string describe(const SaveOutcome& outcome);

// The footer's two lines and the restart button's help. The footer describes
// the window as it is: while no form is shown (loading, or a failed load)
// nothing is being edited and there is nothing to save.
std::string fileLine(bool formShown, bool configFileExists, const std::string& configPath);
std::string statusLine(bool formShown, const SaveState& saveState, bool restartNeeded,
                       bool daemonInstalled, const TimeZone& timeZone);
// The restart button's tooltip: how the service manager makes the daemon read its
// config file again, or how to install it.
std::string restartHelp(const ServiceControls& service);
// The warning above the groups, or nothing when every key is known.
std::optional<std::string> unknownKeysNotice(const std::vector<std::string>& unknownKeys);

std::string saveOnOpenLine(const std::string& configPath);

// Row texts and rules.
std::string sourceText(const SettingField& field);
bool canReset(const SettingField& field);
std::string resetHelp(const SettingField& field);
std::string pathPlaceholder(const SettingField& field);
// "Default: ..." under an empty multi-line editor, when there is a default.
std::optional<std::string> multilineDefault(const SettingField& field);
std::string unknownKindNote(const SettingControl& control);
inline constexpr std::string_view prefixHelp =
    "Every message starts with this prefix; it is added for you.";
// A setting's effective value as the daemon reports it, in the form its control shows.
std::string liveValue(const JSONValue& value, const SettingControl& control);
// What the running daemon uses for the field, when it reports that setting.
std::optional<std::string> liveValue(const std::optional<JSONObject>& liveSettings,
                                     const SettingField& field);
std::string liveLine(const std::string& liveValue);

// A control reads the field anew by name each time; an absent form or name
// reads as false, 0 or empty.
bool boolValue(const SettingsForm* form, std::string_view name);
double numberValue(const SettingsForm* form, std::string_view name);
std::string textValue(const SettingsForm* form, std::string_view name);
std::string editableText(const SettingsForm* form, std::string_view name);
std::vector<std::string> listValue(const SettingsForm* form, std::string_view name);

// The stepper's closed range; a maximum below the minimum is raised to it so
// the control always has a range.
struct StepperRange {
    double min;
    double max;
    bool operator==(const StepperRange&) const = default;
};
StepperRange stepperRange(const SettingSpec& spec);
// One step up (+1) or down (-1), kept inside the range.
double stepped(double value, int direction, const SettingSpec& spec);

// Whether the choice is ticked, and the list after ticking or unticking it: the
// schema's values in schema order, so values the schema does not offer drop out.
bool isMember(const SettingValue& value, const std::string& choice);
std::vector<std::string> toggledMember(const SettingSpec& spec, const SettingValue& value,
                                       const std::string& choice, bool on);

// The list control's edits; a position outside the list leaves it unchanged.
namespace ListEdit {
std::vector<std::string> typed(std::vector<std::string> items, std::size_t index,
                               const std::string& text);
std::vector<std::string> removed(std::vector<std::string> items, std::size_t index);
std::vector<std::string> added(std::vector<std::string> items);
// "Item 1" for the first position (counted from zero).
std::string placeholder(std::size_t index);
} // namespace ListEdit

// What a screen reader says for the controls that show no label of their own,
// and the reset button's description; `label` is the setting's.
namespace Spoken {
std::string step(const std::string& label, int direction);           // "Increase Warn context"
std::string listItem(const std::string& label, std::size_t index);   // "Ignore dirs, item 1"
std::string removeItem(const std::string& label, std::size_t index); // counted from zero
std::string addItem(const std::string& label);
std::string reset(const std::string& label, const std::string& resetHelp);
} // namespace Spoken

} // namespace SettingsText

} // namespace menubar
