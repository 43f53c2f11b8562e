#include <chrono>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "StatusDecoder.hpp"

using namespace menubar;
using namespace std::chrono_literals;

namespace {

Instant utc(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days date =
        std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day);
    return Instant(date) + hours(hour) + minutes(minute) + seconds(second);
}

std::string reasonFor(const std::string& document) {
    try {
        StatusDecoder::decode(document);
    } catch (const DecodingError& error) {
        return StatusDecoder::describe(error);
    }
    return "<decoded>";
}

} // namespace

TEST(StatusDecoder, ParseDateAcceptsTheInternetProfile) {
    const std::vector<std::pair<const char*, Instant>> cases{
        {"2025-03-01T10:00:00Z", utc(2025, 3, 1, 10, 0, 0)},
        {"2025-03-01T10:00:00.250Z", utc(2025, 3, 1, 10, 0, 0) + 250ms},
        {"2025-03-01T12:00:00+02:00", utc(2025, 3, 1, 10, 0, 0)},
        {"2025-03-01T05:30:00-04:30", utc(2025, 3, 1, 10, 0, 0)},
        {"2025-03-01T10:00:00.123456789Z", utc(2025, 3, 1, 10, 0, 0) + 123456us},
        {"2024-02-29T23:59:59Z", utc(2024, 2, 29, 23, 59, 59)},
        {"2000-02-29T00:00:00Z", utc(2000, 2, 29, 0, 0, 0)},
        {"1969-12-31T23:59:59.999Z", utc(1970, 1, 1, 0, 0, 0) - 1ms},
        {"2025-03-01t10:00:00z", utc(2025, 3, 1, 10, 0, 0)},
        {"9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59, 59)}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(StatusDecoder::parseDate(text), expected) << text;
}

TEST(StatusDecoder, ParseDateRejectsEverythingElse) {
    for (const char* text : {"",
                             "yesterday",
                             "2025-03-01",
                             "2025-03-01T10:00:00",
                             "2025-03-01 10:00:00Z",
                             "2025-03-01T10:00Z",
                             "2025-03-01T10:00:00.Z",
                             "2025-03-01T10:00:00+0200",
                             "2025-03-01T10:00:00+02",
                             "2025-13-01T10:00:00Z",
                             "2025-02-29T10:00:00Z",
                             "1900-02-29T10:00:00Z",
                             "2025-03-01T24:00:00Z",
                             "2025-03-01T10:60:00Z",
                             "2025-03-01T10:00:60Z",
                             "2025-03-01T10:00:00Zjunk",
                             " 2025-03-01T10:00:00Z",
                             "25-03-01T10:00:00Z",
                             "2025-03-01T10:00:00+24:00",
                             "1741000000"})
        EXPECT_EQ(StatusDecoder::parseDate(text), std::nullopt) << text;
}

TEST(StatusDecoder, DecodesAFullDocumentIgnoringUnknownKeysAtEveryLevel) {
    const StatusFile file = StatusDecoder::decode(R"({
      "version": 3, "daemonPid": 4711, "startedAt": "2025-03-01T09:00:00Z",
      "at": "2025-03-01T10:00:00.250Z", "intervalMs": 5000, "future": {"x": [1]},
      "config": {"warnContextPct": 70, "criticalContextPct": 85.5, "cacheMinContextPct": 20,
                 "cacheLeadMs": 60000, "messageAgents": true, "dryRun": false,
                 "onCritical": ["notify", "handoff"], "onCacheExpiry": [],
                 "settings": {"warn-context": 70, "ignore-dirs": ["a"], "x": null}, "new": 1},
      "configFile": {"path": "/c.json", "loadedAt": "2025-03-01T09:00:01Z",
                     "changedSinceLoad": true, "new": "?"},
      "configSources": {"warn-context": "cli", "dry-run": "file", "x": "default", "y": "env"},
      "configError": {"message": "bad", "path": "/c.json", "at": "2025-03-01T09:00:02Z", "n": 0},
      "sessions": [{"provider": "claude", "sessionId": "s-1", "shortId": "s1", "cwd": "/w/api",
                    "dirName": "api", "model": "claude-sonnet-4", "contextTokens": 81200,
                    "contextWindow": 200000, "contextPct": 40.6, "level": "warn",
                    "lifecycle": "needsInput", "source": "store",
                    "lastActivityAt": "2025-03-01T09:59:00Z",
                    "cacheExpiresAt": "2025-03-01T10:05:00Z", "cacheTtlMs": 300000,
                    "surfaceId": "sf", "workspaceId": "ws", "currentForSurface": true,
                    "handoff": {"path": "/h.md", "writtenAt": "2025-03-01T09:58:00Z",
                                "location": "repo", "extra": 1},
                    "brandNew": {"deep": [true]}}],
      "events": [{"at": "2025-03-01T09:57:00Z", "sessionId": "s-1", "shortId": "s1",
                  "dirName": "api", "kind": "handoff", "level": "info",
                  "text": "line one\nline two", "dryRun": true, "more": null}]
    })");

    EXPECT_EQ(file.version, 3);
    EXPECT_EQ(file.daemonPid, 4711);
    EXPECT_EQ(file.intervalSeconds(), 5.0);
    ASSERT_TRUE(file.config);
    EXPECT_EQ(file.config->criticalContextPct, 85.5);
    EXPECT_EQ(file.config->cacheLeadMs, 60000);
    EXPECT_EQ(file.config->onCritical, (std::vector<std::string>{"notify", "handoff"}));
    EXPECT_EQ(file.config->onCacheExpiry, std::vector<std::string>{});
    EXPECT_EQ(file.config->setting("warn-context"), JSONValue::number(70));
    EXPECT_EQ(file.config->setting("x"), JSONValue::null());
    EXPECT_EQ(file.config->setting("absent"), std::nullopt);
    EXPECT_TRUE(file.configChangedSinceLoad());
    EXPECT_EQ(file.flagLockedSettings(), std::set<std::string>{"warn-context"});
    EXPECT_EQ(file.configSources->at("x"), ConfigSource::default_);
    EXPECT_EQ(file.configSources->at("y"), ConfigSource::unknown);
    EXPECT_EQ(file.configError->message, "bad");

    ASSERT_EQ(file.sessions.size(), 1u);
    const SessionStatus& session = file.sessions[0];
    EXPECT_EQ(session.lifecycle, SessionLifecycle::needsInput);
    EXPECT_EQ(session.source, SessionSource::store);
    EXPECT_EQ(session.contextTokens, 81200);
    EXPECT_EQ(session.currentForSurface, true);
    EXPECT_EQ(session.handoff,
              (SessionHandoff{"/h.md", utc(2025, 3, 1, 9, 58, 0), HandoffLocation::repo}));

    ASSERT_EQ(file.events.size(), 1u);
    EXPECT_EQ(file.events[0].kind, EventKind::handoff);
    EXPECT_EQ(file.events[0].level, EventLevel::info);
    EXPECT_EQ(file.events[0].text, "line one\nline two");
    EXPECT_EQ(file.events[0].dryRun, true);
}

TEST(StatusDecoder, NullAndMissingAreAbsentWithTheirSubstitutes) {
    const StatusFile file = StatusDecoder::decode(R"({
      "version": null, "sessions": [{"level": null, "handoff": {"path": null}},
                                   {"handoff": {}}], "events": null, "config": null})");
    EXPECT_EQ(StatusDecoder::decode("{}"), StatusFile{});
    EXPECT_EQ(file.version, std::nullopt);
    EXPECT_EQ(file.config, std::nullopt);
    EXPECT_TRUE(file.events.empty());
    ASSERT_EQ(file.sessions.size(), 2u);
    EXPECT_EQ(file.sessions[0].level, SessionLevel::unknown);
    EXPECT_EQ(file.sessions[0].handoff->path, "");
    EXPECT_EQ(file.sessions[1].handoff->path, "");
    EXPECT_EQ(file.sessions[1].handoff->location, HandoffLocation::unknown);
    // Nothing derives a percentage from the two counts.
    EXPECT_EQ(StatusDecoder::decode(R"({"sessions":[{"contextTokens":1,"contextWindow":2}]})")
                  .sessions[0]
                  .contextPct,
              std::nullopt);
}

