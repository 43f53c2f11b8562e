#include "SettingsStyle.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

#include "app/system/Symbols.hpp"

namespace menubar::app {

namespace SettingsStyle {

QColor colour(Tone tone, const QPalette& palette) {
    QColor text = palette.color(QPalette::WindowText);
    switch (tone) {
    case Tone::primary:
        return text;
    case Tone::secondary:
        text.setAlphaF(0.65f);
        return text;
    case Tone::tertiary:
        text.setAlphaF(0.45f);
        return text;
    case Tone::red:
        return QColor(0xd0, 0x2b, 0x2b);
    case Tone::orange:
        return QColor(0xe0, 0x78, 0x10);
    }
    return text;
}

void apply(QWidget* widget, Tone tone) {
    // From the inherited palette, not the widget's own: that may hold the tone
    // applied before, and a secondary made from red stays red.
    QPalette palette =
        widget->parentWidget() ? widget->parentWidget()->palette() : QApplication::palette(widget);
    const QColor colour = SettingsStyle::colour(tone, palette);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void caption(QWidget* widget) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    widget->setFont(font);
}

void monospaced(QWidget* widget) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(widget->font().pointSizeF());
    widget->setFont(font);
}

QIcon symbol(const char* name, const QColor& colour, int size) {
    return symbolIcon(name, colour, size);
}

} // namespace SettingsStyle

} // namespace menubar::app
