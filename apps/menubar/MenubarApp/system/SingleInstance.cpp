#include "SingleInstance.hpp"

#include <cerrno>
#include <cstring>

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
// Longer than any request: a peer that sends more is not one of us.
constexpr qsizetype longestRequest = 64;

// The socket's address; false when the path does not fit one.
bool addressOf(const QString& path, sockaddr_un& address) {
    const QByteArray bytes = path.toLocal8Bit();
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (bytes.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

// macOS has neither accept4 nor the socket type flags, so both kinds of socket
// are made close-on-exec (a service command must not inherit them) by fcntl.
int prepared(int socket, bool nonBlocking) {
    if (socket >= 0) {
        ::fcntl(socket, F_SETFD, FD_CLOEXEC);
        if (nonBlocking)
            ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
#ifdef SO_NOSIGPIPE
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    }
    return socket;
}

#ifdef MSG_NOSIGNAL
constexpr int sendFlags = MSG_NOSIGNAL;
#else
constexpr int sendFlags = 0;
#endif

// A peer that has gone away must cost a failed write, not the SIGPIPE that ends the app.
void writeAll(int socket, QByteArrayView bytes) {
    while (!bytes.isEmpty()) {
        const ssize_t written =
            ::send(socket, bytes.data(), static_cast<size_t>(bytes.size()), sendFlags);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes = bytes.sliced(written);
    }
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, const QString& key, QObject* parent)
    : QObject(parent), socketPath_(folder + QLatin1Char('/') + key + QStringLiteral(".socket")),
      lock_(folder + QLatin1Char('/') + key + QStringLiteral(".lock")) {
    // Only a holder that no longer runs makes the lock stale; an app that has
    // been running for days still holds it.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (listening_ >= 0) {
        ::close(listening_);
        ::unlink(socketPath_.toLocal8Bit().constData());
    }
}

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
    if (!listen()) {
        log("cannot listen on " + socketPath_.toStdString() + ": " + std::strerror(errno));
    }
    return true;
}

bool SingleInstance::listen() {
    sockaddr_un address{};
    if (!addressOf(socketPath_, address)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int socket = prepared(::socket(AF_UNIX, SOCK_STREAM, 0), true);
    if (socket < 0)
        return false;
    // A socket file left by a crashed holder would make bind fail; the lock says
    // no other app is using it. Only the user may connect.
    ::unlink(address.sun_path);
    const mode_t mask = ::umask(077);
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::listen(socket, 8) != 0) {
        const int error = errno;
        ::close(socket);
        errno = error;
        return false;
    }
    listening_ = socket;
    auto* notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptWaiting);
    return true;
}

void SingleInstance::acceptWaiting() {
    for (;;) {
        const int connection = prepared(::accept(listening_, nullptr, nullptr), true);
        if (connection < 0)
            return;
        auto* notifier = new QSocketNotifier(connection, QSocketNotifier::Read, this);
        auto received = std::make_shared<QByteArray>();
        connect(
            notifier, &QSocketNotifier::activated, this,
            [this, connection, notifier, received] { readFrom(connection, notifier, *received); });
    }
}

void SingleInstance::readFrom(int connection, QSocketNotifier* notifier, QByteArray& received) {
    char buffer[longestRequest];
    const ssize_t count = ::read(connection, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (count > 0)
        received.append(buffer, count);
    if (count > 0 && !received.contains('\n') && received.size() < longestRequest)
        return;
    if (received == showRequest.toByteArray() || received == windowRequest.toByteArray()) {
        emit showRequested(received == windowRequest.toByteArray());
        writeAll(connection, shownReply);
    }
    notifier->setEnabled(false);
    notifier->deleteLater();
    ::close(connection);
}

bool SingleInstance::askRunningToShow(bool window) {
    sockaddr_un address{};
    if (!addressOf(socketPath_, address))
        return false;
    const QByteArrayView request = window ? windowRequest : showRequest;
    const QDeadlineTimer deadline(answerWaitMs);
    while (!deadline.hasExpired()) {
        const int socket = prepared(::socket(AF_UNIX, SOCK_STREAM, 0), false);
        if (socket < 0)
            return false;
        if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            writeAll(socket, request);
            QByteArray reply;
            pollfd readable{.fd = socket, .events = POLLIN, .revents = 0};
            while (!reply.contains('\n') && reply.size() < longestRequest &&
                   ::poll(&readable, 1, static_cast<int>(deadline.remainingTime())) > 0) {
                char buffer[longestRequest];
                const ssize_t count = ::read(socket, buffer, sizeof buffer);
                if (count <= 0)
                    break;
                reply.append(buffer, count);
            }
            ::close(socket);
            return reply == shownReply.toByteArray();
        }
        ::close(socket);
        // The running app has the lock but may not listen yet.
        QThread::msleep(100);
    }
    return false;
}

} // namespace menubar::app
