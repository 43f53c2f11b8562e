#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Formatting.hpp"
#include "StatusDecoder.hpp"

using namespace menubar;
namespace F = menubar::Formatting;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };

const Instant now = at("2024-05-01T10:00:00Z");
const TimeZone utc = TimeZone::utc();

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += unit;
    return text;
}

} // namespace

// Exact up to 2^63 seconds (9e18); beyond, the largest whole number.
TEST(Formatting, DurationUnitsAndBoundaries) {
    const std::vector<std::pair<double, std::string>> cases{
        {-0.001, "expired"},
        {0, "0s"},
        {59.99, "59s"},
        {60, "1m"},
        {3599.99, "59m"},
        {3600, "1h"},
        {3659, "1h"},
        {3660, "1h 1m"},
        {7199, "1h 59m"},
        {90000, "25h"},
        {93900, "26h 5m"},
        {9e18, "2500000000000000h"},
        {1e300, "2562047788015215h 30m"},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(F::duration(seconds), expected) << seconds;
}

// The status menu's tests show the usual "ago", session, event and config lines;
// the tests here add the edges those menus do not reach.
TEST(Formatting, AgoNeverGoesNegative) {
    EXPECT_EQ(F::ago(at("2024-05-01T10:00:30Z"), now), "0s ago");
}

TEST(Formatting, PercentRoundsHalvesAwayFromZero) {
    const std::vector<std::pair<std::optional<double>, std::string>> cases{
        {std::numeric_limits<double>::quiet_NaN(), "--"},
        {std::numeric_limits<double>::infinity(), "--"},
        {72.5, "73%"},
        {72.49, "72%"},
        {-0.4, "0%"},
        {-0.5, "-1%"},
        {250, "250%"},
        // Beyond 64 bits the magnitude stays.
        {1e20, "100000000000000000000%"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(F::percent(value), expected) << value.value_or(-999);
}

TEST(Formatting, ClockAcrossZonesAndMidnight) {
    struct Case {
        const char* instant;
        TimeZone zone;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"2024-05-01T22:01:00Z", TimeZone::fixedOffset(2 * 3600), "00:01"},
        {"2024-05-01T09:07:59.999999Z", utc, "09:07"},
        {"2024-05-01T01:00:00Z", TimeZone::fixedOffset(-90 * 60), "23:30"},
        // Summer and winter time of the same zone.
        {"2024-07-01T22:01:00Z", *TimeZone::named("Europe/Berlin"), "00:01"},
        {"2024-01-01T22:01:00Z", *TimeZone::named("Europe/Berlin"), "23:01"},
        // The night New York moves its clocks forward.
        {"2024-03-10T06:59:00Z", *TimeZone::named("America/New_York"), "01:59"},
        {"2024-03-10T07:00:00Z", *TimeZone::named("America/New_York"), "03:00"},
        // Before the epoch the fraction must not round the minute up.
        {"1969-12-31T23:59:59.500Z", utc, "23:59"},
    };
    for (const auto& [instant, zone, expected] : cases)
        EXPECT_EQ(F::clock(at(instant), zone), expected) << instant << " " << zone.identifier();
}

TEST(Formatting, UnknownZoneNameIsAbsent) {
    EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_FALSE(TimeZone::named(""));
    EXPECT_EQ(TimeZone::named("Europe/Berlin")->identifier(), "Europe/Berlin");
    EXPECT_EQ(TimeZone::fixedOffset(-(5 * 3600 + 30 * 60)).identifier(), "GMT-05:30");
}

// The status menu's tests show 162,400 of 200,000 tokens and models with and
// without the prefix; these are the edges.
TEST(Formatting, TokensGroupDigitsByThree) {
    const std::vector<std::pair<std::int64_t, std::string>> cases{
        {0, "0"},          {999, "999"},
        {1000, "1,000"},   {10000000, "10,000,000"},
        {-1200, "-1,200"}, {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const auto& [n, expected] : cases)
        EXPECT_EQ(F::tokens(n), expected) << n;
}

TEST(Formatting, ModelShortDropsOnlyTheExactPrefix) {
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases{
        {"Claude-x", "Claude-x"},
        {"claude-", ""},
        {"", "unknown"},
    };
    for (const auto& [model, expected] : cases)
        EXPECT_EQ(F::modelShort(model), expected) << model.value_or("(absent)");
}

TEST(Formatting, ConfigSummaryWithDryRunAndNothingElseSet) {
    EXPECT_EQ(F::configSummary(TessalyConfig{.dryRun = true}),
              "warn -- \u00b7 critical -- \u00b7 messaging off \u00b7 dry-run");
}

TEST(Formatting, SessionLineEdges) {
    const SessionStatus expiringNow{.dirName = "api",
                                    .level = SessionLevel::ok,
                                    .lifecycle = SessionLifecycle::idle,
                                    .cacheExpiresAt = now};
    EXPECT_EQ(F::sessionLine(expiringNow, now),
              "api \u00b7 unknown \u00b7 -- \u00b7 idle \u00b7 cache expires in 0s");
    const SessionStatus strange{.shortId = "ab12",
                                .level = SessionLevel::unknown,
                                .lifecycle = SessionLifecycle::needsInput};
    EXPECT_EQ(F::sessionLine(strange, now),
              "[unknown] ab12 \u00b7 unknown \u00b7 -- \u00b7 needs input");
}

TEST(Formatting, SessionDetailListsOnlyWhatIsKnown) {
    const std::vector<std::pair<SessionStatus, std::string>> cases{
        {SessionStatus{}, ""},
        {SessionStatus{.shortId = "s1", .cwd = "", .contextTokens = 1200}, "1,200 tokens\n\ns1"},
        {SessionStatus{.contextWindow = 200000, .handoff = SessionHandoff{.path = "/x.md"}},
         "Handoff: /x.md"},
    };
    for (const auto& [session, expected] : cases)
        EXPECT_EQ(F::sessionDetail(session, now), expected);
}

TEST(Formatting, EventLine) {
    const Instant t = at("2024-05-01T14:03:00Z");
    const auto api = [&](std::string text, EventKind kind = EventKind::notify) {
        return TessalyEvent{
            .at = t, .dirName = "api", .kind = kind, .level = EventLevel::info, .text = text};
    };
    TessalyEvent dryRun = api(std::string(100, 'x'));
    dryRun.dryRun = true;
    const std::string flag = "\U0001F1E9\U0001F1EA"; // one cluster, two code points
    const std::string accented = "e\u0301";          // one cluster, two code points
    const std::string prefix = "14:03 [info] api: "; // 18 characters
    const std::vector<std::pair<TessalyEvent, std::string>> cases{
        {{.dirName = "api", .kind = EventKind::inject, .level = EventLevel::ok},
         "--:-- [ok] api: inject"},
        {{.at = t, .shortId = "ab12", .kind = EventKind::unknown, .level = EventLevel::unknown},
         "14:03 [unknown] ab12: unknown"},
        {{.at = t, .shortId = "ab12", .dirName = "", .level = EventLevel::info, .text = "x"},
         "14:03 [info] : x"},
        {{.at = t, .level = EventLevel::critical, .text = "two\nlines\n"},
         "14:03 [critical] session: two lines "},
        // The handoff text names its session already; the line names it once.
        {{.at = t,
          .dirName = "api",
          .kind = EventKind::handoff,
          .level = EventLevel::warn,
          .text = "api: wrote handoff"},
         "14:03 [handoff] api: wrote handoff"},
        {api("api: api: twice", EventKind::handoff), "14:03 [handoff] api: api: twice"},
        {api("web: other", EventKind::handoff), "14:03 [handoff] api: web: other"},
        // 70 characters stay whole; 71 are cut to 69 and an ellipsis.
        {api(std::string(52, 'x')), prefix + std::string(52, 'x')},
        {api(std::string(53, 'x')), prefix + std::string(51, 'x') + "\u2026"},
        {dryRun, prefix + std::string(51, 'x') + "\u2026 (dry-run)"},
        // User-perceived characters, not bytes or code points.
        {api(repeated(flag, 52)), prefix + repeated(flag, 52)},
        {api(repeated(flag, 60)), prefix + repeated(flag, 51) + "\u2026"},
        {api(repeated(accented, 100)), prefix + repeated(accented, 51) + "\u2026"},
    };
    for (const auto& [event, expected] : cases)
        EXPECT_EQ(F::eventLine(event, utc), expected);
}
