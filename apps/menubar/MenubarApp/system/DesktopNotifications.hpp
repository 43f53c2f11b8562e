#pragma once

// Notifications on org.freedesktop.Notifications that the app keeps track of:
// each has a tag of the caller's choosing, is sent with the "default" action
// ("Focus") and the desktop-entry hint, replaces the one shown before under the
// same tag, and can be closed. Invoking the default action emits `activated`
// with the tag.
//
// At most one Notify call waits for the service at a time: a service that never
// answers costs one call per reply limit, not one per notice. Later notices wait
// in order (one per tag, the newest), and a close for a notice still waiting
// takes it out of the queue. Main thread only.

#include <deque>
#include <functional>
#include <map>
#include <string>

#include <QDBusConnection>
#include <QObject>

namespace menubar::app {

class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    struct Setup {
        std::function<QDBusConnection()> bus = [] { return QDBusConnection::sessionBus(); };
        int replyTimeoutMs = 5000;
    };
    // Called once per notice sent, when the service took it (`error` empty) or
    // not; never for one replaced or closed before it was sent.
    using Answered = std::function<void(const std::string& error)>;

    DesktopNotifications(Setup setup, QObject* parent);

    void show(const std::string& tag, const std::string& title, const std::string& body,
              Answered answered);
    void close(const std::string& tag);

signals:
    void activated(const QString& tag);

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    struct Pending {
        std::string tag, title, body;
        Answered answered;
    };
    void sendNext();
    void closeId(uint id);

    Setup setup_;
    QDBusConnection bus_;
    std::deque<Pending> queue_;
    bool waiting_ = false;
    std::map<std::string, uint> ids_; // the server's id of each tag on screen
    std::string inFlight_;            // the tag whose Notify is under way
    bool closeInFlight_ = false;      // closed while under way: close once it has an id
};

} // namespace menubar::app
