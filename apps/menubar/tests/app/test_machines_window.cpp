// The Machines window: Add checks a destination by the file's own rule before
// anything is written, Add and Remove rewrite the file in place of the old one,
// and the monitor follows.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/tray/MachinesMonitor.hpp"
#include "app/tray/MachinesWindow.hpp"

using namespace menubar;
using namespace menubar::app;

class MachinesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void addsAndRemovesByTheFilesRule() {
        QTemporaryDir home;
        const std::string file = home.path().toStdString() + "/config/tessaly-menubar/machines";
        MachinesMonitor::Setup setup;
        setup.filePath = file;
        setup.fileSystem = FileSystem::real();
        setup.now = [] { return currentInstant(); };
        int fetches = 0;
        setup.fetch = [&fetches](const Machine&, MachinesMonitor::Output,
                                 MachinesMonitor::Completion) {
            ++fetches;
            return MachinesMonitor::Stop();
        };
        MachinesMonitor monitor(setup);
        monitor.start();
        MachinesWindow window(monitor);
        window.show();
        const auto read = [&] {
            std::ostringstream text;
            text << std::ifstream(file).rdbuf();
            return text.str();
        };
        auto* destination = window.findChild<QLineEdit*>("destination");
        auto* name = window.findChild<QLineEdit*>("name");
        auto* message = window.findChild<QLabel*>("message");

        destination->setText("-oProxyCommand=touch /tmp/x");
        QTest::mouseClick(window.findChild<QPushButton*>("add"), Qt::LeftButton);
        QCOMPARE(
            message->text(),
            QString("Not added: starts like an option, which ssh would obey rather than connect"));
        QVERIFY(!std::filesystem::exists(file));

        destination->setText("ada@gpu");
        name->setText("GPU");
        QTest::keyClick(destination, Qt::Key_Return);
        destination->setText("build");
        QTest::keyClick(destination, Qt::Key_Return);
        QCOMPARE(read(), std::string("ada@gpu\tGPU\nbuild\n"));
        QCOMPARE(monitor.list().machines.size(), std::size_t(2));
        QCOMPARE(fetches, 2);
        window.findChild<QListWidget*>("machinesList")->setCurrentRow(0);
        window.grab().save(qEnvironmentVariable("MACHINES_WINDOW_SHOT", "/dev/null"), "PNG");
        QTest::mouseClick(window.findChild<QPushButton*>("remove"), Qt::LeftButton);
        QCOMPARE(read(), std::string("build\n"));
        QCOMPARE(monitor.list().machines.size(), std::size_t(1));
    }
};

QTEST_MAIN(MachinesWindowTest)
#include "test_machines_window.moc"
