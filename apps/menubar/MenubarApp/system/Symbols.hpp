#pragma once

// The symbol drawings (resources/symbols/*.svg), keyed by the names the core's
// presentation uses. The status item paints them into its icon and the settings
// window beside its lock and error lines; an unknown name draws nothing.

#include <string_view>

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

namespace menubar::app {

// Whether a drawing exists for the symbol name.
bool hasSymbol(std::string_view symbolName);

// Draws the symbol as it is drawn (its own black) into `box`; nothing for an
// unknown name.
void paintSymbol(QPainter& painter, std::string_view symbolName, const QRectF& box);

// The symbol filled with one colour, `size` pixels square at 1x and 2x; a null
// icon for an unknown name.
QIcon symbolIcon(std::string_view symbolName, const QColor& colour, int size);

} // namespace menubar::app
