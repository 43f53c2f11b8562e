// The settings model against the stand-in daemon and scripts that fail the way
// a broken installation does: load failures, polls and saves (flag locks and
// restarts are driven through the window).

#include <QSignalSpy>
#include <QTest>

#include "SettingsTestSupport.hpp"

using namespace menubar;
using namespace menubar::app;
using settings_test::Home;

namespace {

std::string decodeError(const std::string& bytes) {
    try {
        SettingsSchema::decode(bytes);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

} // namespace

class SettingsModelTest : public QObject {
    Q_OBJECT

private slots:
    void loadFailureShowsTitleAndDetail_data() {
        QTest::addColumn<QString>("cli");    // script body, or empty for no command at all
        QTest::addColumn<QString>("config"); // config file text, or empty for none
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail"); // "$CMD" stands for the command, "$PATH" for the file

        QTest::newRow("no command")
            << ""
            << ""
            << "Daemon command line not found"
            << "The settings window runs tessaly config schema to learn the settings. Install the "
               "daemon (tessaly install), put tessaly on PATH, or set TESSALY_CLI to the "
               "executable.";
        QTest::newRow("schema exits 2, silent") << "exit 2"
                                                << ""
                                                << "Could not load the settings schema"
                                                << "$CMD config schema\nexit status 2";
        QTest::newRow("schema exits 1 with a reason") << "echo 'no schema here' >&2; exit 1"
                                                      << ""
                                                      << "Could not load the settings schema"
                                                      << "$CMD config schema\nno schema here";
        QTest::newRow("schema is not JSON")
            << "echo hello"
            << ""
            << "The settings schema could not be read"
            << "$CMD config schema\n" + QString::fromStdString(decodeError("hello"));
        QTest::newRow("config holds an array")
            << "exec " + QString::fromStdString(settings_test::standIn) + " \"$@\""
            << "[1, 2]"
            << "The config file could not be read"
            << "$PATH\nThe config file must hold one JSON object";
    }

    void loadFailureShowsTitleAndDetail() {
        QFETCH(QString, cli);
        QFETCH(QString, config);
        QFETCH(QString, title);
        QFETCH(QString, detail);
        Home home;
        const std::string command = home.script("fake-tessaly", cli.toStdString());
        if (cli.isEmpty())
            home.environment.erase("TESSALY_CLI");
        else
            home.environment["TESSALY_CLI"] = command;
        if (!config.isEmpty())
            home.writeConfig(config.toStdString());

        SettingsModel model(home.dependencies());
        QVERIFY(settings_test::load(model));
        const auto* failure = model.phase().failure();
        QVERIFY(failure != nullptr);
        QCOMPARE(QString::fromStdString(failure->title), title);
        detail.replace("$CMD", QString::fromStdString(command));
        detail.replace("$PATH", QString::fromStdString(home.configPath));
        QCOMPARE(QString::fromStdString(failure->detail), detail);
        QCOMPARE(model.form(), nullptr);
        QVERIFY(!model.canSave());
    }

    void missingConfigLoadsDefaultsAndRunsTheAfterLoadActionOnce() {
        Home home;
        SettingsModel model(home.dependencies());
        int runs = 0;
        model.setAfterLoad([&runs] { ++runs; });
        QVERIFY(settings_test::load(model));
        QCOMPARE(model.phase(), SettingsPhase::loaded());
        QVERIFY(!model.configFileExists());
        QCOMPARE(model.form()->field("warn-context")->value, SettingValue::number(70));
        QVERIFY(settings_test::load(model));
        QCOMPARE(runs, 1);
    }

    void aRepeatedPollChangesNothing() {
        Home home;
        SettingsModel model(home.dependencies());
        QSignalSpy changes(&model, &SettingsModel::changed);
        StatusFile status;
        status.configFile =
            ConfigFileStatus{.path = "/daemon/config.json", .changedSinceLoad = true};
        status.config =
            TessalyConfig{.settings = JSONObject{{"warn-context", JSONValue::number(70)}}};
        model.update(&status, DaemonState::running(1));
        QCOMPARE(changes.count(), 1);
        QVERIFY(model.restartNeeded());
        QCOMPARE(model.liveSettings()->at("warn-context"), JSONValue::number(70));

        const StatusFile same = status;
        model.update(&same, DaemonState::running(2));
        QCOMPARE(changes.count(), 1); // nothing new

        // A stale daemon no longer asks for a restart.
        model.update(&same, DaemonState::stale(40));
        QCOMPARE(changes.count(), 2);
        QVERIFY(!model.restartNeeded());
    }

    // A rejected save, on fields and for unknown keys, is checked through the window.
    // The second save must compare against the file the first one wrote.
    void savesReachTheStateAndTheFile() {
        Home home;
        home.writeConfig(R"({"critical-context": 90})");
        SettingsModel model(home.dependencies());
        QVERIFY(settings_test::load(model));
        model.set("warn-context", SettingValue::number(55));
        QVERIFY(model.canSave());

        std::optional<SaveOutcome> outcome;
        model.save([&outcome](const SaveOutcome& result) { outcome = result; });
        QCOMPARE(model.saveState(), SaveState::saving());
        QVERIFY(!model.canSave());
        QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
        QVERIFY(outcome->isSaved());
        QCOMPARE(model.saveState().kind(), SaveState::Kind::saved);
        QCOMPARE(home.readConfig(),
                 std::string("{\n  \"critical-context\" : 90,\n  \"warn-context\" : 55\n}\n"));
        QVERIFY(!model.form()->isDirty());
        // The next edit drops the "saved" mark.
        model.set("warn-context", SettingValue::number(60));
        QCOMPARE(model.saveState(), SaveState::idle());

        model.save({});
        QTRY_VERIFY_WITH_TIMEOUT(settings_test::finishedSaving(model), 20000);
        QCOMPARE(model.saveState().kind(), SaveState::Kind::saved);
        QCOMPARE(home.readConfig(), model.form()->serializedData());
        QVERIFY(home.readConfig().find("\"warn-context\" : 60") != std::string::npos);
    }
};

QTEST_MAIN(SettingsModelTest)
#include "test_settings_model.moc"
