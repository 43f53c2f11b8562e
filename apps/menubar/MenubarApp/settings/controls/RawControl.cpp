#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/settings/SettingsStyle.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SettingRowText.hpp"

namespace menubar::app {

RawControl::RawControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    line_ = lineEdit(QStringLiteral("Raw JSON"), this);
    SettingsStyle::monospaced(line_);
    connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
        fromWidget(line_,
                   [&] { this->model()->set(name(), SettingValue::text(text.toStdString())); });
    });
    layout->addWidget(line_);
    auto* note = new QLabel(qs(SettingRowText::unknownKindNote(spec().control)), this);
    note->setObjectName(qs(objectName("note")));
    note->setWordWrap(true);
    SettingsStyle::caption(note);
    SettingsStyle::apply(note, SettingsStyle::Tone::secondary);
    layout->addWidget(note);
}

void RawControl::refresh(const SettingsForm& form) {
    setLineText(line_, qs(FieldEditing::textValue(&form, name())));
}

} // namespace menubar::app
