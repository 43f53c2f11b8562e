#pragma once

// Paints the status item's look into icon pixmaps. A tray gives an item one
// square slot (about 22 px on XEmbed panels) and shrinks anything wider until it
// is unreadable, so there the title is drawn large across the slot with the
// symbol as a badge above it; where the host gives a wide item (the macOS menu
// bar) the symbol comes first and the title follows after a space. Everything is
// drawn in the tone colour with a thin contrasting halo, so the item reads on
// light and dark panels alike.

#include <string_view>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>

#include "status/StatusItemPresentation.hpp"

namespace menubar::app {

enum class IconShape { square, wide };

// Square on Linux trays, wide on macOS.
IconShape nativeIconShape();

// Green, orange and red for the alert tones; the palette's secondary text
// colour, made opaque, for muted. Each is then fitted to keep the legible
// contrast against the panel colour the palette reports (its window colour).
QColor toneColour(Tone tone, const QPalette& palette);

// One rendering `height` pixels tall. Square renderings are `height` wide; wide
// ones as wide as the symbol and " " + title need. An unknown symbol and an empty
// title give a transparent image.
QImage renderStatusImage(std::string_view symbolName, std::string_view title, const QColor& colour,
                         int height, IconShape shape);

// An icon that renders itself at whatever size the tray asks for.
QIcon renderStatusIcon(const StatusItemPresentation& presentation, const QPalette& palette,
                       IconShape shape);

} // namespace menubar::app
