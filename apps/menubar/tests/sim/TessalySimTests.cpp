#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../StatusFaultTable.hpp"

extern char** environ;

namespace fs = std::filesystem;
namespace faults = menubar::faults;
using nlohmann::json;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

// Starts the stand-in with HOME pointed at `home`; stdout goes to `stdoutFile` when given.
pid_t start(const std::vector<std::string>& arguments, const fs::path& home,
            const std::string& stdoutFile = "/dev/null") {
    std::vector<std::string> words = {TESSALY_BIN};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = {"HOME=" + home.string(), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Polls for a condition the stand-in reaches in well under a second; the bound is generous.
bool eventually(const std::function<bool()>& condition) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// A running `watch` that is never left behind, even when an assertion ends the test early.
class Watcher {
public:
    explicit Watcher(pid_t pid) : pid_(pid) {}
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    ~Watcher() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int stop() {
        kill(pid_, SIGTERM);
        return exitStatus(std::exchange(pid_, -1));
    }

private:
    pid_t pid_;
};

class TessalySim : public ::testing::Test {
public:
    void SetUp() override {
        char pattern[] = "/tmp/tessaly-sim-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir); }

    Outcome run(const std::vector<std::string>& arguments) {
        const auto out = dir / "stdout.txt";
        Outcome result;
        result.status = exitStatus(start(arguments, dir, out.string()));
        result.out = readText(out);
        return result;
    }

    Outcome validate(const std::string& fileText) {
        writeText(dir / "candidate.json", fileText);
        return run({"config", "validate", (dir / "candidate.json").string(), "--json"});
    }

    std::optional<json> status() const {
        try {
            return json::parse(readText(dir / "state" / "status.json"));
        } catch (const json::parse_error&) {
            return std::nullopt;
        }
    }

    fs::path dir;
};

// Checks the JSON type of every key of the record that is present, nested records
// included, against the table the status file's fault tests are generated from.
void expectShape(const json& object, const std::string& record, const std::string& where) {
    static const std::regex rfc3339(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?Z$)");
    ASSERT_TRUE(object.is_object()) << where;
    for (const faults::Key& key : faults::recordNamed(record).keys) {
        if (!object.contains(key.name))
            continue;
        const json& value = object[key.name];
        const std::string at = where + "." + key.name;
        EXPECT_TRUE(faults::takes(key.shape, value)) << at << " = " << value;
        if (key.shape == faults::Shape::date) {
            EXPECT_TRUE(value.is_string() && std::regex_match(value.get<std::string>(), rfc3339))
                << at << " = " << value;
        }
        if (key.shape == faults::Shape::record && value.is_object())
            expectShape(value, key.type, at);
    }
}

json schemaDocument(TessalySim& test) {
    return json::parse(test.run({"config", "schema"}).out);
}

} // namespace

TEST_F(TessalySim, SchemaUsesEveryControlKindAndGivesEachSettingADefault) {
    const json schema = schemaDocument(*this);
    const std::set<std::string> known = {"toggle", "number", "percent", "duration",
                                         "text",   "list",   "enum",    "path"};
    std::set<std::string> controls;
    for (const auto& group : schema["x-groups"]) {
        EXPECT_TRUE(group.contains("title")) << group["id"];
        for (const auto& setting : group["settings"]) {
            controls.insert(setting["control"].get<std::string>());
            EXPECT_TRUE(
                schema["properties"][setting["name"].get<std::string>()].contains("default"))
                << setting["name"];
        }
    }
    for (const auto& control : known)
        EXPECT_TRUE(controls.count(control)) << control;
    EXPECT_GT(controls.size(), known.size()) << "one control kind must be unknown to the app";
}

TEST_F(TessalySim, ValidateAcceptsTheDefaultsAndAnEditorsSchemaKey) {
    json defaults = {{"$schema", "https://example.invalid/tessaly.json"}};
    // Named: a range-for over a member of a temporary reads it after it is gone.
    const json schema = schemaDocument(*this);
    for (const auto& [name, property] : schema["properties"].items())
        defaults[name] = property["default"];
    const Outcome result = validate(defaults.dump(2));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "{\"ok\":true}\n");
}

TEST_F(TessalySim, ValidateRejectsEachKindOfBadValueNamingItsKey) {
    struct Case {
        std::string file;
        std::vector<std::string> options;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"not json", {}, ""},
        {"[1, 2]", {}, "The config file must hold one JSON object"},
        {R"({"colour": "red"})", {"colour"}, "Unknown setting colour"},
        {R"({"dry-run": "yes"})", {"dry-run"}, "Must be true or false"},
        {R"({"warn-context": "80"})", {"warn-context"}, "Must be a number"},
        {R"({"warn-context": 100.5})", {"warn-context"}, "Must be between 0 and 100"},
        {R"({"cache-min-context": -1})", {"cache-min-context"}, "Must be between 0 and 100"},
        {R"({"interval": 2500.5})", {"interval"}, "Must be a whole number"},
        {R"({"interval": 49})", {"interval"}, "Must be between 50 and 600000"},
        {R"({"cache-lead": "soon"})", {"cache-lead"}, "soon does not match ^[0-9]+(ms|s|m|h)$"},
        {R"({"handoff-location": "desk"})",
         {"handoff-location"},
         "Unknown value desk (allowed: scratchpad, repo)"},
        {R"({"on-critical": ["notify", "shout"]})",
         {"on-critical"},
         "Unknown value shout (allowed: notify, inject, handoff)"},
        {R"({"on-cache-expiry": ["notify", "notify"]})",
         {"on-cache-expiry"},
         "Each value may appear once"},
        {R"({"on-critical": "notify"})", {"on-critical"}, "Must be a list"},
        {R"({"message-prefix": "hello"})", {"message-prefix"}, "Must start with [tessaly]"},
        {R"({"ignore-dirs": ["build", "src/gen"]})", {"ignore-dirs"}, "Item 2 must match ^[^/]+$"},
        {R"({"handoff-dir": 3})", {"handoff-dir"}, "Must be a string"},
        {R"({"provider-overrides": []})", {"provider-overrides"}, "Must be a JSON object"},
        {R"({"warn-context": 90, "critical-context": 80})",
         {"warn-context", "critical-context"},
         "The critical threshold must lie above the warn threshold"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.file);
        const Outcome result = validate(test.file);
        EXPECT_EQ(result.status, 1);
        ASSERT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        const json answer = json::parse(result.out);
        EXPECT_EQ(answer["ok"], false);
        ASSERT_EQ(answer["errors"].size(), 1u) << answer;
        EXPECT_EQ(answer["errors"][0]["options"], json(test.options));
        if (!test.message.empty()) {
            EXPECT_EQ(answer["errors"][0]["message"], test.message);
        }
    }
}

