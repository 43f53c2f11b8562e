#include <QCheckBox>
#include <QHBoxLayout>
#include <QSignalBlocker>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"

namespace menubar::app {

MultipleChoiceControl::MultipleChoiceControl(SettingsModel* model, const SettingField& field,
                                             QWidget* parent)
    : ControlWidget(model, field, parent) {
    setObjectName(qs(objectName()));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    // Each box is named by its choice; what they choose is the setting.
    for (const auto& choice : spec().values) {
        auto* check = new QCheckBox(qs(choice), this);
        check->setObjectName(qs(objectName("choice:" + choice)));
        check->setAccessibleDescription(qs(spec().label()));
        connect(check, &QCheckBox::clicked, this, [this, choice](bool on) {
            const SettingField* current = this->field();
            const SettingValue value = current ? current->value : SettingValue::list({});
            this->model()->set(
                name(), SettingValue::list(FieldEditing::toggledMember(spec(), value, choice, on)));
        });
        boxes_.emplace_back(choice, check);
        layout->addWidget(check);
    }
    layout->addStretch(1);
}

void MultipleChoiceControl::refresh(const SettingsForm& form) {
    const SettingField* current = form.field(name());
    for (const auto& [choice, check] : boxes_) {
        const QSignalBlocker blocker(check);
        check->setChecked(current != nullptr && FieldEditing::isMember(current->value, choice));
    }
}

} // namespace menubar::app
