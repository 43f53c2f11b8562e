// The settings window driven through its widgets, against the stand-in daemon
// and scripts that fail the way a broken installation does: load failures, every
// kind of control editing the form and the saved file, rejected saves, Save's
// enabled rule, polls that lock rows while typing goes on, and a saved file with
// an installed daemon offering a restart. Last, the Machines window, which edits
// the machines file: Add checks a destination by the file's own rule before
// anything is written, Add and Remove rewrite the file in place of the old one,
// and the monitor follows.

#include <QAccessible>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/settings/SettingRow.hpp"
#include "app/settings/SettingsWindowController.hpp"
#include "app/tray/MachinesMonitor.hpp"
#include "app/tray/MachinesWindow.hpp"

using namespace menubar;
using namespace menubar::app;

namespace {

const std::string standIn = MENUBAR_BINARY_DIR "/tools/tessaly-sim/tessaly";

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The launch agent of a scratch home, whose restarts are only counted; with a
// refusal set, a systemd unit that refuses them.
struct CountingAgent : LaunchdService {
    int* restarts;
    const std::optional<CommandResult>* refusal;
    CountingAgent(const std::string& home, int* restarts,
                  const std::optional<CommandResult>* refusal)
        : LaunchdService({.home = home}), restarts(restarts), refusal(refusal) {}
    ServiceControls controls() const override {
        return {*refusal ? ServiceManager::systemd : ServiceManager::launchd,
                LaunchdService::controls().installed};
    }
    void restart(Done done) const override {
        ++*restarts;
        done(refusal->value_or(CommandResult{0, {}, {}}));
    }
};

// A scratch home with the stand-in daemon as TESSALY_CLI, and the window on it.
struct Window {
    QTemporaryDir dir;
    std::string home = dir.path().toStdString();
    std::string configPath = home + "/scratch/config.json";
    std::map<std::string, std::string> environment{
        {"TESSALY_CLI", standIn}, {"TESSALY_CONFIG_FILE", configPath}, {"PATH", home + "/bin"}};
    int restarts = 0;
    std::optional<CommandResult> refusal;
    std::unique_ptr<SettingsWindowController> controller;

