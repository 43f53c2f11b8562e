#pragma once

// What the user is told when something they asked for from the menu or the
// settings window could not be done: a service request the manager refused, a
// file no application opened, a session that could not be focused. A title
// naming what failed and a body with why, in the failing tool's own words where
// it gave any; `line()` is both on one line, for the settings footer.

#include <optional>
#include <string>
#include <string_view>

#include "CommandOutcome.hpp"
#include "ServiceManager.hpp"

namespace menubar {

enum class ServiceRequest { start, restart, stop };

// What the menu opens with the desktop's file handler.
enum class OpenTarget { logs, statusFile, handoff };

struct FailureNotice {
    std::string title;
    std::string body;

    std::string line() const { return title + ": " + body; }
    bool operator==(const FailureNotice&) const = default;
};

namespace FailureNotices {

// Why `tool` failed: the line of its standard error where it names itself, else
// the runner's time-out line, else the first (prefixed with the tool's name), "could not be
// started" for status -1, or its exit status when it said nothing.
std::string reason(std::string_view tool, const CommandOutcome& outcome);

// Nothing when the request succeeded, and nothing under launchd, where the next
// poll shows how it went and the log has the details; under systemd, e.g.
// "Could not stop the daemon" / "systemctl: Failed to connect to bus".
std::optional<FailureNotice> serviceRequest(ServiceManager manager, ServiceRequest request,
                                            const CommandOutcome& outcome);

// Nothing when `tool` opened `path`.
std::optional<FailureNotice> opening(OpenTarget target, const std::string& path,
                                     std::string_view tool, const CommandOutcome& outcome);

// A session chosen while cmux is not installed; nothing under launchd, where
// that is only logged.
std::optional<FailureNotice> focusWithoutCmux(ServiceManager manager);

// Beneath a session's own tooltip where focusing it cannot work.
inline constexpr std::string_view focusNeedsCmux =
    "Focusing a session's workspace needs cmux, which is not installed.";

} // namespace FailureNotices

} // namespace menubar
