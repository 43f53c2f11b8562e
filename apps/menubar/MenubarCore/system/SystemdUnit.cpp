#include "SystemdUnit.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "UnicodeText.hpp"

namespace menubar::SystemdUnit {

namespace {

constexpr std::string_view whitespace = " \t\n\r";

// Unwinds to `read` or `load`, which turn it into a Refusal.
struct Refused {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason) {
    throw Refused{std::move(reason)};
}

std::string_view stripped(std::string_view text) {
    const auto start = text.find_first_not_of(whitespace);
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(whitespace) - start + 1);
}

bool isComment(std::string_view line) {
    return !line.empty() && (line.front() == '#' || line.front() == ';');
}

// A character that may be named in a log line as it is.
std::string shown(char c) {
    return c > ' ' && c < 0x7F ? std::string(1, c) : "?";
}

// The ExecStart= values of one file's [Service] sections, in order; an empty
// value clears what came before, also from earlier files.
class Collector {
public:
    void add(const UnitFile& file) {
        if (file.text.size() > sizeLimit)
            refuse(file.path + " is larger than 1 MiB");
        if (file.text.find('\0') != std::string::npos || !UnicodeText::isWellFormed(file.text))
            refuse(file.path + " is not UTF-8 text");
        section_.clear();
        std::string continuation;
        bool continuing = false;
        std::string_view rest = file.text;
        while (!rest.empty()) {
            const auto end = std::min(rest.find('\n'), rest.size());
            std::string_view line = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            const std::string_view content = stripped(line);
            // Comment lines inside a continued line are left out of it.
            if (isComment(content) || (!continuing && content.empty()))
                continue;
            bool escaped = false;
            for (const char c : line)
                escaped = !escaped && c == '\\';
            if (escaped) {
                // The backslash becomes a blank and the next line follows.
                continuation += line.substr(0, line.size() - 1);
                continuation += ' ';
                continuing = true;
                continue;
            }
            continuation += line;
            handle(file, continuation);
            continuation.clear();
            continuing = false;
        }
        if (continuing)
            handle(file, continuation);
    }

    bool sawService = false;
    std::vector<std::string> execStart;

private:
    void handle(const UnitFile& file, std::string_view whole) {
        const std::string_view line = stripped(whole);
        if (line.empty())
            return;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2)
                refuse(file.path + " has a section header without its closing ]");
            section_ = std::string(line.substr(1, line.size() - 2));
            sawService = sawService || section_ == "Service";
            return;
        }
        const auto equals = line.find('=');
        // systemd skips a line without "=", and settings of other sections.
        if (section_ != "Service" || equals == std::string_view::npos)
            return;
        if (stripped(line.substr(0, equals)) != "ExecStart")
            return;
        const std::string_view value = stripped(line.substr(equals + 1));
        if (value.empty())
            execStart.clear();
        else
            execStart.emplace_back(value);
    }

    std::string section_;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `count` digits of base `base` from the front of `rest`, consumed.
std::uint32_t digits(std::string_view& rest, std::size_t count, int base) {
    if (rest.size() < count)
        refuse("ExecStart has an incomplete escape");
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = hexDigit(rest[i]);
        if (digit < 0 || digit >= base)
            refuse("ExecStart has an incomplete escape");
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    rest.remove_prefix(count);
    return value;
}

