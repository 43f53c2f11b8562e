#include "ControlWidget.hpp"

#include <QLineEdit>
#include <QSignalBlocker>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/system/QtText.hpp"

namespace menubar::app {

void spoken(QWidget* widget, const std::string& name, const std::string& description) {
    widget->setAccessibleName(qs(name));
    if (!description.empty())
        widget->setAccessibleDescription(qs(description));
}

ControlWidget::ControlWidget(SettingsModel* model, const SettingField& field, QWidget* parent)
    : QWidget(parent), model_(model), name_(field.name()), spec_(field.spec) {}

ControlWidget* ControlWidget::make(SettingsModel* model, const SettingField& field,
                                   QWidget* parent) {
    switch (field.spec.control.kind()) {
    case SettingControl::Kind::toggle:
        return new ToggleControl(model, field, parent);
    case SettingControl::Kind::number:
    case SettingControl::Kind::percent:
        return new NumberControl(model, field, parent);
    case SettingControl::Kind::duration:
        return new DurationControl(model, field, parent);
    case SettingControl::Kind::text:
        return new TextControl(model, field, parent);
    case SettingControl::Kind::list:
        return new ListControl(model, field, parent);
    case SettingControl::Kind::enumeration:
        if (field.spec.multiple)
            return new MultipleChoiceControl(model, field, parent);
        return new ChoiceControl(model, field, parent);
    case SettingControl::Kind::path:
        return new PathControl(model, field, parent);
    case SettingControl::Kind::unknown:
        return new RawControl(model, field, parent);
    }
    return new RawControl(model, field, parent);
}

const SettingField* ControlWidget::field() const {
    return model_->form() ? model_->form()->field(name_) : nullptr;
}

std::string ControlWidget::objectName(const std::string& suffix) const {
    return "setting:" + name_ + (suffix.empty() ? "" : ":" + suffix);
}

void ControlWidget::describe(QWidget* widget) const {
    spoken(widget, spec_.label(), spec_.help);
}

QLineEdit* ControlWidget::lineEdit(const QString& placeholder, QWidget* parent) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(qs(objectName()));
    line->setPlaceholderText(placeholder);
    line->setClearButtonEnabled(false);
    describe(line);
    return line;
}

void ControlWidget::setLineText(QLineEdit* line, const QString& text) const {
    if (isEditing(line) || line->text() == text)
        return;
    const QSignalBlocker blocker(line);
    line->setText(text);
}

void ControlWidget::fromWidget(QObject* source, const std::function<void()>& edit) {
    editSource_ = source;
    edit();
    editSource_ = nullptr;
}

} // namespace menubar::app
