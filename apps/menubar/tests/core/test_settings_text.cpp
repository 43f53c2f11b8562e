#include <limits>

#include <gtest/gtest.h>

#include "settings/ConfigLocation.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SaveReport.hpp"
#include "settings/SaveState.hpp"
#include "settings/SettingRowText.hpp"
#include "settings/SettingsWindowText.hpp"
#include "settings/WindowPlacement.hpp"

using namespace menubar;
using namespace menubar::ConfigLocation;
using namespace menubar::FieldEditing;
using namespace menubar::SaveLog;
using namespace menubar::SettingRowText;
using namespace menubar::SettingsWindowText;
using Strings = std::vector<std::string>;

namespace {

SettingSpec spec(const char* name, const char* control, SettingSpec base = {}) {
    base.name = name;
    base.control = SettingControl::fromName(control);
    return base;
}

SettingsForm formOf(std::vector<SettingSpec> specs, const std::string& file = "{}") {
    return SettingsForm(SettingsSchema{.groups = {SettingsGroup{.id = "g", .settings = specs}}},
                        SettingsForm::parseFile(file));
}

} // namespace

TEST(SettingsText, ConfigPathPrefersTheVariableThenTheDaemonsPathThenTheUsualPlace) {
    const StatusFile reported{.configFile = ConfigFileStatus{.path = "/etc/tessaly.json"}};
    const StatusFile emptyPath{.configFile = ConfigFileStatus{.path = ""}};
    const std::tuple<Environment, const StatusFile*, const char*> cases[] = {
        {{{"TESSALY_CONFIG_FILE", "~/scratch/c.json"}}, &reported, "/home/u/scratch/c.json"},
        {{{"TESSALY_CONFIG_FILE", ""}}, &reported, "/etc/tessaly.json"},
        {{}, &emptyPath, "/home/u/.config/tessaly/config.json"},
    };
    for (const auto& [environment, status, expected] : cases)
        EXPECT_EQ(defaultConfigPath(environment, "/home/u", status), expected);
}

// The app's end-to-end script pins the log lines of a save that succeeds.
TEST(SettingsText, EachSaveOutcomeHasItsMessageAndLogLine) {
    const std::tuple<SaveOutcome, std::optional<std::string>, const char*> cases[] = {
        {SaveOutcome::invalidLocally({{"a", "Must be a number"}}),
         "Fix the highlighted fields first.",
         "settings not saved: local validation failed [\"a\": \"Must be a number\"]"},
        {SaveOutcome::rejected({{"warn", "w \"x\""}, {"crit", "c"}}, {"g1"}),
         "The daemon rejected the file; see crit, warn.",
         "settings rejected by config validate: fields=[\"crit\": \"c\", \"warn\": \"w "
         "\\\"x\\\"\"] "
         "general=[\"g1\"]"},
        {SaveOutcome::rejected({}, {}), "The daemon rejected the file.",
         "settings rejected by config validate: fields=[:] general=[]"},
        {SaveOutcome::commandFailed("no JSON"), "Could not run config validate: no JSON",
         "settings not saved: no JSON"},
        {SaveOutcome::writeFailed("disk full"), "Could not write /c.json: disk full",
         "settings not saved: disk full"},
    };
    for (const auto& [outcome, failure, log] : cases)
        EXPECT_EQ(SaveReport::of(outcome, "/c.json"), (SaveReport{failure, log}));
    EXPECT_EQ(describe(SaveOutcome::rejected({{"a", "m"}}, {})),
              "rejected(fields: [\"a\": \"m\"], general: [])");
}

