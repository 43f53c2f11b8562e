// tessaly-bar: the status the tray shows, printed for terminals, scripts and
// status bars. It reads the status file exactly as the app does and prints one
// face of the same status view, once or (--follow) every time it changes.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/inotify.h>
#endif

#include "Faces.hpp"
#include "RemoteMachines.hpp"
#include "machines/RemoteStatus.hpp"
#include "system/CommandLine.hpp"
#include "system/DaemonCommand.hpp"
#include "system/Environment.hpp"
#include "system/Paths.hpp"
#include "system/SystemdUnit.hpp"

extern char** environ;

namespace {

using namespace menubar;
using menubar::bar::Face;

constexpr int usageStatus = 64;
constexpr int tickMs = 3000;

constexpr std::string_view helpText =
    R"(Usage: tessaly-bar [FACE] [--follow] [--now TIME]
       tessaly-bar --raw [--follow]

Prints the tessaly daemon's status as the tray menu shows it, for a terminal,
a script or a status bar.

Faces (one at most):
  --print      the status menu as text lines (default); coloured on a terminal
               unless NO_COLOR is set
  --json       one JSON object: presentation, daemon state, menu entries
  --waybar     a Waybar custom-module object (text, tooltip, class, percentage, alt)
  --i3blocks   i3blocks/Polybar lines: full text, short text, colour
  --tmux       one line with tmux style codes
  --swiftbar   a SwiftBar/xbar plugin menu

Options:
  --follow     print again whenever the status changes, until interrupted or the
               output closes. On Linux the status file's folder is watched;
               elsewhere it is read every 3 seconds. Time-based texts are
               refreshed every 3 seconds on every platform.
  --now TIME   show the status as of TIME (RFC 3339), e.g. 2026-01-02T03:04:05Z
  --raw        instead of a face, this machine's clock and the status file's
               bytes in one frame, as another machine reads them over ssh; with
               --follow, a frame at every change of the file and at least every
               10 seconds (other machines' tessaly-menubar and tessaly-bar run
               `tessaly-bar --raw --follow` where they find it)
  --help       show this help
  --version    show the version

Other machines: each line of ~/.config/tessaly-menubar/machines (an ssh
destination, optionally a tab and a name) is read over ssh as well; the faces
show the worst of all, the menu a section per machine, --json a "machines" list.

Exit status: 0 daemon running, 1 stale or stopped, 2 status file missing or
unreadable (or a machine not reached), 64 bad usage; the worst of all machines.

Environment: TESSALY_STATUS_FILE (default ~/.local/state/tessaly/status.json),
TESSALY_MENUBAR_MACHINES (machines, ";" between them, instead of the file),
TESSALY_MENUBAR_COMPACT (icon-only look), NO_COLOR.
)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

std::string homeDirectory(const std::map<std::string, std::string>& environment) {
    if (const auto home = environment.find("HOME");
        home != environment.end() && !home->second.empty())
        return home->second;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        return user->pw_dir;
    return "/";
}

// False once the reader is gone (EPIPE) or the output fails otherwise.
bool writeAll(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int usageError(const std::string& message) {
    const std::string text = "tessaly-bar: " + message + "\nTry 'tessaly-bar --help'.\n";
    [[maybe_unused]] const auto ignored = ::write(STDERR_FILENO, text.data(), text.size());
    return usageStatus;
}

struct Options {
    Face face = Face::print;
    bool faceChosen = false;
    bool follow = false;
    bool raw = false;
    bool help = false;
    bool version = false;
    std::optional<Instant> now;
};

// The options, or the usage error to report.
std::variant<Options, std::string> parse(int argc, char** argv) {
    static const std::map<std::string_view, Face> faces{
        {"--print", Face::print},       {"--json", Face::json}, {"--waybar", Face::waybar},
        {"--i3blocks", Face::i3blocks}, {"--tmux", Face::tmux}, {"--swiftbar", Face::swiftbar},
    };
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (const auto face = faces.find(argument); face != faces.end()) {
            if ((options.faceChosen && options.face != face->second) || options.raw)
                return "choose one face, not " + std::string(argument) + " as well";
            options.face = face->second;
            options.faceChosen = true;
        } else if (argument == "--raw") {
            if (options.faceChosen)
                return std::string("choose one face, not --raw as well");
            options.raw = true;
        } else if (argument == "--follow") {
            options.follow = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--now" || argument.starts_with("--now=")) {
            std::string_view value;
            if (argument == "--now") {
                if (i + 1 >= argc)
                    return std::string("--now needs a time such as 2026-01-02T03:04:05Z");
                value = argv[++i];
            } else {
                value = argument.substr(6);
            }
            options.now = StatusDecoder::parseDate(value);
            if (!options.now)
                return "not an RFC 3339 time: " + std::string(value);
        } else {
            return "unknown option: " + std::string(argument);
        }
    }
    if (options.raw && options.now)
        return std::string("--raw sends this machine's own clock; --now does not apply");
    return options;
}

