// The launch agent's property list is a file anyone with the user's rights may
// edit; the app reads it to learn how to start the daemon. Any bytes give either
// a command or one of the two documented refusals, and a command always has a
// program to start and never carries the `watch` subcommand into other commands.

#include <algorithm>

#include "FuzzSupport.hpp"
#include "system/DaemonCommand.hpp"

using namespace menubar;
using namespace menubar::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view plist(reinterpret_cast<const char*>(data), size);
    DaemonCommand command;
    try {
        command = DaemonCommand::fromPropertyList(plist);
    } catch (const DaemonCommand::ReadError&) {
        return 0;
    } catch (const DaemonCommand::ParseError& error) {
        require(std::string_view(error.what()).size() > 0, "a refusal says why");
        return 0;
    }
    require(!command.executable.empty(), "a command has a program");
    require(std::find(command.leadingArguments.begin(), command.leadingArguments.end(), "watch") ==
                command.leadingArguments.end(),
            "the watch subcommand never leads another command");
    return 0;
}
