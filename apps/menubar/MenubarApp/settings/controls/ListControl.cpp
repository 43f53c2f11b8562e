#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "Controls.hpp"
#include "app/settings/SettingsModel.hpp"
#include "app/settings/SettingsStyle.hpp"
#include "app/system/QtText.hpp"
#include "settings/FieldEditing.hpp"
#include "settings/SettingRowText.hpp"

namespace menubar::app {

namespace ListEdit = FieldEditing::ListEdit;

ListControl::ListControl(SettingsModel* model, const SettingField& field, QWidget* parent)
    : ControlWidget(model, field, parent) {
    setObjectName(qs(objectName()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    linesLayout_ = new QVBoxLayout;
    linesLayout_->setSpacing(6);
    layout->addLayout(linesLayout_);

    auto* add = new QToolButton(this);
    add->setObjectName(qs(objectName("add")));
    add->setText(QStringLiteral("Add"));
    add->setIcon(SettingsStyle::symbol("plus.circle", palette().color(QPalette::ButtonText)));
    add->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    add->setAutoRaise(true);
    spoken(add, SettingRowText::Spoken::addItem(spec().label()));
    connect(add, &QToolButton::clicked, this, [this] {
        unjudged_ = items_.size();
        focusNew_ = true;
        change(ListEdit::added(items_));
    });
    layout->addWidget(add, 0, Qt::AlignLeft);
    add_ = add;

    empty_ = new QLabel(QStringLiteral("Empty"), this);
    empty_->setObjectName(qs(objectName("empty")));
    SettingsStyle::caption(empty_);
    SettingsStyle::apply(empty_, SettingsStyle::Tone::tertiary);
    layout->addWidget(empty_);
}

void ListControl::change(const std::vector<std::string>& items) {
    model()->set(name(), SettingValue::list(items));
}

void ListControl::refresh(const SettingsForm& form) {
    setItems(FieldEditing::listValue(&form, name()));
}

std::optional<std::string> ListControl::shownError(const SettingField& field) const {
    return FieldEditing::shownError(field, unjudged_);
}

void ListControl::setItems(const std::vector<std::string>& items) {
    const bool sameCount = items.size() == items_.size() && lines_.size() == items.size();
    items_ = items;
    if (!sameCount) {
        if (unjudged_ && *unjudged_ >= items_.size())
            unjudged_.reset();
        rebuild();
        return;
    }
    for (std::size_t index = 0; index < items_.size(); ++index) {
        QLineEdit* line = lines_[index];
        const QString text = qs(items_[index]);
        if (line != typing_ && line->text() != text) {
            const QSignalBlocker blocker(line);
            line->setText(text);
        }
    }
}

// The item added last is judged when focus leaves its line for another widget
// of the window (not when the window itself loses focus).
bool ListControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && unjudged_ && *unjudged_ < lines_.size() &&
        watched == lines_[*unjudged_]) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            unjudged_.reset();
            emit judged();
        }
    }
    return ControlWidget::eventFilter(watched, event);
}

void ListControl::rebuild() {
    while (QLayoutItem* item = linesLayout_->takeAt(0)) {
        // The line may hold the button whose click got us here, so it goes later;
        // taken out of the tree at once, it is no longer found under its name.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
    lines_.clear();
    const std::string label = spec().label();
    for (std::size_t index = 0; index < items_.size(); ++index) {
        auto* line = new QWidget(this);
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* edit = new QLineEdit(qs(items_[index]), line);
        edit->setObjectName(qs(objectName("item:" + std::to_string(index + 1))));
        edit->setPlaceholderText(qs(ListEdit::placeholder(index)));
        spoken(edit, SettingRowText::Spoken::listItem(label, index));
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, edit, index](const QString& text) {
            typing_ = edit;
            change(ListEdit::typed(items_, index, text.toStdString()));
            typing_ = nullptr;
        });
        layout->addWidget(edit, 1);
        auto* remove = new QToolButton(line);
        remove->setObjectName(qs(objectName("remove:" + std::to_string(index + 1))));
        remove->setIcon(
            SettingsStyle::symbol("minus.circle", palette().color(QPalette::ButtonText)));
        remove->setToolTip(QStringLiteral("Remove this item"));
        spoken(remove, SettingRowText::Spoken::removeItem(label, index));
        remove->setAutoRaise(true);
        connect(remove, &QToolButton::clicked, this, [this, index] {
            unjudged_.reset();
            change(ListEdit::removed(items_, index));
        });
        layout->addWidget(remove);
        linesLayout_->addWidget(line);
        line->show(); // now, so that it can take the focus at once
        lines_.push_back(edit);
    }
    // The lines stand above "Add", so they come before it among the children,
    // the order the window's tab chain follows.
    add_->raise();
    empty_->raise();
    empty_->setVisible(items_.empty());
    if (focusNew_ && unjudged_ && *unjudged_ < lines_.size()) {
        focusNew_ = false;
        lines_[*unjudged_]->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace menubar::app
