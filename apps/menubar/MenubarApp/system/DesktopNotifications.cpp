#include "DesktopNotifications.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "QtText.hpp"
#include "system/AutostartEntry.hpp"
#include "system/NotificationText.hpp"

namespace menubar::app {

namespace {

const QString path = QStringLiteral("/org/freedesktop/Notifications");

QString service() {
    return qs(NotificationText::service);
}

} // namespace

DesktopNotifications::DesktopNotifications(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), bus_(setup_.bus()) {
    bus_.connect(service(), path, service(), QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(service(), path, service(), QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifications::show(const std::string& tag, const std::string& title,
                                const std::string& body, Answered answered) {
    // A newer notice for a tag still waiting takes the older one's place.
    for (Pending& pending : queue_) {
        if (pending.tag == tag) {
            pending = {tag, title, body, std::move(answered)};
            return;
        }
    }
    queue_.push_back({tag, title, body, std::move(answered)});
    sendNext();
}

void DesktopNotifications::close(const std::string& tag) {
    std::erase_if(queue_, [&](const Pending& pending) { return pending.tag == tag; });
    if (waiting_ && inFlight_ == tag) {
        closeInFlight_ = true;
        return;
    }
    const auto found = ids_.find(tag);
    if (found != ids_.end()) {
        closeId(found->second);
        ids_.erase(found);
    }
}

void DesktopNotifications::sendNext() {
    if (waiting_ || queue_.empty())
        return;
    Pending next = std::move(queue_.front());
    queue_.pop_front();
    const auto shown = ids_.find(next.tag);
    QDBusMessage call =
        QDBusMessage::createMethodCall(service(), path, service(), QStringLiteral("Notify"));
    call << qs(NotificationText::appName) << (shown == ids_.end() ? 0u : shown->second) << QString()
         << qs(next.title) << qs(NotificationText::escapeMarkup(next.body))
         << QStringList{QStringLiteral("default"), QStringLiteral("Focus")}
         << QVariantMap{{QStringLiteral("desktop-entry"),
                         QString::fromUtf8(AutostartEntry::desktopId)}}
         << -1;
    waiting_ = true;
    inFlight_ = next.tag;
    closeInFlight_ = false;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, setup_.replyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, next = std::move(next)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                waiting_ = false;
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    const QDBusError error = reply.error();
                    next.answered(
                        (error.name().isEmpty() ? error.message() : error.name()).toStdString());
                } else if (closeInFlight_) {
                    closeId(reply.value());
                    ids_.erase(next.tag);
                    next.answered({});
                } else {
                    ids_[next.tag] = reply.value();
                    next.answered({});
                }
                sendNext();
            });
}

void DesktopNotifications::closeId(uint id) {
    QDBusMessage call = QDBusMessage::createMethodCall(service(), path, service(),
                                                       QStringLiteral("CloseNotification"));
    call << id;
    // Sent without asking for a reply: nothing is done with it, and waiting for
    // one would wake the app once more for every notice withdrawn.
    bus_.send(call);
}

void DesktopNotifications::actionInvoked(uint id, const QString& action) {
    if (action != QLatin1String("default"))
        return;
    for (const auto& [tag, shown] : ids_)
        if (shown == id) {
            emit activated(qs(tag));
            return;
        }
}

void DesktopNotifications::notificationClosed(uint id, uint) {
    std::erase_if(ids_, [id](const auto& entry) { return entry.second == id; });
}

} // namespace menubar::app
