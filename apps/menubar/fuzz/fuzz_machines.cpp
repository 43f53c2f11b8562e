// The machines file is the user's to edit, and another machine's reply is bytes
// from the network. Any machines text (before the first NUL) gives machines
// whose destination never reaches ssh as an option, or refusals that say why;
// any reply (after it) gives a reading or one of the fixed reasons, never a crash,
// read whole or as a stream.

#include <algorithm>
#include <variant>

#include "FuzzSupport.hpp"
#include "machines/MachineList.hpp"
#include "machines/RemoteStatus.hpp"

using namespace menubar;
using namespace menubar::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = std::min(input.find('\0'), input.size());
    const std::string_view text = input.substr(0, split);
    const std::string_view reply = input.substr(std::min(split + 1, input.size()));

    for (const char separator : {'\n', ';'}) {
        const MachineList list = MachineList::parse(text, separator);
        for (const Machine& machine : list.machines) {
            require(!MachineList::refusal(machine.destination, machine.name),
                    "a listed machine passes the rule that refuses lines");
            require(!machine.destination.starts_with('-'), "no destination reads as an option");
            require(machine.destination.size() <= MachineList::destinationLimit,
                    "no destination is over-long");
            const auto arguments = RemoteFetch::arguments(machine, "/run/user/1");
            require(arguments[arguments.size() - 3] == machine.destination &&
                        arguments[arguments.size() - 2] == "--",
                    "the destination stands alone before the script");
        }
        for (const RefusedMachineLine& refused : list.refused)
            require(!refused.reason.empty(), "a refusal says why");
    }

    const auto parsed = RemoteFrame::parse(reply);
    if (const auto* reason = std::get_if<std::string>(&parsed))
        require(*reason == RemoteFrame::cutOff || *reason == RemoteFrame::notUnderstood,
                "a bad reply gets one of the fixed reasons");
    // The same reply as a stream in two pieces gives frames or ends with a fixed
    // reason; any bytes framed as a file come back as one reading, whatever they hold.
    RemoteFrame::Stream stream;
    const auto half = reply.size() / 2;
    for (const auto piece : {reply.substr(0, half), reply.substr(half)})
        for (const auto& frame : stream.feed(piece))
            if (const auto* reason = std::get_if<std::string>(&frame))
                require(*reason == RemoteFrame::notUnderstood,
                        "a bad stream gets the fixed reason");
    RemoteFrame::Stream framed;
    const auto frames = framed.feed(RemoteFrame::make({}, std::string(reply)));
    require(frames.size() == 1 && std::holds_alternative<RemoteReading>(frames.front()) &&
                framed.pending.empty(),
            "a framed file is one reading");

    const MachineLink link = MachineLink::from({255, "", std::string(reply)}, Instant{});
    require(!std::get<MachineLink::Unreachable>(link.value).reason.empty(), "a failure says why");
    return 0;
}
