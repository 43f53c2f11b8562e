// What a StatusNotifierItem host (KDE, GNOME's AppIndicator extension, Waybar,
// Xfce) receives from the built app, read over a private session bus: the item,
// its icon, and the exported menu with its click events, held to the same rows
// as the tray menu and the status window (MenuCases.hpp). The tooltip Qt exports
// is the status item's own, which the tray's fault tests read.

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>

#include <fstream>

#include "../MenuCases.hpp"
#include "PrivateDesktop.hpp"

using namespace desktop_test;

// The calls below wait with the event loop running: the app asks this watcher
// about itself while it answers.
// The least a host needs to be: the watcher that items register with, itself
// counted as the one host.
class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER hostRegistered)

public:
    QStringList items;
    bool hostRegistered = true;

public slots:
    // An item names its bus service, or only its object path on the sender's.
    void RegisterStatusNotifierItem(const QString& service) {
        items << (service.startsWith('/') ? message().service() : service);
        emit StatusNotifierItemRegistered(items.last());
    }

signals:
    void StatusNotifierItemRegistered(const QString& service);
};

namespace {

// The table's case whose rows do not depend on the clock: a recorded stop.
const menu_cases::MenuCase& stopped = menu_cases::menuCases()[1];

// The app itself also offers "Machines…" after "Settings...", which the
// controller's own harness leaves out.
QStringList stoppedRows() {
    QStringList rows = stopped.rows;
    rows.insert(rows.indexOf("Settings...") + 1, "Machines…");
    return rows;
}

// A dbusmenu layout node, (ia{sv}av).
struct Node {
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

Node nodeOf(const QDBusArgument& argument) {
    Node node;
    argument.beginStructure();
    argument >> node.id >> node.properties >> node.children;
    argument.endStructure();
    return node;
}

} // namespace

class StatusNotifierTest : public QObject {
    Q_OBJECT

    PrivateDesktop desktop;
    QString item; // the app's bus service
    std::unique_ptr<QDBusConnection> bus;
    Watcher watcher;

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(item, path, interface, method);
        message.setArguments(arguments);
        return bus->call(message, QDBus::BlockWithGui, 5000);
    }

    QVariant property(const QString& name) {
        const QDBusMessage reply = call("/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                                        "Get", {"org.kde.StatusNotifierItem", name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    // a(iiay): each square rendering with its pixels, by size. A property that
    // did not arrive reads as an empty structure.
    QMap<int, QByteArray> pixmaps() {
        const QVariant value = property("IconPixmap");
        QMap<int, QByteArray> sizes;
        if (value.metaType() != QMetaType::fromType<QDBusArgument>())
            return sizes;
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            int w, h;
            QByteArray data;
            argument.beginStructure();
            argument >> w >> h >> data;
            argument.endStructure();
            if (w == h && data.size() == w * h * 4)
                sizes[w] = data;
        }
        argument.endArray();
        return sizes;
    }

    QString menuPath() { return property("Menu").value<QDBusObjectPath>().path(); }

    // The root's children as rows, and their ids by label.
    QStringList layout(QMap<QString, int>* ids = nullptr) {
        const QDBusMessage reply =
            call(menuPath(), "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        QStringList rows;
        if (reply.arguments().size() != 2)
            return rows;
        for (const QVariant& child :
             nodeOf(reply.arguments().at(1).value<QDBusArgument>()).children) {
            const Node node = nodeOf(child.value<QDBusArgument>());
            const QVariantMap& props = node.properties;
            if (!props.value("visible", true).toBool())
                continue;
            if (props.value("type").toString() == "separator") {
                rows << "---";
                continue;
            }
            // dbusmenu marks mnemonics with "_" and writes a literal one twice.
            QString label = props.value("label").toString();
            label.replace("__", "\x01").remove('_').replace("\x01", "_");
            label.replace("&", "&&"); // the table's form, as a menu item writes it
            rows << menu_cases::row(label, props.value("enabled", true).toBool(),
                                    props.value("toggle-type").toString() == "checkmark",
                                    props.value("toggle-state").toInt() == 1);
            if (ids)
                (*ids)[label] = node.id;
        }
        return rows;
    }

    void click(const QString& label) {
        QMap<QString, int> ids;
        layout(&ids);
        QVERIFY2(ids.contains(label), qPrintable(label));
        const QDBusMessage reply =
            call(menuPath(), "com.canonical.dbusmenu", "Event",
                 {ids[label], "clicked", QVariant::fromValue(QDBusVariant(QString())),
                  uint(QDateTime::currentSecsSinceEpoch())});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    }

private slots:
    void initTestCase() {
        if (const QString why = PrivateDesktop::missing({"Xvfb", "dbus-daemon"}); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(desktop.startX());
        QVERIFY(desktop.startBus());
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(desktop.busAddress, "host"));
        QVERIFY(bus->isConnected());
        QVERIFY(bus->registerObject("/StatusNotifierWatcher", &watcher,
                                    QDBusConnection::ExportAllContents));
        QVERIFY(bus->registerService("org.kde.StatusNotifierWatcher"));

        const QString statusPath = desktop.dir.filePath("status.json");
        std::ofstream(statusPath.toStdString()) << stopped.file;
        // The daemon's unit installed and its logs folder there, as the table has them.
        const QString home = desktop.dir.filePath("home");
        QVERIFY(QDir().mkpath(home + "/.config/systemd/user") &&
                QDir().mkpath(home + "/.local/state/tessaly/logs"));
        QFile(home + "/.config/systemd/user/tessaly.service").open(QIODevice::WriteOnly);
        QProcessEnvironment environment = desktop.environment();
        environment.insert("XDG_CONFIG_HOME", home + "/.config");
        environment.insert("XDG_STATE_HOME", home + "/.local/state");
        environment.insert("TESSALY_STATUS_FILE", statusPath);
        environment.insert("TESSALY_CLI", STANDIN);
        QProcess* app = desktop.start(MENUBAR_APP, {}, environment);
        QVERIFY(QTest::qWaitFor([this] { return !watcher.items.isEmpty(); }, 30000));
        item = watcher.items.first();
        QCOMPARE(app->state(), QProcess::Running);
    }

    // The item's look and its menu as the host reads them; the menu's clicks act.
    void theHostShowsThePresentationAndTheStatusMenu() {
        QCOMPARE(property("Status").toString(), QString("Active"));
        const auto sizes = pixmaps();
        QVERIFY2(sizes.contains(22) && sizes.contains(44),
                 qPrintable(QString::number(sizes.size())));
        QVERIFY(sizes[22].count('\0') < sizes[22].size()); // something is drawn

        // The same rows as the tray menu and the status window show; a check turns over.
        QCOMPARE(layout(), stoppedRows());
        const QStringList iconOnly =
            QStringList(stoppedRows()).replaceInStrings("Icon only [ ]", "Icon only [x]");
        click("Icon only");
        QVERIFY(QTest::qWaitFor([&] { return layout() == iconOnly; }, 10000));
    }
};

QTEST_GUILESS_MAIN(StatusNotifierTest)
#include "test_status_notifier.moc"
