#pragma once

// The notification seam, chosen once at start-up. macOS keeps cmux, else
// osascript (Cmux.hpp). Linux tries cmux, else the freedesktop notification
// service on the session bus, else the tray icon's own balloon message, and
// writes one log line saying which way the notification went.
//
// Main thread only; returns at once, the answer of the bus arrives later.

#include <functional>
#include <string>

#include <QDBusConnection>

#include "Cmux.hpp"

class QSystemTrayIcon;

namespace menubar::app::Notifier {

// `statusItem` offers the balloon; it may be null when there is no tray icon.
using Notify = std::function<void(const std::string& title, const std::string& body,
                                  QSystemTrayIcon* statusItem)>;

struct DesktopSetup {
    Cmux::Setup cmux;
    std::function<QDBusConnection()> bus = [] { return QDBusConnection::sessionBus(); };
    // A notification service that never answers must not hold the episode open.
    int replyTimeoutMs = 5000;
    // Whether a tray host shows the icon's balloon now.
    std::function<bool()> trayAvailable;
};

// "Notify" on org.freedesktop.Notifications: app name "tessaly-menubar", no
// replaced id, no icon, the title as summary, the body with its markup
// characters escaped, no actions, no hints, the server's default timeout.
void notifyDesktop(const std::string& title, const std::string& body, QSystemTrayIcon* statusItem,
                   const DesktopSetup& setup = {});

// The notifier of the platform the app was built for.
Notify platform();

} // namespace menubar::app::Notifier
