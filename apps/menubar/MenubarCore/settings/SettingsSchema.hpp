#pragma once

// The daemon's own description of its settings, as `config schema` prints it: a
// JSON-Schema-like "properties" object (type and constraints per config key) plus
// "x-groups" (which settings are shown, in which order, with which control, help
// and limits). Decoding merges each setting's presentation entry with its property
// into one flat SettingSpec; nothing else in the app reads the raw document.
//
// Decoding is tolerant of version skew and strict about types: unknown keys are
// ignored, null is absent, an unknown control name becomes `unknown(name)`, and a
// present value of the wrong JSON type fails the whole document.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SettingControl.hpp"
#include "json/JSONValue.hpp"

namespace menubar {

struct SettingSpec {
    std::string name; // also the config file key
    std::string group;
    SettingControl control;
    std::string help;
    bool restart = true;
    std::optional<double> min;
    std::optional<double> max;
    bool integer = false;
    std::vector<std::string> values;
    bool multiple = false;
    bool multiline = false;
    std::optional<std::string> requiredPrefix;
    std::optional<std::string> itemPattern;
    std::optional<std::string> pattern;
    std::optional<std::string> type;
    std::optional<JSONValue> defaultValue;

    // The display name: "warn-context" reads "Warn context". The first
    // user-perceived character is upper-cased whole, the same for every locale
    // ("idle-after" is "Idle after" in Turkish too).
    std::string label() const;
    // Number steppers always move by one.
    double step() const { return 1; }

    bool operator==(const SettingSpec&) const = default;
};

struct SettingsGroup {
    std::string id;
    std::string title; // "title", or the id when there is none
    std::vector<SettingSpec> settings;

    bool operator==(const SettingsGroup&) const = default;
};

struct SettingsSchema {
    // The wire records, as the document spells them; absent keys stay empty.
    struct Items {
        std::optional<std::string> pattern;
        std::optional<std::vector<std::string>> enumValues;
        bool operator==(const Items&) const = default;
    };
    struct Property {
        std::optional<std::string> type;
        std::optional<double> minimum;
        std::optional<double> maximum;
        std::optional<std::string> pattern;
        std::optional<Items> items;
        std::optional<JSONValue> defaultValue;
        std::optional<std::vector<std::string>> enumValues;
        bool operator==(const Property&) const = default;
    };
    struct Meta {
        std::string name;
        std::optional<std::string> group;
        std::optional<std::string> control;
        std::optional<std::string> help;
        std::optional<bool> restart;
        std::optional<double> min;
        std::optional<double> max;
        std::optional<bool> integer;
        std::optional<std::vector<std::string>> values;
        std::optional<bool> multiple;
        std::optional<bool> multiline;
        std::optional<std::string> requiredPrefix;
        std::optional<std::string> itemPattern;
        bool operator==(const Meta&) const = default;
    };
    struct GroupEntry {
        std::string id;
        std::optional<std::string> title;
        std::vector<Meta> settings;
        bool operator==(const GroupEntry&) const = default;
    };

    std::int64_t version = 1;
    std::vector<SettingsGroup> groups;

    // Bytes of the schema document → schema. Throws JSONError with a one-line
    // description ("type mismatch (Bool) at x-groups.0.settings.2.restart",
    // "missing key name at x-groups.0.settings.1", or the parser's message).
    static SettingsSchema decode(std::string_view data);

    // One setting from its presentation entry and its property (if any).
    static SettingSpec merge(const Meta& meta, const Property* property);

    // Every setting of every group, in display order.
    std::vector<SettingSpec> settings() const;
    // The first setting of that exact name.
    std::optional<SettingSpec> setting(std::string_view named) const;

    bool operator==(const SettingsSchema&) const = default;
};

} // namespace menubar