// The C-style escape after a backslash, appended to `word`.
void unescape(std::string_view& rest, std::string& word) {
    if (rest.empty())
        refuse("ExecStart ends in a backslash");
    const char c = rest.front();
    rest.remove_prefix(1);
    static const std::map<char, char> simple{
        {'a', '\a'},  {'b', '\b'}, {'f', '\f'},  {'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'v', '\v'},
        {'\\', '\\'}, {'"', '"'},  {'\'', '\''}, {'s', ' '},  {' ', ' '},  {';', ';'}};
    if (const auto found = simple.find(c); found != simple.end()) {
        word += found->second;
        return;
    }
    std::uint32_t value = 0;
    bool codePoint = false;
    switch (c) {
    case 'x':
        value = digits(rest, 2, 16);
        break;
    case 'u':
        value = digits(rest, 4, 16);
        codePoint = true;
        break;
    case 'U':
        value = digits(rest, 8, 16);
        codePoint = true;
        break;
    default:
        if (c < '0' || c > '7')
            refuse("ExecStart has the unknown escape \\" + shown(c));
        rest = std::string_view(rest.data() - 1, rest.size() + 1);
        value = digits(rest, 3, 8);
        if (value > 0xFF)
            refuse("ExecStart has an incomplete escape");
    }
    // A NUL cannot be passed to a program.
    if (value == 0)
        refuse("ExecStart escapes a NUL character");
    if (!codePoint)
        word += static_cast<char>(value);
    else if (!UnicodeText::append(word, value))
        refuse("ExecStart escapes something that is no Unicode character");
}

struct Word {
    std::string text;
    bool separatesCommands = false; // a bare ";"
};

// The next word of `rest`, quotes removed and escapes resolved; nothing at the end.
std::optional<Word> nextWord(std::string_view& rest) {
    const auto start = rest.find_first_not_of(whitespace);
    if (start == std::string_view::npos) {
        rest = {};
        return std::nullopt;
    }
    rest.remove_prefix(start);
    const std::string_view raw = rest;
    Word word;
    char quote = 0;
    while (!rest.empty() &&
           (quote != 0 || whitespace.find(rest.front()) == std::string_view::npos)) {
        const char c = rest.front();
        rest.remove_prefix(1);
        if (quote == 0 && (c == '"' || c == '\''))
            quote = c;
        else if (c == quote)
            quote = 0;
        else if (c == '\\')
            unescape(rest, word.text);
        else
            word.text += c;
    }
    if (quote != 0)
        refuse("ExecStart has an unterminated quote");
    word.separatesCommands = raw.substr(0, raw.size() - rest.size()) == ";";
    return word;
}

// `%h` and `%%`; every other specifier needs the service manager's own knowledge.
// In arguments, `$$` stands for "$"; a variable is systemd's to fill in.
std::string resolved(const std::string& word, const std::string& home, bool isArgument) {
    std::string result;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (c == '%') {
            if (i + 1 == word.size())
                refuse("ExecStart ends a word with a lone %");
            const char specifier = word[++i];
            if (specifier == '%')
                result += '%';
            else if (specifier == 'h')
                result += home;
            else
                refuse("ExecStart uses the specifier %" + shown(specifier) +
                       ", which only systemd can resolve");
        } else if (c == '$' && isArgument && i + 1 < word.size()) {
            const char next = word[i + 1];
            if (next == '$') {
                result += '$';
                ++i;
            } else if (next == '{' || next == '_' ||
                       std::isalpha(static_cast<unsigned char>(next))) {
                refuse("ExecStart passes an environment variable, which only systemd can resolve");
            } else {
                result += c;
            }
        } else {
            result += c;
        }
    }
    return result;
}

// One command's words → its command, reading the program's prefixes.
DaemonCommand command(const std::vector<std::string>& words, const std::string& home) {
    const std::string& first = words.front();
    bool ignoreFailure = false, ownArgv0 = false, noEnvironment = false, privileged = false,
         noSetuid = false, ambient = false;
    std::size_t prefix = 0;
    for (; prefix < first.size(); ++prefix) {
        const char c = first[prefix];
        const bool elevated = privileged || noSetuid || ambient;
        if (c == '-' && !ignoreFailure)
            ignoreFailure = true;
        else if (c == '@' && !ownArgv0)
            ownArgv0 = true;
        else if (c == ':' && !noEnvironment)
            noEnvironment = true;
        else if (c == '+' && !elevated)
            privileged = true;
        else if (c == '!' && !elevated)
            noSetuid = true;
        else if (c == '!' && noSetuid && !privileged && !ambient)
            ambient = true;
        else
            break;
    }
    const std::string program = resolved(first.substr(prefix), home, false);
    if (program.empty())
        refuse("ExecStart has no program");
    // Checked before any refusal quotes the program, so that a reason is text.
    if (!UnicodeText::isWellFormed(program))
        refuse("ExecStart is not UTF-8 text");
    if (program.front() != '/')
        refuse("ExecStart names the relative path " + program + "; an absolute one is needed");
    // With "@" the next word is only the name the program sees as its argv[0].
    const std::size_t firstArgument = ownArgv0 ? 2 : 1;
    if (words.size() < firstArgument)
        refuse("ExecStart's @ prefix lacks the name to start the program under");

    std::vector<std::string> commandLine{program};
    for (std::size_t i = firstArgument; i < words.size(); ++i) {
        // What follows "watch" is never passed on, so systemd alone resolves it.
        commandLine.push_back(resolved(words[i], home, true));
        if (commandLine.back() == "watch")
            break;
    }
    for (const auto& element : commandLine)
        if (!UnicodeText::isWellFormed(element))
            refuse("ExecStart is not UTF-8 text");
    return DaemonCommand::fromCommandLine(commandLine, DaemonCommand::Origin::systemdUnit);
}

