// The orders the status menu's tests do not reach: ties, absent values and names
// beyond ASCII. The menu's tests show sessions by percentage, handoffs and events
// newest first and the event limit; the item's look shows percentage over level.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/Selection.hpp"
#include "status/StatusDecoder.hpp"

using namespace menubar;

namespace {

const auto at = [](const char* text) { return *StatusDecoder::parseDate(text); };

const Instant now = at("2024-05-01T12:00:00Z");

SessionStatus session(std::string name, std::optional<double> pct,
                      SessionLevel level = SessionLevel::ok, std::string id = "") {
    return SessionStatus{.shortId = id.empty() ? "id-" + name : id,
                         .dirName = name,
                         .contextPct = pct,
                         .level = level};
}

} // namespace

TEST(Selection, SortedMostUrgentFirst) {
    using L = SessionLevel;
    struct Case {
        const char* rule;
        std::vector<SessionStatus> input;
        std::vector<std::string> expected; // shortIds, which stay unique when names tie
    };
    std::vector<Case> cases{
        {"level between equal percentages: critical, warn, unknown, ok",
         {session("a", 60, L::ok), session("b", 60, L::unknown), session("c", 60, L::warn),
          session("d", 60, L::critical)},
         {"id-d", "id-c", "id-b", "id-a"}},
        {"absent percentage ranks by level too",
         {session("a", std::nullopt, L::ok), session("b", std::nullopt, L::critical)},
         {"id-b", "id-a"}},
        {"names by scalar value: upper case first",
         {session("alpha", 10), session("Beta", 10), session("\u00e9t\u00e9", 10),
          session("zed", 10)},
         {"id-Beta", "id-alpha", "id-zed", "id-\u00e9t\u00e9"}},
        // Compared as bytes, the decomposed names would move first.
        {"names compare in normalised form: decomposed \u00e9 after f",
         {session("e\u0301", 10), session("f", 10)},
         {"id-f", "id-e\u0301"}},
        {"precomposed and decomposed are one name",
         {session("\u00e9", 10, L::ok, "composed"), session("e\u0301", 10, L::ok, "decomposed")},
         {"composed", "decomposed"}},
    };
    // Enough equal sessions that a sort which is not stable would move some.
    Case equal{"equal sessions keep their order", {}, {}};
    for (int i = 20; i > 0; --i) {
        equal.input.push_back(session("same", 50, L::ok, std::to_string(i)));
        equal.expected.push_back(std::to_string(i));
    }
    cases.push_back(equal);
    for (const auto& [rule, input, expected] : cases) {
        std::vector<std::string> ids;
        for (const auto& s : Selection::sorted(input))
            ids.push_back(*s.shortId);
        EXPECT_EQ(ids, expected) << rule;
    }
}

TEST(Selection, TiesAndUndatedComeLast) {
    const auto withHandoff = [](std::string name, std::optional<Instant> written) {
        SessionStatus s = session(name, 10);
        s.handoff = SessionHandoff{.path = "/" + name + ".md", .writtenAt = written};
        return s;
    };
    const std::vector<SessionStatus> sessions{
        withHandoff("ten", at("2024-05-01T10:00:00Z")), withHandoff("undated", std::nullopt),
        withHandoff("b-tie", at("2024-05-01T10:00:00Z")), withHandoff("Undated", std::nullopt)};
    std::vector<std::string> paths;
    for (const auto& item : Selection::handoffItems(sessions, now, [](auto&) { return true; }))
        paths.push_back(item.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"/b-tie.md", "/ten.md", "/Undated.md", "/undated.md"}));

    const auto event = [](std::string text, std::optional<Instant> when) {
        return TessalyEvent{.at = when, .text = std::move(text)};
    };
    std::vector<std::string> texts;
    for (const auto& e : Selection::recentEvents({event("x", std::nullopt), event("t1", now),
                                                  event("y", std::nullopt), event("t2", now),
                                                  event("z", std::nullopt)},
                                                 4))
        texts.push_back(*e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"t1", "t2", "x", "y"}));
}
