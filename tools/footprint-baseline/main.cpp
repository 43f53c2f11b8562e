// The smallest tray program that does what the menu bar app does at rest: an
// icon, a menu, and a file read every three seconds. scripts/footprint runs it
// beside the app, so the app's memory and CPU can be read as a ratio to what Qt
// itself costs on the same machine.
//
//   footprint-baseline FILE

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x2e, 0x9e, 0x5b));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(3, 3, 16, 16);
    }

    QMenu menu;
    menu.addAction(QStringLiteral("Refresh"));
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &application,
                     &QApplication::quit);

    QSystemTrayIcon tray{QIcon(pixmap)};
    tray.setToolTip(QStringLiteral("footprint baseline"));
    tray.setContextMenu(&menu);

    qint64 lastSize = 0;
    QTimer timer;
    timer.setInterval(3000);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            lastSize = file.readAll().size();
        }
    });
    timer.start();
    tray.show();
    return QApplication::exec();
}
