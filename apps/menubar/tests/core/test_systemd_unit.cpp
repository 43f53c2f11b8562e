#include <map>

#include <gtest/gtest.h>

#include "system/SystemdUnit.hpp"

using menubar::DaemonCommand;
namespace SystemdUnit = menubar::SystemdUnit;

namespace {

const std::string home = "/home/ada";
const std::string unitPath = "/u/tessaly.service";

DaemonCommand fromUnit(std::string executable, std::vector<std::string> leading = {}) {
    return {std::move(executable), std::move(leading), DaemonCommand::Origin::systemdUnit};
}

SystemdUnit::Refusal refused(std::string reason) {
    return {std::move(reason)};
}

} // namespace

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
    const menubar::FileSystem fake{
        .exists = [&](const std::string& path) { return disk.count(path) > 0; },
        .readFile = [&](const std::string& path, std::uint64_t) -> menubar::FileReadResult {
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

    const menubar::ServiceFiles::Environment xdg{{"XDG_CONFIG_HOME", "/x/config"},
                                                 {"XDG_DATA_HOME", "relative/is/ignored"},
                                                 {"XDG_STATE_HOME", "/x/state"}};
    EXPECT_EQ(SystemdUnit::directories(xdg, home),
              (std::vector<std::string>{"/x/config/systemd/user", "/etc/systemd/user",
                                        "/home/ada/.local/share/systemd/user",
                                        "/usr/local/lib/systemd/user", "/usr/lib/systemd/user"}));
    using menubar::ServiceManager;
    EXPECT_EQ(menubar::ServiceFiles::logsDirectory(ServiceManager::systemd, xdg, home),
              "/x/state/tessaly/logs");
}
