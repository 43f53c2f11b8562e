#include "FailureNotice.hpp"

namespace menubar::FailureNotices {

namespace {

std::string_view lastLine(std::string_view text) {
    const auto end = text.find_last_not_of("\r\n \t");
    if (end == std::string_view::npos)
        return {};
    text = text.substr(0, end + 1);
    const auto start = text.find_last_of('\n');
    return start == std::string_view::npos ? text : text.substr(start + 1);
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
    const std::string said(lastLine(outcome.standardError));
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
