#include "DaemonCommand.hpp"

#include <cstdint>
#include <limits>
#include <memory>

#include <plist/plist.h>

#include "Paths.hpp"

namespace menubar {

namespace {

const char* describe(DaemonCommand::ParseError::Kind kind) {
    switch (kind) {
    case DaemonCommand::ParseError::Kind::notAPlist:
        return "the launch agent plist could not be read";
    case DaemonCommand::ParseError::Kind::missingProgramArguments:
        return "the launch agent plist has no ProgramArguments";
    }
    return "";
}

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

std::optional<std::string> stringValue(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr)
        return std::string();
    return std::string(text, static_cast<std::size_t>(length));
}

} // namespace

std::string launchAgentPlistPath(const std::string& home) {
    return home + "/Library/LaunchAgents/" + std::string(LaunchAgentLabel) + ".plist";
}

DaemonCommand::ParseError::ParseError(Kind kind)
    : std::runtime_error(menubar::describe(kind)), kind(kind) {}

DaemonCommand::ReadError::ReadError()
    : std::runtime_error("the data is not a property list in XML or binary format") {}

const std::vector<std::string>& DaemonCommand::candidates() {
    static const std::vector<std::string> places{"/opt/homebrew/bin/tessaly",
                                                 "/usr/local/bin/tessaly"};
    return places;
}

std::optional<DaemonCommand> DaemonCommand::resolve(const Environment& environment,
                                                    const std::string& home,
                                                    const std::string& plistPath,
                                                    const ReadFile& readFile,
                                                    const ExecutableTest& exists) {
    const ServiceCommand fromAgent = [&]() -> std::optional<DaemonCommand> {
        const auto bytes = readFile(plistPath);
        if (!bytes)
            return std::nullopt;
        try {
            return fromPropertyList(*bytes);
        } catch (const std::exception&) {
            // A broken or foreign property list only means "look elsewhere".
            return std::nullopt;
        }
    };
    return resolve(environment, home, fromAgent, exists);
}

std::optional<DaemonCommand> DaemonCommand::resolve(const Environment& environment,
                                                    const std::string& home,
                                                    const ServiceCommand& fromService,
                                                    const ExecutableTest& exists) {
    if (const auto variable = environment.find(std::string(environmentKey));
        variable != environment.end() && !variable->second.empty()) {
        const std::string expanded = Paths::expandTilde(variable->second, home);
        if (exists(expanded))
            return DaemonCommand{expanded, {}, Origin::environment};
    }

    if (auto command = fromService(); command && exists(command->executable))
        return command;

    std::optional<std::string> searchPath;
    if (const auto variable = environment.find("PATH"); variable != environment.end())
        searchPath = variable->second;
    if (auto found = ExecutableLocator::resolve(std::string(executableName), candidates(),
                                                searchPath, exists))
        return DaemonCommand{std::move(*found), {}, Origin::path};
    return std::nullopt;
}

DaemonCommand DaemonCommand::fromPropertyList(std::string_view plist) {
    // libplist takes a 32-bit length and reads nothing from an empty buffer.
    if (plist.empty() || plist.size() > std::numeric_limits<std::uint32_t>::max())
        throw ReadError();
    plist_t raw = nullptr;
    plist_from_memory(plist.data(), static_cast<std::uint32_t>(plist.size()), &raw);
    const PlistHandle root(raw);
    if (!root)
        throw ReadError();
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        throw ParseError(ParseError::Kind::notAPlist);

    plist_t list = plist_dict_get_item(root.get(), "ProgramArguments");
    if (list == nullptr || plist_get_node_type(list) != PLIST_ARRAY)
        throw ParseError(ParseError::Kind::missingProgramArguments);
    std::vector<std::string> elements;
    const std::uint32_t count = plist_array_get_size(list);
    elements.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        auto text = stringValue(plist_array_get_item(list, index));
        if (!text)
            throw ParseError(ParseError::Kind::missingProgramArguments);
        elements.push_back(std::move(*text));
    }
    if (elements.empty() || elements.front().empty())
        throw ParseError(ParseError::Kind::missingProgramArguments);
    return fromCommandLine(elements, Origin::launchAgent);
}

DaemonCommand DaemonCommand::fromCommandLine(const std::vector<std::string>& commandLine,
                                             Origin origin) {
    // Options given to `watch` belong to watching and must not leak into other
    // subcommands, so only what precedes it is kept.
    std::size_t end = 1;
    for (std::size_t index = 0; index < commandLine.size(); ++index) {
        if (commandLine[index] == "watch") {
            end = index == 0 ? 1 : index;
            break;
        }
    }
    return DaemonCommand{
        commandLine.front(),
        std::vector<std::string>(commandLine.begin() + 1,
                                 commandLine.begin() + static_cast<std::ptrdiff_t>(end)),
        origin};
}

std::vector<std::string> DaemonCommand::arguments(const std::vector<std::string>& extra) const {
    std::vector<std::string> all = leadingArguments;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

std::string DaemonCommand::describe(const std::vector<std::string>& extra) const {
    std::string line = executable;
    for (const auto& argument : arguments(extra)) {
        line += ' ';
        line += argument;
    }
    return line;
}

std::vector<std::string> DaemonCommand::configSchemaArguments() {
    return {"config", "schema"};
}

std::vector<std::string> DaemonCommand::configValidateArguments(const std::string& candidatePath) {
    return {"config", "validate", candidatePath, "--json"};
}

namespace ExecutableLocator {

std::optional<std::string> resolve(const std::string& name,
                                   const std::vector<std::string>& candidates,
                                   const std::optional<std::string>& path,
                                   const ExecutableTest& exists) {
    for (const auto& candidate : candidates) {
        if (exists(candidate))
            return candidate;
    }
    const std::string pieces = path.value_or(std::string());
    std::size_t start = 0;
    while (start <= pieces.size()) {
        const std::size_t colon = std::min(pieces.find(':', start), pieces.size());
        if (colon > start) {
            std::string candidate = pieces.substr(start, colon - start) + "/" + name;
            if (exists(candidate))
                return candidate;
        }
        start = colon + 1;
    }
    return std::nullopt;
}

} // namespace ExecutableLocator

} // namespace menubar
