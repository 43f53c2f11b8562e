#include "ChildProcess.hpp"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system/Environment.hpp"

extern char** environ;

namespace menubar::app::ChildProcess {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto killGrace = std::chrono::seconds(2);

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> merged = environmentOf(environ);
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

} // namespace

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

Spawned spawn(const std::string& executable, const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& extraEnvironment, Pipe& out, Pipe& err) {
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

// Drains both pipes as they fill (so a child writing much to either cannot stall),
// then reaps the child; all of it bounded by the time limit and its grace period.
Ended collect(pid_t pid, std::array<int, 2>& fds, std::array<std::string*, 2> sinks,
              std::chrono::milliseconds timeLimit, const Listener& listener) {
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
        std::array<pollfd, 3> polled{};
        nfds_t count = 0;
        std::array<std::size_t, 3> which{};
        for (std::size_t index = 0; index < fds.size(); ++index) {
            if (fds[index] >= 0) {
                polled[count] = pollfd{fds[index], POLLIN, 0};
                which[count] = index;
                ++count;
            }
        }
        // Heard once, it is left readable: only a running child listens for it.
        if (listener.stopFd >= 0 && phase == Phase::running) {
            polled[count] = pollfd{listener.stopFd, POLLIN, 0};
            which[count] = fds.size();
            ++count;
        }
        const int ready = ::poll(polled.data(), count,
                                 static_cast<int>(std::min<long long>(wait.count(), 60000)));
        if (ready <= 0)
            continue;
        for (nfds_t slot = 0; slot < count; ++slot) {
            if (polled[slot].revents == 0)
                continue;
            const std::size_t index = which[slot];
            if (index == fds.size()) {
                ended.stopped = true;
                signalGroup(SIGTERM);
                phase = Phase::terminating;
                deadline = Clock::now() + killGrace;
                continue;
            }
            const ssize_t got = ::read(fds[index], buffer.data(), buffer.size());
            if (got > 0 && index == 0 && listener.output) {
                listener.output(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
                if (phase == Phase::running)
                    deadline = Clock::now() + timeLimit;
            } else if (got > 0) {
                sinks[index]->append(buffer.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                closeFd(fds[index]);
            }
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

} // namespace menubar::app::ChildProcess
