#include "RemoteMachines.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Faces.hpp"
#include "system/DaemonCommand.hpp"

extern char** environ;

namespace menubar::bar {

namespace {

using Clock = std::chrono::steady_clock;

// A child's end is heard here: its pipes may outlive it (ssh's shared
// connection lives on in the background with what it inherited), so the end of
// the child, not of its pipes, ends a fetch.
int childEnded[2] = {-1, -1};

void noteChildEnded(int) {
    const int saved = errno;
    [[maybe_unused]] const auto written = ::write(childEnded[1], "x", 1);
    errno = saved;
}

void listenForChildren() {
    if (childEnded[0] >= 0 || ::pipe2(childEnded, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = noteChildEnded;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// What is there to read now; false once the pipe has ended.
bool drain(int& fd, const std::function<void(std::string_view)>& sink) {
    if (fd < 0)
        return false;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        sink(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        closeFd(fd);
        return false;
    }
    return true;
}

} // namespace

MachineFetches::MachineFetches(const std::map<std::string, std::string>& environment,
                               const std::string& home, bool follow)
    : environment_(environment), follow_(follow) {
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
    list_ = MachineList::resolve(environment, text);
    for (const Machine& machine : list_.machines)
        fetches_.push_back(Fetch{machine});
    if (!fetches_.empty())
        listenForChildren();
}

MachineFetches::~MachineFetches() {
    for (Fetch& fetch : fetches_)
        if (fetch.pid > 0) {
            ::kill(fetch.pid, SIGKILL);
            ::waitpid(fetch.pid, nullptr, 0);
            closeFd(fetch.out);
            closeFd(fetch.err);
        }
}

void MachineFetches::start() {
    const auto now = Clock::now();
    for (Fetch& fetch : fetches_)
        if (fetch.pid < 0 && fetch.due <= now)
            launch(fetch);
}

void MachineFetches::launch(Fetch& fetch) {
    fetch.said.clear();
    fetch.frames = {};
    fetch.heard = false;
    fetch.ended = false;
    const auto found = environment_.find("PATH");
    const FileSystem disk = FileSystem::real();
    const auto ssh = ExecutableLocator::resolve(
        "ssh", {}, found == environment_.end() ? std::nullopt : std::optional(found->second),
        disk.isExecutable);
    if (!ssh) {
        fetch.said = "ssh: not found on PATH";
        return finish(fetch, -1);
    }
    const auto runtime = environment_.find("XDG_RUNTIME_DIR");
    const auto arguments = RemoteFetch::arguments(
        fetch.machine,
        runtime == environment_.end() || runtime->second.empty() ? "/tmp" : runtime->second);

    int out[2], err[2];
    fetch.said = "could not make a pipe";
    if (::pipe2(out, O_CLOEXEC | O_NONBLOCK) != 0)
        return finish(fetch, -1);
    if (::pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return finish(fetch, -1);
    }
    fetch.said.clear();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // A follow holds its stop signals back and ignores SIGPIPE; ssh must not
    // inherit either, or it would never hear that it is to end.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    std::vector<char*> argv{const_cast<char*>(ssh->c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int failed =
        posix_spawn(&fetch.pid, ssh->c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    fetch.out = out[0];
    fetch.err = err[0];
    fetch.silentUntil = Clock::now() + RemoteFetch::timeLimit;
    if (failed != 0) {
        fetch.pid = -1;
        fetch.said = "failed to launch " + *ssh;
        finish(fetch, -1);
    }
}

bool MachineFetches::running() const {
    return std::any_of(fetches_.begin(), fetches_.end(),
                       [](const Fetch& fetch) { return fetch.pid > 0; });
}

std::vector<pollfd> MachineFetches::descriptors() const {
    std::vector<pollfd> fds;
    if (childEnded[0] >= 0 && running())
        fds.push_back({childEnded[0], POLLIN, 0});
    for (const Fetch& fetch : fetches_)
        for (const int fd : {fetch.out, fetch.err})
            if (fd >= 0)
                fds.push_back({fd, POLLIN, 0});
    return fds;
}

int MachineFetches::waitMs() const {
    const auto now = Clock::now();
    auto wait = std::chrono::milliseconds::max();
    for (const Fetch& fetch : fetches_) {
        if (fetch.pid > 0 || follow_)
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                                      (fetch.pid > 0 ? fetch.silentUntil : fetch.due) - now));
    }
    return static_cast<int>(std::clamp<long long>(wait.count(), 0, 60000));
}

// Frames as they come; in a single run the first answer ends the fetch.
bool MachineFetches::read(Fetch& fetch) {
    bool changed = false;
    drain(fetch.out, [&](std::string_view bytes) {
        fetch.silentUntil = Clock::now() + RemoteFetch::timeLimit;
        for (auto& frame : fetch.frames.feed(bytes)) {
            if (auto* reading = std::get_if<RemoteReading>(&frame)) {
                fetch.link = {MachineLink::Answered{std::move(*reading), currentInstant()}};
                fetch.heard = true;
                fetch.failures = 0;
            } else {
                fetch.link = {MachineLink::Unreachable{std::get<std::string>(frame), ""}};
            }
            changed = true;
            if ((!follow_ || fetch.frames.failed) && !fetch.ended && fetch.pid > 0) {
                fetch.ended = true;
                ::kill(fetch.pid, SIGTERM);
            }
        }
    });
    drain(fetch.err, [&](std::string_view bytes) {
        if (fetch.said.size() < 65536)
            fetch.said.append(bytes);
    });
    return changed;
}

bool MachineFetches::service() {
    if (childEnded[0] >= 0) {
        char buffer[64];
        while (::read(childEnded[0], buffer, sizeof buffer) > 0) {
        }
    }
    bool changed = false;
    for (Fetch& fetch : fetches_) {
        if (fetch.pid < 0)
            continue;
        changed = read(fetch) || changed;
        int status = 0;
        if (::waitpid(fetch.pid, &status, WNOHANG) == fetch.pid) {
            fetch.pid = -1;
            read(fetch);
            finish(fetch, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            changed = true;
        } else if (Clock::now() >= fetch.silentUntil) {
            // Said nothing for too long: the same words as the app's runner.
            ::kill(fetch.pid, SIGKILL);
            ::waitpid(fetch.pid, nullptr, 0);
            fetch.pid = -1;
            fetch.said +=
                "\ntimed out after " + std::to_string(RemoteFetch::timeLimit.count()) + " s";
            finish(fetch, 137);
            changed = true;
        }
    }
    return changed;
}

void MachineFetches::finish(Fetch& fetch, int status) {
    closeFd(fetch.out);
    closeFd(fetch.err);
    fetch.pid = -1;
    if (fetch.frames.failed) {
        ++fetch.failures;
    } else if (!fetch.heard || (status != 0 && !fetch.ended)) {
        // No frame, or the stream broke: ssh's words (or the cut frame) say why.
        fetch.link = MachineLink::from({status, trimmed(fetch.frames.pending), trimmed(fetch.said)},
                                       currentInstant());
        fetch.failures = fetch.link.answered() ? 0 : fetch.failures + 1;
    }
    fetch.due = Clock::now() + retryGap(fetch.failures);
}

std::vector<MachineView> MachineFetches::views(const TimeZone& timeZone) const {
    std::vector<MachineView> views;
    const Instant now = currentInstant();
    for (const Fetch& fetch : fetches_)
        views.push_back(MachineView::of(fetch.machine, fetch.link, now, timeZone));
    return views;
}

int exitStatus(const MachineView& view) {
    return view.link.answered() ? bar::exitStatus(view.state) : 2;
}

} // namespace menubar::bar
