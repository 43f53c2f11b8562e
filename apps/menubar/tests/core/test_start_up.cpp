// How the app starts: its environment and command line, the autostart entry that
// starts it at login, and the key that keeps one copy per user and display.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "system/AutostartEntry.hpp"
#include "system/CommandLine.hpp"
#include "system/Environment.hpp"
#include "system/InstanceKey.hpp"
#include "system/PlatformAdvice.hpp"

using namespace menubar;
using Kind = CommandLineRequest::Kind;

TEST(CommandLine, Parse) {
    const std::string hint = "; try 'tessaly-menubar --help'";
    const std::pair<std::vector<std::string>, CommandLineRequest> cases[] = {
        {{}, {Kind::run}},
        {{"--window", "--help"}, {Kind::help}},
        {{"--version", "--bogus"}, {Kind::version}},
        {{"--bogus", "--version"}, {Kind::usageError, "unrecognized option '--bogus'" + hint}},
        {{"-x"}, {Kind::usageError, "invalid option '-x'" + hint}},
        {{"status.json"}, {Kind::usageError, "unexpected argument 'status.json'" + hint}},
        {{"--version=2"},
         {Kind::usageError, "option '--version' doesn't allow an argument" + hint}},
        {{"--", "--window"}, {Kind::usageError, "unexpected argument '--window'" + hint}},
        // Qt's own options, in both dash forms, take their values with them.
        {{"-platform", "offscreen", "--window"}, {Kind::window}},
        {{"--display", ":1", "-reverse", "-style=Fusion"}, {Kind::run}},
        {{"-platform"}, {Kind::usageError, "option '-platform' requires an argument" + hint}},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(CommandLine::parse(arguments), expected) << testing::PrintToString(arguments);
}

TEST(AutostartEntry, PathExecutableAndText) {
    EXPECT_EQ(AutostartEntry::path({{"XDG_CONFIG_HOME", "/cfg"}}, "/home/u"),
              "/cfg/autostart/dev.tessaly.Menubar.desktop");
    EXPECT_EQ(AutostartEntry::path({{"XDG_CONFIG_HOME", "relative/cfg"}}, "/home/u"),
              "/home/u/.config/autostart/dev.tessaly.Menubar.desktop");

    // The folders, ":"-separated, that hold an executable tessaly-menubar.
    const auto installedIn = [](std::string folders) {
        return [folders](const std::string& path) {
            return (":" + folders + ":").find(":" + path.substr(0, path.rfind('/')) + ":") !=
                   std::string::npos;
        };
    };
    const struct {
        std::string running, searchPath, installed, expected;
    } choices[] = {
        {"/usr/bin/tessaly-menubar", "/usr/local/bin:/usr/bin", "/usr/local/bin",
         "/usr/bin/tessaly-menubar"},
        {"/src/build/tessaly-menubar", ".:/opt/t/bin/:/usr/bin", "/opt/t/bin",
         "/opt/t/bin/tessaly-menubar"},
        {"/src/build/tessaly-menubar", "/usr/bin", "/nowhere", "/src/build/tessaly-menubar"},
        {"/src/build/tessaly-menubar", "/usr/local/bin:/usr/bin", "/usr/bin:/usr/local/bin",
         "/usr/local/bin/tessaly-menubar"},
    };
    for (const auto& c : choices)
        EXPECT_EQ(AutostartEntry::executable(c.running, c.searchPath, installedIn(c.installed)),
                  c.expected)
            << c.running << " with PATH " << c.searchPath;

    const std::pair<const char*, const char*> quoting[] = {
        {"/home/a b/bin/tessaly-menubar", R"("/home/a b/bin/tessaly-menubar")"},
        {"/opt/100%/x", "/opt/100%%/x"},
        {R"(/o/$HOME/"q"/x)", R"("/o/\\$HOME/\\"q\\"/x")"},
        {R"(/o/back\slash)", R"("/o/back\\\\slash")"},
    };
    for (const auto& [executable, exec] : quoting)
        EXPECT_THAT(AutostartEntry::text(executable),
                    testing::HasSubstr("\nExec=" + std::string(exec) + "\n"));
}

TEST(AutostartEntry, SwitchedOffByHand) {
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\r\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Action x]\nHidden=true\n", true},
    };
    for (const auto& [content, enabled] : cases)
        EXPECT_EQ(AutostartEntry::isEnabled(content), enabled) << content;
}

