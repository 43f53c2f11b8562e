#pragma once

// Tells the user when a session starts waiting for input, by the core's
// Attention rule, and takes them there on a click. The notice goes through cmux
// when it is installed (its own notification, without ids or actions); on Linux
// else through the desktop's notification service, with a "Focus" action, closed
// when the session resumes; where no service answers, the tray icon's balloon,
// whose click focuses too. macOS uses its notifier as for every other notice.
//
// Owned by the status menu controller; main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QPointer>

#include "app/system/Cmux.hpp"
#include "app/system/DesktopNotifications.hpp"
#include "status/Attention.hpp"
#include "status/DaemonState.hpp"

class QSettings;
class QSystemTrayIcon;

namespace menubar::app {

class AttentionNotices : public QObject {
    Q_OBJECT

public:
    using Focus = std::function<void(const std::string& workspaceId,
                                     const std::optional<std::string>& surfaceId,
                                     std::function<void()> done)>;
    struct Setup {
        std::function<std::map<std::string, std::string>()> environment;
        std::function<std::unique_ptr<QSettings>()> settings;
        Focus focus;
        Cmux::Setup cmux;
        DesktopNotifications::Setup desktop;
    };

    AttentionNotices(Setup setup, QSystemTrayIcon* statusItem, QObject* parent = nullptr);

    // The environment, else the stored choice, else on; read when first asked,
    // after a toggle and at each `reread`, the stored choice only when the
    // settings file changed.
    NotifySetting setting() const;
    void toggle();
    // The poll's look at the stored choice, which another program may change.
    void reread(bool storedChoiceChanged) {
        setting_.reset();
        if (storedChoiceChanged)
            stored_.reset();
    }

    // One poll of this machine.
    void observe(const StatusFile* file, const DaemonState& state, bool menuIsOpen, Instant now);
    void observe(const std::vector<AttentionPoll>& polls, bool menuIsOpen, Instant now);

    // The tag a notice is shown under on the desktop.
    static std::string tag(const AttentionKey& key);

private:
    void send(const AttentionNotice& notice);
    void focus(const std::string& tag);
    // The desktop's notification service, where the app uses one (not on macOS).
    DesktopNotifications* desktop();

    Setup setup_;
    QPointer<QSystemTrayIcon> statusItem_;
    Attention attention_;
    DesktopNotifications* desktop_ = nullptr; // once a notice has gone out
    // Where each notice on screen, and the last balloon, take the user.
    std::map<std::string, AttentionNotice> shown_;
    std::string balloon_;
    mutable std::optional<NotifySetting> setting_;
    mutable std::optional<std::optional<bool>> stored_;
};

} // namespace menubar::app
