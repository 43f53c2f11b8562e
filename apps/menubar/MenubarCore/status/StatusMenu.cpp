#include "StatusMenu.hpp"

#include <algorithm>

#include "ConfigNotices.hpp"
#include "Formatting.hpp"
#include "Selection.hpp"

namespace menubar {

namespace {

// Informational lines: disabled, no action.
MenuEntry info(std::string title, std::optional<std::string> tooltip = std::nullopt) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.tooltip = std::move(tooltip);
    return entry;
}

MenuEntry command(std::string title, MenuAction action, bool enabled = true) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.action = action;
    entry.enabled = enabled;
    return entry;
}

class Builder {
public:
    Builder(const DaemonState& state, Instant now, const TimeZone& timeZone)
        : state_(state), now_(now), timeZone_(timeZone) {}

    void addSessions(const std::vector<SessionStatus>& sessions) {
        const auto sorted = Selection::sorted(sessions);
        if (sorted.empty()) {
            add(info(state_.isRunning() ? "No sessions" : "No session data"));
            return;
        }
        // Without a live daemon these are a picture of the past, not the present.
        if (!state_.isRunning())
            add(info("Sessions from the last poll"));
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            const SessionStatus& session = sorted[i];
            MenuEntry entry = info(Formatting::sessionLine(session, now_),
                                   Formatting::sessionDetail(session, now_));
            entry.tag = static_cast<int>(i) + 1;
            if (session.workspaceId && !session.workspaceId->empty()) {
                entry.action = MenuAction::focusSession;
                entry.enabled = true;
            }
            menu_.sessionsByTag.emplace(entry.tag, session);
            add(std::move(entry));
        }
    }

    void addHandoffs(const std::vector<SessionStatus>& sessions,
                     const std::function<bool(const std::string&)>& exists) {
        add(info("Handoffs"));
        const auto items = Selection::handoffItems(
            sessions, now_, exists ? exists : [](const std::string&) { return false; });
        if (items.empty()) {
            add(info("No handoffs"));
            return;
        }
        for (const auto& item : items) {
            MenuEntry entry = info(item.title, item.path);
            entry.path = item.path;
            if (item.isEnabled) {
                entry.action = MenuAction::openHandoff;
                entry.enabled = true;
            }
            add(std::move(entry));
        }
    }

    void addEvents(const std::vector<TessalyEvent>& events) {
        add(info("Recent events"));
        const auto recent = Selection::recentEvents(events, StatusMenu::recentEventLimit);
        if (recent.empty()) {
            add(info("No events yet"));
            return;
        }
        for (const auto& event : recent) {
            MenuEntry entry = info(Formatting::eventLine(event, timeZone_), event.text);
            entry.indentation = 1;
            add(std::move(entry));
        }
    }

    void addActions(const StatusFile* file, const CompactSetting& compact, const MenuFacts& facts) {
        add(command("Refresh", MenuAction::refresh));
        add(command("Settings...", MenuAction::openSettings));

        MenuEntry iconOnly =
            command(compact.isLockedByEnvironment()
                        ? "Icon only (set by " + std::string(CompactSetting::environmentKey) + ")"
                        : "Icon only",
                    MenuAction::toggleCompact, !compact.isLockedByEnvironment());
        iconOnly.checked = compact.compact;
        add(std::move(iconOnly));

        if (facts.startsAtLogin) {
            MenuEntry startAtLogin = command("Start at login", MenuAction::toggleStartAtLogin);
            startAtLogin.checked = *facts.startsAtLogin;
            add(std::move(startAtLogin));
        }

        if (facts.service.installed) {
            const MenuAction restart =
                facts.service.startRestarts() ? MenuAction::startDaemon : MenuAction::restartDaemon;
            switch (state_.kind()) {
            case DaemonState::Kind::stopped:
            case DaemonState::Kind::unreadable:
            case DaemonState::Kind::missing:
                add(command("Start daemon", MenuAction::startDaemon));
                break;
            case DaemonState::Kind::stale:
                add(command("Restart daemon", restart));
                break;
            case DaemonState::Kind::running:
                if (ConfigNotices::restartNeeded(file, state_))
                    add(command(std::string(ConfigNotices::restartNeededLine), restart));
                add(command("Stop daemon", MenuAction::stopDaemon));
                break;
            }
        } else {
            add(info("Daemon not installed (run: tessaly install)"));
        }

        add(command("Open logs", MenuAction::openLogs, facts.logsDirectoryExists));
        add(command("Open status file", MenuAction::openStatusFile, facts.statusFileExists));
        add(MenuEntry::separator());
        MenuEntry quit = command("Quit", MenuAction::quit);
        quit.keyEquivalent = "q";
        add(std::move(quit));
    }

    void add(MenuEntry entry) { menu_.entries.push_back(std::move(entry)); }
    StatusMenu take() { return std::move(menu_); }

private:
    const DaemonState& state_;
    Instant now_;
    const TimeZone& timeZone_;
    StatusMenu menu_;
};

} // namespace

StatusMenu StatusMenu::build(const StatusSnapshot& snapshot, const DaemonState& state,
                             const CompactSetting& compact, std::optional<Instant> hiddenSince,
                             Instant now, const TimeZone& timeZone, const MenuFacts& facts) {
    const StatusFile* file = snapshot.file();
    static const std::vector<SessionStatus> noSessions;
    static const std::vector<TessalyEvent> noEvents;
    const auto& sessions = file ? file->sessions : noSessions;

    Builder builder(state, now, timeZone);
    for (const auto& notice : ConfigNotices::notices(file, state))
        builder.add(info(notice.menuLine(), notice.tooltip()));
    if (hiddenSince)
        builder.add(info(HiddenItemCopy::menuLine(*hiddenSince, timeZone)));
    builder.add(info(state.title(timeZone)));
    builder.add(info(state.detail(file ? file->config : std::nullopt)));
    builder.add(MenuEntry::separator());
    builder.addSessions(sessions);
    builder.add(MenuEntry::separator());
    builder.addHandoffs(sessions, facts.handoffExists);
    builder.add(MenuEntry::separator());
    builder.addEvents(file ? file->events : noEvents);
    builder.add(MenuEntry::separator());
    builder.addActions(file, compact, facts);
    return builder.take();
}

bool StatusMenu::sameItems(const std::vector<MenuEntry>& shown,
                           const std::vector<MenuEntry>& next) {
    return std::equal(shown.begin(), shown.end(), next.begin(), next.end(),
                      [](const MenuEntry& a, const MenuEntry& b) {
                          return a.isSeparator == b.isSeparator && a.action == b.action &&
                                 a.tag == b.tag && a.path == b.path &&
                                 a.keyEquivalent == b.keyEquivalent;
                      });
}

} // namespace menubar
