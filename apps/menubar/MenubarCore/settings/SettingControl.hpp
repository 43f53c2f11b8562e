#pragma once

// The kind of control that edits a setting, selected by the schema's "control"
// name. Names compare exactly; any other name (also the empty one, when
// "control" is absent) is `unknown` and keeps the name it came with.

#include <string>
#include <string_view>

namespace menubar {

class SettingControl {
public:
    enum class Kind { toggle, number, percent, duration, text, list, enumeration, path, unknown };

    SettingControl() : SettingControl(Kind::unknown, {}) {}
    // Never fails: every name gives a control.
    static SettingControl fromName(std::string_view name);
    static SettingControl unknown(std::string name) { return {Kind::unknown, std::move(name)}; }
    static SettingControl known(Kind kind);

    Kind kind() const { return kind_; }
    // The name that selects the control; for `unknown`, the name it was built from.
    const std::string& rawValue() const { return name_; }
    bool isKnown() const { return kind_ != Kind::unknown; }

    bool operator==(const SettingControl&) const = default;

private:
    SettingControl(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}
    Kind kind_;
    std::string name_;
};

} // namespace menubar
