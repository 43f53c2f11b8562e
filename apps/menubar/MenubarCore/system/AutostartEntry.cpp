#include "AutostartEntry.hpp"

#include <sstream>

#include "Paths.hpp"

namespace menubar::AutostartEntry {

namespace {

// The desktop-entry rules for Exec: an argument with a reserved character is
// double-quoted, with ", `, $ and \ escaped inside; "%" is doubled since it
// starts a field code; and the value as a whole escapes its backslashes again.
std::string execArgument(const std::string& argument) {
    const bool needsQuotes =
        argument.empty() || argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string quoted;
    if (needsQuotes)
        quoted += '"';
    for (const char c : argument) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    if (needsQuotes)
        quoted += '"';
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::string path(const std::map<std::string, std::string>& environment, const std::string& home) {
    const auto configured = environment.find("XDG_CONFIG_HOME");
    const std::string base = configured != environment.end() && configured->second.starts_with('/')
                                 ? configured->second
                                 : home + "/.config";
    return base + "/autostart/" + desktopId + ".desktop";
}

std::string executable(const std::string& running, const std::string& searchPath,
                       const std::function<bool(const std::string&)>& isExecutable) {
    const std::string runningFolder = Paths::parentDirectory(running);
    std::string installed;
    std::stringstream folders(searchPath);
    for (std::string folder; std::getline(folders, folder, ':');) {
        // An empty or relative entry means the working folder, which says
        // nothing about where the app is installed.
        if (!folder.starts_with('/'))
            continue;
        while (folder.size() > 1 && folder.ends_with('/'))
            folder.pop_back();
        if (folder == runningFolder)
            return running;
        const std::string candidate = folder + "/tessaly-menubar";
        if (installed.empty() && isExecutable(candidate))
            installed = candidate;
    }
    return installed.empty() ? running : installed;
}

std::string text(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessaly Menubar\n"
           "Comment=Watch the tessaly daemon and its coding-agent sessions from the tray\n"
           "Exec=" +
           execArgument(executable) +
           "\n"
           "Icon=" +
           desktopId +
           "\n"
           "Terminal=false\n"
           "StartupNotify=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool isEnabled(const std::string& content) {
    bool inMainGroup = false;
    std::stringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.starts_with('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

} // namespace menubar::AutostartEntry
