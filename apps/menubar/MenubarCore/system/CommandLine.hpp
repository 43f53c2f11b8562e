#pragma once

// What the command line asks for. The app's own options are long ones; Qt's
// standard options (-platform NAME, -display NAME, -style NAME, ...) are left
// for Qt, in either dash form, with their values. Reading it is a pure function
// so that --help and --version answer before any display is opened.

#include <string>
#include <string_view>
#include <vector>

namespace menubar {

struct CommandLineRequest {
    enum class Kind { run, window, help, version, usageError };

    Kind kind = Kind::run;
    std::string error; // usageError: one line, without the program's prefix

    bool operator==(const CommandLineRequest&) const = default;
};

namespace CommandLine {

// BSD sysexits' EX_USAGE, as other desktop tools exit on a bad option.
inline constexpr int usageExitCode = 64;

// `arguments` without the program name.
CommandLineRequest parse(const std::vector<std::string>& arguments);

// The --help text: usage, options, environment variables, files.
std::string helpText();

// The --version text of `program` at `version` (e.g. "0.1.0").
std::string versionText(std::string_view version, std::string_view program = "tessaly-menubar");

} // namespace CommandLine

} // namespace menubar
