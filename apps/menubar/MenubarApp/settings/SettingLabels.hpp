#pragma once

// The two labels the settings window is made of beside plain ones: a text
// clamped to a few lines, and a text with a symbol before it.

#include <QLabel>
#include <QStringList>
#include <QWidget>

#include "SettingsStyle.hpp"

namespace menubar::app {

// A text on at most `lines` lines: where it needs more, the last line shown ends
// in an ellipsis after what fits, never cut through its letters. The whole text
// is its tooltip, and "Copy" in its context menu takes the whole text.
class ClampedLabel : public QLabel {
    Q_OBJECT

public:
    ClampedLabel(int lines, QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }
    // Always room for every line, so a longer text never makes the window
    // jump or squeezes the last line under the one above.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The lines the whole text takes at `width`, before clamping.
    QStringList wrapped(int width) const;
    void relayout();

    int lines_;
    QString full_;
};

// A text with a symbol before it; the name goes on this widget.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    SymbolLabel(const char* symbol, SettingsStyle::Tone tone, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const;
    QLabel* textLabel() const { return text_; }

private:
    QLabel* text_;
};

} // namespace menubar::app
