#include <QCheckBox>
#include <QHBoxLayout>
#include <QSignalBlocker>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"

namespace menubar::app {

ToggleControl::ToggleControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent), box_(new QCheckBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    box_->setObjectName(qs(objectName()));
    describe(box_);
    connect(box_, &QCheckBox::clicked, this,
            [this](bool on) { this->model()->set(name(), SettingValue::boolean(on)); });
    layout->addWidget(box_);
    layout->addStretch(1);
}

void ToggleControl::refresh(const SettingsForm& form) {
    const QSignalBlocker blocker(box_);
    box_->setChecked(FieldEditing::boolValue(&form, name()));
}

} // namespace menubar::app
