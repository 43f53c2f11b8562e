// The edges of each text the status menu does not reach; its own tests show the
// "ago", session, tooltip, handoff, event and config lines whole, session lines
// and tooltips with their edges.

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/Formatting.hpp"
#include "status/StatusDecoder.hpp"

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

// Rows of {what a function gave, what it must give}.
using Texts = std::vector<std::pair<std::string, std::string>>;

void expectAll(const Texts& cases) {
    for (std::size_t row = 0; row < cases.size(); ++row)
        EXPECT_EQ(cases[row].first, cases[row].second) << "row " << row;
}

} // namespace

TEST(Formatting, NumbersAndDurations) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expectAll({
        // Whole seconds, floored; exact up to 2^63 s, beyond it the largest.
        {F::duration(-0.001), "expired"},
        {F::duration(59.99), "59s"},
        {F::duration(60), "1m"},
        {F::duration(3599.99), "59m"},
        {F::duration(3600), "1h"},
        {F::duration(3659), "1h"},
        {F::duration(93900), "26h 5m"},
        {F::duration(9.1e18), "2527777777777777h 46m"},
        {F::duration(1e300), "2562047788015215h 30m"},
        {F::ago(at("2024-05-01T10:00:30Z"), now), "0s ago"},
        // Halves away from zero; beyond 64 bits the magnitude stays.
        {F::percent(nan), "--"},
        {F::percent(std::numeric_limits<double>::infinity()), "--"},
        {F::percent(72.5), "73%"},
        {F::percent(-0.4), "0%"},
        {F::percent(-0.5), "-1%"},
        {F::percent(1e20), "100000000000000000000%"},
        {F::tokens(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808"},
        {F::modelShort("Claude-x"), "Claude-x"},
        {F::modelShort(""), "unknown"},
        {F::configSummary(TessalyConfig{.dryRun = true}),
         "warn -- \u00b7 critical -- \u00b7 messaging off \u00b7 dry-run"},
    });
}

TEST(Formatting, ClockAcrossZonesAndMidnight) {
    const auto berlin = *TimeZone::named("Europe/Berlin");
    const auto newYork = *TimeZone::named("America/New_York");
    // The system's own zone is the C library's: the same clock as ICU's zone of that name.
    setenv("TZ", "America/New_York", 1);
    const auto system = TimeZone::current();
    unsetenv("TZ");
    const auto clock = [](const char* instant, const TimeZone& zone) {
        return F::clock(at(instant), zone);
    };
    expectAll({
        {clock("2024-05-01T22:01:00Z", TimeZone::fixedOffset(2 * 3600)), "00:01"},
        {clock("2024-05-01T09:07:59.999999Z", utc), "09:07"},
        {clock("2024-05-01T01:00:00Z", TimeZone::fixedOffset(-90 * 60)), "23:30"},
        // Summer and winter time of the same zone.
        {clock("2024-07-01T22:01:00Z", berlin), "00:01"},
        {clock("2024-01-01T22:01:00Z", berlin), "23:01"},
        // The night New York moves its clocks forward.
        {clock("2024-03-10T06:59:00Z", newYork), "01:59"},
        {clock("2024-03-10T07:00:00Z", newYork), "03:00"},
        // Before the epoch the fraction must not round the minute up.
        {clock("1969-12-31T23:59:59.500Z", utc), "23:59"},
        {clock("2024-03-10T07:00:00Z", system), "03:00"},
    });
    EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_EQ(system.identifier(), "America/New_York");
}

TEST(Formatting, EventLine) {
    const Instant t = at("2024-05-01T14:03:00Z");
    const auto api = [&](std::string text, EventKind kind = EventKind::notify) {
        return F::eventLine(
            {.at = t, .dirName = "api", .kind = kind, .level = EventLevel::info, .text = text},
            utc);
    };
    const auto line = [](const TessalyEvent& event) { return F::eventLine(event, utc); };
    const std::string flag = "\U0001F1E9\U0001F1EA"; // one cluster, two code points
    const std::string prefix = "14:03 [info] api: "; // 18 characters
    expectAll({
        {line({.dirName = "api", .kind = EventKind::inject, .level = EventLevel::ok}),
         "--:-- [ok] api: inject"},
        {line({.at = t,
               .shortId = "ab12",
               .kind = EventKind::unknown,
               .level = EventLevel::unknown}),
         "14:03 [unknown] ab12: unknown"},
        {line({.at = t, .shortId = "ab12", .dirName = "", .level = EventLevel::info, .text = "x"}),
         "14:03 [info] : x"},
        {line({.at = t, .level = EventLevel::critical, .text = "two\nlines\n"}),
         "14:03 [critical] session: two lines "},
        // The handoff text names its session already; the line names it once.
        {api("api: wrote handoff", EventKind::handoff), "14:03 [handoff] api: wrote handoff"},
        {api("api: api: twice", EventKind::handoff), "14:03 [handoff] api: api: twice"},
        {api("web: other", EventKind::handoff), "14:03 [handoff] api: web: other"},
        // 70 characters stay whole; 71 are cut to 69 and an ellipsis.
        {api(std::string(52, 'x')), prefix + std::string(52, 'x')},
        {api(std::string(53, 'x')), prefix + std::string(51, 'x') + "\u2026"},
        {line({.at = t,
               .dirName = "api",
               .level = EventLevel::info,
               .text = std::string(100, 'x'),
               .dryRun = true}),
         prefix + std::string(51, 'x') + "\u2026 (dry-run)"},
        // User-perceived characters, not bytes or code points.
        {api(repeated(flag, 52)), prefix + repeated(flag, 52)},
        {api(repeated(flag, 60)), prefix + repeated(flag, 51) + "\u2026"},
    });
}
