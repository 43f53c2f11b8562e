#pragma once

// What the menu-bar item shows after a poll: symbol, short title, colour class
// and tooltip, as a pure function of the daemon state and the sessions.

#include <string>
#include <string_view>
#include <vector>

#include "DaemonState.hpp"
#include "Models.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

struct StatusItemPresentation {
    enum class Tone { ok, warn, critical, muted };

    // Symbol names (the app keeps a drawing for each).
    static constexpr std::string_view watching = "eye";
    static constexpr std::string_view warning = "eye.trianglebadge.exclamationmark";
    static constexpr std::string_view noLiveData = "eye.slash";

    std::string symbolName;
    std::string title; // may be empty: the item then shows its symbol only
    Tone tone = Tone::muted;
    std::string tooltip;

    // `sessions` are the loaded file's sessions (empty when nothing is loaded);
    // `compact` moves the percentage from the title into the tooltip.
    static StatusItemPresentation make(const DaemonState& state,
                                       const std::vector<SessionStatus>& sessions, bool compact,
                                       const TimeZone& timeZone);

    bool operator==(const StatusItemPresentation&) const = default;
};

using Tone = StatusItemPresentation::Tone;

} // namespace menubar
