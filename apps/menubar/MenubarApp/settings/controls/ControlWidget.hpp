#pragma once

// The control that edits one setting, one class per kind (Controls.hpp), behind
// this base. A control holds no value of its own: `refresh` reads the field
// anew from the form by name, and every edit goes through the model. The widget
// being typed in is never rewritten by its own edit, so it keeps focus and
// cursor. Each widget is named after its setting ("setting:warn-context",
// "setting:warn-context:up", ...) so tests and tools can find it.

#include <functional>
#include <optional>
#include <string>

#include <QWidget>

#include "settings/SettingsForm.hpp"

class QLineEdit;

namespace menubar::app {

class SettingsModel;

class ControlWidget : public QWidget {
    Q_OBJECT

public:
    ControlWidget(SettingsModel* model, const SettingField& field, QWidget* parent);

    // The control for the field's kind.
    static ControlWidget* make(SettingsModel* model, const SettingField& field, QWidget* parent);

    // Brings every widget in line with the form's field, in place.
    virtual void refresh(const SettingsForm& form) = 0;
    // The field's error as the row shows it; the list holds back an item the
    // user is still writing.
    virtual std::optional<std::string> shownError(const SettingField& field) const {
        return field.error;
    }

signals:
    // What the row shows beside the control changed without an edit of the form.
    void judged();

protected:
    SettingsModel* model() const { return model_; }
    const std::string& name() const { return name_; }
    const SettingSpec& spec() const { return spec_; }
    // The field in the model's form now; null without one.
    const SettingField* field() const;
    std::string objectName(const std::string& suffix = {}) const;
    // The setting's label and help as the widget's accessible name and description.
    void describe(QWidget* widget) const;
    // A line named after the setting, described, with the placeholder.
    QLineEdit* lineEdit(const QString& placeholder, QWidget* parent);
    // Shows the text, unless the line is the one being typed in.
    void setLineText(QLineEdit* line, const QString& text) const;
    bool isEditing(const QObject* widget) const { return widget == editSource_; }
    // Runs an edit that the widget `source` made, so the refresh it causes leaves
    // that widget's text alone.
    void fromWidget(QObject* source, const std::function<void()>& edit);

private:
    SettingsModel* model_;
    std::string name_;
    SettingSpec spec_;
    QObject* editSource_ = nullptr;
};

// The accessible name and, when given, description of a widget.
void spoken(QWidget* widget, const std::string& name, const std::string& description = {});

} // namespace menubar::app
