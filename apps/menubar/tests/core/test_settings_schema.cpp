#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "settings/SettingsSchema.hpp"

using menubar::JSONError;
using menubar::JSONValue;
using menubar::SettingControl;
using menubar::SettingSpec;
using menubar::SettingsSchema;

namespace {

std::string refusal(const std::string& document) {
    try {
        SettingsSchema::decode(document);
    } catch (const JSONError& error) {
        return error.what();
    }
    return "<decoded>";
}

} // namespace

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
        EXPECT_EQ(refusal(document), description) << document;
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