TEST_F(TessalySim, ValidateReportsEveryBadKeyAndRefusesMisuse) {
    const json answer = json::parse(validate(R"({"a": 1, "dry-run": 0, "interval": 50})").out);
    std::set<std::string> named;
    for (const auto& error : answer["errors"])
        named.insert(error["options"][0].get<std::string>());
    EXPECT_EQ(named, (std::set<std::string>{"a", "dry-run"}));

    const Outcome missing = run({"config", "validate", (dir / "absent.json").string(), "--json"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(json::parse(missing.out)["errors"][0]["options"], json::array());

    const std::vector<std::vector<std::string>> usageErrors = {
        {},
        {"frobnicate"},
        {"config", "validate"},
        {"config", "validate", "a.json", "b.json", "--json"},
        {"config", "validate", "a.json", "--yaml"},
        {"watch", "--interval-ms", "fast"},
        {"watch", "--interval-ms", "49"},
        {"watch", "--colour", "red"},
        {"install", "--sessions"},
    };
    for (const auto& arguments : usageErrors)
        EXPECT_EQ(run(arguments).status, 2) << testing::PrintToString(arguments);
    EXPECT_FALSE(fs::exists(dir / "Library/LaunchAgents/dev.tessaly.daemon.plist"));
}

TEST_F(TessalySim, WatchWritesReadableStatusFilesAndRecordsTheStop) {
    const fs::path config = dir / "config.json";
    writeText(config,
              R"({"warn-context": 20, "critical-context": 50, "handoff-location": "repo"})");
    Watcher watcher(
        start({"watch", "--status", (dir / "state/status.json").string(), "--config",
               config.string(), "--interval-ms", "50", "--warn-context", "30", "--sessions", "7"},
              dir));
    // Two sessions start above 50 %, so handoffs exist from the first poll on; waiting for a
    // later `at` shows the file is rewritten, not written once.
    std::string firstAt;
    ASSERT_TRUE(eventually([&] {
        const auto document = status();
        if (!document)
            return false;
        if (firstAt.empty())
            firstAt = (*document)["at"];
        return (*document)["at"] != firstAt;
    }));
    EXPECT_EQ(watcher.stop(), 0);

    const json document = *status();
    expectShape(document, "StatusFile", "status");
    EXPECT_TRUE(document.contains("stoppedAt"));
    EXPECT_EQ(document["intervalMs"], 50);
    EXPECT_EQ(document["config"]["warnContextPct"], 30);
    EXPECT_EQ(document["config"]["criticalContextPct"], 50);
    EXPECT_EQ(document["config"]["cacheLeadMs"], 60000);
    EXPECT_EQ(document["config"]["settings"].size(), schemaDocument(*this)["properties"].size());
    EXPECT_EQ(document["configFile"]["path"], config.string());
    EXPECT_EQ(document["configFile"]["changedSinceLoad"], false);
    EXPECT_TRUE(document["configFile"].contains("loadedAt"));
    EXPECT_FALSE(document.contains("configError"));
    const json& sources = document["configSources"];
    EXPECT_EQ(sources["warn-context"], "cli");
    EXPECT_EQ(sources["interval"], "cli");
    EXPECT_EQ(sources["critical-context"], "file");
    EXPECT_EQ(sources["dry-run"], "default");

    ASSERT_EQ(document["sessions"].size(), 7u);
    std::set<std::string> levels, lifecycles;
    int handoffs = 0;
    for (const auto& session : document["sessions"]) {
        expectShape(session, "SessionStatus", "session");
        levels.insert(session["level"].get<std::string>());
        lifecycles.insert(session["lifecycle"].get<std::string>());
        if (session.contains("handoff")) {
            ++handoffs;
            EXPECT_EQ(session["handoff"]["location"], "repo");
            EXPECT_NE(readText(session["handoff"]["path"].get<std::string>())
                          .find(session["dirName"].get<std::string>()),
                      std::string::npos);
        }
    }
    EXPECT_GE(handoffs, 2);
    EXPECT_TRUE(levels.count("critical") && levels.count("warn"));
    EXPECT_TRUE(lifecycles.count("running") && lifecycles.count("needsInput"));

    std::set<std::string> kinds;
    bool multiLineDryRun = false;
    for (const auto& event : document["events"]) {
        expectShape(event, "TessalyEvent", "event");
        kinds.insert(event["kind"].get<std::string>());
        multiLineDryRun |= event["dryRun"] == true &&
                           event["text"].get<std::string>().find('\n') != std::string::npos;
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"notify", "inject", "handoff"}));
    EXPECT_TRUE(multiLineDryRun) << "injections are dry runs while message-agents is off";
    for (const auto& entry : fs::directory_iterator(dir / "state"))
        EXPECT_TRUE(entry.path().filename() == "status.json" || entry.is_directory())
            << "left behind: " << entry.path();
}