class Shell {
public:
    Shell(const Options& options, std::map<std::string, std::string> environment)
        : options_(options), environment_(std::move(environment)),
          home_(homeDirectory(environment_)),
          statusPath_(StatusFileLocator::path(environment_, home_)), disk_(FileSystem::real()),
          compact_(CompactSetting::resolve(environment_, std::nullopt)) {
        faceOptions_.colour =
            options.face == Face::print && ::isatty(STDOUT_FILENO) == 1 && !noColour();
        const auto path = environment_.find("PATH");
        faceOptions_.cmux =
            ExecutableLocator::resolve("cmux", {"/opt/homebrew/bin/cmux", "/usr/local/bin/cmux"},
                                       path == environment_.end() ? std::nullopt
                                                                  : std::optional(path->second),
                                       disk_.isExecutable)
                .value_or("cmux");
        // A file URL needs an absolute path.
        faceOptions_.statusPath = statusPath_;
        if (!statusPath_.starts_with('/'))
            if (char* cwd = ::getcwd(nullptr, 0)) {
                faceOptions_.statusPath = std::string(cwd) + "/" + statusPath_;
                std::free(cwd);
            }
        faceOptions_.logsDirectory =
            ServiceFiles::logsDirectory(ServiceFiles::native, environment_, home_);
    }

    // The NO_COLOR convention: present and not empty.
    bool noColour() const {
        const auto found = environment_.find("NO_COLOR");
        return found != environment_.end() && !found->second.empty();
    }

    // This machine's own view.
    StatusView read() const {
        return StatusView::read(
            statusPath_, faceOptions_.logsDirectory,
            ServiceFiles::controls(ServiceFiles::native, environment_, home_, disk_), disk_,
            compact_, options_.now.value_or(currentInstant()), TimeZone::current());
    }

    // `view` with every other machine as it stands now: the worst of all in the
    // presentation, a section each in the menu, an object each in the JSON face.
    std::string render(StatusView view, const bar::MachineFetches& machines) const {
        const TimeZone timeZone = TimeZone::current();
        bar::FaceOptions options = faceOptions_;
        options.machines = machines.views(timeZone);
        if (!options.machines.empty() || !machines.list().refused.empty()) {
            const StatusFile* file = view.snapshot.file();
            view.presentation = AllMachines::presentation(
                view.presentation, view.state, file ? file->sessions : std::vector<SessionStatus>{},
                options.machines, compact_.compact, timeZone);
            view.menu =
                AllMachines::menu(std::move(view.menu), options.machines, machines.list().refused,
                                  false, false, compact_, timeZone);
        }
        return bar::render(options_.face, view, options);
    }

    // This machine's status file as another machine reads it; none: no file.
    std::optional<FileReadResult> readRaw() const {
        if (!disk_.exists(statusPath_))
            return std::nullopt;
        return disk_.readFile(statusPath_, StatusFileLocator::sizeLimit);
    }

    static std::string frame(const std::optional<FileReadResult>& read) {
        return RemoteFrame::make(std::chrono::time_point_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now()),
                                 read);
    }

    // The worst of all machines.
    int once() const {
        if (options_.raw) {
            writeAll(frame(readRaw()));
            return 0;
        }
        const StatusView view = read();
        bar::MachineFetches machines(environment_, home_, false);
        machines.start();
        while (machines.running()) {
            auto fds = machines.descriptors();
            ::poll(fds.data(), fds.size(), machines.waitMs());
            machines.service();
        }
        writeAll(render(view, machines));
        int status = bar::exitStatus(view.state);
        for (const MachineView& machine : machines.views(TimeZone::current()))
            status = std::max(status, bar::exitStatus(machine));
        return status;
    }

    int follow() const;

