#include <map>

#include <gtest/gtest.h>

#include "SystemdUnit.hpp"

using menubar::LaunchAgentCommand;
namespace SystemdUnit = menubar::SystemdUnit;

namespace {

const std::string home = "/home/ada";
const std::string unitPath = "/u/tessaly.service";

LaunchAgentCommand fromUnit(std::string executable, std::vector<std::string> leading = {}) {
    return {std::move(executable), std::move(leading), LaunchAgentCommand::Origin::systemdUnit};
}

SystemdUnit::Refusal refused(std::string reason) {
    return {std::move(reason)};
}

} // namespace

// Unit text and drop-ins (in the order systemd applies them) → command or reason.
TEST(SystemdUnit, ReadsExecStartAsSystemdDoesOrSaysWhyNot) {
    const struct {
        const char* name;
        std::string unit;
        std::vector<std::string> dropIns;
        SystemdUnit::Reading expected;
    } cases[] = {
        {"plain",
         "[Service]\nExecStart=/usr/bin/tessaly watch --interval-ms 500\n",
         {},
         fromUnit("/usr/bin/tessaly")},
        {"leading arguments, blanks around =, CRLF, other sections ignored",
         "[Unit]\nExecStart=/wrong\r\n[Service]\r\n  ExecStart = /opt/t/node  /opt/t/cli.js "
         "watch\r\n",
         {},
         fromUnit("/opt/t/node", {"/opt/t/cli.js"})},
        {"comments, continuation with a comment inside",
         "# ExecStart=/commented\n[Service]\n; ExecStart=/also\nExecStart=/bin/t \\\n"
         "# skipped\n  --data \\\n  /d watch\n",
         {},
         fromUnit("/bin/t", {"--data", "/d"})},
        {"an escaped backslash does not continue",
         "[Service]\nExecStart=/bin/t a\\\\\nExecStart=\nExecStart=/bin/u\n",
         {},
         fromUnit("/bin/u")},
        {"quotes and C escapes",
         "[Service]\nExecStart=\"/opt/my t/t\" 'a b' \"q\\\"\\x41\\101\\u00e9\\s\" x\"y z\" "
         "\\; watch\n",
         {},
         fromUnit("/opt/my t/t", {"a b", "q\"AA\u00e9 ", "xy z", ";"})},
        {"every prefix", "[Service]\nExecStart=-:+/bin/t a watch\n", {}, fromUnit("/bin/t", {"a"})},
        {"!! and @ with its argv[0]",
         "[Service]\nExecStart=!!@/bin/t tessalyd --x watch\n",
         {},
         fromUnit("/bin/t", {"--x"})},
        {"%h and %%",
         "[Service]\nExecStart=%h/bin/t --tag 100%% watch --id %u\n",
         {},
         fromUnit("/home/ada/bin/t", {"--tag", "100%"})},
        {"$$ in an argument",
         "[Service]\nExecStart=/bin/t --price $$5 watch\n",
         {},
         fromUnit("/bin/t", {"--price", "$5"})},
        {"drop-ins: the last wins, an empty one clears",
         "[Service]\nExecStart=/bin/a\n",
         {"[Service]\nExecStart=\nExecStart=/bin/b\n", "[Unit]\nExecStart=\n"},
         fromUnit("/bin/b")},
        {"a drop-in clears and adds nothing",
         "[Service]\nExecStart=/bin/a\n",
         {"[Service]\nExecStart=\n"},
         refused("the unit has no ExecStart")},
        {"two commands",
         "[Service]\nExecStart=/bin/a ; /bin/b\n",
         {},
         refused("ExecStart gives more than one command")},
        {"two ExecStart lines",
         "[Service]\nExecStart=/bin/a\nExecStart=/bin/b\n",
         {},
         refused("ExecStart gives more than one command")},
        {"no [Service]",
         "[Unit]\nDescription=x\n",
         {},
         refused("the unit has no [Service] section")},
        {"no ExecStart", "[Service]\nRestart=always\n", {}, refused("the unit has no ExecStart")},
        {"relative program",
         "[Service]\nExecStart=tessaly watch\n",
         {},
         refused("ExecStart names the relative path tessaly; an absolute one is needed")},
        {"a repeated prefix is part of the path",
         "[Service]\nExecStart=--/bin/t\n",
         {},
         refused("ExecStart names the relative path -/bin/t; an absolute one is needed")},
        {"+ and ! together",
         "[Service]\nExecStart=+!/bin/t\n",
         {},
         refused("ExecStart names the relative path !/bin/t; an absolute one is needed")},
        {"@ without argv[0]",
         "[Service]\nExecStart=@/bin/t\n",
         {},
         refused("ExecStart's @ prefix lacks the name to start the program under")},
        {"prefixes only", "[Service]\nExecStart=-@\n", {}, refused("ExecStart has no program")},
        {"other specifier",
         "[Service]\nExecStart=/bin/t --user %u watch\n",
         {},
         refused("ExecStart uses the specifier %u, which only systemd can resolve")},
        {"lone %",
         "[Service]\nExecStart=/bin/t 5%\n",
         {},
         refused("ExecStart ends a word with a lone %")},
        {"variable",
         "[Service]\nExecStart=/bin/t ${DATA} watch\n",
         {},
         refused("ExecStart passes an environment variable, which only systemd can resolve")},
        {"unterminated quote",
         "[Service]\nExecStart=/bin/t \"a b\n",
         {},
         refused("ExecStart has an unterminated quote")},
        {"unknown escape",
         "[Service]\nExecStart=/bin/t \\q\n",
         {},
         refused("ExecStart has the unknown escape \\q")},
        {"NUL escape",
         "[Service]\nExecStart=/bin/t \\x00\n",
         {},
         refused("ExecStart escapes a NUL character")},
        {"surrogate escape",
         "[Service]\nExecStart=/bin/t \\ud800\n",
         {},
         refused("ExecStart escapes something that is no Unicode character")},
        {"short escape",
         "[Service]\nExecStart=/bin/t \\x4\n",
         {},
         refused("ExecStart has an incomplete escape")},
        {"escaped invalid UTF-8",
         "[Service]\nExecStart=/bin/t \\xff\n",
         {},
         refused("ExecStart is not UTF-8 text")},
        {"open section header",
         "[Service\nExecStart=/bin/t\n",
         {},
         refused("/u/tessaly.service has a section header without its closing ]")},
        {"invalid UTF-8",
         "[Service]\nExecStart=/bin/t \xC3(\n",
         {},
         refused("/u/tessaly.service is not UTF-8 text")},
        {"binary",
         std::string("[Service]\nExecStart=/bin/t\0\x01", 28),
         {},
         refused("/u/tessaly.service is not UTF-8 text")},
        {"over 1 MiB",
         "[Service]\nExecStart=/bin/t\n#" + std::string(1 << 20, 'x'),
         {},
         refused("/u/tessaly.service is larger than 1 MiB")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SystemdUnit::UnitFile> files{{unitPath, c.unit}};
        for (std::size_t i = 0; i < c.dropIns.size(); ++i)
            files.push_back({"/u/tessaly.service.d/" + std::to_string(i) + ".conf", c.dropIns[i]});
        EXPECT_EQ(SystemdUnit::read(files, home), c.expected);
    }
}

// The first folder with a unit gives it; drop-ins come from every folder in the
// order of their names, a name in a more important folder hiding the same one below.
TEST(SystemdUnit, LoadsTheFirstUnitAndEveryFoldersDropInsByName) {
    const std::map<std::string, std::string> disk{
        {"/etc/u/tessaly.service", "[Service]\nExecStart=/etc/t\n"},
        {"/usr/u/tessaly.service", "[Service]\nExecStart=/usr/t\n"},
        {"/usr/u/tessaly.service.d/20-b.conf", "[Service]\nExecStart=\nExecStart=/usr/b\n"},
        {"/usr/u/tessaly.service.d/10-a.conf", "[Service]\nExecStart=\nExecStart=/usr/a\n"},
        {"/etc/u/tessaly.service.d/20-b.conf", "[Unit]\n"},
        {"/usr/u/tessaly.service.d/notes.txt", "[Service]\nExecStart=/wrong\n"},
    };
    const SystemdUnit::Disk fake{
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
    EXPECT_EQ(menubar::ServiceFiles::logsDirectory(ServiceManager::systemd, {}, home),
              "/home/ada/.local/state/tessaly/logs");
    EXPECT_EQ(menubar::ServiceFiles::logsDirectory(ServiceManager::launchd, xdg, home),
              "/home/ada/Library/Logs/tessaly");
}
