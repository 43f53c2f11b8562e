#include "FailureNotice.hpp"

namespace menubar::FailureNotices {

namespace {

// The line that says what went wrong: the one where the tool names itself
// (xdg-open's "no method available" comes last, after a line for every browser
// it tried), else the runner's own "timed out after" line, else the first, where
// tools such as systemctl put the error before their hints.
std::string_view telling(std::string_view text, std::string_view tool) {
    std::string_view first;
    std::string_view timedOut;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.starts_with(tool) && line.substr(tool.size()).starts_with(":"))
            return line;
        if (line.starts_with("timed out after"))
            timedOut = line;
        if (first.empty())
            first = line;
    }
    return timedOut.empty() ? first : timedOut;
}

std::string_view verb(ServiceRequest request) {
    switch (request) {
    case ServiceRequest::start:
        return "start";
    case ServiceRequest::restart:
        return "restart";
    case ServiceRequest::stop:
        return "stop";
    }
    return "start";
}

std::string_view what(OpenTarget target) {
    switch (target) {
    case OpenTarget::logs:
        return "the logs folder";
    case OpenTarget::statusFile:
        return "the status file";
    case OpenTarget::handoff:
        return "the handoff file";
    }
    return "the file";
}

} // namespace

std::string reason(std::string_view tool, const CommandOutcome& outcome) {
    const std::string said(telling(outcome.standardError, tool));
    const std::string name(tool);
    if (outcome.status == -1)
        return name + " could not be started" + (said.empty() ? "" : " (" + said + ")");
    if (said.empty())
        return name + " exited with status " + std::to_string(outcome.status);
    return said.starts_with(name + ":") ? said : name + ": " + said;
}

std::optional<FailureNotice> serviceRequest(ServiceManager manager, ServiceRequest request,
                                            const CommandOutcome& outcome) {
    if (manager == ServiceManager::launchd || outcome.succeeded())
        return std::nullopt;
    return FailureNotice{"Could not " + std::string(verb(request)) + " the daemon",
                         reason("systemctl", outcome)};
}

std::optional<FailureNotice> opening(OpenTarget target, const std::string& path,
                                     std::string_view tool, const CommandOutcome& outcome) {
    if (outcome.succeeded())
        return std::nullopt;
    return FailureNotice{"Could not open " + std::string(what(target)),
                         reason(tool, outcome) + "\n" + path};
}

std::optional<FailureNotice> focusWithoutCmux(ServiceManager manager) {
    if (manager == ServiceManager::launchd)
        return std::nullopt;
    return FailureNotice{"Could not focus the session",
                         "cmux is not installed; focusing a session's workspace needs it"};
}

} // namespace menubar::FailureNotices