    explicit Window(const std::string& config = {}) {
        if (!config.empty())
            writeConfig(config);
    }
    void writeConfig(const std::string& text) const {
        std::filesystem::create_directories(home + "/scratch");
        std::ofstream(configPath, std::ios::binary) << text;
    }
    std::string readConfig() const { return readText(configPath); }
    // Makes TESSALY_CLI an executable shell script; its path.
    std::string fakeDaemon(const std::string& body) {
        const std::string path = home + "/fake-tessaly";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return environment["TESSALY_CLI"] = path;
    }
    void installAgent() const {
        const std::string plist = launchAgentPlistPath(home);
        std::filesystem::create_directories(std::filesystem::path(plist).parent_path());
        std::ofstream(plist) << "<plist/>";
    }
    SettingsModelDependencies dependencies() {
        return {
            .home = home,
            .environment = [this] { return environment; },
            .now = [] { return Instant(std::chrono::seconds(1'700'000'000)); },
            .service = std::make_shared<CountingAgent>(home, &restarts, &refusal),
        };
    }

    // Whether the window came up with the daemon's answers.
    bool open() {
        controller = std::make_unique<SettingsWindowController>(dependencies());
        controller->show();
        return QTest::qWaitFor([this] { return finishedLoading(); }, 20000);
    }
    bool finishedLoading() const { return model()->phase().kind() != SettingsPhase::Kind::loading; }
    bool finishedSaving() const { return model()->saveState().kind() != SaveState::Kind::saving; }
    // A new window after the last one was closed, once it has loaded.
    bool reopen() {
        controller->window()->close();
        controller->show();
        return QTest::qWaitFor([this] { return finishedLoading(); }, 20000);
    }
    QString path() const { return QString::fromStdString(configPath); }
    SettingsModel* model() const { return controller->model(); }
    template <typename T = QWidget> T* find(const QString& name) const {
        return controller->window()->findChild<T*>(name);
    }
    QString text(const QString& name) const {
        if (auto* clamped = find<ClampedLabel>(name))
            return clamped->fullText();
        if (auto* label = find<QLabel>(name))
            return label->text();
        if (auto* symbolLabel = find<SymbolLabel>(name))
            return symbolLabel->text();
        return QStringLiteral("<no %1>").arg(name);
    }
    void type(const QString& name, const QString& text) const {
        auto* line = find<QLineEdit>(name);
        QVERIFY2(line, qPrintable(name));
        line->selectAll();
        QTest::keyClicks(line, text);
    }
    // Each false too when there is no such widget.
    bool enabled(const QString& name) const { return find(name) && find(name)->isEnabled(); }
    bool disabled(const QString& name) const { return find(name) && !find(name)->isEnabled(); }
    bool hidden(const QString& name) const {
        return find(name) && !find(name)->isVisibleTo(controller->window());
    }
    void click(const QString& name) const {
        auto* button = find<QAbstractButton>(name);
        QVERIFY2(button, qPrintable(name));
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    void save() const {
        click("footer:save");
        QTRY_VERIFY_WITH_TIMEOUT(finishedSaving(), 20000);
    }
};

// Every visible element a user can act on, through the accessibility tree.
void interactive(QAccessibleInterface* node, QList<QAccessibleInterface*>& found) {
    if (node == nullptr || node->state().invisible)
        return;
    const QAccessible::Role role = node->role();
    if (node->state().focusable || role == QAccessible::PushButton ||
        role == QAccessible::CheckBox || role == QAccessible::ComboBox ||
        role == QAccessible::EditableText || role == QAccessible::SpinBox)
        found << node;
    for (int index = 0; index < node->childCount(); ++index)
        interactive(node->child(index), found);
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void aLoadFailureShowsItsTitleAndDetail_data() {
        QTest::addColumn<QString>("cli");    // script body, or empty for no command at all
        QTest::addColumn<QString>("config"); // config file text, or empty for none
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("detail"); // "$CMD" stands for the command, "$PATH" for the file

        const auto row = [](const char* name, const QString& cli, const QString& config,
                            const char* title, const QString& detail) {
            QTest::newRow(name) << cli << config << QString(title) << detail;
        };
        row("no command", "", "", "Daemon command line not found",
            "The settings window runs tessaly config schema to learn the settings. Install the "
            "daemon (tessaly install), put tessaly on PATH, or set TESSALY_CLI to the executable.");
        row("schema exits 2, silent", "exit 2", "", "Could not load the settings schema",
            "$CMD config schema\nexit status 2");
        row("schema exits 1 with a reason", "echo 'no schema here' >&2; exit 1", "",
            "Could not load the settings schema", "$CMD config schema\nno schema here");
        row("schema is not JSON", "echo hello", "", "The settings schema could not be read",
            "$CMD config schema\nparse error at line 1, column 1: syntax error while parsing "
            "value - invalid literal; last read: 'h'");
        row("config holds an array", "exec " + QString::fromStdString(standIn) + " \"$@\"",
            "[1, 2]", "The config file could not be read",
            "$PATH\nThe config file must hold one JSON object");
    }

    // The daemon is installed: a restart is offered unless the config file
    // cannot be read, when the footer says why not.
    void aLoadFailureShowsItsTitleAndDetail() {
        QFETCH(QString, cli);
        QFETCH(QString, config);
        QFETCH(QString, title);
        QFETCH(QString, detail);
        Window window(config.toStdString());
        window.installAgent();
        const std::string command = window.fakeDaemon(cli.toStdString());
        if (cli.isEmpty())
            window.environment.erase("TESSALY_CLI");
        QVERIFY(window.open());
        QCOMPARE(window.text("failed:title"), title);
        detail.replace("$CMD", QString::fromStdString(command));
        detail.replace("$PATH", window.path());
        QCOMPARE(window.text("failed:detail"), detail);
        QVERIFY(window.disabled("footer:save"));
        QCOMPARE(window.text("footer:file"), "Config file: " + window.path());
        const bool unreadable = !config.isEmpty();
        QCOMPARE(window.enabled("footer:restart"), !unreadable);
        QCOMPARE(window.text("footer:status"),
                 unreadable ? "The config file cannot be read; fix it before restarting the "
                              "daemon, which would start on it."
                            : "Nothing to save until the settings load.");
    }

    // Without a launch agent Restart stays off and a save offers no restart. An
    // action for after the next load runs once, not at every load.
    void theWindowIsBuiltOnceAndShownForward() {
        Window window;
        QVERIFY(window.open());
        QWidget* first = window.controller->window();
        QCOMPARE(first->windowTitle(), "tessaly Settings");
        QCOMPARE(first->size(), QSize(680, 760));
        QCOMPARE(first->minimumSize(), QSize(520, 420));
        window.model()->set("warn-context", SettingValue::number(50));
        window.controller->show();
        QCOMPARE(window.controller->window(), first);
        QVERIFY(window.model()->form()->isDirty()); // not reloaded
        int runs = 0;
        window.model()->setAfterLoad([&runs] { ++runs; });

        QVERIFY(window.reopen());
        QVERIFY(window.controller->window() != first);
        QVERIFY(!window.model()->form()->isDirty()); // a new window reloads
        QVERIFY(window.reopen());
        QCOMPARE(runs, 1);

        QVERIFY(window.disabled("footer:restart"));
        QCOMPARE(window.find<QPushButton>("footer:restart")->toolTip(),
                 "Daemon not installed (run: tessaly install)");
        QCOMPARE(window.text("footer:status"),
                 "Daemon not installed (run: tessaly install); a daemon started by "
                 "hand reads the file on its next start.");
        QCOMPARE(window.text("footer:file"),
                 "No config file yet; defaults shown. It will be written to " + window.path());
        window.type("setting:warn-context", "50");
        window.save();
        QCOMPARE(window.controller->window()->findChild<QMessageBox*>(), nullptr);
        QCOMPARE(window.text("footer:file"), "Editing " + window.path());
    }

    void anEditInEveryKindOfControlReachesTheFile() {
        Window window(
            R"({"ignore-dirs": ["node_modules", "tmp", ".venv"], "on-critical": ["handoff", "notify"]})");
        QVERIFY(window.open());
        QVERIFY(window.disabled("footer:save"));

        window.type("setting:warn-context", "55");      // percent
        window.click("setting:critical-context:up");    // stepper
        window.type("setting:interval", "3000");        // integer number
        window.type("setting:cache-lead", "30s");       // duration
        window.click("setting:dry-run");                // toggle
        window.type("setting:message-prefix", "hello"); // prefixed text
        window.find<QPlainTextEdit>("setting:handoff-template")->setPlainText("# T\n");
        window.click("setting:on-critical:choice:inject");     // multiple choice
        window.click("setting:on-cache-expiry:choice:notify"); // ... all unticked: written as []
        window.click("setting:on-cache-expiry:choice:inject");
        emit window.find<QComboBox>("setting:handoff-location")->activated(1); // single choice
        window.type("setting:handoff-dir", "/tmp/handoffs");                   // path
        window.type("setting:provider-overrides", R"({"a":1})");               // raw JSON
        window.click("setting:ignore-dirs:remove:2");                          // list
        window.click("setting:ignore-dirs:add");
        window.type("setting:ignore-dirs:item:3", "dist");

        window.click("footer:save");
        QCOMPARE(window.text("footer:status"), "Validating with the daemon...");
        QVERIFY(window.disabled("footer:save"));
        QTRY_VERIFY_WITH_TIMEOUT(window.finishedSaving(), 20000);
        // The layout of the file is the form's, pinned by its own tests.
        QCOMPARE(nlohmann::json::parse(window.readConfig()).dump(),
                 nlohmann::json::parse(R"({"cache-lead": "30s", "critical-context": 86,
                     "dry-run": true, "handoff-dir": "/tmp/handoffs", "handoff-location": "repo",
                     "handoff-template": "# T\n", "ignore-dirs": ["node_modules", ".venv", "dist"],
                     "interval": 3000, "message-prefix": "[tessaly] hello",
                     "on-cache-expiry": [], "on-critical": ["notify", "inject", "handoff"],
                     "provider-overrides": {"a": 1}, "warn-context": 55})")
                     .dump());
        QVERIFY(window.text("footer:status").startsWith("Saved at "));
        QVERIFY(window.hidden("setting:warn-context:edited"));
        QCOMPARE(window.text("setting:warn-context:source"), "from file");

        // The next edit drops the "saved" mark; the next save compares against
        // the file the first one wrote.
        window.type("setting:warn-context", "60");
        QVERIFY(!window.text("footer:status").startsWith("Saved at "));
        window.save();
        QCOMPARE(nlohmann::json::parse(window.readConfig())["warn-context"].get<int>(), 60);
    }

    void rowsShowSourceResetAndRangeEnds() {
        Window window(R"({"warn-context": 100, "interval": "soon"})");
        QVERIFY(window.open());
        QCOMPARE(window.text("setting:interval:error"),
                 "The file holds soon, which is not a number");
        QVERIFY(window.disabled("setting:cache-lead:reset"));
        QCOMPARE(window.text("setting:cache-lead:source"), "default");
        QCOMPARE(window.find<QPushButton>("setting:cache-lead:reset")->toolTip(),
                 "Remove the key from the file; the daemon then uses 1m");
        QCOMPARE(window.find<QLineEdit>("setting:handoff-dir")->placeholderText(),
                 "Leave empty for the default");
        QVERIFY(window.disabled("setting:warn-context:up"));
        QVERIFY(window.enabled("setting:warn-context:down"));
        QCOMPARE(window.text("setting:warn-context:percent"), "%");
        QCOMPARE(window.text("setting:provider-overrides:note"),
                 "This app does not know the control kind json; the value is "
                 "edited as raw JSON.");

        window.click("setting:interval:reset");
        QVERIFY(window.hidden("setting:interval:error"));
        QCOMPARE(window.find<QLineEdit>("setting:interval")->text(), "2000");
        QVERIFY(window.enabled("footer:save"));
        window.type("setting:warn-context", "150");
        QCOMPARE(window.text("setting:warn-context:error"), "Must be between 0 and 100");
        QVERIFY(window.disabled("footer:save"));
        window.type("setting:warn-context", "abc"); // refused by the field: nothing changes
        QCOMPARE(window.model()->form()->field("warn-context")->value, SettingValue::number(150));
    }

    void aRejectedSaveShowsFieldGeneralAndStatusErrors() {
        Window window(R"({"critical-context": 50})");
        QVERIFY(window.open());
        window.type("setting:warn-context", "60");
        window.save();
        QCOMPARE(window.text("footer:status"),
                 "The daemon rejected the file; see critical-context, warn-context.");
        QCOMPARE(window.find<QLabel>("footer:status")->palette().color(QPalette::WindowText),
                 SettingsStyle::colour(SettingsStyle::Tone::red, QPalette()));
        for (const char* name : {"setting:warn-context:error", "setting:critical-context:error"})
            QCOMPARE(window.text(name), "The critical threshold must lie above the warn threshold");
        // Fixing one field lifts the daemon's verdict on both: it judged the old file.
        window.type("setting:warn-context", "40");
        QVERIFY(window.hidden("setting:critical-context:error"));

        // Red only while the save has failed; a long failure is cut after a word
        // on two lines, whole in the tooltip.
        window.save();
        auto* status = window.find<ClampedLabel>("footer:status");
        QCOMPARE(status->palette().color(QPalette::WindowText),
                 SettingsStyle::colour(SettingsStyle::Tone::secondary,
                                       status->parentWidget()->palette()));
        window.writeConfig(R"({"warn-context": 10})");
        window.type("setting:warn-context", "45");
        window.save();
        QVERIFY(status->fullText().endsWith("reopen the settings to see the change"));
        QCOMPARE(status->toolTip(), status->fullText());
        QCOMPARE(status->text().count('\n'), 1);
        QVERIFY(status->text().endsWith(QChar(0x2026)));

        Window unknown(R"({"zz-extra": 1, "beta": 2})");
        QVERIFY(unknown.open());
        QCOMPARE(unknown.text("banner:unknownKeys:text"),
                 "The config file has keys the daemon does not know: beta, "
                 "zz-extra. They are kept as they are, and the daemon will reject "
                 "the file until they are removed.");
        unknown.type("setting:warn-context", "60");
        unknown.save();
        QCOMPARE(unknown.text("footer:status"), "The daemon rejected the file.");
        QCOMPARE(unknown.text("banner:generalErrors:1"), "Unknown setting beta");
        QCOMPARE(unknown.text("banner:generalErrors:2"), "Unknown setting zz-extra");
        unknown.type("setting:warn-context", "61"); // judged on the old file, so gone
        QVERIFY(unknown.hidden("banner:generalErrors"));
    }

    // Under a German locale the field still shows 0.5 and a typed decimal comma
    // is the point; an emptied field shows the form's value again when editing
    // ends, so what it shows is what is saved.
    void numberFieldsShowWhatTheFileGets() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Window window(R"({"warn-context": 0.5})");
        QVERIFY(window.open());
        auto* line = window.find<QLineEdit>("setting:warn-context");
        QCOMPARE(line->text(), "0.5");
        window.type("setting:warn-context", "2,5");
        QCOMPARE(line->text(), "2.5");
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Backspace);
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(line->text(), "2.5");
        window.save();
        QCOMPARE(nlohmann::json::parse(window.readConfig())["warn-context"].get<double>(), 2.5);
        QLocale::setDefault(before);
    }

    // A long label wraps instead of widening the form.
    void longLabelsWrap() {
        Window window;
        window.fakeDaemon(R"(cat <<'EOF'
{"x-settings-version": 1, "properties": {"a-long-label-of-many-words-that-would-not-fit-on-one-line-of-the-settings-window-at-all": {"type": "number"}},
 "x-groups": [{"id": "g", "title": "G", "settings": [{"name": "a-long-label-of-many-words-that-would-not-fit-on-one-line-of-the-settings-window-at-all", "control": "number"}]}]}
EOF)");
        QVERIFY(window.open());
        const QString name = "setting:a-long-label-of-many-words-that-would-not-fit-on-one-line-"
                             "of-the-settings-window-at-all";
        auto* label = window.find<QLabel>(name + ":label");
        QVERIFY(label->height() > label->fontMetrics().lineSpacing() * 3 / 2);
    }

    // Every control of every kind has a name for screen readers, Tab walks the
    // form from the top and then the footer's buttons, and a new list item takes
    // the focus.
    void everyControlIsNamedAndTabFollowsTheLayout() {
        Window window(R"({"ignore-dirs": ["node_modules"]})");
        QVERIFY(window.open());
        QWidget* top = window.controller->window();
        QList<QAccessibleInterface*> found;
        interactive(QAccessible::queryAccessibleInterface(top), found);
        QVERIFY(found.size() > 30);
        for (QAccessibleInterface* node : found)
            QVERIFY2(!node->text(QAccessible::Name).isEmpty(),
                     qPrintable(node->object()->objectName()));
        QCOMPARE(window.find("setting:warn-context")->accessibleDescription(),
                 "Context use at which a session is flagged as a warning.");

        // The first Tab reaches the first field, not the footer; a percentage
        // field is one tab stop (its arrows are for the mouse, Up and Down step).
        const auto tab = [top] {
            QTest::keyClick(top->focusWidget() ? top->focusWidget() : top, Qt::Key_Tab);
            return top->focusWidget();
        };
        QCOMPARE(tab(), window.find("setting:warn-context"));
        QCOMPARE(tab(), window.find("setting:critical-context"));
        QTest::keyClick(top->focusWidget(), Qt::Key_Up);
        QCOMPARE(window.model()->form()->field("critical-context")->value,
                 SettingValue::number(86));

        QList<QWidget*> order;
        for (QWidget* widget = top->nextInFocusChain(); widget != top;
             widget = widget->nextInFocusChain())
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(top) &&
                widget->isEnabled())
                order << widget;
        QList<QWidget*> footer; // disabled buttons are passed over
        for (const char* name : {"footer:restart", "footer:cancel", "footer:save"})
            if (window.enabled(name))
                footer << window.find(name);
        QCOMPARE(order.mid(order.size() - footer.size()), footer);
        // The window fits the screen's free area.
        QVERIFY(top->screen()->availableGeometry().contains(top->frameGeometry()));

        // A new list item takes the focus and is judged once the user leaves it.
        window.click("setting:ignore-dirs:add");
        QCOMPARE(top->focusWidget(), window.find("setting:ignore-dirs:item:2"));
        QVERIFY(window.hidden("setting:ignore-dirs:error"));
        QVERIFY(window.disabled("footer:save"));
        window.find("setting:ignore-dirs:item:1")->setFocus(Qt::TabFocusReason);
        QCOMPARE(window.text("setting:ignore-dirs:error"), "Item 2 is empty");
        window.type("setting:ignore-dirs:item:2", "a/b");
        QCOMPARE(window.text("setting:ignore-dirs:error"),
                 "Item 2 does not fit: Folder names that are never scanned for sessions.");
    }

