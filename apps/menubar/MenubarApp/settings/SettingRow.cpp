#include "SettingRow.hpp"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "SettingsModel.hpp"
#include "SettingsStyle.hpp"
#include "app/settings/controls/ControlWidget.hpp"
#include "app/system/QtText.hpp"
#include "settings/SettingRowText.hpp"

namespace menubar::app {

SettingRow::SettingRow(SettingsModel* model, const SettingField& field, QWidget* parent)
    : QWidget(parent), model_(model), name_(field.name()) {
    const SettingSpec& spec = field.spec;
    setObjectName(qs(objectName("row")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(6);

    auto* header = new QHBoxLayout;
    auto* label = new QLabel(qs(spec.label()), this);
    label->setObjectName(qs(objectName("label")));
    QFont medium = label->font();
    medium.setWeight(QFont::Medium);
    label->setFont(medium);
    // A long label wraps rather than widening the window past its width.
    label->setWordWrap(true);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 12);
    header->addWidget(label, 1);
    edited_ = new QLabel(QStringLiteral("edited"), this);
    edited_->setObjectName(qs(objectName("edited")));
    SettingsStyle::caption(edited_);
    SettingsStyle::apply(edited_, SettingsStyle::Tone::orange);
    header->addWidget(edited_, 0, Qt::AlignTop);
    source_ = new QLabel(this);
    source_->setObjectName(qs(objectName("source")));
    SettingsStyle::caption(source_);
    SettingsStyle::apply(source_, SettingsStyle::Tone::secondary);
    header->addWidget(source_, 0, Qt::AlignTop);
    reset_ = new QPushButton(QStringLiteral("Reset to default"), this);
    reset_->setObjectName(qs(objectName("reset")));
    SettingsStyle::caption(reset_);
    reset_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    const std::string resetHelp = SettingRowText::resetHelp(field);
    reset_->setToolTip(qs(resetHelp));
    spoken(reset_, "Reset to default", SettingRowText::Spoken::reset(spec.label(), resetHelp));
    connect(reset_, &QPushButton::clicked, this, [this] { model_->reset(name_); });
    header->addWidget(reset_, 0, Qt::AlignTop);
    layout->addLayout(header);

    control_ = ControlWidget::make(model_, field, this);
    connect(control_, &ControlWidget::judged, this, &SettingRow::refresh);
    layout->addWidget(control_);

    lockNote_ = new SymbolLabel("lock", SettingsStyle::Tone::secondary, this);
    lockNote_->setObjectName(qs(objectName("lock")));
    SettingsStyle::caption(lockNote_);
    layout->addWidget(lockNote_);

    help_ = new QLabel(qs(spec.help), this);
    help_->setObjectName(qs(objectName("help")));
    help_->setWordWrap(true);
    SettingsStyle::caption(help_);
    SettingsStyle::apply(help_, SettingsStyle::Tone::secondary);
    help_->setVisible(!spec.help.empty());
    layout->addWidget(help_);

    live_ = new QLabel(this);
    live_->setObjectName(qs(objectName("live")));
    live_->setWordWrap(true);
    SettingsStyle::caption(live_);
    SettingsStyle::apply(live_, SettingsStyle::Tone::tertiary);
    layout->addWidget(live_);

    error_ = new SymbolLabel("xmark.octagon", SettingsStyle::Tone::red, this);
    error_->setObjectName(qs(objectName("error")));
    SettingsStyle::caption(error_);
    layout->addWidget(error_);

    dim_ = new QGraphicsOpacityEffect(this);
    dim_->setOpacity(1.0);
    setGraphicsEffect(dim_);
    refresh();
}

std::string SettingRow::objectName(const std::string& suffix) const {
    return "setting:" + name_ + (suffix.empty() ? "" : ":" + suffix);
}

void SettingRow::refresh() {
    const SettingsForm* form = model_->form();
    const SettingField* field = form ? form->field(name_) : nullptr;
    if (field == nullptr)
        return;
    edited_->setVisible(field->isDirty());
    source_->setText(qs(SettingRowText::sourceText(*field)));
    reset_->setEnabled(SettingRowText::canReset(*field));
    control_->setEnabled(!field->isLockedByFlag);
    lockNote_->setText(qs(SettingRowText::lockNote(model_->service().manager)));
    lockNote_->setVisible(field->isLockedByFlag);
    dim_->setOpacity(field->isLockedByFlag ? 0.6 : 1.0);
    const auto live = model_->liveValue(*field);
    live_->setText(qs(live ? SettingRowText::liveLine(*live) : std::string()));
    live_->setVisible(live.has_value());
    const auto error = control_->shownError(*field);
    error_->setText(qs(error.value_or(std::string())));
    error_->setVisible(error.has_value());
    control_->refresh(*form);
}

} // namespace menubar::app
