#pragma once

// One app per user session. The first start takes a lock file and listens on a
// local socket, both named by InstanceKey in the user's runtime folder; a later
// start finds the lock held, asks the first over the socket to show itself and
// ends. The lock records its holder's process id, so one left by a crash is
// recognised as stale and taken over: it never blocks a start.
//
// The socket is a plain Unix stream socket watched by a QSocketNotifier: Qt's
// local-socket classes would bring QtNetwork, and with it Kerberos and the
// proxy library, into every start for one line each way (over a mebibyte
// resident for as long as the app runs).

#include <memory>

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace menubar::app {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `folder` holds the lock and the socket; `key` names them.
    SingleInstance(const QString& folder, const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The one for this user and display, in the runtime folder.
    static std::unique_ptr<SingleInstance> forThisSession();

    // Whether this process is the session's one app: true when it took the lock
    // (it then listens for later starts), and when the lock cannot be used at
    // all (a read-only folder must not keep the app from starting).
    bool claim();

    // From a later start: asks the running app to show itself (its window,
    // when `window`), waiting a few seconds for it to begin listening. Whether
    // it answered.
    bool askRunningToShow(bool window);

signals:
    // Another start asked this one to show itself, or its window (--window).
    void showRequested(bool window);

private:
    bool listen();
    void acceptWaiting();
    void readFrom(int connection, QSocketNotifier* notifier, QByteArray& received);

    QString socketPath_;
    QLockFile lock_;
    int listening_ = -1;
};

} // namespace menubar::app