TEST(InstanceKey, OnePerUserAndDisplay) {
    const std::pair<std::map<std::string, std::string>, const char*> cases[] = {
        {{{"DISPLAY", "unix:0"}}, "tessaly-menubar-1000-x_0"},
        {{{"DISPLAY", "host.lan:10.0"}}, "tessaly-menubar-1000-xhost.lan_10"},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-1"}}, "tessaly-menubar-1000-wayland-1"},
        {{{"WAYLAND_DISPLAY", "/run/user/1000/w 0"}}, "tessaly-menubar-1000-w_0"},
        {{{"DISPLAY", "../../etc"}}, "tessaly-menubar-1000-x.._.._etc"},
    };
    for (const auto& [environment, expected] : cases)
        EXPECT_EQ(InstanceKey::name(1000, environment), expected);
}

// When Qt can open no display, the one line the app prints names what to do.
TEST(PlatformAdvice, NamesWhatToInstallOrSet) {
    const std::vector<std::string> x11Only{"libqxcb.so", "libqoffscreen.so"};
    using Row =
        std::tuple<const char*, PlatformAdvice::Environment, std::vector<std::string>, const char*>;
    const Row cases[] = {
        {"Wayland without Qt's Wayland plugin",
         {{"WAYLAND_DISPLAY", "wayland-1"}},
         x11Only,
         "this is a Wayland session (WAYLAND_DISPLAY=wayland-1) and Qt's Wayland plugin is not "
         "installed; install qt6-wayland"},
        {"an X display nobody answers",
         {{"DISPLAY", ":9"}},
         x11Only,
         "could not connect to the X display :9; start tessaly-menubar from within the desktop "
         "session"},
        {"no display at all",
         {},
         x11Only,
         "neither WAYLAND_DISPLAY nor DISPLAY is set; start tessaly-menubar from within a desktop "
         "session (tessaly-bar shows the status in a terminal)"},
        {"a platform chosen by hand wins",
         {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}},
         {"libqwayland-generic.so"},
         "QT_QPA_PLATFORM asks for \"wayland\"; unset it, or install the Qt 6 platform plugin it "
         "names"},
    };
    for (const auto& [name, environment, plugins, expected] : cases)
        EXPECT_EQ(PlatformAdvice::line(environment, plugins),
                  std::string("no display could be opened: ") + expected)
            << name;
}

// GTK's file chooser runs only on GLib's loop; a user's own choice stands.
TEST(PlatformAdvice, AsksForQtsEventLoopWhereNoGtkThemeMayLoad) {
    const std::tuple<PlatformAdvice::Environment, std::vector<std::string>, bool> cases[] = {
        {{}, {"libqxdgdesktopportal.so"}, true},
        {{}, {"libqxdgdesktopportal.so", "libqgtk3.so"}, false},
        {{{"QT_NO_GLIB", ""}}, {}, false},
    };
    for (const auto& [environment, themePlugins, expected] : cases)
        EXPECT_EQ(PlatformAdvice::asksForQtEventLoop(environment, themePlugins), expected);
}

using Variables = std::map<std::string, std::string>;

TEST(Environment, ReadsTheBlockAsGetenvWould) {
    const std::tuple<const char*, std::vector<const char*>, Variables> cases[] = {
        {"a value keeps every later equals sign",
         {"A=b=c", "EMPTY="},
         {{"A", "b=c"}, {"EMPTY", ""}}},
        {"an entry without a name is no variable", {"=x", "junk", "B=1"}, {{"B", "1"}}},
        {"the first of a repeated name wins", {"HOME=/a", "HOME=/b"}, {{"HOME", "/a"}}},
    };
    for (auto [name, entries, expected] : cases) {
        SCOPED_TRACE(name);
        entries.push_back(nullptr);
        EXPECT_EQ(environmentOf(entries.data()), expected);
    }
    EXPECT_EQ(environmentOf(nullptr), Variables{});
}
