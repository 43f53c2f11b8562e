#pragma once

// The status menu as a small window, for a desktop without a tray (and on
// request, `tessaly-menubar --window`). It renders the same StatusMenu entries
// as the tray menu, one row each: informational lines as text, actions as
// buttons ("Icon only" as a check box), separators as lines; a click hands the
// entry back to whoever routes the menu's actions. No rule lives here.

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

    // Rows whose items stay the same (StatusMenu::sameItems) are updated in
    // place, so a poll does not take the button under the pointer away;
    // anything else rebuilds the rows. `note` is shown above them when present.
    void render(const std::vector<MenuEntry>& entries, const std::optional<std::string>& note);

    // One widget per entry, in order.
    const std::vector<QWidget*>& rows() const { return shownRows_; }

private:
    QWidget* row(const MenuEntry& entry);
    void refreshRow(QWidget* row, const MenuEntry& entry);

    Perform perform_;
    QLabel* note_;
    QVBoxLayout* rows_;
    std::vector<QWidget*> shownRows_;
    std::vector<MenuEntry> shownEntries_;
};

} // namespace menubar::app
