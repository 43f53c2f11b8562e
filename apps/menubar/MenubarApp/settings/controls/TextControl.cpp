#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/settings/SettingsStyle.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SettingRowText.hpp"

namespace menubar::app {

TextControl::TextControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (spec().requiredPrefix) {
        auto* prefix = new QLabel(qs(*spec().requiredPrefix), this);
        prefix->setObjectName(qs(objectName("prefix")));
        SettingsStyle::monospaced(prefix);
        SettingsStyle::apply(prefix, SettingsStyle::Tone::secondary);
        prefix->setToolTip(qs(SettingRowText::prefixHelp));
        layout->addWidget(prefix);
    }
    if (!spec().multiline) {
        line_ = lineEdit(qs(field.defaultText()), this);
        connect(line_, &QLineEdit::textEdited, this, [this](const QString& text) {
            fromWidget(line_, [&] { this->model()->setEditableText(name(), text.toStdString()); });
        });
        layout->addWidget(line_);
        return;
    }
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(qs(objectName()));
    editor_->setMinimumHeight(64);
    editor_->setMaximumHeight(120);
    editor_->setTabChangesFocus(true);
    describe(editor_);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        fromWidget(editor_, [&] {
            this->model()->setEditableText(name(), editor_->toPlainText().toStdString());
        });
    });
    layout->addWidget(editor_);
    fallback_ = new QLabel(this);
    fallback_->setObjectName(qs(objectName("default")));
    fallback_->setWordWrap(true);
    SettingsStyle::caption(fallback_);
    SettingsStyle::apply(fallback_, SettingsStyle::Tone::tertiary);
    layout->addWidget(fallback_);
}

void TextControl::refresh(const SettingsForm& form) {
    const QString text = qs(FieldEditing::editableText(&form, name()));
    if (line_ != nullptr) {
        setLineText(line_, text);
        return;
    }
    if (!isEditing(editor_) && editor_->toPlainText() != text) {
        const QSignalBlocker blocker(editor_);
        editor_->setPlainText(text);
    }
    const SettingField* current = form.field(name());
    const auto line = current ? SettingRowText::multilineDefault(*current) : std::nullopt;
    fallback_->setText(qs(line.value_or(std::string())));
    fallback_->setVisible(line.has_value());
}

} // namespace menubar::app
