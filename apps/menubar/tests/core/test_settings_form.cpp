// The settings the daemon describes in its schema, and the form that loads,
// edits, checks and writes them.

#include <cmath>
#include <limits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "settings/SettingsForm.hpp"
#include "settings/SettingsSchema.hpp"

using namespace menubar;

namespace {

SettingSpec spec(const char* control, SettingSpec base = {}) {
    base.name = base.name.empty() ? "k" : base.name;
    base.control = SettingControl::fromName(control);
    return base;
}

const auto schemaOf = [](std::vector<SettingSpec> specs) {
    return SettingsSchema{.groups = {SettingsGroup{.id = "g", .title = "g", .settings = specs}}};
};

const auto fileOf = [](const std::string& json) { return SettingsForm::parseFile(json); };

using Strings = std::vector<std::string>;

const auto boolean = [](bool value) { return SettingValue::boolean(value); };
const auto number = [](double value) { return SettingValue::number(value); };
const auto text = [](const char* value) { return SettingValue::text(value); };
const auto list = [](Strings items) { return SettingValue::list(std::move(items)); };
// A spec whose schema default is the JSON text.
const auto defaulted = [](const char* control, const char* json) {
    return spec(control, {.defaultValue = JSONValue::decode(json)});
};

} // namespace

// A value the file holds is read for its control or kept raw with a message; an
// absent one (no file value) gives the control's default.
TEST(SettingsForm, LoadsEachControlOrItsDefault) {
    // The setting, the file's value (null: the key is absent), the value read (nothing:
    // unreadable, the default is shown) and the error.
    using Row = std::tuple<SettingSpec, const char*, std::optional<SettingValue>, const char*>;
    const Row cases[] = {
        {spec("toggle"), "true", boolean(true), nullptr},
        {spec("toggle"), "1", std::nullopt, "The file holds 1, which is not a boolean"},
        {spec("number"), "\" \\t-2.5e1 \"", number(-25), nullptr},
        {spec("number"), "\"+7\"", number(7), nullptr},
        {spec("number"), "\"7\\n\"", std::nullopt, "The file holds 7\n, which is not a number"},
        {spec("number"), "\"nan\"", std::nullopt, "The file holds nan, which is not a number"},
        {spec("number"), "null", std::nullopt, "The file holds null, which is not a number"},
        {spec("percent", {.max = 100}), "120", number(120), "Must be at most 100"},
        {spec("duration"), "30", std::nullopt, "The file holds 30, which is not a duration string"},
        {spec("text"), "[\"a\"]", std::nullopt, "The file holds [\"a\"], which is not a string"},
        {spec("list"), "[]", list({}), nullptr},
        {spec("list"), "[\"a\",1]", std::nullopt,
         "The file holds [\"a\",1], which is not a list of strings"},
        {spec("enum", {.values = {"a"}, .multiple = true}), "\"a\"", std::nullopt,
         "The file holds a, which is not a list of values"},
        {spec("enum", {.values = {"a"}}), "[\"a\"]", std::nullopt,
         "The file holds [\"a\"], which is not a value"},
        {spec("enum", {.values = {"a", "b"}}), "\"b\"", text("b"), nullptr},
        {spec("toggle"), nullptr, boolean(false), nullptr},
        {spec("number", {.min = 5}), nullptr, number(5), nullptr},
        {defaulted("percent", R"("12")"), nullptr, number(12), nullptr},
        {defaulted("percent", R"("many")"), nullptr, number(0), nullptr},
        {spec("enum", {.values = {"x", "y"}}), nullptr, text("x"), nullptr},
        {spec("enum", {.values = {"x"}, .multiple = true}), nullptr, list({}), nullptr},
        {defaulted("duration", R"("5m")"), nullptr, text("5m"), nullptr},
        {defaulted("other", "2"), nullptr, text("2"), nullptr},
    };
    for (const auto& [setting, fileValue, value, error] : cases) {
        SCOPED_TRACE(fileValue ? fileValue : setting.control.rawValue());
        const auto raw = fileValue ? std::optional(JSONValue::decode(fileValue)) : std::nullopt;
        const auto field = SettingField::load(setting, raw);
        EXPECT_EQ(field.source, raw ? ValueSource::file : ValueSource::default_);
        EXPECT_EQ(field.value, value.value_or(SettingField::defaultValue(setting)));
        EXPECT_EQ(field.error, error ? std::optional<std::string>(error) : std::nullopt);
        // Whatever the file held comes back unchanged when the user touches nothing.
        EXPECT_EQ(field.serializedValue(), value && raw ? value->json(setting) : raw);
    }
}

