#include "RemoteMachines.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Faces.hpp"
#include "system/DaemonCommand.hpp"

extern char** environ;

namespace menubar::bar {

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    CommandOutcome outcome;
};

void start(Child& child, const std::string& ssh, const std::vector<std::string>& arguments) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        child.outcome = {-1, "", "could not make a pipe"};
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(ssh.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int failed =
        posix_spawn(&child.pid, ssh.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    child.out = out[0];
    child.err = err[0];
    if (failed != 0) {
        child.pid = -1;
        child.outcome = {-1, "", "failed to launch " + ssh};
    }
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void drain(int& fd, std::string& text) {
    if (fd < 0)
        return;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        ::close(fd);
        fd = -1;
    }
}

// Reads every child until it has ended or the deadline has passed. An ended
// child's pipes may stay open: ssh's shared connection lives on in the
// background with its standard error, so the end of the child, not of its
// pipes, ends the read.
void collect(std::vector<Child>& children) {
    const auto deadline = std::chrono::steady_clock::now() + RemoteFetch::timeLimit;
    for (Child& child : children)
        for (const int fd : {child.out, child.err})
            if (fd >= 0)
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    for (;;) {
        std::vector<pollfd> fds;
        bool running = false;
        for (Child& child : children) {
            if (child.pid < 0)
                continue;
            int status = 0;
            if (::waitpid(child.pid, &status, WNOHANG) == child.pid) {
                child.outcome.status =
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                child.pid = -1;
                drain(child.out, child.outcome.standardOutput);
                drain(child.err, child.outcome.standardError);
                for (int* fd : {&child.out, &child.err})
                    if (*fd >= 0) {
                        ::close(*fd);
                        *fd = -1;
                    }
                continue;
            }
            running = true;
            for (const int fd : {child.out, child.err})
                if (fd >= 0)
                    fds.push_back({fd, POLLIN, 0});
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!running || left.count() <= 0)
            break;
        // Short waits, so an ended child is noticed while its pipes stay open.
        ::poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(left.count(), 20)));
        for (Child& child : children) {
            drain(child.out, child.outcome.standardOutput);
            drain(child.err, child.outcome.standardError);
        }
    }
    for (Child& child : children) {
        for (int* fd : {&child.out, &child.err})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        if (child.pid >= 0) {
            // Still there at the deadline: the same words as the app's runner.
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, nullptr, 0);
            child.pid = -1;
            child.outcome.status = 137;
            child.outcome.standardError +=
                "\ntimed out after " + std::to_string(RemoteFetch::timeLimit.count()) + " s";
        }
        child.outcome.standardOutput = trimmed(child.outcome.standardOutput);
        child.outcome.standardError = trimmed(child.outcome.standardError);
    }
}

} // namespace

Machines fetchMachines(const std::map<std::string, std::string>& environment,
                       const std::string& home, const TimeZone& timeZone) {
    Machines machines;
#ifdef __APPLE__
    const std::string path = MachinesFile::path(environment, home, true);
#else
    const std::string path = MachinesFile::path(environment, home, false);
#endif
    const FileSystem disk = FileSystem::real();
    std::optional<std::string> text;
    if (disk.exists(path)) {
        FileReadResult read = disk.readFile(path, 1024 * 1024);
        if (auto* bytes = std::get_if<std::string>(&read))
            text = std::move(*bytes);
    }
    machines.list = MachineList::resolve(environment, text);
    if (machines.list.machines.empty())
        return machines;

    const auto found = environment.find("PATH");
    const auto ssh = ExecutableLocator::resolve(
        "ssh", {}, found == environment.end() ? std::nullopt : std::optional(found->second),
        disk.isExecutable);
    const auto runtime = environment.find("XDG_RUNTIME_DIR");
    const std::string runtimeDirectory =
        runtime == environment.end() || runtime->second.empty() ? "/tmp" : runtime->second;
    std::vector<Child> children(machines.list.machines.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (ssh)
            start(children[i], *ssh,
                  RemoteFetch::arguments(machines.list.machines[i], runtimeDirectory));
        else
            children[i].outcome = {-1, "", "ssh: not found on PATH"};
    }
    collect(children);
    const Instant now = currentInstant();
    for (std::size_t i = 0; i < children.size(); ++i)
        machines.views.push_back(MachineView::of(
            machines.list.machines[i], MachineLink::from(children[i].outcome, now), now, timeZone));
    return machines;
}

int exitStatus(const MachineView& view) {
    return view.link.answered() ? bar::exitStatus(view.state) : 2;
}

} // namespace menubar::bar
