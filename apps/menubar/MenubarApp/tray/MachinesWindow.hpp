#pragma once

// The "Machines…" window: the machines of the list with each one's live state,
// Add (a destination and an optional name, checked by the same rule as the
// file), Remove, and Test (one fetch, showing what ssh said). Changes are
// written to the machines file atomically and durably, and reach the menu
// through the file's watch like a hand edit. Every control has a name for
// assistive technology and is reached by the keyboard.

#include <optional>
#include <string>

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace menubar::app {

class MachinesMonitor;

class MachinesWindow : public QWidget {
    Q_OBJECT

public:
    explicit MachinesWindow(MachinesMonitor& monitor, QWidget* parent = nullptr);

    // Shows the list as it stands now.
    void showList();

private:
    void add();
    void remove();
    void test();
    // Writes the file's new text; the reason it could not, or nothing.
    std::optional<std::string> write(const std::string& text);
    std::string fileText() const;

    MachinesMonitor& monitor_;
    QListWidget* list_;
    QLineEdit* destination_;
    QLineEdit* name_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* test_;
    QLabel* message_;
};

} // namespace menubar::app