TEST(SettingsForm, ValidationChecksInOrder) {
    const SettingSpec range = spec("number", {.min = 1, .max = 100});
    const SettingSpec whole = spec("number", {.min = 0, .max = 10, .integer = true});
    const SettingSpec paths = spec("list", {.itemPattern = "^/"});
    const SettingSpec choice = spec("enum", {.values = {"red", "green"}});
    const SettingSpec choices = spec("enum", {.values = {"red", "green"}, .multiple = true});
    const std::tuple<SettingSpec, SettingValue, const char*> cases[] = {
        {spec("toggle"), number(1), "Must be on or off"},
        {spec("number"), text("1"), "Must be a number"},
        {range, number(0), "Must be between 1 and 100"},
        {range, number(1), nullptr},
        {spec("percent", {.max = 0.5}), number(1), "Must be at most 0.5"},
        {spec("percent", {.min = -2.25}), number(-3), "Must be at least -2.25"},
        {whole, number(2.5), "Must be a whole number"},
        {whole, number(20), "Must be between 0 and 10"},
        {spec("number", {.min = 0}), number(std::nan("")), "Must be at least 0"},
        {spec("duration"), number(3), "Must be a duration"},
        {spec("duration", {.pattern = "^[0-9]+[smh]$"}), text("10 min"),
         "Use a duration such as 30s, 10m, or 1h"},
        {spec("duration", {.pattern = "[0-9]+[smh]"}), text("take 10m"), nullptr},
        {spec("duration", {.pattern = "(unclosed"}), text("anything"), nullptr},
        {spec("text"), list({}), "Must be text"},
        {spec("text", {.requiredPrefix = "Bearer"}), text("bearer x"), "Must start with Bearer"},
        {spec("text", {.pattern = "^never$"}), text("x"), nullptr}, // a pattern is for durations
        {spec("list"), text("a"), "Must be a list"},
        {paths, list({"/a", "b", ""}), "Item 2 must match ^/"},
        {paths, list({"", "b"}), "Item 1 is empty"},
        // Where the schema explains the setting, a pattern error says that, not the pattern.
        {spec("list", {.help = "Folder names, no slashes.", .itemPattern = "^[^/]+$"}),
         list({"a/b"}), "Item 1 does not fit: Folder names, no slashes."},
        {spec("list", {.itemPattern = "["}), list({"b"}), nullptr},
        {spec("list", {.itemPattern = "\\p{L}"}), list({"\xC3\xA9"}), nullptr},
        // A pattern that backtracks for ages is given up on, not waited for.
        {spec("list", {.itemPattern = "^(a+)+$"}), list({std::string(40, 'a') + "!"}), nullptr},
        {choice, list({"red"}), "Must be one of: red, green"},
        {choice, text("Red"), "Unknown value Red (allowed: red, green)"},
        {choices, text("red"), "Must be a list of: red, green"},
        {choices, list({"x", "x"}), "Each value may appear once"},
        {choices, list({"green", "blue"}), "Unknown value blue (allowed: red, green)"},
        {spec("path"), number(1), "Must be a path"},
    };
    for (const auto& [setting, value, message] : cases)
        EXPECT_EQ(SettingsForm::validate(value, setting),
                  message ? std::optional<std::string>(message) : std::nullopt)
            << setting.control.rawValue() << " " << value.json(setting).compactText();
}

TEST(SettingsForm, EditingSetsValidatesAndTracksDirtiness) {
    // A list emptied where its default is not is written as []: the window's tests
    // untick every choice of one.
    SettingsForm form(
        schemaOf({spec("percent", {.name = "warn", .max = 100}), spec("list", {.name = "paths"})}),
        fileOf(R"({"warn": "abc"})"));
    form.set("warn", number(150));
    EXPECT_FALSE(form.field("warn")->unreadableFileValue);
    form.set("nobody", number(1));

    // An unset field may change value without becoming dirty.
    form.set("paths", list({"", "x"}));
    EXPECT_EQ(form.errors(), (std::map<std::string, std::string>{{"paths", "Item 1 is empty"},
                                                                 {"warn", "Must be at most 100"}}));
    form.set("paths", list({}));
    EXPECT_FALSE(form.field("paths")->isSet);

    form.reset("warn");
    EXPECT_TRUE(form.isValid());
    EXPECT_EQ(form.serializedData(), "{}\n");

    // The daemon judged the file before the edit: an edit brings back each field's
    // own verdict (the window's tests show), and so does a reset.
    form.set("warn", number(40));
    form.applyErrors({{"warn", "daemon says no"}});
    form.reset("paths");
    EXPECT_TRUE(form.isValid());
    // The window's tests show a saved field from the file, and no longer edited.
    form.markSaved();
    EXPECT_EQ(form.field("paths")->source, ValueSource::default_);
}

