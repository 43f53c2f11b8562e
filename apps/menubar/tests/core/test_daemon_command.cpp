// Where the daemon's command comes from: the launch agent's property list, the
// systemd user unit, TESSALY_CLI and the usual places.

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "system/DaemonCommand.hpp"
#include "system/SystemdUnit.hpp"

using namespace menubar;
using Origin = DaemonCommand::Origin;
using ParseError = DaemonCommand::ParseError;

namespace {

std::string plistFixture(const std::string& relative) {
    std::ifstream file(std::filesystem::path(MENUBAR_FIXTURES) / "plists" / relative,
                       std::ios::binary);
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

const std::string home = "/home/ada";
const std::string unitPath = "/u/tessaly.service";

DaemonCommand fromUnit(std::string executable, std::vector<std::string> leading = {}) {
    return {std::move(executable), std::move(leading), DaemonCommand::Origin::systemdUnit};
}

const auto refused = [](std::string reason) { return SystemdUnit::Refusal{std::move(reason)}; };

} // namespace

// Real agents read the same in XML and binary. None of them has a "watch", so only
// the program itself is kept: the options of "sh -c …" must never become leading
// arguments. The usual agent, options before "watch", is the resolve table's own.
TEST(DaemonCommand, KeepsTheProgramAndWhatPrecedesTheFirstWatch) {
    const std::string binary = "binary-generated/";
    const struct {
        std::string plist, executable;
        std::vector<std::string> leading;
    } cases[] = {
        {plistFixture("nix/org.nixos.nix-daemon.plist.in"), "/bin/sh", {}},
        {plistFixture(binary + "nix__org.nixos.nix-daemon.bplist"), "/bin/sh", {}},
        {plistFixture("node_exporter/io.prometheus.node_exporter.plist"), "sh", {}},
        {plistFixture(binary + "node_exporter__io.prometheus.node_exporter.bplist"), "sh", {}},
        {plistFixture("syncthing/syncthing.plist"), "/Users/USERNAME/bin/syncthing", {}},
        {plistFixture(binary + "syncthing__syncthing.bplist"), "/Users/USERNAME/bin/syncthing", {}},
        {agentWith({"/usr/bin/env", "-i", "tessaly", "watch", "a", "watch"}),
         "/usr/bin/env",
         {"-i", "tessaly"}},
        {agentWith({"watch", "/opt/t/tessaly"}), "watch", {}},
        {agentWith({"/opt/t/tessaly", "Watch", "watch "}), "/opt/t/tessaly", {}},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row)
        EXPECT_EQ(DaemonCommand::fromPropertyList(cases[row].plist),
                  (DaemonCommand{cases[row].executable, cases[row].leading, Origin::launchAgent}))
            << "row " << row;
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
    const std::string binary = plistFixture("binary-generated/syncthing__syncthing.bplist");
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
    const std::string plistPath = launchAgentPlistPath(home);
    const std::string agent = agentWith({"/srv/tessaly/bin/tessaly", "--data", "/d", "watch"});
    const DaemonCommand fromAgent{
        "/srv/tessaly/bin/tessaly", {"--data", "/d"}, Origin::launchAgent};

    // The environment, the launch agent's bytes (none: no file) and the executables that exist,
    // then the command resolved.
    using Row = std::tuple<const char*, DaemonCommand::Environment, std::optional<std::string>,
                           std::set<std::string>, std::optional<DaemonCommand>>;
    const Row cases[] = {
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
    for (const auto& [name, environment, plist, executables, expected] : cases) {
        SCOPED_TRACE(name);
        const auto readFile = [&, bytes = plist](const std::string& path) {
            EXPECT_EQ(path, plistPath);
            return bytes;
        };
        const auto exists = [&in = executables](const std::string& path) {
            return in.contains(path);
        };
        EXPECT_EQ(DaemonCommand::resolve(environment, home, plistPath, readFile, exists), expected);
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

SystemdUnit::Reading read(const std::string& unit, const std::vector<std::string>& dropIns = {}) {
    std::vector<SystemdUnit::UnitFile> files{{unitPath, "[Service]\n" + unit}};
    for (const auto& dropIn : dropIns)
        files.push_back({unitPath + ".d/" + std::to_string(files.size()) + ".conf", dropIn});
    return SystemdUnit::read(files, home);
}

// The text after "[Service]" → the command systemd would run, up to "watch", or
// the reason systemd would refuse it (or the app cannot resolve it) for the log.
TEST(SystemdUnit, ReadsExecStartAsSystemdDoesOrSaysWhyNot) {
    const auto relative = [](const std::string& path) {
        return refused("ExecStart names the relative path " + path + "; an absolute one is needed");
    };
    const std::pair<std::string, SystemdUnit::Reading> cases[] = {
        {"ExecStart=/usr/bin/tessaly watch --interval-ms 500\n", fromUnit("/usr/bin/tessaly")},
        {"[Unit]\nExecStart=/no\r\n[Service]\r\n ExecStart = /o/node  /o/cli.js watch\r\n",
         fromUnit("/o/node", {"/o/cli.js"})},
        {"; ExecStart=/no\nExecStart=/bin/t\\\n# skipped\n--data\\\n  /d watch\n",
         fromUnit("/bin/t", {"--data", "/d"})},
        {"ExecStart=/bin/t a\\\\\nExecStart=\nExecStart=/bin/u\n", fromUnit("/bin/u")},
        {"ExecStart=\"/my t/t\" 'a b' \"q\\\"\\x41\\101\\u00e9\\s\" x\"y z\" \\; watch\n",
         fromUnit("/my t/t", {"a b", "q\"AA\u00e9 ", "xy z", ";"})},
        {"ExecStart=-:+/bin/t a watch\n", fromUnit("/bin/t", {"a"})},
        {"ExecStart=!!@/bin/t tessalyd --x watch\n", fromUnit("/bin/t", {"--x"})},
        {"ExecStart=%h/t --tag 100%% watch --id %u\n", fromUnit("/home/ada/t", {"--tag", "100%"})},
        {"ExecStart=/bin/t --price $$5 watch\n", fromUnit("/bin/t", {"--price", "$5"})},
        {"ExecStart=/a ; /b\n", refused("ExecStart gives more than one command")},
        {"ExecStart=/a\nExecStart=/b\n", refused("ExecStart gives more than one command")},
        {"Restart=always\n", refused("the unit has no ExecStart")},
        {"ExecStart=tessaly watch\n", relative("tessaly")},
        {"ExecStart=--/t\n", relative("-/t")},
        {"ExecStart=+!/t\n", relative("!/t")},
        {"ExecStart=@/t\n",
         refused("ExecStart's @ prefix lacks the name to start the program under")},
        {"ExecStart=-@\n", refused("ExecStart has no program")},
        {"ExecStart=/t %u watch\n",
         refused("ExecStart uses the specifier %u, which only systemd can resolve")},
        {"ExecStart=/t 5%\n", refused("ExecStart ends a word with a lone %")},
        {"ExecStart=/t ${D}\n",
         refused("ExecStart passes an environment variable, which only systemd can resolve")},
        {"ExecStart=/t \"a b\n", refused("ExecStart has an unterminated quote")},
        {"ExecStart=/t \\q\n", refused("ExecStart has the unknown escape \\q")},
        {"ExecStart=/t \\x00\n", refused("ExecStart escapes a NUL character")},
        {"ExecStart=/t \\ud800\n",
         refused("ExecStart escapes something that is no Unicode character")},
        {"ExecStart=/t \\x4\n", refused("ExecStart has an incomplete escape")},
        {"ExecStart=/t \\xff\n", refused("ExecStart is not UTF-8 text")},
        {"[Service\nExecStart=/t\n",
         refused(unitPath + " has a section header without its closing ]")},
        {"ExecStart=/t \xC3(\n", refused(unitPath + " is not UTF-8 text")},
        {std::string("ExecStart=/t\0\x01", 14), refused(unitPath + " is not UTF-8 text")},
        {"ExecStart=/t\n#" + std::string(1 << 20, 'x'),
         refused(unitPath + " is larger than 1 MiB")},
    };
    for (const auto& [unit, expected] : cases)
        EXPECT_EQ(read(unit), expected) << unit.substr(0, 40);
    // Drop-ins in order: the last ExecStart wins and an empty one clears.
    EXPECT_EQ(
        read("ExecStart=/a\n", {"[Service]\nExecStart=\nExecStart=/b\n", "[X]\nExecStart=\n"}),
        SystemdUnit::Reading(fromUnit("/b")));
    EXPECT_EQ(SystemdUnit::read({{unitPath, "[Unit]\nExecStart=/t\n"}}, home),
              SystemdUnit::Reading(refused("the unit has no [Service] section")));
}

// The first folder with a unit gives it; drop-ins come from every folder in the
// order of their names, a name in a more important folder hiding the same one below.
TEST(SystemdUnit, LoadsTheFirstUnitAndEveryFoldersDropInsByName) {
    const std::map<std::string, std::string> disk{
        {"/etc/u/tessaly.service", "[Service]\nExecStart=/etc/t\n"},
        {"/usr/u/tessaly.service", "[Service]\nExecStart=/usr/t\n"},
        {"/usr/u/tessaly.service.d/20-b.conf", "[Service]\nExecStart=\nExecStart=/usr/b\n"},
        {"/usr/u/tessaly.service.d/10-a.conf", "[Service]\nExecStart=\nExecStart=/usr/a\n"},
        {"/usr/u/tessaly.service.d/05-z.conf", "[Service]\nExecStart=\nExecStart=/usr/z\n"},
        {"/etc/u/tessaly.service.d/20-b.conf", "[Unit]\n"},
        {"/usr/u/tessaly.service.d/notes.txt", "[Service]\nExecStart=/wrong\n"},
    };
    const FileSystem fake{
        .exists = [&](const std::string& path) { return disk.count(path) > 0; },
        .readFile = [&](const std::string& path, std::uint64_t) -> FileReadResult {
            return disk.at(path);
        },
        .list =
            [&](const std::string& folder) {
                std::vector<std::string> names;
                for (const auto& [path, text] : disk)
                    if (path.starts_with(folder + "/"))
                        names.push_back(path.substr(folder.size() + 1));
                return names;
            },
    };
    EXPECT_EQ(SystemdUnit::load({"/home/u", "/etc/u", "/usr/u"}, fake, home),
              SystemdUnit::Reading(fromUnit("/usr/a")));
    EXPECT_EQ(SystemdUnit::find({"/home/u", "/etc/u", "/usr/u"}, fake), "/etc/u/tessaly.service");
    EXPECT_EQ(SystemdUnit::load({"/home/u", "/nowhere"}, fake, home), std::nullopt);

    const ServiceFiles::Environment xdg{{"XDG_CONFIG_HOME", "/x/config"},
                                        {"XDG_DATA_HOME", "relative/is/ignored"},
                                        {"XDG_STATE_HOME", "/x/state"}};
    EXPECT_EQ(SystemdUnit::directories(xdg, home),
              (std::vector<std::string>{"/x/config/systemd/user", "/etc/systemd/user",
                                        "/home/ada/.local/share/systemd/user",
                                        "/usr/local/lib/systemd/user", "/usr/lib/systemd/user"}));
    EXPECT_EQ(ServiceFiles::logsDirectory(ServiceManager::systemd, xdg, home),
              "/x/state/tessaly/logs");
}
