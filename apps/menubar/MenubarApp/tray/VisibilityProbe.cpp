#include "VisibilityProbe.hpp"

#include <QGuiApplication>
#include <QScreen>

namespace menubar::app::VisibilityProbe {

namespace {

// The width a tray slot gives an icon when nobody says otherwise.
constexpr double unplacedIconWidth = 22;

} // namespace

VisibilityReading read(const QSystemTrayIcon& statusItem) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return {.onscreen = false, .width = unplacedIconWidth};
    }
    const QRect geometry = statusItem.geometry();
    VisibilityReading reading{.occlusionVisible = statusItem.isVisible()};
    if (geometry.isEmpty()) {
        return reading;
    }
    bool onAnyScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        onAnyScreen = onAnyScreen || screen->geometry().intersects(geometry);
    }
    reading.onscreen = statusItem.isVisible() && onAnyScreen;
    reading.x = geometry.x();
    reading.width = geometry.width();
    return reading;
}

} // namespace menubar::app::VisibilityProbe
