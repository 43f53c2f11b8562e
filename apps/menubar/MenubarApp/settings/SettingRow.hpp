#pragma once

// One setting of the form as a row of widgets: the header (label, "edited", the
// source and "Reset to default"), the control for the setting's kind, the lock
// note, the help, the value the running daemon uses and the field's error.
//
// A row holds no value of its own: every control reads the field anew from the
// model's form by name and writes through the model. A row is built once per
// loaded form and then only updated in place on the model's `changed`; the
// widget being typed in is never rewritten by its own edit, so it keeps focus
// and cursor. Each widget is named after its setting ("setting:warn-context",
// "setting:warn-context:reset", ...) so tests and tools can find it.

#include <functional>
#include <string>
#include <vector>

#include <QLabel>
#include <QWidget>

#include "settings/SettingsForm.hpp"

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGraphicsOpacityEffect;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace menubar::app {

class SettingsModel;

// The looks the window uses beside the palette's own.
namespace SettingsStyle {
enum class Tone { primary, secondary, tertiary, red, orange };
QColor colour(Tone tone, const QPalette& palette);
void apply(QWidget* widget, Tone tone);
void caption(QWidget* widget);
void monospaced(QWidget* widget);
// The named drawing tinted in the colour, `size` pixels square.
QIcon symbol(const char* name, const QColor& colour, int size = 16);
} // namespace SettingsStyle

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

// Edits a list of texts: one line per item with its remove button, "Add", and
// "Empty" when there are no items. Each edit hands the whole new list to
// `onChange` once.
class ListControl : public QWidget {
    Q_OBJECT

public:
    using OnChange = std::function<void(const std::vector<std::string>&)>;
    // `label` is the setting's, for the names a screen reader gives each line.
    ListControl(const std::string& name, std::string label, OnChange onChange,
                QWidget* parent = nullptr);
    // Rebuilds the lines only when the number of items changed.
    void setItems(const std::vector<std::string>& items);

private:
    void rebuild();

    std::string name_;
    std::string label_;
    OnChange onChange_;
    std::vector<std::string> items_;
    std::vector<QLineEdit*> lines_;
    QVBoxLayout* linesLayout_;
    QWidget* add_;
    QLabel* empty_;
    QLineEdit* typing_ = nullptr;
};

class SettingRow : public QWidget {
    Q_OBJECT

public:
    SettingRow(SettingsModel* model, const SettingField& field, QWidget* parent = nullptr);
    const std::string& name() const { return name_; }
    // Brings every widget in line with the model's field, in place.
    void refresh();

private:
    QWidget* buildControl();
    QWidget* numberControl();
    QWidget* textControl();
    QWidget* choiceControl();
    QWidget* pathControl();
    QWidget* rawControl();
    QLineEdit* lineEdit(const QString& placeholder);
    // The setting's label and help as the control's accessible name and description.
    void describe(QWidget* control) const;
    void setLineText(QLineEdit* line, const QString& text);
    // Runs an edit that the widget `source` made, so the refresh it causes leaves
    // that widget's text alone.
    void fromWidget(QObject* source, const std::function<void()>& edit);
    QString formatNumber(double value) const;
    void choosePath();
    std::string objectName(const std::string& suffix = {}) const;

    SettingsModel* model_;
    std::string name_;
    SettingSpec spec_;
    QLabel* edited_;
    QLabel* source_;
    QPushButton* reset_;
    QWidget* control_;
    SymbolLabel* lockNote_;
    QLabel* help_;
    QLabel* live_;
    SymbolLabel* error_;
    QGraphicsOpacityEffect* dim_;
    std::vector<std::function<void()>> refreshers_;
    QObject* editSource_ = nullptr;
};

} // namespace menubar::app
