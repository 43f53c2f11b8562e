#include "CommandRunner.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <exception>
#include <optional>

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QThreadPool>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Log.hpp"
#include "system/Environment.hpp"
#include "system/FileSystem.hpp"

extern char** environ;

namespace menubar::app::CommandRunner {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto killGrace = std::chrono::seconds(2);

std::string decoded(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
        .trimmed()
        .toStdString();
}

std::string commandLine(const std::string& executable, const Arguments& arguments) {
    std::string line = executable;
    for (const auto& argument : arguments) {
        line += ' ';
        line += argument;
    }
    return line;
}

std::string secondsText(std::chrono::milliseconds limit) {
    const auto count = limit.count();
    std::string text = std::to_string(count / 1000);
    if (const auto fraction = count % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

std::vector<std::string> mergedEnvironment(const Environment& extra) {
    Environment merged = environmentOf(environ);
    for (const auto& [name, value] : extra)
        merged[name] = value;
    std::vector<std::string> entries;
    entries.reserve(merged.size());
    for (const auto& [name, value] : merged)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    list.reserve(texts.size() + 1);
    for (auto& text : texts)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

struct Pipe {
    int read = -1;
    int write = -1;
};

// Close-on-exec from the start, so a child spawned by another thread at the same
// moment never inherits our ends (which would keep our reads from seeing the end).
std::optional<Pipe> makePipe() {
    int ends[2];
#if defined(__linux__)
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
#else
    if (::pipe(ends) != 0)
        return std::nullopt;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
#endif
    return Pipe{ends[0], ends[1]};
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

struct Spawned {
    pid_t pid = -1;
    int error = 0;
};

Spawned spawn(const std::string& executable, const Arguments& arguments,
              const Environment& extraEnvironment, Pipe& out, Pipe& err) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);

    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);

    // Its own process group lets the time limit end whatever the child started too.
    // Signal dispositions and the mask are reset: the app's (an ignored SIGPIPE,
    // a blocked signal of a Qt thread) must not leak into the child.
    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#if defined(__APPLE__)
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t signalSet;
    sigfillset(&signalSet);
    sigdelset(&signalSet, SIGKILL);
    sigdelset(&signalSet, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);

    std::vector<std::string> argumentTexts;
    argumentTexts.reserve(arguments.size() + 1);
    argumentTexts.push_back(executable);
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    auto argv = pointers(argumentTexts);
    auto environmentTexts = mergedEnvironment(extraEnvironment);
    auto envp = pointers(environmentTexts);

    Spawned spawned;
    spawned.error = ::posix_spawn(&spawned.pid, executable.c_str(), &actions, &attributes,
                                  argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

struct Ended {
    int waitStatus = 0;
    bool timedOut = false;
    int lastSignal = 0;
};

// Drains both pipes as they fill (so a child writing much to either cannot stall),
// then reaps the child; all of it bounded by the time limit and its grace period.
Ended collect(pid_t pid, std::array<int, 2> fds, std::array<std::string*, 2> sinks,
              std::chrono::milliseconds timeLimit) {
    Ended ended;
    enum class Phase { running, terminating, killing } phase = Phase::running;
    auto deadline = Clock::now() + timeLimit;
    auto reapPause = std::chrono::milliseconds(1);
    std::array<char, 65536> buffer{};

    const auto signalGroup = [&](int signal) {
        ended.lastSignal = signal;
        // The group may already be empty but for the unreaped child; that is fine.
        ::kill(-pid, signal);
    };

    for (;;) {
        const bool pipesOpen = fds[0] >= 0 || fds[1] >= 0;
        if (!pipesOpen) {
            const pid_t reaped = ::waitpid(pid, &ended.waitStatus, WNOHANG);
            if (reaped == pid || (reaped < 0 && errno != EINTR))
                return ended;
        }

        const auto now = Clock::now();
        if (now >= deadline) {
            switch (phase) {
            case Phase::running:
                ended.timedOut = true;
                signalGroup(SIGTERM);
                phase = Phase::terminating;
                deadline = now + killGrace;
                break;
            case Phase::terminating:
                signalGroup(SIGKILL);
                phase = Phase::killing;
                deadline = now + killGrace;
                break;
            case Phase::killing:
                // The child is dead; only something that left its group still holds
                // the pipes. Stop listening to it.
                closeFd(fds[0]);
                closeFd(fds[1]);
                while (::waitpid(pid, &ended.waitStatus, 0) < 0 && errno == EINTR) {
                }
                return ended;
            }
            continue;
        }

        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (!pipesOpen) {
            // The streams are closed but the child lives on; look again soon.
            wait = std::min(wait, reapPause);
            reapPause = std::min(reapPause * 2, std::chrono::milliseconds(50));
        }
        std::array<pollfd, 2> polled{};
        nfds_t count = 0;
        std::array<std::size_t, 2> which{};
        for (std::size_t index = 0; index < fds.size(); ++index) {
            if (fds[index] >= 0) {
                polled[count] = pollfd{fds[index], POLLIN, 0};
                which[count] = index;
                ++count;
            }
        }
        const int ready = ::poll(polled.data(), count,
                                 static_cast<int>(std::min<long long>(wait.count(), 60000)));
        if (ready <= 0)
            continue;
        for (nfds_t slot = 0; slot < count; ++slot) {
            if (polled[slot].revents == 0)
                continue;
            const std::size_t index = which[slot];
            const ssize_t got = ::read(fds[index], buffer.data(), buffer.size());
            if (got > 0)
                sinks[index]->append(buffer.data(), static_cast<std::size_t>(got));
            else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                closeFd(fds[index]);
        }
    }
}

std::int32_t statusOf(const Ended& ended) {
    if (ended.timedOut)
        return 128 + ended.lastSignal;
    if (WIFEXITED(ended.waitStatus))
        return WEXITSTATUS(ended.waitStatus);
    if (WIFSIGNALED(ended.waitStatus))
        return 128 + WTERMSIG(ended.waitStatus);
    return ended.waitStatus;
}

CommandResult launchFailure(const std::string& executable, const std::string& reason) {
    CommandResult result{-1, {}, "failed to launch " + executable + ": " + reason};
    log(result.standardError);
    return result;
}

QThreadPool& pool() {
    // Never destroyed: a child still running at quit must not hold the exit up.
    static QThreadPool* const shared = [] {
        auto* created = new QThreadPool;
        // Threads are cheap next to a blocked child; each command gets one.
        created->setMaxThreadCount(1024);
        created->setExpiryTimeout(30000);
        return created;
    }();
    return *shared;
}

} // namespace

CommandResult runSync(const std::string& executable, const Arguments& arguments,
                      const Environment& extraEnvironment, std::chrono::milliseconds timeLimit,
                      bool logSuccess) {
    auto out = makePipe();
    auto err = makePipe();
    if (!out || !err) {
        const int error = errno;
        if (out) {
            closeFd(out->read);
            closeFd(out->write);
        }
        return launchFailure(executable, systemErrorText(error));
    }

    const Spawned spawned = spawn(executable, arguments, extraEnvironment, *out, *err);
    closeFd(out->write);
    closeFd(err->write);
    if (spawned.error != 0) {
        closeFd(out->read);
        closeFd(err->read);
        return launchFailure(executable, systemErrorText(spawned.error));
    }

    std::string outBytes;
    std::string errBytes;
    const Ended ended =
        collect(spawned.pid, {out->read, err->read}, {&outBytes, &errBytes}, timeLimit);
    closeFd(out->read);
    closeFd(err->read);

    CommandResult result{statusOf(ended), decoded(outBytes), decoded(errBytes)};
    if (ended.timedOut) {
        if (!result.standardError.empty())
            result.standardError += '\n';
        result.standardError += "timed out after " + secondsText(timeLimit) + " s";
    }

    const std::string line = commandLine(executable, arguments);
    if (result.status == 0) {
        if (logSuccess)
            log("ok: " + line);
    } else if (result.standardError.empty())
        log("exit " + std::to_string(result.status) + ": " + line);
    else
        log("exit " + std::to_string(result.status) + ": " + line + " -- " + result.standardError);
    return result;
}

void run(const std::string& executable, const Arguments& arguments,
         const Environment& extraEnvironment, Completion completion,
         std::chrono::milliseconds timeLimit, bool logSuccess) {
    runInBackground([executable, arguments, extraEnvironment, timeLimit, logSuccess,
                     completion = std::move(completion)] {
        CommandResult result;
        try {
            result = runSync(executable, arguments, extraEnvironment, timeLimit, logSuccess);
        } catch (const std::exception& error) {
            // Out of memory and the like: the caller still hears back, once.
            result = launchFailure(executable, error.what());
        }
        runOnMainThread([completion, result] { completion(result); });
    });
}

void runInBackground(std::function<void()> work) {
    pool().start(std::move(work));
}

void runOnMainThread(std::function<void()> work) {
    if (auto* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

} // namespace menubar::app::CommandRunner
