#include "StatusWindow.hpp"

#include <algorithm>

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/system/QtText.hpp"
#include "status/MenuUpdate.hpp"

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
    const MenuUpdate update = MenuUpdate::plan(shownEntries_, entries, MenuUpdate::View::window);
    const bool patch = update.kind == MenuUpdate::Kind::patch;
    const std::size_t front = patch ? update.front : entries.size();
    const std::size_t back = patch ? update.back : 0;
    const std::size_t shownBack = shownRows_.size() - back;
    std::vector<QWidget*> rows;
    for (std::size_t i = 0; i < front; ++i) {
        rows.push_back(shownRows_[i]);
    }
    for (std::size_t i = front; i < shownBack; ++i) {
        // The button that asked for this patch may still be delivering its click.
        rows_->removeWidget(shownRows_[i]);
        shownRows_[i]->hide();
        shownRows_[i]->deleteLater();
    }
    for (std::size_t i = front; i < entries.size() - back; ++i) {
        QWidget* made = row(entries[i]);
        rows_->insertWidget(static_cast<int>(i), made);
        rows.push_back(made);
    }
    rows.insert(rows.end(), shownRows_.begin() + static_cast<std::ptrdiff_t>(shownBack),
                shownRows_.end());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool kept = i < front || i >= entries.size() - back;
        const std::size_t was = i < front ? i : i - entries.size() + shownEntries_.size();
        if (kept && entries[i] != shownEntries_[was]) {
            refreshRow(rows[i], entries[i]);
        }
    }
    shownRows_ = std::move(rows);
    shownEntries_ = entries;
    fitRows();
}

// As tall as the rows need, grown but never shrunk by a poll; as wide as it
// was first shown, or as the user made it.
void StatusWindow::fitRows() {
    const int height = std::max(sizeHint().height(), this->height());
    if (sized_) {
        if (height > this->height()) {
            resize(width(), height);
        }
        return;
    }
    sized_ = true;
    int width = 0;
    for (const QWidget* row : shownRows_) {
        width = std::max(width, row->sizeHint().width());
    }
    const QMargins margins = layout()->contentsMargins();
    resize(std::clamp(width + margins.left() + margins.right(), 320, 560), sizeHint().height());
}

void StatusWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
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
    // A longer text is cut at the window's edge rather than widening the
    // window under the pointer.
    made->setSizePolicy(QSizePolicy::Ignored, made->sizePolicy().verticalPolicy());
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
    // As in the menu, a line that does nothing is drawn disabled.
    row->setEnabled(entry.enabled);
    row->setToolTip(entry.tooltip ? qs(*entry.tooltip) : QString());
}

} // namespace menubar::app
