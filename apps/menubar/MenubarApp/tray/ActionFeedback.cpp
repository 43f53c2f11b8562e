#include "ActionFeedback.hpp"

namespace menubar::app {

ActionFeedback::ActionFeedback(Notifier::Notify notify, QSystemTrayIcon* statusItem,
                               std::shared_ptr<const DaemonService> service,
                               std::function<void()> refresh)
    : notify_(std::move(notify)), service_(std::move(service)), statusItem_(statusItem),
      refresh_(std::move(refresh)) {}

void ActionFeedback::tell(const std::optional<FailureNotice>& notice) const {
    if (notice && notify_)
        notify_(notice->title, notice->body, statusItem_.data());
}

void ActionFeedback::request(ServiceRequest request) const {
    DaemonService::Done done = [feedback = *this, request, manager = service_->controls().manager](
                                   const CommandResult& result) {
        feedback.tell(FailureNotices::serviceRequest(manager, request, result.outcome()));
        feedback.refresh_();
    };
    switch (request) {
    case ServiceRequest::start:
        service_->start(std::move(done));
        return;
    case ServiceRequest::restart:
        service_->restart(std::move(done));
        return;
    case ServiceRequest::stop:
        service_->stop(std::move(done));
        return;
    }
}

void ActionFeedback::focusing(bool cmuxInstalled) const {
    if (!cmuxInstalled)
        tell(FailureNotices::focusWithoutCmux(service_->controls().manager));
}

OpenFailed ActionFeedback::notOpened(OpenTarget target, const std::string& path) const {
    return [feedback = *this, target, path](const std::string& tool, const CommandResult& result) {
        feedback.tell(FailureNotices::opening(target, path, tool, result.outcome()));
    };
}

} // namespace menubar::app
