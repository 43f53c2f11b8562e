// When a session waiting for input is announced, over sequences of polls.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "status/Attention.hpp"
#include "status/StatusDecoder.hpp"

using namespace menubar;

namespace {

const Instant start = *StatusDecoder::parseDate("2024-05-01T10:00:00Z");

// "api! box/web": api waits for input on this machine, web runs on box.
std::vector<AttentionPoll> polls(const std::string& sessions, bool current) {
    std::vector<AttentionPoll> result{{"", current, {}}, {"box", current, {}}};
    std::istringstream words(sessions);
    for (std::string word; words >> word;) {
        const bool remote = word.starts_with("box/");
        std::string name = remote ? word.substr(4) : word;
        const bool waiting = name.ends_with('!');
        if (waiting)
            name.pop_back();
        result[remote ? 1 : 0].sessions.push_back(
            {.shortId = name,
             .dirName = name,
             .lifecycle = waiting ? SessionLifecycle::needsInput : SessionLifecycle::running});
    }
    return result;
}

std::string shown(const AttentionKey& key) {
    if (key.kind != AttentionKey::Kind::session)
        return key.kind == AttentionKey::Kind::summary ? "summary" : "more";
    return key.machine.empty() ? key.session : key.machine + "/" + key.session;
}

} // namespace

TEST(Attention, AnnouncesSessionsEnteringNeedsInputOncePerEpisode) {
    struct Poll {
        int second;
        std::string sessions;
        std::vector<std::string> notices = {}; // session notices by key, others by title (body)
        std::vector<std::string> withdrawn = {};
        bool current = true, muted = false;
    };
    const std::vector<std::pair<const char*, std::vector<Poll>>> cases{
        {"waiting at start-up: one summary, gone when none waits",
         {{0, "api! web! doc", {"2 sessions need input (api, web)"}},
          {3, "api web! doc"},
          {6, "api web doc", {}, {"summary"}},
          {40, "api! web doc", {"api"}}}},
        {"a flap within 30 s notifies once; a later entry again",
         {{0, "api"},
          {3, "api!", {"api"}},
          {6, "api", {}, {"api"}},
          {9, "api!"},
          {12, "api"},
          {40, "api!", {"api"}}}},
        {"entering while the menu is open counts as seen",
         {{0, "api"},
          {3, "api!", {}, {}, true, true},
          {6, "api!"},
          {9, "api"},
          {40, "api!", {"api"}}}},
        {"a stale daemon neither enters, leaves nor forgets",
         {{0, "api"},
          {3, "api!", {}, {}, false},
          {6, "api!", {"api"}},
          {9, "", {}, {}, false},
          {12, "", {}, {"api"}}}},
        {"not current at start-up: the first current poll sums up",
         {{0, "api!", {}, {}, false}, {3, "api!", {"1 session needs input (api)"}}}},
        {"a vanished session is forgotten, flap and all",
         {{0, "api"}, {3, "api!", {"api"}}, {6, "", {}, {"api"}}, {9, "api!", {"api"}}}},
        {"machines keep their sessions apart",
         {{0, "api box/api"}, {3, "api box/api!", {"box/api"}}, {6, "api! box/api!", {"api"}}}},
        {"five a minute, the rest folded into one that replaces the last",
         {{0, ""},
          {3, "a! b! c! d!", {"a", "b", "c", "d"}},
          {6, "a! b! c! d! e! f! g!", {"e", "and 2 more sessions need input (f, g)"}},
          {9, "a! b! c! d! e! f! g! h!", {"and 3 more sessions need input (f, g, h)"}},
          {12, "a! b! c! d! e!", {}, {"more"}},
          {66, "a! b! c! d! e! i!", {"i"}}}},
    };
    for (const auto& [name, steps] : cases) {
        SCOPED_TRACE(name);
        Attention attention;
        for (const Poll& poll : steps) {
            SCOPED_TRACE("second " + std::to_string(poll.second));
            const AttentionStep step =
                attention.observe(polls(poll.sessions, poll.current), poll.muted,
                                  start + std::chrono::seconds(poll.second));
            std::vector<std::string> notices, withdrawn;
            for (const AttentionNotice& notice : step.notices)
                notices.push_back(notice.key.kind == AttentionKey::Kind::session
                                      ? shown(notice.key)
                                      : notice.title + " (" + notice.body + ")");
            for (const AttentionKey& key : step.withdrawn)
                withdrawn.push_back(shown(key));
            EXPECT_EQ(notices, poll.notices);
            EXPECT_EQ(withdrawn, poll.withdrawn);
        }
    }
}
