#include "AllMachines.hpp"

#include <algorithm>

#include "status/Formatting.hpp"
#include "status/Selection.hpp"

namespace menubar {

namespace {

template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
template <class... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

MenuEntry info(std::string title, std::optional<std::string> tooltip = std::nullopt) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.tooltip = std::move(tooltip);
    return entry;
}

int toneRank(Tone tone) {
    switch (tone) {
    case Tone::critical:
        return 3;
    case Tone::warn:
        return 2;
    case Tone::ok:
        return 1;
    case Tone::muted:
        return 0;
    }
    return 0;
}

struct Candidate {
    StatusItemPresentation look; // never compact
    std::optional<double> percent;
};

Candidate candidate(const DaemonState& state, const std::vector<SessionStatus>& sessions,
                    const TimeZone& timeZone) {
    Candidate c{StatusItemPresentation::make(state, sessions, false, timeZone), std::nullopt};
    if (c.look.title != "--")
        c.percent = Selection::worst(sessions)->contextPct;
    return c;
}

// Ties go to the earlier machine, so this machine wins a draw.
bool worse(const Candidate& a, const Candidate& b) {
    if (toneRank(a.look.tone) != toneRank(b.look.tone))
        return toneRank(a.look.tone) > toneRank(b.look.tone);
    return a.percent.value_or(-1) > b.percent.value_or(-1);
}

} // namespace

MachineView MachineView::of(const Machine& machine, const MachineLink& link, Instant localNow,
                            const TimeZone& timeZone) {
    MachineView view{machine, link, std::nullopt, {}, {}, {}, std::nullopt};
    std::visit(Overloaded{
                   [&](const MachineLink::Connecting&) {
                       view.stateLine = std::string(AllMachines::connecting);
                   },
                   [&](const MachineLink::Unreachable& unreachable) {
                       view.stateLine = "Unreachable: " + unreachable.reason;
                       if (!unreachable.lastLine.empty())
                           view.stateTooltip = unreachable.lastLine;
                   },
                   [&](const MachineLink::Answered& answered) {
                       // The machine's clock as it read the file, moved on by the time since.
                       view.now = answered.reading.clock + (localNow - answered.receivedAt);
                       view.snapshot = answered.reading.snapshot;
                       view.state = DaemonState::from(view.snapshot, *view.now);
                       view.stateLine = view.state.title(timeZone);
                   },
               },
               link.value);
    return view;
}

const std::vector<SessionStatus>& MachineView::sessions() const {
    static const std::vector<SessionStatus> none;
    const StatusFile* file = snapshot.file();
    return file && link.answered() ? file->sessions : none;
}

StatusItemPresentation AllMachines::presentation(const StatusItemPresentation& local,
                                                 const DaemonState& localState,
                                                 const std::vector<SessionStatus>& localSessions,
                                                 const std::vector<MachineView>& others,
                                                 bool compact, const TimeZone& timeZone) {
    if (others.empty())
        return local;
    Candidate worst = candidate(localState, localSessions, timeZone);
    for (const MachineView& other : others) {
        Candidate next = candidate(other.state, other.sessions(), timeZone);
        if (other.link.answered() && worse(next, worst))
            worst = std::move(next);
    }
    std::string tooltip;
    for (const std::string& line : stateLines(localState.title(timeZone), others))
        tooltip += (tooltip.empty() ? "" : "\n") + line;
    StatusItemPresentation result = worst.look;
    if (compact) {
        result.tooltip = Formatting::compactTooltip(tooltip, result.title);
        result.title.clear();
    } else {
        result.tooltip = tooltip;
    }
    return result;
}

std::vector<std::string> AllMachines::stateLines(const std::string& localStateTitle,
                                                 const std::vector<MachineView>& others) {
    std::vector<std::string> lines{std::string(thisMachine) + ": " + localStateTitle};
    for (const MachineView& other : others)
        lines.push_back(other.machine.displayName() + ": " + other.stateLine);
    return lines;
}

StatusMenu AllMachines::menu(StatusMenu local, const std::vector<MachineView>& others,
                             const std::vector<RefusedMachineLine>& refused, bool terminal,
                             bool machinesItem, const CompactSetting& compact,
                             const TimeZone& timeZone) {
    auto& entries = local.entries;
    if (machinesItem) {
        const auto settings =
            std::find_if(entries.begin(), entries.end(),
                         [](const MenuEntry& e) { return e.action == MenuAction::openSettings; });
        MenuEntry item = info(std::string(machinesItemTitle));
        item.action = MenuAction::openMachines;
        item.enabled = true;
        entries.insert(settings == entries.end() ? settings : settings + 1, std::move(item));
    }
    if (others.empty() && refused.empty())
        return local;
    const auto isActions = [](const MenuEntry& e) { return e.action == MenuAction::refresh; };
    // Everything before the actions (and the separator that precedes them) is this machine's.
    auto actions = std::find_if(entries.begin(), entries.end(), isActions);
    std::vector<MenuEntry> added;
    for (const MachineView& other : others) {
        added.push_back(info(other.machine.displayName(), other.machine.destination));
        added.push_back(info(other.stateLine, other.stateTooltip));
        if (other.link.answered()) {
            // Handoff files live over there: the menu lists them, present or not.
            MenuFacts facts;
            facts.handoffExists = [](const std::string&) { return true; };
            const StatusMenu theirs = StatusMenu::build(other.snapshot, other.state, compact,
                                                        std::nullopt, *other.now, timeZone, facts);
            const auto& built = theirs.entries;
            const auto firstSeparator = std::find_if(built.begin(), built.end(),
                                                     [](const auto& e) { return e.isSeparator; });
            const auto theirActions = std::find_if(built.begin(), built.end(), isActions);
            added.push_back(*(firstSeparator - 1)); // the detail line under the state line
            for (auto it = firstSeparator; it != theirActions; ++it) {
                MenuEntry entry = *it;
                if (entry.action == MenuAction::focusSession)
                    entry.tooltip = entry.tooltip.value_or("") + "\n" + std::string(noFocusReason);
                if (entry.action == MenuAction::openHandoff)
                    entry.tooltip = std::string(noHandoffReason);
                if (entry.action == MenuAction::focusSession ||
                    entry.action == MenuAction::openHandoff) {
                    entry.action = MenuAction::none;
                    entry.enabled = false;
                }
                entry.tag = 0;
                entry.path.reset();
                added.push_back(std::move(entry));
            }
            added.pop_back(); // their separator before the actions; ours follows
        }
        if (terminal) {
            MenuEntry open = info("Open in terminal", "ssh " + other.machine.destination);
            open.action = MenuAction::openMachineTerminal;
            open.enabled = true;
            open.path = other.machine.destination;
            added.push_back(std::move(open));
        }
        added.push_back(MenuEntry::separator());
    }
    for (const RefusedMachineLine& line : refused)
        added.push_back(info("Machines file, line " + std::to_string(line.lineNumber) +
                                 " ignored: " + line.reason,
                             line.text));
    if (!refused.empty())
        added.push_back(MenuEntry::separator());
    actions = entries.insert(actions, added.begin(), added.end());
    if (!others.empty())
        entries.insert(entries.begin(), info(std::string(thisMachine)));
    return local;
}

} // namespace menubar
