#include "Faces.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "status/Formatting.hpp"
#include "status/TonePalette.hpp"
#include "status/Legibility.hpp"
#include "system/NotificationText.hpp"

namespace menubar::bar {

namespace {

using Json = nlohmann::ordered_json;

// Texts from the status file reach terminals and bars; a control character in a
// session name must not move the cursor, end a line or start an escape sequence.
std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return line;
}

std::string indented(const MenuEntry& entry) {
    return std::string(static_cast<std::size_t>(std::max(0, entry.indentation)) * 4, ' ') +
           oneLine(entry.title);
}

// What the status says, as against what the app itself offers (refresh, settings,
// the icon-only look, starting and stopping the daemon, logs, quitting).
bool tellsStatus(MenuAction action) {
    switch (action) {
    case MenuAction::none:
    case MenuAction::focusSession:
    case MenuAction::openHandoff:
        return true;
    case MenuAction::refresh:
    case MenuAction::openSettings:
    case MenuAction::toggleCompact:
    case MenuAction::toggleStartAtLogin:
    case MenuAction::toggleNotify:
    case MenuAction::startDaemon:
    case MenuAction::restartDaemon:
    case MenuAction::stopDaemon:
    case MenuAction::openLogs:
    case MenuAction::openStatusFile:
    case MenuAction::quit:
    case MenuAction::openMachines:
    case MenuAction::openMachineTerminal:
        return false;
    }
    return false;
}

// A menu-bar plugin can also refresh itself and open the files the app opens.
bool pluginCanDo(MenuAction action) {
    return tellsStatus(action) || action == MenuAction::refresh || action == MenuAction::openLogs ||
           action == MenuAction::openStatusFile;
}

// The kept entries, with a separator only between two sections that kept some.
std::vector<const MenuEntry*> kept(const StatusMenu& menu,
                                   const std::function<bool(MenuAction)>& keep) {
    std::vector<const MenuEntry*> entries;
    const MenuEntry* pendingSeparator = nullptr;
    for (const MenuEntry& entry : menu.entries) {
        if (entry.isSeparator) {
            if (!entries.empty())
                pendingSeparator = &entry;
            continue;
        }
        if (!keep(entry.action))
            continue;
        if (pendingSeparator)
            entries.push_back(pendingSeparator);
        pendingSeparator = nullptr;
        entries.push_back(&entry);
    }
    return entries;
}

std::string_view actionName(MenuAction action) {
    switch (action) {
    case MenuAction::none:
        return "";
    case MenuAction::refresh:
        return "refresh";
    case MenuAction::openSettings:
        return "openSettings";
    case MenuAction::toggleCompact:
        return "toggleCompact";
    case MenuAction::toggleStartAtLogin:
        return "toggleStartAtLogin";
    case MenuAction::toggleNotify:
        return "toggleNotify";
    case MenuAction::focusSession:
        return "focusSession";
    case MenuAction::openHandoff:
        return "openHandoff";
    case MenuAction::startDaemon:
        return "startDaemon";
    case MenuAction::restartDaemon:
        return "restartDaemon";
    case MenuAction::stopDaemon:
        return "stopDaemon";
    case MenuAction::openLogs:
        return "openLogs";
    case MenuAction::openStatusFile:
        return "openStatusFile";
    case MenuAction::openMachines:
        return "openMachines";
    case MenuAction::openMachineTerminal:
        return "openMachineTerminal";
    case MenuAction::quit:
        return "quit";
    }
    return "";
}

std::string_view stateName(DaemonState::Kind kind) {
    switch (kind) {
    case DaemonState::Kind::running:
        return "running";
    case DaemonState::Kind::stale:
        return "stale";
    case DaemonState::Kind::stopped:
        return "stopped";
    case DaemonState::Kind::unreadable:
        return "unreadable";
    case DaemonState::Kind::missing:
        return "missing";
    }
    return "missing";
}

// What focusing a session runs, as the app runs it: the workspace, then its panel.
std::vector<std::vector<std::string>> focusCommands(const SessionStatus& session,
                                                    const std::string& cmux) {
    std::vector<std::vector<std::string>> commands;
    if (!session.workspaceId || session.workspaceId->empty())
        return commands;
    commands.push_back({cmux, "select-workspace", "--workspace", *session.workspaceId});
    if (session.surfaceId && !session.surfaceId->empty())
        commands.push_back({cmux, "focus-panel", "--panel", *session.surfaceId, "--workspace",
                            *session.workspaceId});
    return commands;
}

const SessionStatus* sessionOf(const StatusView& view, const MenuEntry& entry) {
    const auto found = view.menu.sessionsByTag.find(entry.tag);
    return entry.tag > 0 && found != view.menu.sessionsByTag.end() ? &found->second : nullptr;
}

// The bar's text: the title, or the symbol's sign when the icon-only look leaves
// the title empty.
std::string barText(const StatusView& view) {
    return view.presentation.title.empty() ? std::string(glyph(view.presentation.symbolName))
                                           : oneLine(view.presentation.title);
}

std::string fullText(const StatusView& view) {
    const std::string sign(glyph(view.presentation.symbolName));
    return view.presentation.title.empty() ? sign : sign + " " + oneLine(view.presentation.title);
}

std::string_view ansi(Tone tone) {
    switch (tone) {
    case Tone::ok:
        return "\033[32m";
    case Tone::warn:
        return "\033[33m";
    case Tone::critical:
        return "\033[31m";
    case Tone::muted:
        return "\033[2m";
    }
    return "";
}

std::string_view ansi(SessionLevel level) {
    switch (level) {
    case SessionLevel::warn:
        return ansi(Tone::warn);
    case SessionLevel::critical:
        return ansi(Tone::critical);
    case SessionLevel::ok:
    case SessionLevel::unknown:
        return "";
    }
    return "";
}

std::vector<std::string> printLines(const StatusView& view, bool colour) {
    std::vector<std::string> lines;
    for (const MenuEntry* entry : kept(view.menu, tellsStatus)) {
        if (entry->isSeparator) {
            lines.emplace_back();
            continue;
        }
        std::string line = indented(*entry);
        std::string_view tint;
        if (colour && entry->title == view.stateTitle)
            tint = ansi(view.presentation.tone);
        else if (const SessionStatus* session = colour ? sessionOf(view, *entry) : nullptr)
            tint = ansi(session->level);
        lines.push_back(tint.empty() ? line : std::string(tint) + line + "\033[0m");
    }
    return lines;
}

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string jsonFace(const StatusView& view, const FaceOptions& options) {
    const StatusItemPresentation& presentation = view.presentation;
    Json menu = Json::array();
    for (const MenuEntry& entry : view.menu.entries) {
        if (entry.isSeparator) {
            menu.push_back({{"separator", true}});
            continue;
        }
        Json item{{"title", entry.title}, {"enabled", entry.enabled}};
        item["action"] =
            entry.action == MenuAction::none ? Json(nullptr) : Json(actionName(entry.action));
        if (entry.tooltip)
            item["tooltip"] = *entry.tooltip;
        if (entry.indentation > 0)
            item["indentation"] = entry.indentation;
        if (entry.checked || entry.action == MenuAction::toggleCompact)
            item["checked"] = entry.checked;
        if (entry.path)
            item["path"] = *entry.path;
        if (entry.action == MenuAction::focusSession)
            if (const SessionStatus* session = sessionOf(view, entry))
                item["commands"] = focusCommands(*session, options.cmux);
        menu.push_back(std::move(item));
    }
    Json json;
    json["state"] = stateName(view.state.kind());
    json["presentation"] = Json{
        {"symbol", presentation.symbolName},
        {"title", presentation.title},
        {"tone", toneName(presentation.tone)},
        {"tooltip", presentation.tooltip},
        {"worstPercent", view.worstPercent ? Json(*view.worstPercent) : Json(nullptr)},
    };
    json["menu"] = std::move(menu);
    if (!options.machines.empty()) {
        Json machines = Json::array();
        for (const MachineView& machine : options.machines) {
            Json item{{"name", machine.machine.displayName()},
                      {"destination", machine.machine.destination},
                      {"reached", machine.link.answered()},
                      {"state", machine.link.answered() ? Json(stateName(machine.state.kind()))
                                                        : Json(nullptr)},
                      {"stateLine", machine.stateLine}};
            if (machine.stateTooltip)
                item["sshSaid"] = *machine.stateTooltip;
            machines.push_back(std::move(item));
        }
        json["machines"] = std::move(machines);
    }
    return dumped(json);
}

std::string waybarFace(const StatusView& view) {
    std::string tooltip;
    for (const std::string& line : printLines(view, false))
        tooltip += (tooltip.empty() ? "" : "\n") + line;
    Json json{
        {"text", NotificationText::escapeMarkup(barText(view))},
        {"alt", view.presentation.symbolName},
        {"tooltip", NotificationText::escapeMarkup(tooltip)},
        {"class", toneName(view.presentation.tone)},
    };
    if (view.worstPercent)
        json["percentage"] = std::clamp(std::lround(*view.worstPercent), 0L, 100L);
    return dumped(json);
}

// Black or white, whichever reads better on `background` ("#rrggbb").
std::string_view inkOn(std::string_view background) {
    const auto channel = [&](std::size_t at) {
        return std::stoi(std::string(background.substr(at, 2)), nullptr, 16) / 255.0;
    };
    const Legibility::Colour fill{channel(1), channel(3), channel(5)};
    return Legibility::contrast(fill, {0, 0, 0}) >= Legibility::contrast(fill, {1, 1, 1})
               ? "#000000"
               : "#ffffff";
}

// The bar's sign and text, with the state in words where the title has no
// number to show, so a stopped daemon and a missing status file read apart.
std::string tmuxText(const StatusView& view) {
    if (view.presentation.title != "--")
        return fullText(view);
    std::string_view word;
    switch (view.state.kind()) {
    case DaemonState::Kind::running:
    case DaemonState::Kind::stale:
        return fullText(view);
    case DaemonState::Kind::stopped:
        word = "stopped";
        break;
    case DaemonState::Kind::unreadable:
        word = "unreadable";
        break;
    case DaemonState::Kind::missing:
        word = "no status file";
        break;
    }
    return std::string(glyph(view.presentation.symbolName)) + " " + std::string(word);
}

// tmux's bar is green unless the user recoloured it, so a tone as foreground
// alone could vanish into it (orange on the default green is under 2:1): the
// tone fills the item instead, under black or white text.
std::string tmuxFace(const StatusView& view) {
    std::string text;
    for (char c : tmuxText(view))
        text += c == '#' ? std::string("##") : std::string(1, c);
    const std::string tone = TonePalette::hex(view.presentation.tone);
    return "#[fg=" + std::string(inkOn(tone)) + ",bg=" + tone + "] " + text + " #[default]\n";
}

// A parameter value of the plugin format: quoted when it holds a blank.
std::string pluginValue(const std::string& value) {
    return value.find(' ') == std::string::npos ? value : "\"" + value + "\"";
}

std::string fileUrl(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

// "|" starts the plugin format's parameters; a title keeps a look-alike instead.
std::string pluginText(std::string_view text) {
    std::string escaped;
    for (char c : oneLine(text))
        escaped += c == '|' ? std::string("\u00a6") : std::string(1, c);
    return escaped;
}

std::string swiftbarFace(const StatusView& view, const FaceOptions& options) {
    std::string text = pluginText(barText(view)) +
                       " | color=" + TonePalette::hex(view.presentation.tone) +
                       " sfimage=" + view.presentation.symbolName + "\n---\n";
    for (const MenuEntry* entry : kept(view.menu, pluginCanDo)) {
        if (entry->isSeparator) {
            text += "---\n";
            continue;
        }
        std::vector<std::string> parameters;
        switch (entry->action) {
        case MenuAction::focusSession:
            // The plugin runs one command per item: the workspace is the focus.
            if (const SessionStatus* session = sessionOf(view, *entry)) {
                const auto commands = focusCommands(*session, options.cmux);
                if (!commands.empty()) {
                    const auto& command = commands.front();
                    parameters.push_back("bash=" + pluginValue(command[0]));
                    for (std::size_t i = 1; i < command.size(); ++i)
                        parameters.push_back("param" + std::to_string(i) + "=" +
                                             pluginValue(command[i]));
                    parameters.emplace_back("terminal=false");
                }
            }
            break;
        case MenuAction::openHandoff:
            parameters.push_back("href=" + fileUrl(entry->path.value_or("")));
            break;
        case MenuAction::openLogs:
            parameters.push_back("href=" + fileUrl(options.logsDirectory));
            break;
        case MenuAction::openStatusFile:
            parameters.push_back("href=" + fileUrl(options.statusPath));
            break;
        case MenuAction::refresh:
            parameters.emplace_back("refresh=true");
            break;
        case MenuAction::none:
        case MenuAction::openSettings:
        case MenuAction::toggleCompact:
        case MenuAction::toggleStartAtLogin:
        case MenuAction::toggleNotify:
        case MenuAction::startDaemon:
        case MenuAction::restartDaemon:
        case MenuAction::stopDaemon:
        case MenuAction::quit:
        case MenuAction::openMachines:
        case MenuAction::openMachineTerminal:
            break;
        }
        if (!entry->enabled)
            parameters = {"disabled=true"};
        std::string line = std::string(static_cast<std::size_t>(entry->indentation) * 4, ' ') +
                           pluginText(entry->title);
        for (std::size_t i = 0; i < parameters.size(); ++i)
            line += (i == 0 ? " | " : " ") + parameters[i];
        text += line + "\n";
    }
    return text;
}

} // namespace

std::string_view glyph(std::string_view symbolName) {
    if (symbolName == StatusItemPresentation::watching)
        return "\u25c9"; // ◉
    if (symbolName == StatusItemPresentation::warning)
        return "\u25b2"; // ▲
    return "\u25cb";     // ○
}

std::string_view toneName(Tone tone) {
    switch (tone) {
    case Tone::ok:
        return "ok";
    case Tone::warn:
        return "warn";
    case Tone::critical:
        return "critical";
    case Tone::muted:
        return "muted";
    }
    return "muted";
}

int exitStatus(const DaemonState& state) {
    switch (state.kind()) {
    case DaemonState::Kind::running:
        return 0;
    case DaemonState::Kind::stale:
    case DaemonState::Kind::stopped:
        return 1;
    case DaemonState::Kind::unreadable:
    case DaemonState::Kind::missing:
        return 2;
    }
    return 2;
}

std::string render(Face face, const StatusView& view, const FaceOptions& options) {
    switch (face) {
    case Face::print:
        return Formatting::join(printLines(view, options.colour), "\n") + "\n";
    case Face::json:
        return jsonFace(view, options);
    case Face::waybar:
        return waybarFace(view);
    case Face::i3blocks:
        return fullText(view) + "\n" + barText(view) + "\n" +
               TonePalette::hex(view.presentation.tone) + "\n";
    case Face::tmux:
        return tmuxFace(view);
    case Face::swiftbar:
        return swiftbarFace(view, options);
    }
    return {};
}

} // namespace menubar::bar
