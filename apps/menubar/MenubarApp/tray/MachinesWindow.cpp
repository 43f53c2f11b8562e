#include "MachinesWindow.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "MachinesMonitor.hpp"
#include "app/system/Log.hpp"
#include "app/system/QtText.hpp"
#include "settings/SaveSettings.hpp"
#include "system/Paths.hpp"

namespace menubar::app {

namespace {

QString text(const QLineEdit* field) {
    return field->text().trimmed();
}

} // namespace

MachinesWindow::MachinesWindow(MachinesMonitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor), list_(new QListWidget(this)),
      destination_(new QLineEdit(this)), name_(new QLineEdit(this)),
      add_(new QPushButton(QStringLiteral("Add"), this)),
      remove_(new QPushButton(QStringLiteral("Remove"), this)),
      test_(new QPushButton(QStringLiteral("Test"), this)), message_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Machines"));
    setObjectName(QStringLiteral("machinesWindow"));
    list_->setObjectName(QStringLiteral("machinesList"));
    list_->setAccessibleName(QStringLiteral("Machines"));
    destination_->setObjectName(QStringLiteral("destination"));
    destination_->setAccessibleName(QStringLiteral("SSH destination"));
    destination_->setPlaceholderText(QStringLiteral("alias, user@host or ssh://user@host:port"));
    name_->setObjectName(QStringLiteral("name"));
    name_->setAccessibleName(QStringLiteral("Name (optional)"));
    add_->setObjectName(QStringLiteral("add"));
    remove_->setObjectName(QStringLiteral("remove"));
    test_->setObjectName(QStringLiteral("test"));
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    message_->setAccessibleName(QStringLiteral("Result"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Destination:"), destination_);
    form->addRow(QStringLiteral("&Name:"), name_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addWidget(test_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(message_);
    setTabOrder(list_, destination_);
    setTabOrder(destination_, name_);
    setTabOrder(name_, add_);
    setTabOrder(add_, remove_);
    setTabOrder(remove_, test_);
    add_->setDefault(true);
    resize(520, 360);

    connect(add_, &QPushButton::clicked, this, &MachinesWindow::add);
    connect(destination_, &QLineEdit::returnPressed, this, &MachinesWindow::add);
    connect(remove_, &QPushButton::clicked, this, &MachinesWindow::remove);
    connect(test_, &QPushButton::clicked, this, &MachinesWindow::test);
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        remove_->setEnabled(list_->currentRow() >= 0 &&
                            list_->currentRow() <
                                static_cast<int>(monitor_.list().machines.size()));
    });
    connect(&monitor_, &MachinesMonitor::changed, this, [this] {
        if (isVisible())
            showList();
    });
    showList();
}

void MachinesWindow::showList() {
    const int row = list_->currentRow();
    list_->clear();
    const auto views = monitor_.views(currentInstant(), TimeZone::current());
    for (const MachineView& view : views) {
        auto* item = new QListWidgetItem(
            qs(view.machine.displayName() + " \u2014 " + view.stateLine), list_);
        item->setToolTip(
            qs(view.machine.destination + (view.stateTooltip ? "\n" + *view.stateTooltip : "")));
    }
    for (const RefusedMachineLine& refused : monitor_.list().refused) {
        auto* item = new QListWidgetItem(
            qs("Line " + std::to_string(refused.lineNumber) + " ignored: " + refused.reason),
            list_);
        item->setToolTip(qs(refused.text));
        item->setFlags(Qt::ItemIsEnabled);
    }
    list_->setCurrentRow(std::min(row, list_->count() - 1));
    remove_->setEnabled(list_->currentRow() >= 0 &&
                        list_->currentRow() < static_cast<int>(views.size()));
    if (monitor_.list() != MachineList::resolve({}, fileText()))
        message_->setText(qs(std::string(MachineList::environmentKey) +
                             " is set: the machines file is not used."));
}

void MachinesWindow::add() {
    const Machine machine{text(destination_).toStdString(), text(name_).toStdString()};
    auto reason = MachineList::refusal(machine.destination, machine.name);
    const auto& machines = monitor_.list().machines;
    if (!reason && std::any_of(machines.begin(), machines.end(), [&](const Machine& m) {
            return m.destination == machine.destination;
        }))
        reason = "listed twice";
    if (!reason)
        reason = write(MachineList::adding(fileText(), machine));
    if (reason) {
        message_->setText(qs("Not added: " + *reason));
        return;
    }
    message_->setText(qs("Added " + machine.displayName()));
    destination_->clear();
    name_->clear();
}

void MachinesWindow::remove() {
    const int row = list_->currentRow();
    const auto& machines = monitor_.list().machines;
    if (row < 0 || row >= static_cast<int>(machines.size()))
        return;
    const Machine machine = machines[static_cast<std::size_t>(row)];
    if (const auto reason = write(MachineList::removing(fileText(), machine.destination)))
        message_->setText(qs("Not removed: " + *reason));
    else
        message_->setText(qs("Removed " + machine.displayName()));
}

void MachinesWindow::test() {
    const int row = list_->currentRow();
    const auto& machines = monitor_.list().machines;
    Machine machine{text(destination_).toStdString(), text(name_).toStdString()};
    if (machine.destination.empty() && row >= 0 && row < static_cast<int>(machines.size()))
        machine = machines[static_cast<std::size_t>(row)];
    if (const auto reason = MachineList::refusal(machine.destination, machine.name)) {
        message_->setText(qs("Not tested: " + *reason));
        return;
    }
    message_->setText(qs("Testing " + machine.displayName() + "..."));
    test_->setEnabled(false);
    QPointer<MachinesWindow> self(this);
    monitor_.test(machine, [self, machine](const MachineLink& link) {
        if (!self)
            return;
        self->test_->setEnabled(true);
        const MachineView view =
            MachineView::of(machine, link, currentInstant(), TimeZone::current());
        self->message_->setText(qs(machine.displayName() + ": " + view.stateLine +
                                   (view.stateTooltip ? "\nssh said: " + *view.stateTooltip : "")));
    });
}

std::string MachinesWindow::fileText() const {
    const FileReadResult read = FileSystem::real().readFile(monitor_.filePath(), 1024 * 1024);
    const auto* bytes = std::get_if<std::string>(&read);
    return bytes ? *bytes : std::string();
}

std::optional<std::string> MachinesWindow::write(const std::string& text) {
    // The config save's own durable steps: a new file on stable storage, renamed over the old.
    const SaveEnvironment disk = SaveEnvironment::files(nullptr);
    const std::string path = monitor_.filePath();
    const std::string folder = Paths::parentDirectory(path);
    const std::string candidate = path + ".new";
    try {
        disk.createDirectory(folder);
        disk.writeFile(candidate, text, std::nullopt);
        disk.rename(candidate, path);
        disk.syncDirectory(folder);
    } catch (const std::exception& error) {
        disk.remove(candidate);
        log(std::string("could not write the machines file: ") + error.what());
        return std::string(error.what());
    }
    monitor_.reload();
    showList();
    return std::nullopt;
}

} // namespace menubar::app
