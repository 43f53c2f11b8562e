#pragma once

// The pure half of a desktop without a tray. On Linux the status item needs a
// tray host (an XEmbed tray, or a StatusNotifierItem watcher: KDE, GNOME's
// AppIndicator extension, Waybar, Xfce); stock GNOME without that extension or a
// bare window manager has none, and the icon is shown into nothing. The app then
// says so once per episode (a log line and a notification) and stays reachable
// through its status window, which renders the same status menu value and closes
// by itself once a host appears. The macOS menu bar always counts as a host.

#include <optional>
#include <string>
#include <string_view>

namespace menubar {

struct TrayHostTracker {
    enum class Transition { wentAway, appeared, unchanged };

    std::optional<bool> present; // nothing before the first reading

    // A first reading without a host counts as the host going away, so a desktop
    // that never had a tray is reported at start-up; a first reading with one
    // changes nothing.
    Transition observe(bool hostPresent);

    bool operator==(const TrayHostTracker&) const = default;
};

namespace NoTrayCopy {

inline constexpr std::string_view advice =
    "no system tray found; on GNOME enable the AppIndicator extension, elsewhere add a tray or "
    "status-notifier widget to your panel";
inline constexpr std::string_view foundLine = "system tray found; the status item is shown there";
inline constexpr std::string_view notificationTitle = "tessaly menu bar icon has no tray";
inline constexpr std::string_view notificationBody =
    "No system tray found; on GNOME enable the AppIndicator extension, elsewhere add a tray or "
    "status-notifier widget to your panel. Until then the tessaly status window shows the menu.";
inline constexpr std::string_view windowNote =
    "No system tray found; on GNOME enable the AppIndicator extension, elsewhere add a tray or "
    "status-notifier widget to your panel. This window closes when the icon has a place.";

} // namespace NoTrayCopy

// What the app does about one transition; everything absent or `keep` for
// `unchanged`.
struct TrayHostResponse {
    enum class Window { open, close, keep };

    std::optional<std::string> logLine;
    std::optional<std::string> notificationTitle;
    std::optional<std::string> notificationBody;
    Window window = Window::keep;

    static TrayHostResponse to(TrayHostTracker::Transition transition);

    bool operator==(const TrayHostResponse&) const = default;
};

// The line above the menu in the status window: the advice while there is no
// tray host, nothing when the window was asked for beside a tray.
std::optional<std::string> statusWindowNote(const TrayHostTracker& tracker);

} // namespace menubar
