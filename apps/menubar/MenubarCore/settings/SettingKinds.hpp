#pragma once

// Everything the core does differently by control kind, as one table (in
// SettingKinds.cpp, one row per kind): the name the schema selects the kind by,
// what the file must hold for it, how a file value is read, the value when there
// is none, the local check, and how the daemon's number for it is shown. Adding a
// kind is one row there and one widget in the app (app/settings/controls/).

#include <optional>
#include <string>
#include <string_view>

#include "SettingControl.hpp"
#include "SettingsForm.hpp"
#include "json/JSONValue.hpp"

namespace menubar::SettingKinds {

struct Rules {
    SettingControl::Kind kind;
    // The schema's "control" name; empty for `unknown`, which keeps its own.
    std::string_view name;
    // What a file value must be, as "which is not a ..." names it.
    const char* (*expected)(const SettingSpec& spec);
    // A file value read for the control; nothing when it does not fit.
    std::optional<SettingValue> (*read)(const JSONValue& json, const SettingSpec& spec);
    // The value when the schema's default does not fit either.
    SettingValue (*fallback)(const SettingSpec& spec);
    // The first failing local check's message, or nothing.
    std::optional<std::string> (*validate)(const SettingValue& value, const SettingSpec& spec);
    // A number the running daemon reports for the setting, as the control shows it.
    std::string (*liveNumber)(double number);
};

const Rules& of(SettingControl::Kind kind);
// The row of a known kind's name; null for any other name.
const Rules* named(std::string_view name);

// The text as one complete JSON document, if it is one (how a control the app
// does not know shows and writes its value).
std::optional<JSONValue> asJSON(std::string_view text);

} // namespace menubar::SettingKinds
