#include "PlatformAdvice.hpp"

#include <algorithm>

namespace menubar::PlatformAdvice {

namespace {

std::string value(const Environment& environment, const std::string& key) {
    const auto found = environment.find(key);
    return found == environment.end() ? std::string() : found->second;
}

bool has(const std::vector<std::string>& plugins, const std::string& name) {
    return std::any_of(plugins.begin(), plugins.end(), [&](const std::string& plugin) {
        return plugin.find(name) != std::string::npos;
    });
}

} // namespace

std::string line(const Environment& environment, const std::vector<std::string>& plugins) {
    const std::string prefix = "no display could be opened: ";
    if (const std::string chosen = value(environment, "QT_QPA_PLATFORM"); !chosen.empty())
        return prefix + "QT_QPA_PLATFORM asks for \"" + chosen +
               "\"; unset it, or install the Qt 6 platform plugin it names";
    const std::string wayland = value(environment, "WAYLAND_DISPLAY");
    const std::string x11 = value(environment, "DISPLAY");
    if (!wayland.empty() && !has(plugins, "wayland"))
        return prefix + "this is a Wayland session (WAYLAND_DISPLAY=" + wayland +
               ") and Qt's Wayland plugin is not installed; install qt6-wayland" +
               (x11.empty() ? "" : ", or make the X server at DISPLAY=" + x11 + " reachable");
    if (!x11.empty() && !has(plugins, "xcb"))
        return prefix + "Qt's X11 plugin is not installed; install qt6-qpa-plugins";
    if (!wayland.empty() || !x11.empty())
        return prefix + "could not connect to " +
               (wayland.empty() ? "" : "the Wayland display " + wayland) +
               (!wayland.empty() && !x11.empty() ? " or " : "") +
               (x11.empty() ? "" : "the X display " + x11) +
               "; start tessaly-menubar from within the desktop session";
    return prefix + "neither WAYLAND_DISPLAY nor DISPLAY is set; start tessaly-menubar from "
                    "within a desktop session (tessaly-bar shows the status in a terminal)";
}

bool asksForQtEventLoop(const Environment& environment,
                        const std::vector<std::string>& themePlugins) {
    return !environment.contains("QT_NO_GLIB") && !has(themePlugins, "gtk");
}

} // namespace menubar::PlatformAdvice
