#include "CommandLine.hpp"

#include <algorithm>
#include <array>

namespace menubar::CommandLine {

namespace {

// Qt's standard options for GUI applications; the first group takes a value.
constexpr std::array<std::string_view, 12> qtOptionsWithValue{
    "platform",        "platformpluginpath",
    "platformtheme",   "plugin",
    "qwindowgeometry", "qwindowicon",
    "qwindowtitle",    "display",
    "geometry",        "style",
    "stylesheet",      "session"};
constexpr std::array<std::string_view, 6> qtFlags{"reverse", "nograb",      "dograb",
                                                  "sync",    "widgetcount", "qmljsdebugger"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

CommandLineRequest usage(std::string message) {
    return {.kind = CommandLineRequest::Kind::usageError,
            .error = std::move(message) + "; try 'tessaly-menubar --help'"};
}

} // namespace

CommandLineRequest parse(const std::vector<std::string>& arguments) {
    using Kind = CommandLineRequest::Kind;
    bool window = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h")
            return {.kind = Kind::help};
        if (argument == "--version")
            return {.kind = Kind::version};
        if (argument == "--window") {
            window = true;
            continue;
        }
        if (argument.starts_with("--help=") || argument.starts_with("--version=") ||
            argument.starts_with("--window="))
            return usage("option '" + argument.substr(0, argument.find('=')) +
                         "' doesn't allow an argument");
        if (argument == "--")
            // Nothing takes operands, so whatever follows is one too many.
            return i + 1 < arguments.size()
                       ? usage("unexpected argument '" + arguments[i + 1] + "'")
                       : CommandLineRequest{.kind = window ? Kind::window : Kind::run};

        if (argument.size() > 1 && argument[0] == '-') {
            std::string_view name(argument);
            name.remove_prefix(argument.starts_with("--") ? 2 : 1);
            const std::string_view bare = name.substr(0, name.find('='));
            if (contains(qtOptionsWithValue, bare)) {
                if (bare == name && ++i >= arguments.size())
                    return usage("option '" + argument + "' requires an argument");
                continue;
            }
            if (contains(qtFlags, bare))
                continue;
            return usage(argument.starts_with("--") ? "unrecognized option '" + argument + "'"
                                                    : "invalid option '" + argument + "'");
        }
        return usage("unexpected argument '" + argument + "'");
    }
    return {.kind = window ? Kind::window : Kind::run};
}

std::string helpText() {
    return "Usage: tessaly-menubar [OPTION]...\n"
           "Show the tessaly daemon's health and its coding-agent sessions in the system tray.\n"
           "\n"
           "  --window     open the status window (for desktops without a tray)\n"
           "  -h, --help   display this help and exit\n"
           "  --version    output version information and exit\n"
           "\n"
           "Qt's standard options (such as -platform NAME) are accepted too.\n"
           "A second start in the same session asks the running one to show itself.\n"
           "\n"
           "Environment:\n"
           "  TESSALY_STATUS_FILE            the status file to watch\n"
           "                                 (default ~/.local/state/tessaly/status.json)\n"
           "  TESSALY_CONFIG_FILE            the config file the settings window edits\n"
           "  TESSALY_CLI                    the daemon's executable\n"
           "  TESSALY_MENUBAR_COMPACT        1/true/yes/on for the icon-only look, 0/false/no/off\n"
           "                                 to force it off\n"
           "  TESSALY_MENUBAR_OPEN_SETTINGS  exactly 1 opens the settings window at launch\n"
           "\n"
           "Exit status: 0 when the app ends normally or is already running, 64 for a bad\n"
           "option.\n"
           "\n"
           "Full documentation: man tessaly-menubar\n";
}

std::string versionText(std::string_view version, std::string_view program) {
    return std::string(program) + " " + std::string(version) +
           "\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

} // namespace menubar::CommandLine
