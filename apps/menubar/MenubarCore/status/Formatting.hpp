#pragma once

// The short English texts of the status item, its menu and the settings window.
// Pure functions: the current instant and the time zone always come in as
// arguments. Parts of one line are joined with " · " (a middle dot between blanks).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Models.hpp"
#include "system/TimeZone.hpp"
#include "json/JSONValue.hpp"

namespace menubar::Formatting {

// The longest recent-event line, in user-perceived characters, before its dry-run mark.
inline constexpr int eventLineLimit = 70;
inline constexpr std::string_view separator = " \u00b7 ";
inline constexpr std::string_view ellipsis = "\u2026";

// The parts with `glue` between each two.
std::string join(const std::vector<std::string>& parts, std::string_view glue);
// "expired" below 0; else whole seconds as "45s", "59m", "1h", "26h 5m" (no days).
std::string duration(double seconds);
// duration(now − date) raised to 0, + " ago": "5m ago"; a future date is "0s ago".
std::string ago(Instant date, Instant now);
// "HH:MM" of the instant in the zone.
std::string clock(Instant date, const TimeZone& timeZone);
// "--" when absent or not finite; else rounded, halves away from zero, + "%".
std::string percent(std::optional<double> value);
// Digits grouped by three with ",": "-1,200", "10,000,000".
std::string tokens(std::int64_t n);
// "unknown" when absent or empty; a leading "claude-" dropped.
std::string modelShort(const std::optional<std::string>& model);
// "warn 70% · critical 85% · messaging on[ · dry-run]", or "No config in status file".
std::string configSummary(const std::optional<TessalyConfig>& config);
// The icon-only tooltip: the state title, plus " · worst session " + percent
// unless percent is "--".
std::string compactTooltip(std::string_view stateTitle, std::string_view percent);

// One menu line per session: "[warn] api · sonnet-4 · 81% · running · cache expires in 3m ·
// handoff".
std::string sessionLine(const SessionStatus& session, Instant now);
// The session's tooltip: tokens, cwd, id and handoff, one per line, each only when known.
std::string sessionDetail(const SessionStatus& session, Instant now);
// "Handoff written 12m ago: <path>" or "Handoff: <path>".
std::string handoffDetail(const SessionHandoff& handoff, Instant now);
// "Open handoff · api (12m ago) (missing)".
std::string handoffLine(const SessionStatus& session, Instant now, bool exists);
// "14:03 [warn] api: text", cut to eventLineLimit user-perceived characters
// (with "…"), then " (dry-run)" for dry runs.
std::string eventLine(const TessalyEvent& event, const TimeZone& timeZone);

} // namespace menubar::Formatting