private:
    // One update of a follow: bars read one line per update, the plugin host a
    // block after "~~~", a terminal a fresh screen.
    std::string update(const std::string& face, bool first) const {
        switch (options_.face) {
        case Face::print:
            if (faceOptions_.colour)
                return "\033[H\033[2J" + face;
            return first ? face : "\f\n" + face;
        case Face::swiftbar:
            return "~~~\n" + face;
        case Face::i3blocks:
            return face.substr(0, face.find('\n') + 1);
        case Face::json:
        case Face::waybar:
        case Face::tmux:
            return face;
        }
        return face;
    }

    Options options_;
    std::map<std::string, std::string> environment_;
    std::string home_;
    std::string statusPath_;
    FileSystem disk_;
    CompactSetting compact_;
    bar::FaceOptions faceOptions_;
};

int Shell::follow() const {
    // A closed output is noticed on the write, not as a signal; stop signals are
    // held back except while waiting, so none slips in between a check and the wait.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = requestStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigset_t stopSignals;
    sigset_t waiting;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);

#ifdef __linux__
    // The daemon replaces the file by renaming a new one over it, so the folder
    // is watched rather than the file; the folder may appear only later.
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string folder = Paths::parentDirectory(statusPath_);
    int watch = -1;
    const auto ensureWatch = [&] {
        if (inotify >= 0 && watch < 0)
            watch = ::inotify_add_watch(inotify, folder.c_str(),
                                        IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                            IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    };
#else
    const int inotify = -1;
#endif

    std::optional<std::string> printed;
    // This machine's view is read again when its folder changes and on each
    // tick; other machines answer in between, without holding it up.
    std::optional<StatusView> local;
    auto localAt = std::chrono::steady_clock::now();
    std::optional<bar::MachineFetches> machines;
    if (!options_.raw)
        machines.emplace(environment_, home_, true);
    // A raw follow: what the last frame sent, and when.
    std::optional<std::optional<FileReadResult>> sent;
    auto sentAt = std::chrono::steady_clock::now();
    while (!stopRequested) {
#ifdef __linux__
        ensureWatch();
#endif
        if (options_.raw) {
            // Sent again unchanged now and then: the reader knows the link lives,
            // and learns this machine's clock anew.
            auto read = readRaw();
            const auto now = std::chrono::steady_clock::now();
            if (!sent || *sent != read || now - sentAt >= RemoteFetch::heartbeat) {
                if (!writeAll(frame(read)))
                    return 0;
                sent = std::move(read);
                sentAt = now;
            }
        } else {
            const auto now = std::chrono::steady_clock::now();
            if (!local || now - localAt >= std::chrono::milliseconds(tickMs)) {
                local = read();
                localAt = now;
            }
            machines->start();
            if (const std::string face = render(*local, *machines); face != printed) {
                if (!writeAll(update(face, !printed)))
                    return 0;
                printed = face;
            }
        }

        std::vector<pollfd> fds{{STDOUT_FILENO, 0, 0}};
        if (inotify >= 0)
            fds.push_back({inotify, POLLIN, 0});
        int waitMs = options_.raw
                         ? tickMs
                         : static_cast<int>(std::clamp<long long>(
                               tickMs - std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - localAt)
                                            .count(),
                               0, tickMs));
        if (machines && !machines->list().machines.empty()) {
            waitMs = std::min(waitMs, machines->waitMs());
            for (const pollfd& fd : machines->descriptors())
                fds.push_back(fd);
        }
#ifdef __linux__
        const timespec wait{waitMs / 1000, (waitMs % 1000) * 1000000L};
        const int ready = ::ppoll(fds.data(), fds.size(), &wait, &waiting);
#else
        sigprocmask(SIG_SETMASK, &waiting, nullptr);
        const int ready = ::poll(fds.data(), fds.size(), waitMs);
        sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
#endif
        if (ready < 0 && errno != EINTR)
            return 0;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return 0;
        // What a machine said is drawn at the top of the loop.
        if (machines)
            machines->service();
#ifdef __linux__
        if (inotify >= 0 && (fds[1].revents & POLLIN)) {
            local.reset();
            alignas(inotify_event) char events[4096];
            ssize_t length;
            while ((length = ::read(inotify, events, sizeof events)) > 0) {
                for (char* at = events; at < events + length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    if (event->mask & IN_IGNORED)
                        watch = -1;
                    at += sizeof(inotify_event) + event->len;
                }
            }
        }
#endif
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    auto parsed = parse(argc, argv);
    if (const auto* message = std::get_if<std::string>(&parsed))
        return usageError(*message);
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        writeAll(helpText);
        return 0;
    }
    if (options.version) {
        writeAll(CommandLine::versionText(MENUBAR_VERSION, "tessaly-bar"));
        return 0;
    }
    const Shell shell(options, environmentOf(environ));
    return options.follow ? shell.follow() : shell.once();
}
