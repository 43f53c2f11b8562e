#include "StatusItemPresentation.hpp"

#include "Formatting.hpp"
#include "Selection.hpp"

namespace menubar {

StatusItemPresentation StatusItemPresentation::make(const DaemonState& state,
                                                    const std::vector<SessionStatus>& sessions,
                                                    bool compact, const TimeZone& timeZone) {
    const std::optional<SessionStatus> worst = Selection::worst(sessions);

    // A stale state still shows the last poll's figure; without a poll there is none.
    std::string percentText = "--";
    std::string symbol(noLiveData);
    Tone tone = Tone::muted;
    switch (state.kind()) {
    case DaemonState::Kind::running:
        symbol = watching;
        tone = Tone::ok;
        if (worst) {
            percentText = Formatting::percent(worst->contextPct);
            switch (worst->level) {
            case SessionLevel::warn:
                symbol = warning;
                tone = Tone::warn;
                break;
            case SessionLevel::critical:
                symbol = warning;
                tone = Tone::critical;
                break;
            case SessionLevel::ok:
            case SessionLevel::unknown:
                break;
            }
        }
        break;
    case DaemonState::Kind::stale:
        if (worst)
            percentText = Formatting::percent(worst->contextPct);
        break;
    case DaemonState::Kind::stopped:
    case DaemonState::Kind::unreadable:
    case DaemonState::Kind::missing:
        break;
    }

    const std::string stateTitle = state.title(timeZone);
    if (compact)
        return {symbol, "", tone, Formatting::compactTooltip(stateTitle, percentText)};
    return {symbol, percentText, tone, stateTitle};
}

} // namespace menubar
