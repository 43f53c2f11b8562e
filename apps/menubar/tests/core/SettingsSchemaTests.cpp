#include <gtest/gtest.h>

#include "SettingsSchema.hpp"

using menubar::JSONError;
using menubar::JSONValue;
using menubar::SettingControl;
using menubar::SettingSpec;
using menubar::SettingsSchema;

namespace {

// One setting object under one property, merged through a whole document.
SettingSpec decodeOne(const std::string& meta, const std::string& property = "") {
    const std::string properties =
        property.empty() ? "{}" : R"({"k":)" + property + R"(, "other":{"type":"string"}})";
    const auto schema =
        SettingsSchema::decode(R"({"properties":)" + properties +
                               R"(,"x-groups":[{"id":"g","settings":[)" + meta + "]}]}");
    return schema.groups.at(0).settings.at(0);
}

} // namespace

TEST(SettingsSchema, DocumentLevelDefaultsAndOrder) {
    const auto empty = SettingsSchema::decode("{}");
    EXPECT_EQ(empty.version, 1);
    EXPECT_TRUE(empty.groups.empty());

    const auto schema = SettingsSchema::decode(R"({
        "x-settings-version": 3, "$schema": "ignored", "unknown": [1],
        "properties": {"a": {"type": "boolean"}, "unlisted": {"type": "string"}},
        "x-groups": [
            {"id": "first", "title": "First things", "settings": [{"name": "a"}, {"name": "b"}]},
            {"id": "bare", "title": null},
            {"id": "again", "settings": [{"name": "a", "help": "second copy"}]}
        ]})");
    EXPECT_EQ(schema.version, 3);
    ASSERT_EQ(schema.groups.size(), 3u);
    EXPECT_EQ(schema.groups[0].title, "First things");
    EXPECT_EQ(schema.groups[1].title, "bare");
    EXPECT_TRUE(schema.groups[1].settings.empty());

    std::vector<std::string> names;
    for (const auto& spec : schema.settings())
        names.push_back(spec.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(schema.setting("a")->help, "");
    EXPECT_EQ(schema.setting("a")->type, "boolean");
    EXPECT_EQ(schema.setting("b")->type, std::nullopt);
    EXPECT_FALSE(schema.setting("unlisted"));
    EXPECT_FALSE(schema.setting("A"));
}

TEST(SettingsSchema, MetaWinsOverPropertyAndFallbacksApply) {
    const auto bare = decodeOne(R"({"name":"k"})");
    EXPECT_EQ(bare.control, SettingControl::unknown(""));
    EXPECT_TRUE(bare.restart);
    EXPECT_FALSE(bare.min);
    EXPECT_FALSE(bare.integer);
    EXPECT_TRUE(bare.values.empty());
    EXPECT_FALSE(bare.defaultValue);

    const auto fromProperty =
        decodeOne(R"({"name":"k","control":"list"})",
                  R"({"type":"integer","minimum":1,"maximum":9,"pattern":"^a","default":[1,"x"],
            "items":{"enum":["p","q"],"pattern":"^i"}})");
    EXPECT_EQ(fromProperty.min, 1);
    EXPECT_EQ(fromProperty.max, 9);
    EXPECT_TRUE(fromProperty.integer);
    EXPECT_EQ(fromProperty.values, (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(fromProperty.itemPattern, "^i");
    EXPECT_EQ(fromProperty.pattern, "^a");
    EXPECT_EQ(fromProperty.defaultValue,
              JSONValue::array({JSONValue::number(1), JSONValue::string("x")}));

    const auto fromMeta = decodeOne(
        R"({"name":"k","control":"enum","min":0,"max":0.5,"integer":false,"values":[],
            "itemPattern":"^m","restart":false,"requiredPrefix":"Bearer","multiple":true,
            "multiline":true,"group":"elsewhere","help":"Helps"})",
        R"({"type":"integer","minimum":1,"maximum":9,"enum":["e"],"items":{"pattern":"^i"}})");
    EXPECT_EQ(fromMeta.control, SettingControl::known(SettingControl::Kind::enumeration));
    EXPECT_EQ(fromMeta.min, 0);
    EXPECT_EQ(fromMeta.max, 0.5);
    EXPECT_FALSE(fromMeta.integer);
    EXPECT_TRUE(fromMeta.values.empty());
    EXPECT_EQ(fromMeta.itemPattern, "^m");
    EXPECT_FALSE(fromMeta.restart);
    EXPECT_EQ(fromMeta.requiredPrefix, "Bearer");
    EXPECT_TRUE(fromMeta.multiple && fromMeta.multiline);
    EXPECT_EQ(fromMeta.group, "elsewhere");
    EXPECT_EQ(fromMeta.help, "Helps");

    // The property's own "enum" comes before the one of its items.
    EXPECT_EQ(decodeOne(R"({"name":"k"})", R"({"enum":["own"],"items":{"enum":["item"]}})").values,
              (std::vector<std::string>{"own"}));
    // A null default is no default.
    EXPECT_FALSE(decodeOne(R"({"name":"k"})", R"({"default":null})").defaultValue);
}

TEST(SettingsSchema, ControlNamesCompareExactly) {
    EXPECT_EQ(decodeOne(R"({"name":"k","control":"enum"})").control.kind(),
              SettingControl::Kind::enumeration);
    for (const char* name : {"Toggle", "enumeration", "color"}) {
        const auto control =
            decodeOne(std::string(R"({"name":"k","control":")") + name + "\"}").control;
        EXPECT_EQ(control, SettingControl::unknown(name));
        EXPECT_EQ(control.rawValue(), name);
        EXPECT_FALSE(control.isKnown());
    }
}

TEST(SettingsSchema, WrongTypesFailTheWholeDocument) {
    const struct {
        const char* document;
        const char* description;
    } cases[] = {
        {R"({"x-settings-version":"2"})", "type mismatch (Int) at x-settings-version"},
        {R"({"x-settings-version":1.5})", "type mismatch (Int) at x-settings-version"},
        {R"({"x-settings-version":18446744073709551615})",
         "type mismatch (Int) at x-settings-version"},
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
    for (const auto& row : cases) {
        try {
            SettingsSchema::decode(row.document);
            ADD_FAILURE() << "decoded: " << row.document;
        } catch (const JSONError& error) {
            EXPECT_STREQ(error.what(), row.description) << row.document;
        }
    }
    EXPECT_THROW(SettingsSchema::decode("not json"), JSONError);
    EXPECT_EQ(SettingsSchema::decode(R"({"x-settings-version":2.0})").version, 2);
}

TEST(SettingsSchema, LabelCapitalisesTheFirstPieceOnly) {
    const struct {
        const char* name;
        const char* label;
    } cases[] = {
        {"warn-context", "Warn context"},
        {"cache-lead-time", "Cache lead time"},
        {"--a--b-", "A b"},
        {"---", "---"},
        {"", ""},
        {"already-Up-HTTP", "Already Up HTTP"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\x89t\xC3\xA9"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(SettingSpec{.name = row.name}.label(), row.label) << row.name;
}
