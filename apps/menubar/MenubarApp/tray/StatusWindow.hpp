#pragma once

// The status menu as a small window, for a desktop without a tray (and on
// request, `tessaly-menubar --window`). It renders the same StatusMenu entries
// as the tray menu, one row each: informational lines as text, drawn disabled
// as the menu draws them, actions as buttons ("Icon only" as a check box),
// separators as lines; a click hands the entry back to whoever routes the
// menu's actions. Its size follows the rows it holds, not the length of their
// texts, so it does not jump as a poll changes a line. Escape closes it. No
// rule lives here.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "status/StatusMenu.hpp"

class QLabel;
class QVBoxLayout;

namespace menubar::app {

class StatusWindow : public QWidget {
    Q_OBJECT

public:
    using Perform = std::function<void(const MenuEntry& entry)>;

    explicit StatusWindow(Perform perform, QWidget* parent = nullptr);

    // Rows whose items stay the same are updated in place and only the rows
    // between them are replaced (MenuUpdate), so a poll does not take the
    // focused button away. `note` is shown above the rows when present.
    void render(const std::vector<MenuEntry>& entries, const std::optional<std::string>& note);

    // One widget per entry, in order.
    const std::vector<QWidget*>& rows() const { return shownRows_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* row(const MenuEntry& entry);
    void fitRows();
    void refreshRow(QWidget* row, const MenuEntry& entry);

    Perform perform_;
    QLabel* note_;
    QVBoxLayout* rows_;
    std::vector<QWidget*> shownRows_;
    std::vector<MenuEntry> shownEntries_;
    bool sized_ = false;
};

} // namespace menubar::app