TEST_F(TessalySim, WatchRunsOnDefaultsWithAnInvalidConfigAndNoticesItChange) {
    const fs::path config = dir / "config.json";
    writeText(config, R"({"warn-context": 300, "dry-run": true})");
    Watcher watcher(start({"watch", "--status", (dir / "state/status.json").string(), "--config",
                           config.string(), "--interval-ms", "50", "--warn-context", "60"},
                          dir));
    ASSERT_TRUE(eventually([&] { return status().has_value(); }));
    fs::last_write_time(config, fs::last_write_time(config) + std::chrono::seconds(5));
    const bool noticed = eventually([&] {
        const auto document = status();
        return document && (*document)["configFile"]["changedSinceLoad"] == true;
    });
    EXPECT_EQ(watcher.stop(), 0);
    EXPECT_TRUE(noticed);

    const json document = *status();
    expectShape(document, "StatusFile", "status");
    EXPECT_EQ(document["configError"]["message"], "warn-context: Must be between 0 and 100");
    EXPECT_EQ(document["configError"]["path"], config.string());
    EXPECT_FALSE(document["configFile"].contains("loadedAt"));
    EXPECT_EQ(document["config"]["warnContextPct"], 60);
    EXPECT_EQ(document["config"]["dryRun"], false);
    for (const auto& [name, source] : document["configSources"].items())
        EXPECT_EQ(source, name == "warn-context" || name == "interval" ? "cli" : "default") << name;
    EXPECT_FALSE(document["sessions"].empty());
}

TEST_F(TessalySim, InstallWritesTheLaunchAgentThatNamesThisBinaryAndUninstallRemovesIt) {
    const fs::path plist = dir / "Library/LaunchAgents/dev.tessaly.daemon.plist";
    ASSERT_EQ(run({"install", "--warn-context", "60"}).status, 0);
    const std::string text = readText(plist);
    const std::string arguments = "<string>" + fs::canonical(TESSALY_BIN).string() +
                                  "</string>\n\t\t<string>watch</string>\n\t\t<string>--warn-"
                                  "context</string>\n\t\t<string>60</string>\n";
    EXPECT_NE(text.find("<key>ProgramArguments</key>"), std::string::npos) << text;
    EXPECT_NE(text.find(arguments), std::string::npos) << text;
    EXPECT_NE(text.find("<string>dev.tessaly.daemon</string>"), std::string::npos);

    EXPECT_EQ(run({"uninstall"}).status, 0);
    EXPECT_FALSE(fs::exists(plist));
}
