#include "Formatting.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "system/UnicodeText.hpp"

namespace menubar::Formatting {

namespace {

double secondsBetween(Instant later, Instant earlier) {
    return std::chrono::duration<double>(later - earlier).count();
}

// Rounded half away from zero, as whole-number text. Values beyond the 64-bit
// range keep their magnitude instead of wrapping.
std::string roundedPercent(double value) {
    const double rounded = std::round(value);
    if (std::fabs(rounded) < 9.0e18)
        return std::to_string(static_cast<long long>(rounded)) + "%";
    char text[400];
    std::snprintf(text, sizeof text, "%.0f%%", rounded);
    return text;
}

std::string replaceLineFeeds(std::string text) {
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

// Cuts a line longer than the limit to limit − 1 user-perceived characters and
// an ellipsis, so flags and accented letters are never split.
std::string cutToLimit(const std::string& line) {
    // Bytes bound clusters from above: a short line needs no break iterator.
    if (line.size() <= static_cast<std::size_t>(eventLineLimit))
        return line;
    // In ASCII every byte is a cluster of its own, but for CR LF: most lines are
    // cut without loading the break rules at all.
    const bool plainASCII =
        std::all_of(line.begin(), line.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
        line.find("\r\n") == std::string::npos;
    if (plainASCII)
        return line.substr(0, static_cast<std::size_t>(eventLineLimit - 1)) + std::string(ellipsis);
    const auto ends = UnicodeText::graphemeEnds(line, eventLineLimit + 1);
    if (ends.size() <= static_cast<std::size_t>(eventLineLimit))
        return line;
    return line.substr(0, ends[eventLineLimit - 2]) + std::string(ellipsis);
}

} // namespace

std::string join(const std::vector<std::string>& parts, std::string_view glue) {
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            result += glue;
        result += parts[i];
    }
    return result;
}

std::string duration(double seconds) {
    if (seconds < 0)
        return "expired";
    if (!std::isfinite(seconds))
        return "--";
    // Every whole number of seconds below 2^63 is exact; beyond, the largest one.
    const auto n = seconds >= 0x1p63 ? std::numeric_limits<long long>::max()
                                     : static_cast<long long>(std::floor(seconds));
    if (n <= 59)
        return std::to_string(n) + "s";
    if (n <= 3599)
        return std::to_string(n / 60) + "m";
    const long long hours = n / 3600;
    const long long minutes = (n / 60) % 60;
    if (minutes == 0)
        return std::to_string(hours) + "h";
    return std::to_string(hours) + "h " + std::to_string(minutes) + "m";
}

std::string ago(Instant date, Instant now) {
    return duration(std::max(0.0, secondsBetween(now, date))) + " ago";
}

std::string clock(Instant date, const TimeZone& timeZone) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", timeZone.hour(date), timeZone.minute(date));
    return text;
}

std::string percent(std::optional<double> value) {
    if (!value || !std::isfinite(*value))
        return "--";
    return roundedPercent(*value);
}

std::string tokens(std::int64_t n) {
    // Through the unsigned magnitude so that the most negative count has one too.
    const std::uint64_t magnitude =
        n < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    const std::string digits = std::to_string(magnitude);
    std::string result = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            result += ',';
        result += digits[i];
    }
    return result;
}

std::string modelShort(const std::optional<std::string>& model) {
    if (!model || model->empty())
        return "unknown";
    constexpr std::string_view prefix = "claude-";
    if (model->starts_with(prefix))
        return model->substr(prefix.size());
    return *model;
}

std::string configSummary(const std::optional<TessalyConfig>& config) {
    if (!config)
        return "No config in status file";
    std::vector<std::string> parts{
        "warn " + percent(config->warnContextPct),
        "critical " + percent(config->criticalContextPct),
        std::string("messaging ") + (config->messageAgents.value_or(false) ? "on" : "off"),
    };
    if (config->dryRun.value_or(false))
        parts.emplace_back("dry-run");
    return join(parts, separator);
}

std::string compactTooltip(std::string_view stateTitle, std::string_view percent) {
    if (percent == "--")
        return std::string(stateTitle);
    return std::string(stateTitle) + " \u00b7 worst session " + std::string(percent);
}

std::string sessionLine(const SessionStatus& session, Instant now) {
    std::vector<std::string> parts{session.displayName(), modelShort(session.model),
                                   percent(session.contextPct),
                                   std::string(label(session.lifecycle))};
    if (session.cacheExpiresAt) {
        const double remaining = secondsBetween(*session.cacheExpiresAt, now);
        if (remaining >= 0)
            parts.push_back("cache expires in " + duration(remaining));
        else
            parts.push_back("cache expired " + ago(*session.cacheExpiresAt, now));
    }
    if (session.handoff)
        parts.emplace_back("handoff");
    const std::string line = join(parts, separator);
    if (session.level == SessionLevel::ok)
        return line;
    std::string tagged = "[";
    tagged += rawValue(session.level);
    tagged += "] ";
    tagged += line;
    return tagged;
}

std::string sessionDetail(const SessionStatus& session, Instant now) {
    std::vector<std::string> lines;
    if (session.contextTokens) {
        if (session.contextWindow)
            lines.push_back(tokens(*session.contextTokens) + " of " +
                            tokens(*session.contextWindow) + " tokens");
        else
            lines.push_back(tokens(*session.contextTokens) + " tokens");
    }
    if (session.cwd)
        lines.push_back(*session.cwd);
    if (session.sessionId)
        lines.push_back(*session.sessionId);
    else if (session.shortId)
        lines.push_back(*session.shortId);
    if (session.handoff)
        lines.push_back(handoffDetail(*session.handoff, now));
    return join(lines, "\n");
}

std::string handoffDetail(const SessionHandoff& handoff, Instant now) {
    if (handoff.writtenAt)
        return "Handoff written " + ago(*handoff.writtenAt, now) + ": " + handoff.path;
    return "Handoff: " + handoff.path;
}

std::string handoffLine(const SessionStatus& session, Instant now, bool exists) {
    std::string line = "Open handoff \u00b7 " + session.displayName();
    if (session.handoff && session.handoff->writtenAt)
        line += " (" + ago(*session.handoff->writtenAt, now) + ")";
    if (!exists)
        line += " (missing)";
    return line;
}

std::string eventLine(const TessalyEvent& event, const TimeZone& timeZone) {
    const std::string time = event.at ? clock(*event.at, timeZone) : "--:--";
    const std::string who = event.dirName   ? *event.dirName
                            : event.shortId ? *event.shortId
                                            : "session";
    std::string body =
        replaceLineFeeds(event.text ? *event.text : std::string(rawValue(event.kind)));
    std::string tag;
    if (event.kind == EventKind::handoff) {
        tag = "handoff";
        // The daemon's handoff texts already name the session; the line names it once.
        const std::string prefix = who + ": ";
        if (body.starts_with(prefix))
            body.erase(0, prefix.size());
    } else {
        tag = std::string(rawValue(event.level));
    }
    std::string line = cutToLimit(time + " [" + tag + "] " + who + ": " + body);
    if (event.dryRun.value_or(false))
        line += " (dry-run)";
    return line;
}

} // namespace menubar::Formatting
