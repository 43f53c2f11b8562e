// The built app docked in a real XEmbed tray (trayer) on a desktop of the
// test's own: the visibility probe finds the item where the panel holds it, and
// a panel moved off every screen makes the item hidden until it comes back.

#include "PrivateDesktop.hpp"

using namespace desktop_test;

class XEmbedTrayTest : public QObject {
    Q_OBJECT

    PrivateDesktop desktop;
    QString log;

    QStringList linesOf(QProcess* app) {
        log += QString::fromUtf8(app->readAllStandardError());
        return log.split('\n', Qt::SkipEmptyParts);
    }

    void movePanel(const QString& panel, int y) {
        desktop.output("xdotool", {"windowmove", panel, "0", QString::number(y)});
    }

private slots:
    void initTestCase() {
        if (const QString why =
                PrivateDesktop::missing({"Xvfb", "dbus-daemon", "trayer", "xdotool"});
            !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(desktop.startX());
        QVERIFY(desktop.startBus());
    }

    void aPanelOffEveryScreenHidesTheItemUntilItReturns() {
        desktop.start("trayer",
                      {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                       "28", "--SetDockType", "true"},
                      desktop.environment());
        QString panel;
        QVERIFY(QTest::qWaitFor(
            [&] {
                panel = desktop.output("xdotool", {"search", "--name", "^panel$"}).trimmed();
                return !panel.isEmpty() && !panel.contains('\n');
            },
            10000));
        QProcessEnvironment environment = desktop.environment();
        environment.insert("TESSALY_STATUS_FILE", desktop.dir.filePath("status.json"));
        QProcess* app = desktop.start(MENUBAR_APP, {}, environment);
        const auto logged = [&](const QString& line) {
            return QTest::qWaitFor([&] { return !linesOf(app).filter(line).isEmpty(); }, 15000);
        };

        // A few polls in the panel, none of which may find the item hidden.
        QTest::qWait(7000);
        QVERIFY2(linesOf(app).filter("status item is hidden").isEmpty(), qPrintable(log));
        movePanel(panel, 2000);
        QVERIFY2(logged("status item is hidden"), qPrintable(log));
        QVERIFY2(linesOf(app).filter("status item is hidden").first().contains("onscreen=no"),
                 qPrintable(log));
        movePanel(panel, 0);
        QVERIFY2(logged("status item is visible again"), qPrintable(log));
    }
};

QTEST_MAIN(XEmbedTrayTest)
#include "test_xembed_tray.moc"