TEST(SettingsForm, RequiredPrefixIsHiddenWhileEditing) {
    SettingsForm form(schemaOf({spec("text", {.name = "auth", .requiredPrefix = "Bearer"}),
                                spec("text", {.name = "plain"})}),
                      fileOf(R"({"auth": "Bearer  abc", "plain": "Bearer x"})"));
    EXPECT_EQ(form.field("auth")->editableText(), " abc") << "only one blank goes";
    EXPECT_EQ(form.field("plain")->editableText(), "Bearer x");

    // Blank input leaves the key out rather than writing the prefix alone; the
    // prefix typed anyway is not written twice.
    const std::vector<std::pair<const char*, std::optional<JSONValue>>> cases{
        {" tok ", JSONValue::string("Bearer  tok ")},
        {" \t\n", std::nullopt},
        {" Bearer tok", JSONValue::string("Bearer tok")},
        {"Bearer", std::nullopt}};
    for (const auto& [typed, stored] : cases) {
        form.setEditableText("auth", typed);
        EXPECT_EQ(form.field("auth")->serializedValue(), stored) << typed;
    }
    form.setEditableText("plain", "");
    EXPECT_FALSE(form.field("plain")->isSet);
    EXPECT_EQ(SettingField::load(spec("number"), std::nullopt).editableText(), "");
}

// The byte layout of the file is pinned down where the JSON writer is tested. An
// unreadable value is kept until it is reset.
TEST(SettingsForm, KeepsEveryOtherKeyUntouched) {
    const auto schema =
        schemaOf({spec("percent", {.name = "warn-context"}), spec("list", {.name = "on-critical"}),
                  spec("enum", {.name = "mode", .values = {"a", "b"}})});
    SettingsForm form(schema, fileOf(R"({"zeta": {"b": [1, "/x"], "a": null},
        "$schema": "https://example.com/s.json", "alpha": 1.5, "warn-context": 80,
        "on-critical": ["say"], "mode": 7})"));
    EXPECT_EQ(form.unknownKeys(), (Strings{"alpha", "zeta"}));

    form.reset("mode");
    form.set("warn-context", number(72.25));
    EXPECT_EQ(form.serialized(), JSONValue::decode(R"({"$schema": "https://example.com/s.json",
        "alpha": 1.5, "on-critical": ["say"], "warn-context": 72.25,
        "zeta": {"a": null, "b": [1, "/x"]}})"));

    form.set("warn-context", number(std::numeric_limits<double>::infinity()));
    EXPECT_THROW(form.serializedData(), JSONError);
}

TEST(SettingsForm, GroupsDuplicatesSourcesAndFileErrors) {
    const SettingsGroup first{
        .id = "a", .settings = {spec("toggle", {.name = "x"}), spec("toggle", {.name = "y"})}};
    const SettingsGroup second{.id = "b", .settings = {spec("number", {.name = "x"})}};
    SettingsForm form(SettingsSchema{.groups = {first, second}}, fileOf(R"({"x": true})"));
    ASSERT_EQ(form.fields().size(), 3u);
    // A setting listed twice is found as its first field in every group.
    EXPECT_EQ(form.fields(second).at(0).spec.control.rawValue(), "toggle");
    EXPECT_EQ(form.errors().at("x"), "The file holds true, which is not a number");

    form.applySources({{"x", ConfigSource::cli}, {"y", ConfigSource::file}});
    EXPECT_FALSE(form.field("y")->isLockedByFlag);
}

// A setting of a kind the app does not know is edited as raw text; saving other
// settings must write its value back with the same JSON type it had.
TEST(SettingsForm, UnknownControlValuesSurviveAnUntouchedSave) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {R"("42")", R"("42")"},
        {R"("\"q\"")", R"("\"q\"")"},
        {R"("hello")", "hello"},
        {R"("")", ""},
        {R"("[1")", "[1"},
        {"42", "42"},
        {R"({"b":1,"a":[true]})", R"({"a":[true],"b":1})"},
    };
    const auto schema =
        schemaOf({spec("gradient", {.name = "raw"}), spec("toggle", {.name = "other"})});
    for (const auto& [fileValue, shown] : cases) {
        SCOPED_TRACE(fileValue);
        const auto original = JSONValue::decode(fileValue);
        SettingsForm form(schema, {{"raw", original}});
        EXPECT_EQ(form.field("raw")->value, SettingValue::text(shown));

        form.set("other", boolean(true));
        EXPECT_EQ(SettingsForm::parseFile(form.serializedData()).at("raw"), original);
    }
}

