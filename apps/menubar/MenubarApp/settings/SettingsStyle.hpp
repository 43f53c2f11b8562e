#pragma once

// The looks the settings window uses beside the palette's own: the tones of its
// texts, captions, monospaced text and the symbols.

#include <QColor>
#include <QIcon>
#include <QPalette>

class QWidget;

namespace menubar::app::SettingsStyle {

enum class Tone { primary, secondary, tertiary, red, orange };
QColor colour(Tone tone, const QPalette& palette);
void apply(QWidget* widget, Tone tone);
void caption(QWidget* widget);
void monospaced(QWidget* widget);
// The named drawing tinted in the colour, `size` pixels square.
QIcon symbol(const char* name, const QColor& colour, int size = 16);

} // namespace menubar::app::SettingsStyle
