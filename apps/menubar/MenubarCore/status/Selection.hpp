#pragma once

// Which sessions, handoffs and events the status item and its menu show, and in
// which order. Every ordering is stable. Names compare by Unicode scalar values
// of their NFC form: case-sensitive and independent of the locale.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Models.hpp"

namespace menubar {

// One ready-to-show handoff menu item. `isEnabled` records whether the file
// existed when the item was made; only then does the menu act on it.
struct HandoffItem {
    std::string path;
    std::string title;
    bool isEnabled = false;

    bool operator==(const HandoffItem&) const = default;
};

namespace Selection {

// Most urgent first: higher contextPct (absent counts as −1), then higher level
// rank, then the smaller display name.
std::vector<SessionStatus> sorted(std::vector<SessionStatus> sessions);
// The first of `sorted`; absent for no sessions.
std::optional<SessionStatus> worst(const std::vector<SessionStatus>& sessions);
// One item per session with a handoff, newest writtenAt first (undated last,
// ties by display name). `exists` is asked exactly once per item.
std::vector<HandoffItem> handoffItems(const std::vector<SessionStatus>& sessions, Instant now,
                                      const std::function<bool(const std::string&)>& exists);
// At most `limit` events, newest `at` first (undated last).
std::vector<TessalyEvent> recentEvents(const std::vector<TessalyEvent>& events, std::size_t limit);

} // namespace Selection

} // namespace menubar
