#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Selection.hpp"
#include "StatusDecoder.hpp"

using namespace menubar;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };

const Instant now = at("2024-05-01T12:00:00Z");

SessionStatus session(std::string name, std::optional<double> pct,
                      SessionLevel level = SessionLevel::ok) {
    return SessionStatus{
        .shortId = "id-" + name, .dirName = name, .contextPct = pct, .level = level};
}

std::vector<std::string> names(const std::vector<SessionStatus>& sessions) {
    std::vector<std::string> result;
    for (const auto& s : sessions)
        result.push_back(s.shortId.value_or("?"));
    return result;
}

} // namespace

TEST(Selection, SortedMostUrgentFirst) {
    using L = SessionLevel;
    struct Case {
        const char* rule;
        std::vector<SessionStatus> input;
        std::vector<std::string> expected; // shortIds, which stay unique when names tie
    };
    SessionStatus tieA = session("same", 50);
    SessionStatus tieB = session("same", 50);
    tieA.shortId = "first";
    tieB.shortId = "second";
    const std::vector<Case> cases{
        {"level between equal percentages: critical, warn, unknown, ok",
         {session("a", 60, L::unknown), session("b", 60, L::warn), session("c", 60, L::ok),
          session("d", 60, L::critical)},
         {"id-d", "id-b", "id-a", "id-c"}},
        {"percentage beats level",
         {session("a", 50, L::critical), session("b", 90, L::ok)},
         {"id-b", "id-a"}},
        {"absent percentage ranks by level too",
         {session("a", std::nullopt, L::ok), session("b", std::nullopt, L::critical)},
         {"id-b", "id-a"}},
        {"names by scalar value: upper case first",
         {session("alpha", 10), session("Beta", 10), session("\u00e9t\u00e9", 10),
          session("zed", 10)},
         {"id-Beta", "id-alpha", "id-zed", "id-\u00e9t\u00e9"}},
        {"equal sessions keep their order", {tieB, tieA}, {"second", "first"}},
    };
    for (const auto& [rule, input, expected] : cases)
        EXPECT_EQ(names(Selection::sorted(input)), expected) << rule;
}

TEST(Selection, NamesCompareInNormalisedForm) {
    // The same name, precomposed and decomposed, is one name: input order decides.
    // (Compared as bytes, the decomposed one would move first.)
    SessionStatus composed = session("\u00e9", 10);
    SessionStatus decomposed = session("e\u0301", 10);
    composed.shortId = "composed";
    decomposed.shortId = "decomposed";
    EXPECT_EQ(names(Selection::sorted({composed, decomposed})),
              (std::vector<std::string>{"composed", "decomposed"}));
    // Decomposed, "e" + accent would sort before "f"; normalised it is U+00E9, after it.
    EXPECT_TRUE(Selection::nameLess("f", "e\u0301"));
    EXPECT_FALSE(Selection::nameLess("e\u0301", "f"));
}

TEST(Selection, HandoffItemsNewestFirst) {
    const auto withHandoff = [](std::string name, std::optional<Instant> written) {
        SessionStatus s = session(name, 10);
        s.handoff = SessionHandoff{.path = "/" + name + ".md", .writtenAt = written};
        return s;
    };
    const std::vector<SessionStatus> sessions{
        withHandoff("ten", at("2024-05-01T10:00:00Z")),
        withHandoff("undated", std::nullopt),
        session("none", 99),
        withHandoff("eleven", at("2024-05-01T11:00:00Z")),
        withHandoff("b-tie", at("2024-05-01T10:00:00Z")),
        withHandoff("Undated", std::nullopt),
    };
    std::vector<std::string> asked;
    const auto items = Selection::handoffItems(sessions, now, [&](const std::string& path) {
        asked.push_back(path);
        return path != "/ten.md";
    });
    const std::vector<HandoffItem> expected{
        {"/eleven.md", "Open handoff \u00b7 eleven (1h ago)", true},
        {"/b-tie.md", "Open handoff \u00b7 b-tie (2h ago)", true},
        {"/ten.md", "Open handoff \u00b7 ten (2h ago) (missing)", false},
        {"/Undated.md", "Open handoff \u00b7 Undated", true},
        {"/undated.md", "Open handoff \u00b7 undated", true},
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(asked, (std::vector<std::string>{"/eleven.md", "/b-tie.md", "/ten.md", "/Undated.md",
                                               "/undated.md"}));
}

TEST(Selection, RecentEventsNewestFirstUpToTheLimit) {
    const auto event = [](std::string text, std::optional<Instant> when) {
        return TessalyEvent{.at = when, .text = std::move(text)};
    };
    const auto texts = [](const std::vector<TessalyEvent>& events) {
        std::vector<std::string> result;
        for (const auto& e : events)
            result.push_back(*e.text);
        return result;
    };
    // The status menu's tests show the five newest of seven.
    const std::vector<TessalyEvent> three{event("a", at("2024-05-01T09:00:00Z")),
                                          event("b", at("2024-05-01T11:00:00Z")),
                                          event("c", at("2024-05-01T10:00:00Z"))};
    struct Case {
        const char* rule;
        std::vector<TessalyEvent> events;
        std::size_t limit;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"fewer than the limit", three, 5, {"b", "c", "a"}},
        {"limit below the count", three, 2, {"b", "c"}},
        {"undated last, ties in input order",
         {event("x", std::nullopt), event("t1", now), event("y", std::nullopt), event("t2", now)},
         5,
         {"t1", "t2", "x", "y"}},
        {"limit zero", three, 0, {}},
    };
    for (const auto& [rule, events, limit, expected] : cases)
        EXPECT_EQ(texts(Selection::recentEvents(events, limit)), expected) << rule;
}
