#pragma once

// One setting of the form as a row of widgets: the header (label, "edited", the
// source and "Reset to default"), the control for the setting's kind
// (controls/), the lock note, the help, the value the running daemon uses and
// the field's error.
//
// A row holds no value of its own: it reads the field anew from the model's
// form by name and writes through the model. A row is built once per loaded
// form and then only updated in place on the model's `changed`. Each widget is
// named after its setting ("setting:warn-context:reset", ...) so tests and
// tools can find it.

#include <string>

#include <QWidget>

#include "SettingLabels.hpp"
#include "settings/SettingsForm.hpp"

class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;

namespace menubar::app {

class ControlWidget;
class SettingsModel;

class SettingRow : public QWidget {
    Q_OBJECT

public:
    SettingRow(SettingsModel* model, const SettingField& field, QWidget* parent = nullptr);
    const std::string& name() const { return name_; }
    // Brings every widget in line with the model's field, in place.
    void refresh();

private:
    std::string objectName(const std::string& suffix = {}) const;

    SettingsModel* model_;
    std::string name_;
    QLabel* edited_;
    QLabel* source_;
    QPushButton* reset_;
    ControlWidget* control_;
    SymbolLabel* lockNote_;
    QLabel* help_;
    QLabel* live_;
    SymbolLabel* error_;
    QGraphicsOpacityEffect* dim_;
};

} // namespace menubar::app
