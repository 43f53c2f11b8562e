#pragma once

// How the status menu answers an action that could not be done: the core words
// the failure (FailureNotices) and a desktop notification carries it to the
// user, who acted on the menu and is looking at the desktop, not the log. Every
// answer, failed or not, ends in the menu's refresh. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QPointer>
#include <QSystemTrayIcon>

#include "app/system/DaemonService.hpp"
#include "app/system/Desktop.hpp"
#include "app/system/Notifier.hpp"
#include "system/FailureNotice.hpp"

namespace menubar::app {

class ActionFeedback {
public:
    ActionFeedback(Notifier::Notify notify, QSystemTrayIcon* statusItem,
                   std::shared_ptr<const DaemonService> service, std::function<void()> refresh);

    void tell(const std::optional<FailureNotice>& notice) const;
    // Asks the daemon's service for a start, restart or stop.
    void request(ServiceRequest request) const;
    // Before a session is focused: whether cmux is there to do it.
    void focusing(bool cmuxInstalled) const;
    // Called only when nothing opened `path`.
    OpenFailed notOpened(OpenTarget target, const std::string& path) const;

private:
    Notifier::Notify notify_;
    std::shared_ptr<const DaemonService> service_;
    QPointer<QSystemTrayIcon> statusItem_;
    std::function<void()> refresh_;
};

} // namespace menubar::app
