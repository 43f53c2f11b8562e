#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "system/DaemonCommand.hpp"

using menubar::DaemonCommand;
using Origin = menubar::DaemonCommand::Origin;
using ParseError = menubar::DaemonCommand::ParseError;
namespace ExecutableLocator = menubar::ExecutableLocator;

namespace {

std::string readFixture(const std::string& relative) {
    std::ifstream file(std::filesystem::path(MENUBAR_FIXTURES) / relative, std::ios::binary);
    if (!file)
        ADD_FAILURE() << "missing fixture " << relative;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">" +
           body + "</plist>\n";
}

std::string agentWith(const std::vector<std::string>& arguments) {
    std::string items;
    for (const auto& argument : arguments)
        items += "<string>" + argument + "</string>";
    return xmlPlist("<dict><key>Label</key><string>dev.tessaly.daemon</string>"
                    "<key>ProgramArguments</key><array>" +
                    items + "</array></dict>");
}

} // namespace

TEST(DaemonCommand, RealLaunchAgentsReadTheSameInXmlAndBinary) {
    const struct {
        const char* xml;
        const char* binary;
        const char* executable;
    } cases[] = {
        {"nix/org.nixos.nix-daemon.plist.in", "nix__org.nixos.nix-daemon.bplist", "/bin/sh"},
        {"node_exporter/io.prometheus.node_exporter.plist",
         "node_exporter__io.prometheus.node_exporter.bplist", "sh"},
        {"syncthing/syncthing.plist", "syncthing__syncthing.bplist",
         "/Users/USERNAME/bin/syncthing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        // None of them has a "watch", so only the program itself is kept: the
        // options of "sh -c …" must never become leading arguments.
        const DaemonCommand expected{c.executable, {}, Origin::launchAgent};
        EXPECT_EQ(DaemonCommand::fromPropertyList(readFixture(std::string("plists/") + c.xml)),
                  expected);
        EXPECT_EQ(DaemonCommand::fromPropertyList(
                      readFixture(std::string("plists/binary-generated/") + c.binary)),
                  expected);
    }
}

// The usual agent, options before "watch", is the resolve table's own.
TEST(DaemonCommand, KeepsWhatPrecedesTheFirstWatch) {
    const struct {
        std::vector<std::string> programArguments;
        std::string executable;
        std::vector<std::string> leading;
    } cases[] = {
        {{"/usr/bin/env", "-i", "tessaly", "watch", "a", "watch"},
         "/usr/bin/env",
         {"-i", "tessaly"}},
        {{"watch", "/opt/t/tessaly"}, "watch", {}},
        {{"/opt/t/tessaly", "Watch", "watch "}, "/opt/t/tessaly", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable);
        EXPECT_EQ(DaemonCommand::fromPropertyList(agentWith(c.programArguments)),
                  (DaemonCommand{c.executable, c.leading, Origin::launchAgent}));
    }
}

// A list that reads but gives no command is a ParseError with one text per kind;
// bytes that are no property list at all fail in the reader.
TEST(DaemonCommand, RefusesWhatGivesNoCommand) {
    const auto refusal = [](const std::string& bytes) -> std::string {
        try {
            DaemonCommand::fromPropertyList(bytes);
        } catch (const ParseError& error) {
            return (error.kind == ParseError::Kind::notAPlist ? "notAPlist: " : "missing: ") +
                   std::string(error.what());
        } catch (const DaemonCommand::ReadError&) {
            return "read error";
        }
        return "parsed";
    };
    const std::string notAPlist = "notAPlist: the launch agent plist could not be read";
    const std::string missing = "missing: the launch agent plist has no ProgramArguments";
    const std::string binary = readFixture("plists/binary-generated/syncthing__syncthing.bplist");
    const std::vector<std::pair<std::string, std::string>> cases{
        {xmlPlist("<array><string>/bin/tessaly</string></array>"), notAPlist},
        {xmlPlist("<dict><key>Program</key><string>/bin/tessaly</string></dict>"), missing},
        {agentWith({}), missing},
        {agentWith({"", "watch"}), missing},
        {xmlPlist("<dict><key>ProgramArguments</key><array><string>/bin/tessaly</string>"
                  "<integer>3</integer></array></dict>"),
         missing},
        {std::string(), "read error"},
        {binary.substr(0, binary.size() / 2), "read error"},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(refusal(bytes), expected) << bytes;
}

TEST(DaemonCommand, ResolvesFromTheFirstSourceThatGivesAnExecutable) {
    const std::string home = "/home/ada";
    const std::string plistPath = menubar::launchAgentPlistPath(home);
    const std::string agent = agentWith({"/srv/tessaly/bin/tessaly", "--data", "/d", "watch"});
    const DaemonCommand fromAgent{
        "/srv/tessaly/bin/tessaly", {"--data", "/d"}, Origin::launchAgent};

    const struct {
        const char* name;
        DaemonCommand::Environment environment;
        std::optional<std::string> plist;
        std::set<std::string> executables;
        std::optional<DaemonCommand> expected;
    } cases[] = {
        {"TESSALY_CLI with a tilde beats the launch agent",
         {{"TESSALY_CLI", "~/bin/tessaly"}, {"PATH", "/usr/bin"}},
         agent,
         {"/home/ada/bin/tessaly", "/srv/tessaly/bin/tessaly", "/usr/local/bin/tessaly"},
         DaemonCommand{"/home/ada/bin/tessaly", {}, Origin::environment}},
        {"empty TESSALY_CLI is ignored",
         {{"TESSALY_CLI", ""}},
         agent,
         {"", "/srv/tessaly/bin/tessaly"},
         fromAgent},
        {"TESSALY_CLI that is not executable is ignored",
         {{"TESSALY_CLI", "/home/ada/notes.txt"}},
         agent,
         {"/srv/tessaly/bin/tessaly"},
         fromAgent},
        {"a vanished agent executable falls through to the fixed places",
         {{"PATH", "/usr/bin"}},
         agent,
         {"/usr/local/bin/tessaly", "/usr/bin/tessaly"},
         DaemonCommand{"/usr/local/bin/tessaly", {}, Origin::path}},
        {"a broken property list falls through to PATH",
         {{"PATH", "/usr/bin"}},
         std::string("not a plist"),
         {"/usr/bin/tessaly"},
         DaemonCommand{"/usr/bin/tessaly", {}, Origin::path}},
        {"Homebrew's place beats /usr/local and PATH",
         {{"PATH", "/usr/bin"}},
         std::nullopt,
         {"/usr/bin/tessaly", "/usr/local/bin/tessaly", "/opt/homebrew/bin/tessaly"},
         DaemonCommand{"/opt/homebrew/bin/tessaly", {}, Origin::path}},
        {"no PATH at all", {}, std::nullopt, {"/usr/bin/tessaly"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto readFile = [&](const std::string& path) -> std::optional<std::string> {
            EXPECT_EQ(path, plistPath);
            return c.plist;
        };
        const auto exists = [&](const std::string& path) { return c.executables.count(path) > 0; };
        EXPECT_EQ(DaemonCommand::resolve(c.environment, home, plistPath, readFile, exists),
                  c.expected);
    }
}

TEST(ExecutableLocator, TriesCandidatesThenEachNonEmptyPathPieceInOrder) {
    std::vector<std::string> asked;
    const auto nothing = [&](const std::string& path) {
        asked.push_back(path);
        return false;
    };
    EXPECT_EQ(ExecutableLocator::resolve("cmux", {"/opt/homebrew/bin/cmux", "/usr/local/bin/cmux"},
                                         std::string("::/a/bin:~/b::./c:"), nothing),
              std::nullopt);
    EXPECT_EQ(asked, (std::vector<std::string>{"/opt/homebrew/bin/cmux", "/usr/local/bin/cmux",
                                               "/a/bin/cmux", "~/b/cmux", "./c/cmux"}));

    const auto inB = [](const std::string& path) { return path == "/b/cmux" || path == "/c/cmux"; };
    EXPECT_EQ(ExecutableLocator::resolve("cmux", {}, std::string("/a:/b:/c"), inB), "/b/cmux");
}
