#pragma once

// What the desktop shows of the status item, in the terms the hidden-item rules
// decide on. A tray host that places the item reports where; a host that does
// not say (StatusNotifierItem hosts report no geometry) gives unknowns, which
// never start or end a hidden episode; so does no tray host at all, which is a
// different trouble with its own report (TrayHost.hpp).

#include <QSystemTrayIcon>

#include "status/Visibility.hpp"

namespace menubar::app::VisibilityProbe {

// Main thread only.
VisibilityReading read(const QSystemTrayIcon& statusItem);

} // namespace menubar::app::VisibilityProbe
