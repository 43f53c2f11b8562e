#pragma once

// Tells the app when the machine has woken from sleep or the user's session has
// been unlocked, so the status item drops what it showed before the sleep at
// once rather than at the next tick. Linux: logind's PrepareForSleep(false) and
// a session's LockedHint turning false, on the system bus when there is one.
// macOS: the workspace's did-wake notification and the screen-unlocked
// distributed notification (WakeWatch_mac.mm). Where neither exists it stays
// silent; the poll timer still runs.
//
// Main thread only; `awake` is emitted on it.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace menubar::app {

class WakeWatch : public QObject {
    Q_OBJECT

public:
    explicit WakeWatch(QObject* parent = nullptr);
    ~WakeWatch() override;

signals:
    void awake();

private slots:
    void prepareForSleep(bool sleeping);
    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList& invalidated);

private:
    // The macOS observers, released with the watch.
    void* observers_ = nullptr;
};

} // namespace menubar::app
