#include "SingleInstance.hpp"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

#include "Log.hpp"
#include "ProcessEnvironment.hpp"
#include "system/InstanceKey.hpp"

namespace menubar::app {

namespace {

constexpr QByteArrayView showRequest = "show\n";
constexpr QByteArrayView windowRequest = "window\n";
constexpr QByteArrayView shownReply = "shown\n";
// How long a later start waits for a first one that is still starting up.
constexpr int answerWaitMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString& folder, const QString& key, QObject* parent)
    : QObject(parent), socketPath_(folder + QLatin1Char('/') + key + QStringLiteral(".socket")),
      lock_(folder + QLatin1Char('/') + key + QStringLiteral(".lock")) {
    // Only a holder that no longer runs makes the lock stale; an app that has
    // been running for days still holds it.
    lock_.setStaleLockTime(0);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

SingleInstance::~SingleInstance() = default;

std::unique_ptr<SingleInstance> SingleInstance::forThisSession() {
    // Qt makes sure the runtime folder exists and is the user's alone.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const std::string key = InstanceKey::name(::getuid(), processEnvironment());
    return std::make_unique<SingleInstance>(folder, QString::fromStdString(key));
}

bool SingleInstance::claim() {
    if (!lock_.tryLock(0)) {
        if (lock_.error() == QLockFile::LockFailedError) {
            return false;
        }
        log("cannot lock " + lock_.fileName().toStdString() +
            "; starting without the one-instance check");
        return true;
    }
    // A socket file left by a crashed holder would make listen fail.
    QLocalServer::removeServer(socketPath_);
    if (!server_.listen(socketPath_)) {
        log("cannot listen on " + socketPath_.toStdString() + ": " +
            server_.errorString().toStdString());
    }
    return true;
}

bool SingleInstance::askRunningToShow(bool window) {
    const QByteArrayView request = window ? windowRequest : showRequest;
    const QDeadlineTimer deadline(answerWaitMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(request.data(), request.size());
            while (socket.bytesToWrite() > 0 &&
                   socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            }
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            }
            return socket.readLine() == shownReply.toByteArray();
        }
        // The running app has the lock but may not listen yet.
        QThread::msleep(100);
    }
    return false;
}

void SingleInstance::answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        return;
    }
    const QByteArray request = socket->readLine();
    if (request == showRequest.toByteArray() || request == windowRequest.toByteArray()) {
        emit showRequested(request == windowRequest.toByteArray());
        socket->write(shownReply.data(), shownReply.size());
    }
    socket->disconnectFromServer();
}

} // namespace menubar::app
