#pragma once

// The texts of a desktop notification on Linux: what the freedesktop
// notification service is sent, and the one log line that says which way the
// notification went.

#include <string>
#include <string_view>

namespace menubar::NotificationText {

inline constexpr std::string_view appName = "tessaly-menubar";
inline constexpr std::string_view service = "org.freedesktop.Notifications";

// Text as a markup-capable reader (a notification server, Waybar's Pango) must
// receive it to show it as written: "&", "<" and ">" as entities, everything
// else (quotes included) as is.
std::string escapeMarkup(std::string_view text);

// Where a notification ended up once cmux was not found.
enum class Route { notificationService, trayBalloon, notShown };

// The line after "cmux not found in ... or PATH; ". `serviceError` is what the
// notification service (or the bus) answered when it did not take the notification.
std::string routeLine(Route route, std::string_view serviceError);

} // namespace menubar::NotificationText