TEST(SettingsText, StatusLineAndButtonsFollowTheSaveStateThenTheDaemon) {
    const TimeZone zone = TimeZone::fixedOffset(3600);
    const Instant at = std::chrono::sys_days{std::chrono::year{2024} / 5 / 6} +
                       std::chrono::hours(13) + std::chrono::minutes(4);
    const struct {
        SaveState state;
        bool restartNeeded, installed, formShown;
        const char* expected;
    } cases[] = {
        {SaveState::idle(), true, false, false, "Restart the daemon to apply the saved settings."},
        {SaveState::saved(at), true, true, true, "Saved at 14:04. Restart the daemon to apply."},
        {SaveState::restarting(), false, true, true, "Restarting the daemon..."},
    };
    for (const auto& row : cases)
        EXPECT_EQ(statusLine(row.formShown, row.state, row.restartNeeded, row.installed, zone),
                  row.expected);
    // The window's tests show Save off for an untouched form, for one with an error
    // and while saving, and on again after a failed save; here the other phases and states.
    SettingsForm edited = formOf({spec("n", "number")});
    edited.set("n", SettingValue::number(5));
    EXPECT_FALSE(canSave(SettingsPhase::loaded(), nullptr, SaveState::idle()));
    EXPECT_FALSE(canSave(SettingsPhase::loading(), &edited, SaveState::idle()));
    EXPECT_FALSE(canSave(SettingsPhase::loaded(), &edited, SaveState::restarting()));
    // The window's tests show a config file that cannot be read: no restart advised, none offered.
    EXPECT_TRUE(
        canRestart(SettingsPhase::schemaUnreadable("tessaly", "x"), SaveState::idle(), true));
    EXPECT_FALSE(canRestart(SettingsPhase::loaded(), SaveState::saving(), true));
    // The restart button's tooltip names the service manager that restarts.
    using menubar::ServiceManager;
    EXPECT_EQ(restartHelp({ServiceManager::systemd, true}),
              "Run systemctl --user restart tessaly.service so the daemon reads the config file "
              "again");
    EXPECT_EQ(restartHelp({ServiceManager::launchd, true}),
              "Run launchctl kickstart on the daemon so it reads the config file again");
}

// The window's tests show a reported value; these are the reports without one.
TEST(SettingsText, LiveValueByKindAndControl) {
    using K = SettingControl::Kind;
    const std::vector<std::tuple<std::string, K, std::string>> cases{
        {"true", K::toggle, "on"},
        {"false", K::toggle, "off"},
        {"90000", K::duration, "1m"},
        {"3", K::number, "3"},
        {R"("")", K::text, "empty"},
        {R"("a/b")", K::path, "a/b"},
        {"[]", K::list, "none"},
        {R"([1,"a",[]])", K::list, "1, a, []"},
        {R"({"k":2})", K::unknown, R"({"k":2})"},
        {"null", K::number, "not set"}};
    for (const auto& [json, kind, expected] : cases)
        EXPECT_EQ(liveValue(JSONValue::decode(json), SettingControl::known(kind)), expected)
            << json;
}

// Steppers, choices and list edits never leave their bounds.
TEST(SettingsText, StepperChoicesAndListEditsStayInBounds) {
    const SettingSpec percent = spec("p", "percent", {.min = 0, .max = 100});
    const SettingSpec upsideDown = spec("u", "number", {.min = 10, .max = 5});
    EXPECT_EQ(stepped(100, +1, percent), 100);
    EXPECT_EQ(stepped(0, -1, percent), 0);
    EXPECT_EQ(stepped(250, -1, percent), 100);
    EXPECT_EQ(stepperRange(upsideDown), (StepperRange{10, 10}));
    EXPECT_EQ(stepped(7, +1, upsideDown), 10);
    EXPECT_EQ(
        stepperRange(spec("o", "number")),
        (StepperRange{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max()}));

    // Ticking a choice keeps the schema's order and drops values it does not know.
    const SettingSpec choices = spec("m", "enum", {.values = {"a", "b", "c"}, .multiple = true});
    const auto current = SettingValue::list({"c", "a", "zz"});
    EXPECT_EQ(toggledMember(choices, current, "b", true), (Strings{"a", "b", "c"}));
    EXPECT_EQ(toggledMember(choices, current, "a", false), (Strings{"c"}));
    EXPECT_FALSE(isMember(SettingValue::text("a"), "a"));
    // The window's tests add, type into and remove list items within the list.
    const Strings three{"x", "y", "z"};
    EXPECT_EQ(ListEdit::removed(three, 3), three);
    EXPECT_EQ(ListEdit::typed(three, 5, "q"), three);
    EXPECT_EQ(ListEdit::placeholder(0), "Item 1");
}

