#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "NotificationText.hpp"
#include "TrayHost.hpp"

using namespace menubar;

// Readings in turn, "+" a tray host, "-" none; what the app does at each.
TEST(TrayHost, OneReportPerEpisodeAndTheWindowFollowsTheHost) {
    struct Case {
        std::string readings;
        std::string expected; // o: open + report, c: close, .: nothing
    };
    const std::vector<Case> cases{
        {"+++", "..."}, {"--+", "o.c"}, {"+-+-", ".oco"}, {"-", "o"}, {"+--+", ".o.c"},
    };
    for (const auto& [readings, expected] : cases) {
        TrayHostTracker tracker;
        std::string done;
        for (const char reading : readings) {
            const auto response = TrayHostResponse::to(tracker.observe(reading == '+'));
            switch (response.window) {
            case TrayHostResponse::Window::open:
                done += 'o';
                EXPECT_EQ(response.logLine, std::string(NoTrayCopy::advice));
                EXPECT_EQ(response.notificationTitle, "tessaly menu bar icon has no tray");
                EXPECT_TRUE(response.notificationBody->starts_with("No system tray found; on "));
                EXPECT_EQ(statusWindowNote(tracker), std::string(NoTrayCopy::windowNote));
                break;
            case TrayHostResponse::Window::close:
                done += 'c';
                EXPECT_EQ(response.logLine, "system tray found; the status item is shown there");
                EXPECT_FALSE(response.notificationTitle);
                EXPECT_EQ(statusWindowNote(tracker), std::nullopt);
                break;
            case TrayHostResponse::Window::keep:
                done += '.';
                EXPECT_EQ(response, TrayHostResponse{});
                break;
            }
        }
        EXPECT_EQ(done, expected) << readings;
    }
    EXPECT_EQ(NoTrayCopy::advice,
              "no system tray found; on GNOME enable the AppIndicator extension, elsewhere add a "
              "tray or status-notifier widget to your panel");
}

// The route lines are pinned where a real server answers (tests/desktop).
TEST(TrayHost, NotificationBodyMarkup) {
    const std::vector<std::pair<std::string, std::string>> bodies{
        {"", ""},
        {"plain text", "plain text"},
        {"<b>bold</b> & \"quoted\" 'too'", "&lt;b&gt;bold&lt;/b&gt; &amp; \"quoted\" 'too'"},
        {"&amp; stays text", "&amp;amp; stays text"},
        {"ü → 72%", "ü → 72%"},
    };
    for (const auto& [body, expected] : bodies)
        EXPECT_EQ(NotificationText::escapeMarkup(body), expected);
}
