#pragma once

// How to start the daemon's command line: which executable, and which arguments
// must precede a subcommand. Reusing the command of the daemon's own service
// definition (up to its `watch`), read from the launch agent's property list or
// the systemd user unit, makes the app talk to the same installation the service
// manager runs. Nothing here reads a file or tests a path itself; those come in
// as functions.

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace menubar {

// The daemon's launch-agent label: the property list's name, the service-manager
// target, and what the daemon installs itself under.
inline constexpr std::string_view LaunchAgentLabel = "dev.tessaly.daemon";

// home + "/Library/LaunchAgents/" + LaunchAgentLabel + ".plist". Its presence means
// "installed"; its ProgramArguments give the daemon's command line.
std::string launchAgentPlistPath(const std::string& home);

// Whether the path names something the user may execute (false for a missing
// file and for one without execute permission).
using ExecutableTest = std::function<bool(const std::string& path)>;

struct DaemonCommand {
    enum class Origin {
        environment, // the TESSALY_CLI variable
        launchAgent, // the launch agent's ProgramArguments
        path,        // a fixed place or the search path
        systemdUnit, // the systemd user unit's ExecStart
    };

    // Why a property list gave no command. `what()` is the description shown to
    // the user, one fixed text per kind.
    class ParseError : public std::runtime_error {
    public:
        enum class Kind {
            notAPlist,               // "the launch agent plist could not be read"
            missingProgramArguments, // "the launch agent plist has no ProgramArguments"
        };
        explicit ParseError(Kind kind);
        Kind kind;
    };

    // The property-list reader's own refusal: the bytes are no property list at
    // all (XML or binary). Kept apart from ParseError, which judges a list that did read.
    class ReadError : public std::runtime_error {
    public:
        ReadError();
    };

    using Environment = std::map<std::string, std::string>;
    using ReadFile = std::function<std::optional<std::string>(const std::string& path)>;
    // The command the service manager's definition of the daemon gives, or nothing.
    using ServiceCommand = std::function<std::optional<DaemonCommand>()>;

    static constexpr std::string_view environmentKey = "TESSALY_CLI";
    static constexpr std::string_view executableName = "tessaly";
    // Tried in this order, before the search path.
    static const std::vector<std::string>& candidates();

    std::string executable; // absolute path of the program to start
    std::vector<std::string> leadingArguments;
    Origin origin = Origin::path;

    bool operator==(const DaemonCommand&) const = default;

    // First match wins, and every problem in a source just moves on to the next:
    // TESSALY_CLI (a leading tilde expands to `home`) when it names an executable;
    // then the property list at `plistPath` when it parses and its executable
    // exists; then the candidates and environment's PATH. Nothing when all fail.
    // `readFile` gives nothing for a missing or unreadable file.
    static std::optional<DaemonCommand>
    resolve(const Environment& environment, const std::string& home, const std::string& plistPath,
            const ReadFile& readFile, const ExecutableTest& exists);

    // The same order with any service manager's definition in the second place:
    // `fromService` is asked only when TESSALY_CLI gives nothing, and its command
    // counts only when its executable `exists`.
    static std::optional<DaemonCommand> resolve(const Environment& environment,
                                                const std::string& home,
                                                const ServiceCommand& fromService,
                                                const ExecutableTest& exists);

    // XML or binary property list → the command before "watch" (or the first
    // element alone when there is no "watch" after it), origin launchAgent.
    // Throws ReadError or ParseError.
    static DaemonCommand fromPropertyList(std::string_view plist);

    // A service's whole command line (program first, never empty) → the program
    // and what precedes the first "watch" after it.
    static DaemonCommand fromCommandLine(const std::vector<std::string>& commandLine,
                                         Origin origin);

    // leadingArguments followed by `extra`: the child's whole argument list.
    std::vector<std::string> arguments(const std::vector<std::string>& extra) const;

    // The executable and all arguments joined with single spaces, unquoted: what
    // the settings window tells the user it ran.
    std::string describe(const std::vector<std::string>& extra) const;

    // The two subcommands the app runs: learning the settings, and judging a
    // candidate config file (the daemon answers with JSON on standard output).
    static std::vector<std::string> configSchemaArguments();
    static std::vector<std::string> configValidateArguments(const std::string& candidatePath);
};

namespace ExecutableLocator {

// The first candidate that `exists`, else the first `path` piece + "/" + `name`
// that does. Empty pieces of `path` are skipped; the rest are used as written.
std::optional<std::string> resolve(const std::string& name,
                                   const std::vector<std::string>& candidates,
                                   const std::optional<std::string>& path,
                                   const ExecutableTest& exists);

} // namespace ExecutableLocator

} // namespace menubar
