#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system/NotificationText.hpp"

using namespace menubar;

// What each tray-host reading reports, opens and closes, with its texts, is
// pinned where the controller runs the tracker (app/test_status_menu_controller);
// here the markup rule of the notification bodies it sends. The route lines are
// pinned where a real server answers (tests/desktop).
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