    // A poll shows the live value and a flag's lock (a set value too cannot be
    // reset), and typing survives it.
    void aPollShowsLiveValuesAndLocksWhileTypingGoesOn() {
        Window window(R"({"dry-run": true})");
        QVERIFY(window.open());
        auto* line = window.find<QLineEdit>("setting:message-prefix");
        window.controller->window()->activateWindow();
        line->setFocus();
        QTest::keyClicks(line, "hello world");
        line->setCursorPosition(5);
        QTest::keyClicks(line, ",");

        StatusFile status;
        status.configFile = ConfigFileStatus{.changedSinceLoad = true};
        status.config =
            TessalyConfig{.settings = JSONObject{{"warn-context", JSONValue::number(72)}}};
        status.configSources = std::map<std::string, ConfigSource>{{"dry-run", ConfigSource::cli}};
        QSignalSpy changes(window.model(), &SettingsModel::changed);
        window.model()->update(&status, DaemonState::running(1));
        QVERIFY(!window.hidden("banner:restartNeeded"));
        QCOMPARE(window.text("setting:dry-run:source"), "set by a flag");
        QCOMPARE(window.text("setting:dry-run:lock"),
                 "Set by a command-line flag in the launch agent; reinstall the "
                 "daemon to manage it here.");
        QVERIFY(window.disabled("setting:dry-run") && window.disabled("setting:dry-run:reset"));
        QGraphicsEffect* dimmed = window.find<SettingRow>("setting:dry-run:row")->graphicsEffect();
        QCOMPARE(qobject_cast<QGraphicsOpacityEffect*>(dimmed)->opacity(), 0.6);
        QCOMPARE(window.text("setting:warn-context:live"), "Daemon is running with: 72%");
        QCOMPARE(window.find<QLineEdit>("setting:message-prefix"), line);
        QCOMPARE(line->text(), "hello, world");
        QCOMPARE(line->cursorPosition(), 6);
        QCOMPARE(window.model()->form()->field("message-prefix")->value,
                 SettingValue::text("[tessaly] hello, world"));
        window.model()->update(&status, DaemonState::running(2));
        QCOMPARE(changes.count(), 1); // a repeated poll changes nothing

        status.configSources = std::map<std::string, ConfigSource>{}; // the flag is lifted
        window.model()->update(&status, DaemonState::running(3));
        QVERIFY(window.enabled("setting:dry-run"));
        window.model()->update(&status, DaemonState::stale(40)); // it may have restarted
        QVERIFY(window.hidden("banner:restartNeeded"));

        // A number half typed stays as typed, though the form already holds it.
        auto* number = window.find<QLineEdit>("setting:warn-context");
        number->setFocus();
        window.type("setting:warn-context", "4.");
        QCOMPARE(window.model()->form()->field("warn-context")->value, SettingValue::number(4));
        QCOMPARE(number->text(), "4.");
        QCOMPARE(number->cursorPosition(), 2);
        window.click("setting:warn-context:up"); // a change from elsewhere is shown
        QCOMPARE(number->text(), "5");
    }

