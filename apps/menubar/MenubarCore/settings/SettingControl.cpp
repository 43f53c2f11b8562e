#include "SettingControl.hpp"

#include "SettingKinds.hpp"

namespace menubar {

SettingControl SettingControl::fromName(std::string_view name) {
    if (const auto* rules = SettingKinds::named(name))
        return {rules->kind, std::string(rules->name)};
    return unknown(std::string(name));
}

SettingControl SettingControl::known(Kind kind) {
    const auto& rules = SettingKinds::of(kind);
    if (rules.kind != Kind::unknown)
        return {kind, std::string(rules.name)};
    return unknown({});
}

} // namespace menubar