DaemonCommand commandOf(const std::vector<UnitFile>& files, const std::string& home) {
    Collector collector;
    for (const auto& file : files)
        collector.add(file);
    if (!collector.sawService)
        refuse("the unit has no [Service] section");

    std::vector<std::vector<std::string>> commands;
    for (const auto& value : collector.execStart) {
        std::string_view rest = value;
        std::vector<std::string> words;
        while (const auto word = nextWord(rest)) {
            if (!word->separatesCommands) {
                words.push_back(word->text);
            } else if (!words.empty()) {
                commands.push_back(std::move(words));
                words.clear();
            }
        }
        if (!words.empty())
            commands.push_back(std::move(words));
    }
    if (commands.empty())
        refuse("the unit has no ExecStart");
    // Several are allowed only for one-shot jobs, which a daemon is not.
    if (commands.size() > 1)
        refuse("ExecStart gives more than one command");
    return command(commands.front(), home);
}

UnitFile readUnitFile(const std::string& path, const FileSystem& disk) {
    auto read = disk.readFile(path, sizeLimit);
    if (auto* text = std::get_if<std::string>(&read))
        return {path, std::move(*text)};
    if (const auto* error = std::get_if<FileReadError>(&read))
        refuse(path + " could not be read: " + error->message);
    refuse(path + " is larger than 1 MiB");
}

} // namespace

std::vector<std::string> directories(const ServiceFiles::Environment& environment,
                                     const std::string& home) {
    return {ServiceFiles::xdgDirectory(environment, "XDG_CONFIG_HOME", home, ".config") +
                "/systemd/user",
            "/etc/systemd/user",
            ServiceFiles::xdgDirectory(environment, "XDG_DATA_HOME", home, ".local/share") +
                "/systemd/user",
            "/usr/local/lib/systemd/user", "/usr/lib/systemd/user"};
}

std::string userUnitPath(const ServiceFiles::Environment& environment, const std::string& home) {
    return directories(environment, home).front() + "/" + std::string(unitName);
}

Reading read(const std::vector<UnitFile>& files, const std::string& home) {
    try {
        return commandOf(files, home);
    } catch (const Refused& refused) {
        return Refusal{refused.reason};
    }
}

std::optional<std::string> find(const std::vector<std::string>& directories,
                                const FileSystem& disk) {
    for (const auto& directory : directories) {
        const std::string path = directory + "/" + std::string(unitName);
        if (disk.exists(path))
            return path;
    }
    return std::nullopt;
}

std::optional<Reading> load(const std::vector<std::string>& directories, const FileSystem& disk,
                            const std::string& home) {
    const auto unit = find(directories, disk);
    if (!unit)
        return std::nullopt;
    try {
        std::vector<UnitFile> files{readUnitFile(*unit, disk)};
        std::map<std::string, std::string> dropIns; // name → path, ordered by name
        for (const auto& directory : directories) {
            const std::string folder = directory + "/" + std::string(unitName) + ".d";
            for (const auto& name : disk.list(folder))
                if (name.size() > 5 && name.ends_with(".conf"))
                    dropIns.emplace(name, folder + "/" + name);
        }
        for (const auto& [name, path] : dropIns)
            files.push_back(readUnitFile(path, disk));
        return read(files, home);
    } catch (const Refused& refused) {
        return Reading{Refusal{refused.reason}};
    }
}

} // namespace menubar::SystemdUnit

namespace menubar {

ServiceControls ServiceFiles::controls(ServiceManager manager, const Environment& environment,
                                       const std::string& home, const FileSystem& disk) {
    switch (manager) {
    case ServiceManager::launchd:
        return {manager, disk.exists(launchAgentPlistPath(home))};
    case ServiceManager::systemd:
        return {manager,
                SystemdUnit::find(SystemdUnit::directories(environment, home), disk).has_value()};
    }
    return {manager, false};
}

} // namespace menubar
