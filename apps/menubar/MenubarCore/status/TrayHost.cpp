#include "TrayHost.hpp"

namespace menubar {

TrayHostTracker::Transition TrayHostTracker::observe(bool hostPresent) {
    const bool before = present.value_or(true);
    present = hostPresent;
    if (before == hostPresent)
        return Transition::unchanged;
    return hostPresent ? Transition::appeared : Transition::wentAway;
}

TrayHostResponse TrayHostResponse::to(TrayHostTracker::Transition transition) {
    switch (transition) {
    case TrayHostTracker::Transition::wentAway:
        return {.logLine = std::string(NoTrayCopy::advice),
                .notificationTitle = std::string(NoTrayCopy::notificationTitle),
                .notificationBody = std::string(NoTrayCopy::notificationBody),
                .window = Window::open};
    case TrayHostTracker::Transition::appeared:
        return {.logLine = std::string(NoTrayCopy::foundLine), .window = Window::close};
    case TrayHostTracker::Transition::unchanged:
        return {};
    }
    return {};
}

std::optional<std::string> statusWindowNote(const TrayHostTracker& tracker) {
    if (tracker.present == false)
        return std::string(NoTrayCopy::windowNote);
    return std::nullopt;
}

} // namespace menubar
