#include "MachineList.hpp"

#include <algorithm>

namespace menubar {

namespace {

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string shown(std::string_view line) {
    std::string text(line);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return isControl(c); }, '?');
    return text;
}

// The host part as ssh reads it: after "ssh://" and any "user@", before ":port".
std::string_view hostOf(std::string_view destination) {
    if (destination.starts_with("ssh://"))
        destination.remove_prefix(6);
    if (const auto at = destination.rfind('@'); at != std::string_view::npos)
        destination.remove_prefix(at + 1);
    return destination;
}

} // namespace

std::optional<std::string> MachineList::refusal(std::string_view destination,
                                                std::string_view name) {
    if (destination.empty())
        return "no destination before the tab";
    if (std::any_of(destination.begin(), destination.end(),
                    [](char c) { return isControl(static_cast<unsigned char>(c)); }) ||
        std::any_of(name.begin(), name.end(),
                    [](char c) { return isControl(static_cast<unsigned char>(c)); }))
        return "contains a control character";
    if (destination.size() > destinationLimit)
        return "destination longer than 255 bytes";
    // ssh reads a leading "-" as an option (-oProxyCommand=... runs a command),
    // and so do some of its helpers with a user or host name.
    if (destination.starts_with('-') || hostOf(destination).starts_with('-') ||
        destination.find("@-") != std::string_view::npos || destination.starts_with("ssh://-"))
        return "starts like an option, which ssh would obey rather than connect";
    if (destination.find(' ') != std::string_view::npos)
        return "a space in the destination (put the name after a tab)";
    if (hostOf(destination).empty() || hostOf(destination).starts_with(':'))
        return "no host name";
    return std::nullopt;
}

MachineList MachineList::parse(std::string_view text, char separator) {
    MachineList list;
    int lineNumber = 0;
    while (!text.empty()) {
        const auto end = std::min(text.find(separator), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        // A file saved on Windows still reads as intended.
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::string_view content = trimmed(line);
        if (content.empty() || content.starts_with('#'))
            continue;
        const auto tab = content.find('\t');
        const std::string_view destination =
            trimmed(content.substr(0, std::min(tab, content.size())));
        const std::string_view name =
            tab == std::string_view::npos ? std::string_view{} : trimmed(content.substr(tab + 1));
        auto reason = refusal(destination, name);
        if (!reason && std::any_of(list.machines.begin(), list.machines.end(),
                                   [&](const Machine& m) { return m.destination == destination; }))
            reason = "listed twice";
        if (reason)
            list.refused.push_back({lineNumber, shown(line), *reason});
        else
            list.machines.push_back({std::string(destination), std::string(name)});
    }
    return list;
}

MachineList MachineList::resolve(const std::map<std::string, std::string>& environment,
                                 const std::optional<std::string>& fileText) {
    if (const auto found = environment.find(std::string(environmentKey));
        found != environment.end())
        return parse(found->second, ';');
    return fileText ? parse(*fileText) : MachineList{};
}

std::string MachineList::adding(std::string_view fileText, const Machine& machine) {
    std::string text(fileText);
    if (!text.empty() && !text.ends_with('\n'))
        text += '\n';
    text += machine.destination;
    if (!machine.name.empty())
        text += '\t' + machine.name;
    return text + '\n';
}

std::string MachineList::removing(std::string_view fileText, std::string_view destination) {
    std::string text;
    while (!fileText.empty()) {
        const auto end = std::min(fileText.find('\n'), fileText.size());
        const std::string_view line = fileText.substr(0, std::min(end + 1, fileText.size()));
        fileText.remove_prefix(line.size());
        const MachineList parsed = parse(line);
        if (parsed.machines.size() == 1 && parsed.machines.front().destination == destination)
            continue;
        text += line;
    }
    return text;
}

std::string MachinesFile::path(const std::map<std::string, std::string>& environment,
                               const std::string& home, bool macOS) {
    if (macOS)
        return home + "/Library/Application Support/tessaly-menubar/machines";
    if (const auto config = environment.find("XDG_CONFIG_HOME");
        config != environment.end() && config->second.starts_with('/'))
        return config->second + "/tessaly-menubar/machines";
    return home + "/.config/tessaly-menubar/machines";
}

} // namespace menubar
