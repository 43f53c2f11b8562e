// What the user reads when a service request, an open or a focus could not be done,
// and how a notification body reaches the notification server.

#include <gtest/gtest.h>

#include "system/FailureNotice.hpp"
#include "system/NotificationText.hpp"

using namespace menubar;

// Nothing on success or under launchd; otherwise the tool's own last words,
// named once, or what is known when it said nothing.
TEST(FailureNotices, SayWhatFailedInTheToolsOwnWords) {
    const auto systemd = ServiceManager::systemd;
    // Each notice with its line, if there is one.
    using Row = std::tuple<const char*, std::optional<FailureNotice>, std::optional<std::string>>;
    const Row cases[] = {
        {"no user manager to talk to",
         FailureNotices::serviceRequest(systemd, ServiceRequest::stop,
                                        {1, "",
                                         "Failed to connect to bus: No medium found\n"
                                         "See 'systemctl --user status' for details."}),
         "Could not stop the daemon: systemctl: Failed to connect to bus: No medium found"},
        {"a timed-out request says so, not its first words",
         FailureNotices::serviceRequest(systemd, ServiceRequest::restart,
                                        {143, "", "Job queued\ntimed out after 30 s"}),
         "Could not restart the daemon: systemctl: timed out after 30 s"},
        {"systemctl not there",
         FailureNotices::serviceRequest(systemd, ServiceRequest::start,
                                        {-1, "", "not found on PATH or at /usr/bin/systemctl"}),
         "Could not start the daemon: systemctl could not be started (not found on PATH or at "
         "/usr/bin/systemctl)"},
        {"a silent failure",
         FailureNotices::serviceRequest(systemd, ServiceRequest::start, {5, "", ""}),
         "Could not start the daemon: systemctl exited with status 5"},
        {"a started unit",
         FailureNotices::serviceRequest(systemd, ServiceRequest::start, {0, "", ""}), std::nullopt},
        {"launchd keeps to the log and the next poll",
         FailureNotices::serviceRequest(ServiceManager::launchd, ServiceRequest::stop, {}),
         std::nullopt},
        {"no handler, and the tool names itself",
         FailureNotices::opening(OpenTarget::logs, "/s/logs", "xdg-open",
                                 {3, "",
                                  "/usr/bin/xdg-open: 882: w3m: not found\n"
                                  "xdg-open: no method available"}),
         "Could not open the logs folder: xdg-open: no method available\n/s/logs"},
        {"cmux missing on Linux", FailureNotices::focusWithoutCmux(systemd),
         "Could not focus the session: cmux is not installed; focusing a session's workspace "
         "needs it"},
        {"cmux missing on macOS", FailureNotices::focusWithoutCmux(ServiceManager::launchd),
         std::nullopt},
    };
    for (const auto& [name, notice, expected] : cases)
        EXPECT_EQ(notice ? std::optional(notice->line()) : std::nullopt, expected) << name;
}

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
