// A systemd user unit and its drop-ins are files anyone with the user's rights may
// edit; the app reads them to learn how to start the daemon. Any bytes (split at NUL
// into a unit and drop-ins) give either a command or a refusal with a reason, never
// a crash; a command always names an absolute program in well-formed UTF-8 and never
// carries the `watch` subcommand into other commands.

#include <algorithm>
#include <variant>
#include <vector>

#include "FuzzSupport.hpp"
#include "system/SystemdUnit.hpp"

using namespace menubar;
using namespace menubar::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<SystemdUnit::UnitFile> files;
    do {
        const auto end = std::min(rest.find('\0'), rest.size());
        files.push_back(
            {"/u/" + std::to_string(files.size()) + ".conf", std::string(rest.substr(0, end))});
        rest.remove_prefix(std::min(end + 1, rest.size()));
    } while (!rest.empty());

    const auto reading = SystemdUnit::read(files, "/home/ada");
    if (const auto* refusal = std::get_if<SystemdUnit::Refusal>(&reading)) {
        require(!refusal->reason.empty(), "a refusal says why");
        require(isWellFormedUTF8(refusal->reason), "a refusal is well-formed text");
        return 0;
    }
    const auto& command = std::get<DaemonCommand>(reading);
    require(command.executable.starts_with('/'), "the program is an absolute path");
    require(isWellFormedUTF8(command.executable), "the program is well-formed text");
    for (const auto& argument : command.leadingArguments) {
        require(argument != "watch", "the watch subcommand never leads another command");
        require(isWellFormedUTF8(argument), "arguments are well-formed text");
        require(argument.find('\0') == std::string::npos, "no argument holds a NUL");
    }
    return 0;
}
