#include "InstanceKey.hpp"

namespace menubar::InstanceKey {

namespace {

std::string valueOf(const std::map<std::string, std::string>& environment, const char* key) {
    const auto found = environment.find(key);
    return found == environment.end() ? std::string() : found->second;
}

std::string display(const std::map<std::string, std::string>& environment) {
    if (std::string wayland = valueOf(environment, "WAYLAND_DISPLAY"); !wayland.empty())
        return wayland.substr(wayland.find_last_of('/') + 1);
    std::string x11 = valueOf(environment, "DISPLAY");
    if (x11.empty())
        return "nodisplay";
    if (const auto colon = x11.rfind(':'); colon != std::string::npos)
        if (const auto dot = x11.find('.', colon); dot != std::string::npos)
            x11.erase(dot);
    if (x11.starts_with("unix:"))
        x11.erase(0, 4);
    return "x" + x11;
}

} // namespace

std::string name(unsigned int userId, const std::map<std::string, std::string>& environment) {
    std::string key = "tessaly-menubar-" + std::to_string(userId) + "-" + display(environment);
    for (char& c : key) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!safe)
            c = '_';
    }
    return key;
}

} // namespace menubar::InstanceKey
