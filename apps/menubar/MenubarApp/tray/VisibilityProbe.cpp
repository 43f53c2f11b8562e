#include "VisibilityProbe.hpp"

#include <QGuiApplication>
#include <QScreen>

namespace menubar::app::VisibilityProbe {

VisibilityReading read(const QSystemTrayIcon& statusItem) {
    // Without a tray host there is no menu bar to be full: the tray-host rules
    // report that case in their own words.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return {};
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
