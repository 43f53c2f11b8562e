#include <QHBoxLayout>
#include <QLineEdit>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"

namespace menubar::app {

DurationControl::DurationControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    line_ = lineEdit(qs(field.defaultText()), this);
    line_->setMaximumWidth(200);
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        fromWidget(line_,
                   [&] { this->model()->set(name(), SettingValue::text(text.toStdString())); });
    });
    layout->addWidget(line_);
    layout->addStretch(1);
}

void DurationControl::refresh(const SettingsForm& form) {
    setLineText(line_, qs(FieldEditing::textValue(&form, name())));
}

} // namespace menubar::app