TEST(StatusDecoder, LenientEnumerations) {
    using L = SessionLevel;
    const std::vector<std::pair<std::string, L>> cases{
        {"ok", L::ok},           {"warn", L::warn},     {"critical", L::critical},
        {"unknown", L::unknown}, {"Warn", L::unknown},  {"blocked", L::unknown},
        {"", L::unknown},        {"warn ", L::unknown},
    };
    for (const auto& [level, expected] : cases)
        EXPECT_EQ(StatusDecoder::decode(R"({"sessions":[{"level":")" + level + R"("}]})")
                      .sessions[0]
                      .level,
                  expected)
            << level;
    EXPECT_EQ(rawValue(ConfigSource::default_), "default");
}

// The generated fault table puts every wrong JSON type at every key; these are
// the reasons it does not produce: fractions, integers beyond 64 bits and
// unparsable dates. Integral numbers in any notation count as integers.
TEST(StatusDecoder, ReasonsBeyondTheWrongTypeAndIntegralNumbers) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {R"({"version":3.5})", "type mismatch (Int) at version"},
        {R"({"sessions":[{"contextTokens":1.5}]})",
         "type mismatch (Int) at sessions.0.contextTokens"},
        {R"({"intervalMs":1e300})", "type mismatch (Int) at intervalMs"},
        {R"({"intervalMs":18446744073709551615})", "type mismatch (Int) at intervalMs"},
        {R"({"at":"yesterday"})", "Unrecognised ISO-8601 date: yesterday"},
        {R"({"at":""})", "Unrecognised ISO-8601 date: "},
        {R"({"stoppedAt":"2025-03-01"})", "Unrecognised ISO-8601 date: 2025-03-01"},
    };
    for (const auto& [document, reason] : cases)
        EXPECT_EQ(reasonFor(document), reason) << document;
    for (const char* interval : {"5000.0", "5e3"})
        EXPECT_EQ(
            StatusDecoder::decode(std::string(R"({"intervalMs":)") + interval + "}").intervalMs,
            5000)
            << interval;
    EXPECT_EQ(StatusDecoder::decode(R"({"intervalMs":-1})").intervalMs, -1);
    EXPECT_EQ(StatusDecoder::decode(R"({"sessions":[{"contextPct":72}]})").sessions[0].contextPct,
              72.0);
}

