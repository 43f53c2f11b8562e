#include "AttentionNotices.hpp"

#include <QSettings>
#include <QSystemTrayIcon>

#include "app/system/Log.hpp"
#include "app/system/QtText.hpp"
#include "app/system/StoredFlag.hpp"

namespace menubar::app {

AttentionNotices::AttentionNotices(Setup setup, QSystemTrayIcon* statusItem, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), statusItem_(statusItem) {
    if (statusItem)
        connect(statusItem, &QSystemTrayIcon::messageClicked, this, [this] { focus(balloon_); });
}

NotifySetting AttentionNotices::setting() const {
    if (!stored_) {
        stored_ = storedFlag(*setup_.settings(), NotifySetting::defaultsKey);
    }
    if (!setting_) {
        setting_ = NotifySetting::resolve(setup_.environment(), *stored_);
    }
    return *setting_;
}

void AttentionNotices::toggle() {
    const std::unique_ptr<QSettings> settings = setup_.settings();
    settings->setValue(qs(NotifySetting::defaultsKey), !setting().enabled);
    settings->sync();
    reread(true);
}

std::string AttentionNotices::tag(const AttentionKey& key) {
    switch (key.kind) {
    case AttentionKey::Kind::session:
        return "session\x1f" + key.machine + "\x1f" + key.session;
    case AttentionKey::Kind::summary:
        return "summary";
    case AttentionKey::Kind::more:
        return "more";
    }
    return {};
}

void AttentionNotices::observe(const StatusFile* file, const DaemonState& state, bool menuIsOpen,
                               Instant now) {
    observe({{"", state.isRunning(), file ? file->sessions : std::vector<SessionStatus>{}}},
            menuIsOpen, now);
}

void AttentionNotices::observe(const std::vector<AttentionPoll>& polls, bool menuIsOpen,
                               Instant now) {
    const AttentionStep step = attention_.observe(polls, menuIsOpen || !setting().enabled, now);
    for (const AttentionKey& key : step.withdrawn) {
        const std::string shown = tag(key);
        shown_.erase(shown);
        if (desktop_)
            desktop_->close(shown);
    }
    for (const AttentionNotice& notice : step.notices)
        send(notice);
}

void AttentionNotices::send(const AttentionNotice& notice) {
    const std::string shown = tag(notice.key);
    shown_[shown] = notice;
    if (const auto cmux = Cmux::path(setup_.cmux)) {
        CommandRunner::run(
            *cmux, {"notify", "--title", notice.title, "--body", notice.body},
            {{"CMUX_QUIET", "1"}}, [](const CommandResult&) {}, setup_.cmux.timeLimit);
        return;
    }
    if (!desktop()) {
        Notifier::notify(
            notice.title, notice.body, [](const CommandResult&) {}, setup_.cmux);
        return;
    }
    desktop_->show(shown, notice.title, notice.body,
                   [this, shown, notice](const std::string& error) {
                       if (error.empty())
                           return;
                       if (statusItem_ && statusItem_->isVisible() &&
                           QSystemTrayIcon::isSystemTrayAvailable()) {
                           balloon_ = shown;
                           statusItem_->showMessage(qs(notice.title), qs(notice.body));
                           return;
                       }
                       log("no notification service answered (" + error + "); \"" + notice.title +
                           "\" not shown");
                   });
}

DesktopNotifications* AttentionNotices::desktop() {
#ifndef Q_OS_MACOS
    // Made when the first notice goes out: its subscriptions to the service's
    // signals ask the bus, and at start-up that would delay the icon's showing
    // for notices that come late or never.
    if (!desktop_) {
        desktop_ = new DesktopNotifications(setup_.desktop, this);
        connect(desktop_, &DesktopNotifications::activated, this,
                [this](const QString& tag) { focus(tag.toStdString()); });
    }
#endif
    return desktop_;
}

void AttentionNotices::focus(const std::string& tag) {
    const auto found = shown_.find(tag);
    if (found == shown_.end() || !found->second.workspaceId || found->second.workspaceId->empty())
        return;
    setup_.focus(*found->second.workspaceId, found->second.surfaceId, [] {});
}

} // namespace menubar::app
