#include "StatusWindow.hpp"

#include <QCheckBox>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/system/QtText.hpp"

namespace menubar::app {

namespace {

// Session names and event texts are shown as written: "&" would mark a mnemonic
// on a button.
QString buttonText(const std::string& title) {
    return qs(title).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

StatusWindow::StatusWindow(Perform perform, QWidget* parent)
    : QWidget(parent, Qt::Window), perform_(std::move(perform)), note_(new QLabel(this)),
      rows_(new QVBoxLayout) {
    setObjectName(QStringLiteral("statusWindow"));
    setWindowTitle(QStringLiteral("tessaly"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    note_->setObjectName(QStringLiteral("statusWindowNote"));
    note_->setWordWrap(true);
    note_->setTextFormat(Qt::PlainText);
    note_->setFrameShape(QFrame::StyledPanel);
    note_->setMargin(8);
    note_->setMaximumWidth(420);
    note_->hide();
    layout->addWidget(note_);
    rows_->setSpacing(2);
    layout->addLayout(rows_);
}

void StatusWindow::render(const std::vector<MenuEntry>& entries,
                          const std::optional<std::string>& note) {
    note_->setVisible(note.has_value());
    note_->setText(note ? qs(*note) : QString());
    if (shownRows_.size() == entries.size() && StatusMenu::sameItems(shownEntries_, entries)) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] != shownEntries_[i]) {
                refreshRow(shownRows_[i], entries[i]);
            }
        }
    } else {
        // The button that asked for this rebuild may still be delivering its click.
        for (QWidget* old : shownRows_) {
            old->hide();
            old->deleteLater();
        }
        shownRows_.clear();
        for (const MenuEntry& entry : entries) {
            QWidget* made = row(entry);
            rows_->addWidget(made);
            shownRows_.push_back(made);
        }
    }
    shownEntries_ = entries;
}

QWidget* StatusWindow::row(const MenuEntry& entry) {
    if (entry.isSeparator) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }
    QWidget* made = nullptr;
    if (entry.checkable()) {
        auto* box = new QCheckBox(this);
        connect(box, &QCheckBox::clicked, this, [this, entry] { perform_(entry); });
        made = box;
    } else if (entry.action != MenuAction::none) {
        auto* button = new QPushButton(this);
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 2px 1px;"));
        if (!entry.keyEquivalent.empty()) {
            button->setShortcut(
                QKeySequence(QStringLiteral("Ctrl+") + qs(entry.keyEquivalent).toUpper()));
        }
        connect(button, &QPushButton::clicked, this, [this, entry] { perform_(entry); });
        made = button;
    } else {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setMargin(2);
        made = label;
    }
    if (entry.indentation > 0) {
        made->setContentsMargins(entry.indentation * 16, 0, 0, 0);
    }
    refreshRow(made, entry);
    return made;
}

// What may change while a row keeps its place; see StatusMenu::sameItems.
void StatusWindow::refreshRow(QWidget* row, const MenuEntry& entry) {
    if (auto* box = qobject_cast<QCheckBox*>(row)) {
        box->setText(buttonText(entry.title));
        box->setChecked(entry.checked);
    } else if (auto* button = qobject_cast<QPushButton*>(row)) {
        button->setText(buttonText(entry.title));
    } else if (auto* label = qobject_cast<QLabel*>(row)) {
        label->setText(qs(entry.title));
    }
    row->setEnabled(entry.action == MenuAction::none || entry.enabled);
    row->setToolTip(entry.tooltip ? qs(*entry.tooltip) : QString());
}

} // namespace menubar::app
