// The stand-in daemon run as a real child process, with only HOME and PATH set,
// and read back with a plain JSON parser.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../StatusFaultTable.hpp"

namespace fs = std::filesystem;
namespace faults = menubar::faults;
using nlohmann::json;

namespace {

std::string readText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

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

    // The exit status and standard output of the stand-in run with `arguments`
    // (already shell words), HOME in the scratch folder and nothing else inherited.
    std::pair<int, std::string> run(const std::string& arguments) {
        const std::string command = "env -i HOME=" + dir.string() + " PATH=/usr/bin:/bin " +
                                    TESSALY_BIN " " + arguments + " >" +
                                    (dir / "stdout.txt").string() + " 2>/dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(dir / "stdout.txt")};
    }

    fs::path dir;
};

} // namespace

// A second and a half of polling every 50 ms, then SIGTERM, which `watch` answers
// by recording the stop and exiting 0 (the status `wait` gives back).
TEST_F(TessalySim, WatchWritesReadableStatusFilesAndRecordsTheStop) {
    std::ofstream(dir / "config.json")
        << R"({"warn-context": 20, "critical-context": 50, "handoff-location": "repo"})";
    const fs::path statusPath = dir / "state/status.json";
    EXPECT_EQ(run("watch --status " + statusPath.string() + " --config " +
                      (dir / "config.json").string() +
                      " --interval-ms 50 --warn-context 30 --sessions 7"
                      " & sleep 1.5; kill $!; wait $!")
                  .first,
              0);
#ifndef __APPLE__
    const std::string log = readText(dir / ".local/state/tessaly/logs/daemon.log");
    EXPECT_TRUE(log.ends_with(" stopped\n")) << log;
#endif

    const json document = json::parse(readText(statusPath));
    expectShape(document, "StatusFile", "status");
    EXPECT_TRUE(document.contains("stoppedAt"));
    // Rewritten at each poll, not written once.
    EXPECT_NE(document["at"], document["startedAt"]);
    EXPECT_TRUE(document["configFile"].contains("loadedAt"));
    EXPECT_FALSE(document.contains("configError"));
    EXPECT_EQ(document["config"]["settings"].size(),
              json::parse(run("config schema").second)["properties"].size());
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
