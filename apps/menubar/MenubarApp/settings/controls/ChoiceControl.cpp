#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"

namespace menubar::app {

ChoiceControl::ChoiceControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent), combo_(new QComboBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    combo_->setObjectName(qs(objectName()));
    combo_->setMaximumWidth(240);
    describe(combo_);
    for (const auto& value : spec().values)
        combo_->addItem(qs(value));
    connect(combo_, &QComboBox::activated, this, [this](int index) {
        const auto& values = spec().values;
        if (index >= 0 && static_cast<std::size_t>(index) < values.size())
            this->model()->set(name(), SettingValue::text(values[static_cast<std::size_t>(index)]));
    });
    layout->addWidget(combo_);
    layout->addStretch(1);
}

void ChoiceControl::refresh(const SettingsForm& form) {
    const std::string current = FieldEditing::textValue(&form, name());
    const auto& values = spec().values;
    int selected = -1;
    for (std::size_t index = 0; index < values.size(); ++index)
        if (values[index] == current) {
            selected = static_cast<int>(index);
            break;
        }
    const QSignalBlocker blocker(combo_);
    combo_->setCurrentIndex(selected);
}

} // namespace menubar::app
