#pragma once

// When to tell the user that a session waits for them, as a rule over
// consecutive polls. A session that enters "needs input" gets one notice; one
// that leaves it (or vanishes) has its notice withdrawn. Sessions already
// waiting at the first current poll of a machine get one summary notice instead
// of one each. A session re-entering within `flapSeconds` of its last notice
// gets none; at most `noticesPerMinute` session notices go out in any minute,
// the rest folded into one "more" notice that replaces the previous one. A
// daemon that is not running says nothing current: its sessions are neither
// entered, left nor forgotten until it runs again.
//
// Sessions are keyed by machine (empty for this one) and sessionId, else
// shortId; a session with neither cannot be told apart across polls and is
// never announced.

#include <compare>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Models.hpp"
#include "Visibility.hpp"
#include "system/Instant.hpp"

namespace menubar {

struct AttentionKey {
    enum class Kind { session, summary, more };

    Kind kind = Kind::session;
    std::string machine; // empty: this machine
    std::string session; // sessionId, else shortId

    auto operator<=>(const AttentionKey&) const = default;
    bool operator==(const AttentionKey&) const = default;
};

struct AttentionNotice {
    AttentionKey key;
    std::string title;
    std::string body;
    // Where the notice's default action goes; absent for summaries.
    std::optional<std::string> workspaceId;
    std::optional<std::string> surfaceId;

    bool operator==(const AttentionNotice&) const = default;
};

// One machine's poll.
struct AttentionPoll {
    std::string machine;  // empty: this machine
    bool current = false; // its daemon is running, so the sessions' states are live
    std::vector<SessionStatus> sessions;
};

struct AttentionStep {
    std::vector<AttentionNotice> notices;
    std::vector<AttentionKey> withdrawn;

    bool operator==(const AttentionStep&) const = default;
};

class Attention {
public:
    static constexpr double flapSeconds = 30;
    static constexpr std::size_t noticesPerMinute = 5;

    // `muted`: the menu is open (the user sees every session) or notices are
    // off; sessions entering now count as told. Machines missing from `polls`
    // are forgotten.
    AttentionStep observe(const std::vector<AttentionPoll>& polls, bool muted, Instant now);

    // "<display name> needs input"; the body is the menu line's facts after the
    // name, with the time since the last activity: "sonnet-4 · 81% · needs input · 2m ago".
    static AttentionNotice notice(const std::string& machine, const SessionStatus& session,
                                  Instant now);

private:
    struct Tracked {
        bool waiting = false;
        bool shown = false; // a session notice of this episode is on screen
        std::optional<Instant> noticedAt;
    };

    std::map<AttentionKey, Tracked> sessions_;
    std::set<std::string> baselined_; // machines seen current at least once
    std::deque<Instant> sent_;        // session notices of the last minute
    // The summary and "more" notices on screen, with the waiting sessions they name.
    std::map<AttentionKey, std::map<AttentionKey, std::string>> groups_;
};

// Whether notices are on, and where that came from; the environment wins over
// the stored setting, which wins over on.
struct NotifySetting {
    static constexpr std::string_view environmentKey = "TESSALY_MENUBAR_NOTIFY";
    static constexpr std::string_view defaultsKey = "notify";

    bool enabled = true;
    CompactSetting::Source source = CompactSetting::Source::builtIn;

    bool isLockedByEnvironment() const { return source == CompactSetting::Source::environment; }

    static NotifySetting resolve(const std::map<std::string, std::string>& environment,
                                 std::optional<bool> stored);

    bool operator==(const NotifySetting&) const = default;
};

} // namespace menubar
