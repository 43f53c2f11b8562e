#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system/NotificationText.hpp"

using namespace menubar;

// The markup rule of the notification bodies the tray sends. What each tray-host
// reading reports is pinned where the controller runs the tracker
// (app/test_status_menu_controller), the route lines where a real server answers
// (tests/desktop).
TEST(NotificationText, BodyMarkup) {
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
