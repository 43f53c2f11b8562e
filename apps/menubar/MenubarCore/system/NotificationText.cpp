#include "NotificationText.hpp"

namespace menubar::NotificationText {

std::string escapeMarkup(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string routeLine(Route route, std::string_view serviceError) {
    switch (route) {
    case Route::notificationService:
        return "notification sent through " + std::string(service);
    case Route::trayBalloon:
        return "no notification service answered (" + std::string(serviceError) +
               "); notification shown as the tray icon's balloon";
    case Route::notShown:
        return "no notification service answered (" + std::string(serviceError) +
               ") and there is no system tray; notification not shown";
    }
    return {};
}

} // namespace menubar::NotificationText
