#pragma once

// The pure half of noticing that the menu bar had no room for the status item:
// turning a probe reading into a visibility, remembering since when the item is
// hidden (one notification per hidden episode), the texts that tell the user,
// and the icon-only setting that makes the item narrower.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "Models.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

// What the app's probe saw of the status item's window; every field may be unknown.
struct VisibilityReading {
    std::optional<bool> occlusionVisible;
    std::optional<bool> onscreen;
    std::optional<double> x;
    std::optional<double> width;

    bool operator==(const VisibilityReading&) const = default;
};

// For the log: "window x=12 width=94 onscreen=yes occlusion=visible", "?" for unknowns.
std::string describe(const VisibilityReading& reading);

enum class ItemVisibility { visible, hidden, unknown };

// Unknown unless both fields are known and the width is positive; occlusion and
// position are only logged, never decided on.
ItemVisibility itemVisibilityFrom(std::optional<bool> onscreen, std::optional<double> width);

struct HiddenItemTracker {
    enum class Transition { becameHidden, becameVisible, unchanged };

    std::optional<Instant> hiddenSince; // start of the current hidden episode

    bool isHidden() const { return hiddenSince.has_value(); }
    // An unknown visibility neither starts nor ends an episode.
    Transition observe(ItemVisibility visibility, Instant now);

    bool operator==(const HiddenItemTracker&) const = default;
};

namespace HiddenItemCopy {

inline constexpr std::string_view reason = "menu bar full or behind the notch";
inline constexpr std::string_view notificationTitle = "tessaly menu bar icon is hidden";
inline constexpr std::string_view notificationBody =
    "The status item does not fit in the menu bar (items can only be reordered, not dragged "
    "off). Quit another menu bar app, use a menu bar manager, or switch to the narrower "
    "icon-only item: defaults write tessaly-menubar compact -bool true (or "
    "TESSALY_MENUBAR_COMPACT=1).";

// The log line for a newly hidden item, with advice that depends on the look.
std::string logLine(bool compact);
// "Icon hidden since HH:MM (menu bar full or behind the notch)".
std::string menuLine(Instant since, const TimeZone& timeZone);

} // namespace HiddenItemCopy

// Whether the icon-only look is on, and where that came from. A recognised
// environment value wins over the stored user default, which wins over off.
struct CompactSetting {
    enum class Source { environment, defaults, builtIn };

    static constexpr std::string_view environmentKey = "TESSALY_MENUBAR_COMPACT";
    static constexpr std::string_view defaultsKey = "compact";

    bool compact = false;
    Source source = Source::builtIn;

    // The menu item cannot change a value the environment sets.
    bool isLockedByEnvironment() const { return source == Source::environment; }

    // An unrecognised environment value is ignored silently.
    static CompactSetting resolve(const std::map<std::string, std::string>& environment,
                                  std::optional<bool> stored);
    // Trimmed, case-insensitive 1/true/yes/on and 0/false/no/off; absent otherwise.
    static std::optional<bool> parse(std::string_view text);

    bool operator==(const CompactSetting&) const = default;
};

} // namespace menubar
