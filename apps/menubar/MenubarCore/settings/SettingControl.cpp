#include "SettingControl.hpp"

#include <array>
#include <utility>

namespace menubar {

namespace {

constexpr std::array<std::pair<SettingControl::Kind, std::string_view>, 8> names{{
    {SettingControl::Kind::toggle, "toggle"},
    {SettingControl::Kind::number, "number"},
    {SettingControl::Kind::percent, "percent"},
    {SettingControl::Kind::duration, "duration"},
    {SettingControl::Kind::text, "text"},
    {SettingControl::Kind::list, "list"},
    {SettingControl::Kind::enumeration, "enum"},
    {SettingControl::Kind::path, "path"},
}};

} // namespace

SettingControl SettingControl::fromName(std::string_view name) {
    for (const auto& [kind, text] : names)
        if (text == name)
            return {kind, std::string(text)};
    return unknown(std::string(name));
}

SettingControl SettingControl::known(Kind kind) {
    for (const auto& [candidate, text] : names)
        if (candidate == kind)
            return {kind, std::string(text)};
    return unknown({});
}

} // namespace menubar