TEST(StatusDecoder, TextThatIsNotJSONGivesTheParserMessageAlone) {
    for (const char* text : {"", "plain words", "{\"at\":", "{} {}"}) {
        const std::string reason = reasonFor(text);
        EXPECT_TRUE(reason.starts_with("parse error at line ")) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    }
    EXPECT_EQ(reasonFor(std::string(600, '[')), "nesting deeper than 512 levels");
}

// The daemon state's tests pin the interval in seconds and the 30 s that stands in
// for an absent, zero or negative one; the config notices' tests when a change counts.
TEST(StatusFile, DerivedValues) {
    EXPECT_TRUE(StatusFile{}.flagLockedSettings().empty());

    using Name = std::optional<std::string>;
    const std::vector<std::tuple<Name, Name, std::string>> names{
        {"", "a1b2", "a1b2"},
        {"", "", "session"},
        {std::nullopt, std::nullopt, "session"},
    };
    for (const auto& [dirName, shortId, name] : names)
        EXPECT_EQ((SessionStatus{.shortId = shortId, .dirName = dirName}.displayName()), name);
}

TEST(StatusFileLocator, Path) {
    const std::string usual = "/Users/ann/.local/state/tessaly/status.json";
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases{
        {std::nullopt, usual},
        {"", usual},
        {"~/tmp/s.json", "/Users/ann/tmp/s.json"},
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

// Wrong types, bad dates and text that is no JSON, read from disk, are in the app's
// fault tests.
TEST(StatusFileLocator, LoadsFromTheRealFileSystem) {
    char pattern[] = "/tmp/menubar-status-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const auto load = [](const std::string& path) {
        return StatusFileLocator::load(path, FileSystem::real());
    };
    std::ofstream(dir + "/ok.json") << R"({"version":1})";
    std::filesystem::create_directory(dir + "/folder");
    std::filesystem::create_symlink(dir + "/gone", dir + "/link.json");

    EXPECT_EQ(load(dir + "/absent.json"), StatusSnapshot::missing());
    EXPECT_EQ(load(dir + "/ok.json"), StatusSnapshot::loaded(StatusFile{.version = 1}));
    EXPECT_EQ(load(dir + "/folder"),
              StatusSnapshot::unreadable("could not read " + dir + "/folder: Is a directory"));
    // A dangling symbolic link is as good as nothing there.
    EXPECT_EQ(load(dir + "/link.json"), StatusSnapshot::missing());
    std::filesystem::remove_all(dir);
}