    void anInstalledDaemonIsOfferedARestart() {
        Window installed;
        installed.installAgent();
        QVERIFY(installed.open());
        installed.type("setting:warn-context", "50");
        installed.click("footer:save");
        QVERIFY(installed.disabled("footer:restart")); // while the daemon judges the file
        QTRY_VERIFY_WITH_TIMEOUT(installed.finishedSaving(), 20000);
        QMessageBox* sheet = nullptr;
        QTRY_VERIFY((sheet = installed.controller->window()->findChild<QMessageBox*>()));
        QCOMPARE(sheet->text(), "Settings saved");
        QCOMPARE(sheet->informativeText(),
                 "The daemon reads the config file when it starts. Restart it now "
                 "to apply the change?");
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->buttons().size(), 2);
        sheet->buttons().at(0)->text() == "Restart Daemon" ? sheet->buttons().at(0)->click()
                                                           : sheet->buttons().at(1)->click();
        QTRY_COMPARE(installed.restarts, 1);
        QCOMPARE(installed.text("footer:status"),
                 "Save validates the file through the daemon, then offers to restart it.");
        // A refusal is said where the user acted, not the advice to restart again.
        installed.refusal = CommandResult{1, {}, "Failed to connect to bus"};
        installed.click("footer:restart");
        QTRY_COMPARE(installed.restarts, 2);
        QCOMPARE(installed.text("footer:status"),
                 "Could not restart the daemon: systemctl: Failed to connect to bus");
    }

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
        QCOMPARE(readText(file), std::string("ada@gpu\tGPU\nbuild\n"));
        QCOMPARE(monitor.list().machines.size(), std::size_t(2));
        QCOMPARE(fetches, 2);
        window.findChild<QListWidget*>("machinesList")->setCurrentRow(0);
        window.grab().save(qEnvironmentVariable("MACHINES_WINDOW_SHOT", "/dev/null"), "PNG");
        QTest::mouseClick(window.findChild<QPushButton*>("remove"), Qt::LeftButton);
        QCOMPARE(readText(file), std::string("build\n"));
        QCOMPARE(monitor.list().machines.size(), std::size_t(1));
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"
