#include "Attention.hpp"

#include <algorithm>

#include "Formatting.hpp"

namespace menubar {

namespace {

std::optional<std::string> sessionKey(const SessionStatus& session) {
    if (session.sessionId && !session.sessionId->empty())
        return session.sessionId;
    if (session.shortId && !session.shortId->empty())
        return session.shortId;
    return std::nullopt;
}

std::string nameOn(const std::string& machine, const SessionStatus& session) {
    return machine.empty() ? session.displayName() : session.displayName() + " (" + machine + ")";
}

// "2 sessions need input", "and 1 more session needs input".
std::string countLine(AttentionKey::Kind kind, std::size_t count) {
    const bool more = kind == AttentionKey::Kind::more;
    return (more ? "and " : "") + std::to_string(count) + (more ? " more" : "") +
           (count == 1 ? " session needs input" : " sessions need input");
}

struct Waiting {
    AttentionKey key;
    std::string name;
    AttentionNotice notice;
};

} // namespace

AttentionNotice Attention::notice(const std::string& machine, const SessionStatus& session,
                                  Instant now) {
    std::vector<std::string> parts;
    if (!machine.empty())
        parts.push_back(machine);
    parts.push_back(Formatting::modelShort(session.model));
    parts.push_back(Formatting::percent(session.contextPct));
    parts.emplace_back(label(session.lifecycle));
    if (session.lastActivityAt)
        parts.push_back(Formatting::ago(*session.lastActivityAt, now));
    return {.key = {AttentionKey::Kind::session, machine, sessionKey(session).value_or("")},
            .title = session.displayName() + " needs input",
            .body = Formatting::join(parts, Formatting::separator),
            .workspaceId = session.workspaceId,
            .surfaceId = session.surfaceId};
}

AttentionStep Attention::observe(const std::vector<AttentionPoll>& polls, bool muted, Instant now) {
    AttentionStep step;
    std::vector<Waiting> entered;
    std::vector<Waiting> atStart;
    std::set<std::string> polled;
    const auto forget = [&](auto it) {
        if (it->second.shown)
            step.withdrawn.push_back(it->first);
        return sessions_.erase(it);
    };

    for (const AttentionPoll& poll : polls) {
        polled.insert(poll.machine);
        if (!poll.current)
            continue;
        const bool first = baselined_.insert(poll.machine).second;
        std::set<AttentionKey> present;
        for (const SessionStatus& session : poll.sessions) {
            const auto id = sessionKey(session);
            if (!id)
                continue;
            const AttentionKey key{AttentionKey::Kind::session, poll.machine, *id};
            present.insert(key);
            Tracked& tracked = sessions_[key];
            const bool waiting = session.lifecycle == SessionLifecycle::needsInput;
            if (waiting && !tracked.waiting) {
                Waiting found{key, nameOn(poll.machine, session),
                              notice(poll.machine, session, now)};
                const bool flapped =
                    tracked.noticedAt &&
                    now - *tracked.noticedAt < std::chrono::duration<double>(flapSeconds);
                if (first)
                    atStart.push_back(std::move(found));
                else if (!muted && !flapped)
                    entered.push_back(std::move(found));
            } else if (!waiting && tracked.waiting && tracked.shown) {
                step.withdrawn.push_back(key);
                tracked.shown = false;
            }
            tracked.waiting = waiting;
        }
        for (auto it = sessions_.begin(); it != sessions_.end();)
            it = it->first.machine == poll.machine && !present.contains(it->first) ? forget(it)
                                                                                   : std::next(it);
    }
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = polled.contains(it->first.machine) ? std::next(it) : forget(it);
    std::erase_if(baselined_,
                  [&](const std::string& machine) { return !polled.contains(machine); });

    // A group notice stays while any session it names still waits.
    for (auto it = groups_.begin(); it != groups_.end();) {
        std::erase_if(it->second, [&](const auto& member) {
            const auto found = sessions_.find(member.first);
            return found == sessions_.end() || !found->second.waiting;
        });
        if (!it->second.empty()) {
            ++it;
        } else {
            step.withdrawn.push_back(it->first);
            it = groups_.erase(it);
        }
    }

    while (!sent_.empty() && now - sent_.front() >= std::chrono::minutes(1))
        sent_.pop_front();
    // A later summary or fold replaces the one on screen and names all it covers.
    const auto group = [&](AttentionKey::Kind kind, const std::vector<Waiting>& members) {
        const AttentionKey key{kind, "", ""};
        auto& named = groups_[key];
        for (const Waiting& member : members)
            named[member.key] = member.name;
        std::vector<std::string> names;
        for (const auto& [member, name] : named)
            names.push_back(name);
        step.notices.push_back({.key = key,
                                .title = countLine(kind, named.size()),
                                .body = Formatting::join(names, ", ")});
        sent_.push_back(now);
    };
    for (const Waiting& told : atStart)
        sessions_[told.key].noticedAt = now;
    if (!atStart.empty() && !muted)
        group(AttentionKey::Kind::summary, atStart);

    std::vector<Waiting> folded;
    for (Waiting& next : entered) {
        Tracked& tracked = sessions_[next.key];
        tracked.noticedAt = now;
        if (sent_.size() < noticesPerMinute) {
            tracked.shown = true;
            step.notices.push_back(std::move(next.notice));
            sent_.push_back(now);
        } else {
            folded.push_back(std::move(next));
        }
    }
    if (!folded.empty())
        group(AttentionKey::Kind::more, folded);
    return step;
}

NotifySetting NotifySetting::resolve(const std::map<std::string, std::string>& environment,
                                     std::optional<bool> stored) {
    const auto variable = environment.find(std::string(environmentKey));
    if (variable != environment.end())
        if (const auto value = CompactSetting::parse(variable->second))
            return {*value, CompactSetting::Source::environment};
    if (stored)
        return {*stored, CompactSetting::Source::defaults};
    return {};
}

} // namespace menubar
