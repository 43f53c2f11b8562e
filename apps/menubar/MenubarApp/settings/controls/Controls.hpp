#pragma once

// One widget class per control kind, each in its own file, built by
// ControlWidget::make.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ControlWidget.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class QVBoxLayout;

namespace menubar::app {

// On or off: a check box that takes only its own room, so a click beside it
// does not toggle it.
class ToggleControl final : public ControlWidget {
    Q_OBJECT
public:
    ToggleControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    QCheckBox* box_;
};

// A number or percentage: a line that reads and shows numbers as the file holds
// them, whatever the locale, and a stepper. The stepper's arrows are for the
// mouse; Up and Down in the line step too, so the field is one tab stop.
class NumberControl final : public ControlWidget {
    Q_OBJECT
public:
    NumberControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString format(double value) const;
    void step(int direction);

    QLineEdit* line_;
    QToolButton* up_;
    QToolButton* down_;
};

// A duration such as 30s, typed as text.
class DurationControl final : public ControlWidget {
    Q_OBJECT
public:
    DurationControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    QLineEdit* line_;
};

// Text on one line or several, with the required prefix shown beside it.
class TextControl final : public ControlWidget {
    Q_OBJECT
public:
    TextControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* fallback_ = nullptr; // "Default: ..." under an empty editor
};

// One of the schema's values.
class ChoiceControl final : public ControlWidget {
    Q_OBJECT
public:
    ChoiceControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    QComboBox* combo_;
};

// Any of the schema's values: one box per value, named by it.
class MultipleChoiceControl final : public ControlWidget {
    Q_OBJECT
public:
    MultipleChoiceControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    std::vector<std::pair<std::string, QCheckBox*>> boxes_;
};

// A file path, typed or picked.
class PathControl final : public ControlWidget {
    Q_OBJECT
public:
    PathControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    void choose();
    QLineEdit* line_;
};

// A list of texts: one line per item with its remove button, "Add", and "Empty"
// when there are no items. Each edit hands the whole new list to the model. A
// new item takes the focus and is judged once the user leaves it.
class ListControl final : public ControlWidget {
    Q_OBJECT
public:
    ListControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;
    std::optional<std::string> shownError(const SettingField& field) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rebuilds the lines only when the number of items changed.
    void setItems(const std::vector<std::string>& items);
    void rebuild();
    void change(const std::vector<std::string>& items);

    std::vector<std::string> items_;
    std::vector<QLineEdit*> lines_;
    QVBoxLayout* linesLayout_;
    QWidget* add_;
    QLabel* empty_;
    QLineEdit* typing_ = nullptr;
    // The item added last, until the user leaves it.
    std::optional<std::size_t> unjudged_;
    bool focusNew_ = false;
};

// A kind this app does not know: the value as raw JSON, with a note.
class RawControl final : public ControlWidget {
    Q_OBJECT
public:
    RawControl(SettingsModel* model, const SettingField& field, QWidget* parent);
    void refresh(const SettingsForm& form) override;

private:
    QLineEdit* line_;
};

} // namespace menubar::app
