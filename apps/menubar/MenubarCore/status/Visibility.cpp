#include "Visibility.hpp"

#include <cstdio>

#include <unicode/uchar.h>

#include "Formatting.hpp"
#include "system/UnicodeText.hpp"

namespace menubar {

namespace {

std::string number(const std::optional<double>& value) {
    if (!value)
        return "?";
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", *value);
    return text;
}

} // namespace

std::string describe(const VisibilityReading& reading) {
    const std::string onscreen = !reading.onscreen ? "?" : *reading.onscreen ? "yes" : "no";
    const std::string occlusion = !reading.occlusionVisible   ? "?"
                                  : *reading.occlusionVisible ? "visible"
                                                              : "occluded";
    return "window x=" + number(reading.x) + " width=" + number(reading.width) +
           " onscreen=" + onscreen + " occlusion=" + occlusion;
}

ItemVisibility itemVisibilityFrom(std::optional<bool> onscreen, std::optional<double> width) {
    // A zero-width window is what the system leaves when it did not lay the item out
    // at all; that says nothing about room in the menu bar.
    if (!onscreen || !width || !(*width > 0))
        return ItemVisibility::unknown;
    return *onscreen ? ItemVisibility::visible : ItemVisibility::hidden;
}

HiddenItemTracker::Transition HiddenItemTracker::observe(ItemVisibility visibility, Instant now) {
    switch (visibility) {
    case ItemVisibility::hidden:
        if (hiddenSince)
            return Transition::unchanged;
        hiddenSince = now;
        return Transition::becameHidden;
    case ItemVisibility::visible:
        if (!hiddenSince)
            return Transition::unchanged;
        hiddenSince.reset();
        return Transition::becameVisible;
    case ItemVisibility::unknown:
        return Transition::unchanged;
    }
    return Transition::unchanged;
}

namespace HiddenItemCopy {

std::string logLine(bool compact) {
    return "status item is hidden (" + std::string(reason) + "); " +
           (compact ? "already icon only, free a slot in the menu bar"
                    : "try icon-only mode (TESSALY_MENUBAR_COMPACT=1 or the Icon only menu item)");
}

std::string menuLine(Instant since, const TimeZone& timeZone) {
    return "Icon hidden since " + Formatting::clock(since, timeZone) + " (" + std::string(reason) +
           ")";
}

} // namespace HiddenItemCopy

CompactSetting CompactSetting::resolve(const std::map<std::string, std::string>& environment,
                                       std::optional<bool> stored) {
    const auto variable = environment.find(std::string(environmentKey));
    if (variable != environment.end())
        if (const auto value = parse(variable->second))
            return {*value, Source::environment};
    if (stored)
        return {*stored, Source::defaults};
    return {false, Source::builtIn};
}

std::optional<bool> CompactSetting::parse(std::string_view text) {
    std::string word(UnicodeText::trimmed(text, u_isUWhiteSpace));
    for (char& c : word)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (word == "1" || word == "true" || word == "yes" || word == "on")
        return true;
    if (word == "0" || word == "false" || word == "no" || word == "off")
        return false;
    return std::nullopt;
}

} // namespace menubar
