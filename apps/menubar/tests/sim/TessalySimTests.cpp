// The stand-in daemon run as a real child process, with only HOME and PATH set,
// and read back with a plain JSON parser.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

namespace fs = std::filesystem;
namespace faults = menubar::faults;
using nlohmann::json;

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> result;
    for (auto& word : words)
        result.push_back(word.data());
    result.push_back(nullptr);
    return result;
}

// Starts the stand-in with HOME at `home`, its standard output to `out`.
pid_t start(std::vector<std::string> words, const fs::path& home,
            const std::string& out = "/dev/null") {
    words.insert(words.begin(), TESSALY_BIN);
    std::vector<std::string> variables = {"HOME=" + home.string(), "PATH=/usr/bin:/bin"};
    const std::vector<char*> argv = pointers(words);
    const std::vector<char*> envp = pointers(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
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
struct Watcher {
    pid_t pid;
    explicit Watcher(pid_t pid) : pid(pid) {}
    Watcher(const Watcher&) = delete;
    ~Watcher() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int stop() {
        kill(pid, SIGTERM);
        return exitStatus(std::exchange(pid, -1));
    }
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
        EXPECT_TRUE(key.shape != faults::Shape::date ||
                    (value.is_string() && std::regex_match(value.get<std::string>(), rfc3339)))
            << at << " = " << value;
        if (key.shape == faults::Shape::record && value.is_object())
            expectShape(value, key.type, at);
    }
}

class TessalySim : public ::testing::Test {
public:
    void SetUp() override {
        char pattern[] = "/tmp/tessaly-sim-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(dir); }

    // The exit status and standard output.
    std::pair<int, std::string> run(const std::vector<std::string>& arguments) {
        const int status = exitStatus(start(arguments, dir, (dir / "stdout.txt").string()));
        return {status, readText(dir / "stdout.txt")};
    }
    std::pair<int, std::string> validate(const std::string& fileText) {
        std::ofstream(dir / "candidate.json", std::ios::binary) << fileText;
        return run({"config", "validate", (dir / "candidate.json").string(), "--json"});
    }
    json schema() { return json::parse(run({"config", "schema"}).second); }
    // Runs `watch` with a config file holding `config`, polling every 50 ms.
    Watcher watch(const std::string& config, const std::vector<std::string>& options) {
        std::ofstream(dir / "config.json", std::ios::binary) << config;
        std::vector<std::string> words = {"watch", "--status",
                                          (dir / "state/status.json").string()};
        for (const std::string& word : {std::string("--config"), (dir / "config.json").string(),
                                        std::string("--interval-ms"), std::string("50")})
            words.push_back(word);
        words.insert(words.end(), options.begin(), options.end());
        return Watcher(start(words, dir));
    }
    std::optional<json> status() const {
        const json document = json::parse(readText(dir / "state/status.json"), nullptr, false);
        return document.is_discarded() ? std::nullopt : std::optional(document);
    }

    fs::path dir;
};

} // namespace

// Each file holds only bad keys, and its one error names all of them in file order.
TEST_F(TessalySim, ValidateRejectsEachKindOfBadValueNamingItsKey) {
    const std::pair<std::string, std::string> cases[] = {
        {"not json", ""},
        {"[1, 2]", "The config file must hold one JSON object"},
        {R"({"colour": "red"})", "Unknown setting colour"},
        {R"({"warn-context": "80"})", "Must be a number"},
        {R"({"warn-context": 100.5})", "Must be between 0 and 100"},
        {R"({"cache-lead": "soon"})", "soon does not match ^[0-9]+(ms|s|m|h)$"},
        {R"({"handoff-location": "desk"})", "Unknown value desk (allowed: scratchpad, repo)"},
        {R"({"on-critical": ["notify", "shout"]})",
         "Unknown value shout (allowed: notify, inject, handoff)"},
        {R"({"warn-context": 90, "critical-context": 80})",
         "The critical threshold must lie above the warn threshold"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        const auto [status, out] = validate(file);
        EXPECT_EQ(status, 1);
        ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        const json answer = json::parse(out);
        json keys = json::array();
        if (const auto parsed = nlohmann::ordered_json::parse(file, nullptr, false);
            parsed.is_object())
            for (const auto& item : parsed.items())
                keys.push_back(item.key());
        EXPECT_EQ(answer["ok"], false);
        ASSERT_EQ(answer["errors"].size(), 1u) << answer;
        EXPECT_EQ(answer["errors"][0]["options"], keys);
        EXPECT_TRUE(message.empty() || answer["errors"][0]["message"] == message) << answer;
    }
}

TEST_F(TessalySim, WatchWritesReadableStatusFilesAndRecordsTheStop) {
    Watcher watcher =
        watch(R"({"warn-context": 20, "critical-context": 50, "handoff-location": "repo"})",
              {"--warn-context", "30", "--sessions", "7"});
    // Two sessions start above 50 %, so handoffs exist from the first poll on; waiting for a
    // later `at` shows the file is rewritten, not written once.
    std::string firstAt;
    ASSERT_TRUE(eventually([&] {
        const auto document = status();
        if (document && firstAt.empty())
            firstAt = (*document)["at"];
        return document && (*document)["at"] != firstAt;
    }));
    EXPECT_EQ(watcher.stop(), 0);
#ifndef __APPLE__
    const std::string log = readText(dir / ".local/state/tessaly/logs/daemon.log");
    EXPECT_TRUE(log.ends_with(" stopped\n")) << log;
#endif

    const json document = *status();
    expectShape(document, "StatusFile", "status");
    EXPECT_TRUE(document.contains("stoppedAt"));
    EXPECT_TRUE(document["configFile"].contains("loadedAt"));
    EXPECT_FALSE(document.contains("configError"));
    EXPECT_EQ(document["config"]["settings"].size(), schema()["properties"].size());
    EXPECT_EQ(document["intervalMs"], 50);
    EXPECT_EQ(document["configSources"]["warn-context"], "cli");

    ASSERT_EQ(document["sessions"].size(), 7u);
    std::set<std::string> levels, kinds;
    for (const auto& session : document["sessions"]) {
        expectShape(session, "SessionStatus", "session");
        levels.insert(session["level"].get<std::string>());
    }
    for (const auto& event : document["events"]) {
        expectShape(event, "TessalyEvent", "event");
        kinds.insert(event["kind"].get<std::string>());
    }
    // The demo shows every level and every kind of event.
    EXPECT_TRUE(levels.count("critical") && levels.count("warn"));
    EXPECT_EQ(kinds, (std::set<std::string>{"notify", "inject", "handoff"}));
}

#ifdef __APPLE__
TEST_F(TessalySim, InstallWritesTheLaunchAgentThatNamesThisBinaryAndUninstallRemovesIt) {
    const fs::path plist = dir / "Library/LaunchAgents/dev.tessaly.daemon.plist";
    ASSERT_EQ(run({"install", "--warn-context", "60"}).first, 0);
    const std::string text = readText(plist);
    const std::string arguments = "<string>" + fs::canonical(TESSALY_BIN).string() +
                                  "</string>\n\t\t<string>watch</string>\n\t\t<string>--warn-"
                                  "context</string>\n\t\t<string>60</string>\n";
    EXPECT_NE(text.find("<key>ProgramArguments</key>"), std::string::npos) << text;
    EXPECT_NE(text.find(arguments), std::string::npos) << text;
    EXPECT_NE(text.find("<string>dev.tessaly.daemon</string>"), std::string::npos);
    EXPECT_EQ(run({"uninstall"}).first, 0);
    EXPECT_FALSE(fs::exists(plist));
}
#else
// Quoted so that systemd gives `watch` back exactly this path, "%" and all.
TEST_F(TessalySim, InstallWritesTheUserUnitThatNamesThisBinaryAndUninstallRemovesIt) {
    const fs::path unit = dir / ".config/systemd/user/tessaly.service";
    const std::string status = (dir / "my \"100%\" status.json").string();
    ASSERT_EQ(run({"install", "--status", status}).first, 0);
    const std::string text = readText(unit);
    std::string quoted = status;
    quoted.replace(quoted.find('"'), 6, "\\\"100%%\\\"");
    EXPECT_NE(text.find("\nExecStart=" + fs::canonical(TESSALY_BIN).string() +
                        " watch --status \"" + quoted + "\"\nRestart=on-failure\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Install]\nWantedBy=default.target\n"), std::string::npos) << text;
    EXPECT_EQ(run({"uninstall"}).first, 0);
    EXPECT_FALSE(fs::exists(unit));
}
#endif