// A list item just added is judged once the user leaves it (the window's tests
// show); meanwhile an empty item before it is still shown as the error.
TEST(SettingsText, FieldTextsAndBindingsTheWindowDoesNotShow) {
    SettingsForm form =
        formOf({spec("a", "duration", {.defaultValue = JSONValue::string("1m")}), spec("b", "path"),
                spec("t", "text", {.multiline = true, .defaultValue = JSONValue::string("# H\n")}),
                spec("u", "text", {.multiline = true}),
                spec("p", "text", {.requiredPrefix = "[t]"}), spec("l", "list")},
               R"({"p": "[t] hello"})");
    form.set("l", SettingValue::list({"", ""}));
    EXPECT_EQ(shownError(*form.field("l"), 1), "Item 1 is empty");
    EXPECT_EQ(resetHelp(*form.field("b")), "Remove the key from the file");
    EXPECT_EQ(pathPlaceholder(*form.field("a")), "1m");
    EXPECT_EQ(multilineDefault(*form.field("t")), std::nullopt); // the editor shows the default
    form.set("t", SettingValue::text(""));
    EXPECT_EQ(multilineDefault(*form.field("t")), "Default: # H\n");
    form.set("u", SettingValue::text(""));
    EXPECT_EQ(multilineDefault(*form.field("u")), std::nullopt);

    EXPECT_EQ(liveValue(std::nullopt, *form.field("a")), std::nullopt);
    EXPECT_EQ(liveValue(JSONObject{{"other", JSONValue::number(1)}}, *form.field("a")),
              std::nullopt);
    EXPECT_EQ(textValue(&form, "p"), "[t] hello");
    EXPECT_FALSE(boolValue(nullptr, "p"));
    EXPECT_EQ(textValue(&form, "nope"), "");

    EXPECT_EQ(unknownKeysNotice({}), std::nullopt);
}

// The footer breaks a path between folders; the lock note names where the flags live
// (the launch agent's in the window's poll test).
TEST(SettingsText, PathBreaksAndTheLockNoteByServiceManager) {
    EXPECT_EQ(withPathBreaks("Editing /a-b/c"), "Editing /\u200Ba-\u2060b/\u200Bc");
    EXPECT_EQ(withoutBreaks(withPathBreaks("/x-y/z/")), "/x-y/z/");
    EXPECT_EQ(lockNote(ServiceManager::systemd),
              "Set by a command-line flag in the systemd unit tessaly.service; reinstall the "
              "daemon to manage it here.");
}

// The window fits the screen's free area and stays inside it.
TEST(SettingsText, TheWindowFitsAndStaysOnTheScreen) {
    using WindowPlacement::placed, WindowPlacement::Rect;
    const std::tuple<const char*, Rect, WindowPlacement::Size, Rect> cases[] = {
        {"roomy", {0, 0, 1280, 800}, {0, 0}, {300, 20, 680, 760}},
        {"1024x600", {0, 0, 1024, 600}, {0, 0}, {172, 0, 680, 600}},
        {"panel and title bar", {0, 32, 1024, 568}, {2, 30}, {171, 32, 680, 538}},
        {"smaller than the minimum", {10, 10, 400, 300}, {0, 0}, {10, 10, 520, 420}},
    };
    for (const auto& [screen, available, frame, expected] : cases)
        EXPECT_EQ(placed(available, frame), expected) << screen;
}

// "Choose..." starts at the value's folder, else the default's, else home.
TEST(SettingsText, ThePathPickerStartsWhereTheValueLies) {
    SettingsForm form =
        formOf({spec("p", "path", {.defaultValue = JSONValue::string("~/notes/handoff.md")})});
    const auto folders = [](const std::string& path) { return path != "/gone"; };
    const std::pair<const char*, const char*> cases[] = {
        {"/srv/handoffs/h.md", "/srv/handoffs"}, {"/top.md", "/"},
        {"/gone/h.md", "/home/u/notes"}, // a folder that is not there: the default's
        {"relative/h.md", "/home/u/notes"},      {"", "/home/u/notes"},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        form.set("p", SettingValue::text(value));
        EXPECT_EQ(chooserStart(*form.field("p"), "/home/u", folders), expected);
    }
    SettingsForm bare = formOf({spec("p", "path")});
    EXPECT_EQ(chooserStart(*bare.field("p"), "/home/u", folders), "/home/u");
}