// Groups and settings keep the document's order, a group without a title takes
// its id, and a setting's own entry wins over its property, which fills the rest.
// The window's tests show an entry's help, multiple choice and required prefix.
TEST(SettingsSchema, GroupsInOrderAndEachEntryMergedOverItsProperty) {
    EXPECT_EQ(SettingsSchema::decode("{}"), SettingsSchema{});

    const auto schema = SettingsSchema::decode(R"({
        "x-settings-version": 3, "$schema": "ignored", "unknown": [1],
        "properties": {"a": {"type": "boolean"}, "unlisted": {"type": "string"}, "n": null,
            "l": {"pattern": "^a", "default": [1, "x"],
                  "items": {"enum": ["p", "q"], "pattern": "^i"}},
            "e": {"type": "integer", "minimum": 1, "maximum": 9, "enum": ["own"],
                  "items": {"enum": ["item"], "pattern": "^i"}, "default": null}},
        "x-groups": [
            {"id": "first", "title": "First things",
             "settings": [{"name": "a"}, {"name": "b", "control": "enumeration"}]},
            {"id": "bare", "title": null},
            {"id": "again", "settings": [{"name": "a"},
                {"name": "l", "control": "list"},
                {"name": "e", "control": "enum", "min": 0, "max": 0.5, "integer": false,
                 "values": [], "itemPattern": "^m", "restart": false, "multiline": true,
                 "group": "elsewhere"},
                {"name": "e", "control": "Toggle"}]}
        ]})");
    using K = SettingControl::Kind;
    const SettingSpec a{.name = "a", .type = "boolean"};
    const SettingSpec b{.name = "b", .control = SettingControl::unknown("enumeration")};
    const SettingSpec list{.name = "l",
                           .control = SettingControl::known(K::list),
                           .values = {"p", "q"},
                           .itemPattern = "^i",
                           .pattern = "^a",
                           .defaultValue = JSONValue::decode(R"([1,"x"])")};
    const SettingSpec entryWins{.name = "e",
                                .group = "elsewhere",
                                .control = SettingControl::known(K::enumeration),
                                .restart = false,
                                .min = 0,
                                .max = 0.5,
                                .multiline = true,
                                .itemPattern = "^m",
                                .type = "integer"};
    // The property's own "enum" comes before its items'; a null default is none.
    const SettingSpec propertyFills{.name = "e",
                                    .control = SettingControl::unknown("Toggle"),
                                    .min = 1,
                                    .max = 9,
                                    .integer = true,
                                    .values = {"own"},
                                    .itemPattern = "^i",
                                    .type = "integer"};
    EXPECT_EQ(schema, (SettingsSchema{
                          .version = 3,
                          .groups = {{"first", "First things", {a, b}},
                                     {"bare", "bare", {}},
                                     {"again", "again", {a, list, entryWins, propertyFills}}}}));
    EXPECT_EQ(schema.setting("e"), entryWins); // the first of the two
}

// Fractions and integers beyond 64 bits are refused by the reader shared with the
// status decoder, and tested there.
TEST(SettingsSchema, WrongTypesFailTheWholeDocument) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {R"({"x-settings-version":"2"})", "type mismatch (Int) at x-settings-version"},
        {R"([])", "type mismatch (Object) at top level"},
        {R"({"properties":{"a":{"minimum":"1"}}})",
         "type mismatch (Double) at properties.a.minimum"},
        {R"({"properties":{"a":{"enum":["x",1]}}})",
         "type mismatch (String) at properties.a.enum.1"},
        {R"({"x-groups":[{"id":"g","settings":[{"name":"a"},{"help":"x"}]}]})",
         "missing key name at x-groups.0.settings.1"},
        {R"({"x-groups":[{"id":"g","settings":[{"name":"a","restart":"no"}]}]})",
         "type mismatch (Bool) at x-groups.0.settings.0.restart"},
        {R"({"x-groups":[null]})", "missing value (GroupEntry) at x-groups.0"},
    };
    for (const auto& [document, description] : cases)
        EXPECT_THAT([text = document] { SettingsSchema::decode(text); },
                    testing::ThrowsMessage<JSONError>(testing::StrEq(description)))
            << document;
}

TEST(SettingsSchema, LabelCapitalisesTheFirstPieceOnly) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"warn-context", "Warn context"},
        {"--a--b-", "A b"},
        {"---", "---"},
        {"already-Up-HTTP", "Already Up HTTP"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89t\xC3\xA9"},
        // The same for a Turkish or Azeri user: no dotted capital I.
        {"idle-after", "Idle after"},
        // The whole first user-perceived character, fully mapped.
        {"a\u0345-y", "A\u0399 y"},
        {"\u0600x-y", "\u0600X y"},
    };
    // Under the process's locale and under the two whose case rules differ most.
    const icu::Locale before = icu::Locale::getDefault();
    for (const char* locale : {"", "tr_TR", "az_AZ"}) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(*locale ? icu::Locale(locale) : before, status);
        for (const auto& [name, label] : cases)
            EXPECT_EQ(SettingSpec{.name = name}.label(), label) << name << " in " << locale;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(before, status);
}
