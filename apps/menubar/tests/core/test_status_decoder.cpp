#include <chrono>

#include <gtest/gtest.h>

#include "status/StatusDecoder.hpp"

using namespace menubar;
using namespace std::chrono_literals;
using std::chrono::sys_days;

namespace {

std::string reasonFor(const std::string& document) {
    try {
        StatusDecoder::decode(document);
    } catch (const DecodingError& error) {
        return StatusDecoder::describe(error);
    }
    return "<decoded>";
}

} // namespace

TEST(StatusDecoder, ParseDateTakesTheInternetProfileOnly) {
    const std::vector<std::pair<const char*, Instant>> cases{
        {"2025-03-01T10:00:00.250Z", sys_days{2025y / 3 / 1} + 10h + 250ms},
        {"2025-03-01T12:00:00+02:00", sys_days{2025y / 3 / 1} + 10h},
        {"2025-03-01T05:30:00-04:30", sys_days{2025y / 3 / 1} + 10h},
        {"2025-03-01T10:00:00.123456789Z", sys_days{2025y / 3 / 1} + 10h + 123456us},
        {"2024-02-29T23:59:59Z", sys_days{2024y / 2 / 29} + 23h + 59min + 59s},
        {"2000-02-29T00:00:00Z", sys_days{2000y / 2 / 29}},
        {"1969-12-31T23:59:59.999Z", sys_days{1970y / 1 / 1} - 1ms},
        {"2025-03-01t10:00:00z", sys_days{2025y / 3 / 1} + 10h},
        {"9999-12-31T23:59:59Z", sys_days{9999y / 12 / 31} + 23h + 59min + 59s}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StatusDecoder::parseDate(text), expected) << text;
    for (const char* text :
         {"", "2025-03-01", "2025-03-01T10:00:00", "2025-03-01 10:00:00Z", "2025-03-01T10:00Z",
          "2025-03-01T10:00:00.Z", "2025-03-01T10:00:00+0200", "2025-13-01T10:00:00Z",
          "2025-02-29T10:00:00Z", "1900-02-29T10:00:00Z", "2025-03-01T24:00:00Z",
          "2025-03-01T10:60:00Z", "2025-03-01T10:00:60Z", "2025-03-01T10:00:00Zjunk",
          " 2025-03-01T10:00:00Z", "25-03-01T10:00:00Z", "2025-03-01T10:00:00+24:00",
          "2025-03-01T10:00:00+02:60"})
        EXPECT_EQ(StatusDecoder::parseDate(text), std::nullopt) << text;
}

TEST(StatusDecoder, NullAndMissingAreAbsentWithTheirSubstitutes) {
    // A null at any key reads as absent: the app's fault tests put one at each.
    EXPECT_EQ(StatusDecoder::decode("{}"), StatusFile{});
    // Nothing derives a percentage from the two counts.
    EXPECT_EQ(
        StatusDecoder::decode(R"({"version": null, "events": null, "config": null,
      "sessions": [{"level": null, "handoff": {"path": null}},
                   {"handoff": {}, "contextTokens": 1, "contextWindow": 2}]})"),
        (StatusFile{
            .sessions = {{.handoff = SessionHandoff{}},
                         {.contextTokens = 1, .contextWindow = 2, .handoff = SessionHandoff{}}}}));
}

// Exact, case-sensitive wire strings; anything else is unknown, not an error.
TEST(StatusDecoder, LenientEnumerations) {
    using L = SessionLevel;
    EXPECT_EQ(StatusDecoder::decode(R"({"sessions":[{"level":"critical"}, {"level":"Warn"},
                                               {"level":"blocked"}, {"level":"warn "}]})")
                  .sessions,
              (std::vector<SessionStatus>{{.level = L::critical}, {}, {}, {}}));
    const auto wire = [](auto... values) { return ((std::string(rawValue(values)) + " ") + ...); };
    using E = EventKind;
    EXPECT_EQ(wire(L::ok, L::warn, L::critical), "ok warn critical ");
    EXPECT_EQ(wire(SessionLifecycle::running, SessionLifecycle::idle, SessionLifecycle::needsInput),
              "running idle needsInput ");
    EXPECT_EQ(wire(SessionSource::store, SessionSource::scan), "store scan ");
    EXPECT_EQ(wire(E::notify, E::inject, E::handoff), "notify inject handoff ");
    EXPECT_EQ(wire(EventLevel::ok, EventLevel::info, EventLevel::warn, EventLevel::critical),
              "ok info warn critical ");
    EXPECT_EQ(wire(HandoffLocation::repo, HandoffLocation::scratchpad), "repo scratchpad ");
    EXPECT_EQ(wire(ConfigSource::cli, ConfigSource::file, ConfigSource::default_),
              "cli file default ");
}

// The fault table gives every key every wrong JSON type (a fraction and a date
// that does not parse among them) and the app's fault tests every cut of a file;
// these are the reasons neither produces. Integral numbers in any notation count
// as integers.
TEST(StatusDecoder, ReasonsBeyondTheFaultTableAndIntegralNumbers) {
    EXPECT_EQ(reasonFor(R"({"intervalMs":1e300})"), "type mismatch (Int) at intervalMs");
    EXPECT_EQ(reasonFor(R"({"intervalMs":18446744073709551615})"),
              "type mismatch (Int) at intervalMs");
    EXPECT_TRUE(reasonFor("{} {}").starts_with("parse error at line ")) << reasonFor("{} {}");
    for (const char* interval : {"5000.0", "5e3"})
        EXPECT_EQ(
            StatusDecoder::decode(std::string(R"({"intervalMs":)") + interval + "}").intervalMs,
            5000)
            << interval;
    EXPECT_EQ(StatusDecoder::decode(R"({"intervalMs":-1})").intervalMs, -1);
    // Of members with the same key the last counts, and members are read in key
    // order, as in the parser's own tree.
    EXPECT_EQ(reasonFor(R"({"configSources":{"b":1,"a":2}})"),
              "type mismatch (String) at configSources.a");
    EXPECT_EQ(StatusDecoder::decode(R"({"intervalMs":"x","intervalMs":7})").intervalMs, 7);
    EXPECT_EQ(reasonFor(R"({"intervalMs":7,"intervalMs":"x"})"),
              "type mismatch (Int) at intervalMs");
}

TEST(StatusFileLocator, Path) {
    const std::string usual = "/Users/ann/.local/state/tessaly/status.json";
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases{
        {std::nullopt, usual},
        {"", usual},
        {"~", "/Users/ann"},
        {"rel/s.json", "rel/s.json"},
        {"/abs/~/s.json", "/abs/~/s.json"},
        {"~root/s.json", "/root/s.json"},
        {"~no-such-user-here/s.json", "~no-such-user-here/s.json"},
    };
    for (const auto& [variable, expected] : cases) {
        std::map<std::string, std::string> environment{{"OTHER", "/x"}};
        if (variable)
            environment["TESSALY_STATUS_FILE"] = *variable;
        EXPECT_EQ(StatusFileLocator::path(environment, "/Users/ann"), expected);
    }
}
