#include "MachinesMonitor.hpp"

#include <algorithm>

#include <QPointer>
#include <QProcess>
#include <QTimer>

#include "StatusFileWatch.hpp"
#include "app/system/CommandRunner.hpp"
#include "app/system/Log.hpp"
#include "app/system/QtText.hpp"
#include "system/DaemonCommand.hpp"

namespace menubar::app {

namespace {

std::optional<std::string> onPath(const std::string& name,
                                  const std::map<std::string, std::string>& environment,
                                  const FileSystem& disk) {
    const auto path = environment.find("PATH");
    return ExecutableLocator::resolve(
        name, {}, path == environment.end() ? std::nullopt : std::optional(path->second),
        disk.isExecutable);
}

std::string valueOr(const std::map<std::string, std::string>& environment, const std::string& key,
                    const std::string& fallback) {
    const auto found = environment.find(key);
    return found == environment.end() || found->second.empty() ? fallback : found->second;
}

} // namespace

MachinesMonitor::Setup
MachinesMonitor::system(const std::map<std::string, std::string>& environment,
                        const std::string& home) {
    Setup setup;
#ifdef __APPLE__
    setup.filePath = MachinesFile::path(environment, home, true);
#else
    setup.filePath = MachinesFile::path(environment, home, false);
#endif
    setup.environment = environment;
    setup.fileSystem = FileSystem::real();
    setup.now = [] { return currentInstant(); };
    const std::string runtime = valueOr(environment, "XDG_RUNTIME_DIR", "/tmp");
    const FileSystem disk = setup.fileSystem;
    setup.fetch = [environment, runtime, disk](const Machine& machine, Output output,
                                               Completion completion) {
        // Looked up at each fetch, so an ssh installed while the app runs is found.
        const auto ssh = onPath("ssh", environment, disk);
        if (!ssh) {
            log("failed to launch ssh: not found on PATH");
            completion({-1, "", "ssh: not found on PATH"});
            return Stop([] {});
        }
        return CommandRunner::stream(
            *ssh, RemoteFetch::arguments(machine, runtime), {}, std::move(output),
            [completion](const CommandResult& result) { completion(result.outcome()); },
            RemoteFetch::timeLimit, false);
    };
    if (const auto terminal = environment.find("TERMINAL");
        terminal != environment.end() && !terminal->second.empty())
        setup.terminal = onPath(terminal->second, environment, disk);
    if (!setup.terminal)
        setup.terminal = onPath("x-terminal-emulator", environment, disk);
    return setup;
}

MachinesMonitor::MachinesMonitor(Setup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), timer_(new QTimer(this)) {
    // One timer armed for the next machine due, not a steady tick: with no
    // machine listed, or every machine streaming, the app is not woken at all.
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &MachinesMonitor::tick);
}

MachinesMonitor::~MachinesMonitor() {
    for (Tracked& tracked : tracked_)
        if (tracked.stop)
            tracked.stop();
}

void MachinesMonitor::start() {
    reload();
    watch_ = new StatusFileWatch(setup_.filePath, this);
    connect(watch_, &StatusFileWatch::refreshDue, this, [this] {
        watch_->refreshed();
        reload();
    });
    watch_->start();
}

void MachinesMonitor::reload() {
    std::optional<std::string> text;
    if (setup_.fileSystem.exists(setup_.filePath)) {
        FileReadResult read = setup_.fileSystem.readFile(setup_.filePath, 1024 * 1024);
        if (auto* bytes = std::get_if<std::string>(&read))
            text = std::move(*bytes);
    }
    MachineList next = MachineList::resolve(setup_.environment, text);
    if (next == list_ && tracked_.size() == list_.machines.size())
        return;
    std::vector<Tracked> kept;
    for (const Machine& machine : next.machines) {
        const auto old = std::find_if(tracked_.begin(), tracked_.end(), [&](const Tracked& t) {
            return t.machine.destination == machine.destination;
        });
        kept.push_back(old == tracked_.end() ? Tracked{machine} : std::move(*old));
        kept.back().machine = machine;
        if (old != tracked_.end())
            tracked_.erase(old);
    }
    // What is left was removed from the list: its stream must not live on.
    for (Tracked& gone : tracked_)
        if (gone.stop)
            gone.stop();
    tracked_ = std::move(kept);
    for (const RefusedMachineLine& refused : next.refused)
        if (std::find(list_.refused.begin(), list_.refused.end(), refused) == list_.refused.end())
            log("machines file line " + std::to_string(refused.lineNumber) +
                " ignored: " + refused.reason);
    list_ = std::move(next);
    tick();
    announce();
}

void MachinesMonitor::retryNow() {
    for (Tracked& tracked : tracked_)
        tracked.due = {};
    tick();
}

void MachinesMonitor::tick() {
    const auto now = std::chrono::steady_clock::now();
    for (Tracked& tracked : tracked_)
        if (!tracked.inFlight && tracked.due <= now)
            fetch(tracked);
    schedule();
}

void MachinesMonitor::schedule() {
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const Tracked& tracked : tracked_)
        if (!tracked.inFlight)
            next = next ? std::min(*next, tracked.due) : tracked.due;
    if (!next) {
        timer_->stop();
        return;
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*next - std::chrono::steady_clock::now());
    timer_->start(static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 60'000)));
}

void MachinesMonitor::fetch(Tracked& tracked) {
    tracked.inFlight = true;
    tracked.started = std::chrono::steady_clock::now();
    tracked.frames = {};
    tracked.heard = false;
    // The list may change meanwhile: answers find their machine by the run.
    const std::uint64_t run = tracked.run = ++runs_;
    QPointer<MachinesMonitor> self(this);
    Stop stop = setup_.fetch(
        tracked.machine,
        [self, run](const std::string& bytes) {
            if (Tracked* found = self ? self->running(run) : nullptr)
                self->heard(*found, bytes);
        },
        [self, run](const CommandOutcome& outcome) {
            if (Tracked* found = self ? self->running(run) : nullptr)
                self->ended(*found, outcome);
        });
    if (Tracked* found = running(run))
        found->stop = std::move(stop);
}

MachinesMonitor::Tracked* MachinesMonitor::running(std::uint64_t run) {
    const auto found = std::find_if(tracked_.begin(), tracked_.end(),
                                    [&](const Tracked& t) { return t.inFlight && t.run == run; });
    return found == tracked_.end() ? nullptr : &*found;
}

void MachinesMonitor::heard(Tracked& tracked, const std::string& bytes) {
    auto frames = tracked.frames.feed(bytes);
    // A large file comes in many pieces; only a whole frame is news.
    if (frames.empty())
        return;
    for (auto& frame : frames) {
        tracked.link = MachineLink::fromFrame(std::move(frame), setup_.now());
        if (tracked.link.answered()) {
            tracked.heard = true;
            tracked.failures = 0;
        } else if (tracked.stop) {
            // A stream that is not ours any more: nothing more of it is believed.
            tracked.stop();
        }
    }
    announce();
}

void MachinesMonitor::ended(Tracked& tracked, const CommandOutcome& outcome) {
    tracked.inFlight = false;
    tracked.stop = {};
    if (tracked.frames.failed) {
        ++tracked.failures;
    } else if (!tracked.heard || outcome.status != 0) {
        // No frame, or the stream broke: ssh's words (or the cut frame) say why.
        tracked.link = MachineLink::fromEndedStream(outcome, tracked.frames, setup_.now());
        tracked.failures = tracked.link.answered() ? 0 : tracked.failures + 1;
    }
    tracked.due = nextFetch(tracked.started, std::chrono::steady_clock::now(), tracked.failures);
    schedule();
    announce();
}

void MachinesMonitor::test(const Machine& machine, std::function<void(const MachineLink&)> done) {
    // One answer is the test's: a stream is stopped at its first frame.
    struct Test {
        RemoteFrame::Stream frames;
        bool answered = false;
        Stop stop;
    };
    auto test = std::make_shared<Test>();
    QPointer<MachinesMonitor> self(this);
    const auto answer = [self, test, done](const MachineLink& link) {
        if (test->answered)
            return;
        test->answered = true;
        if (test->stop)
            test->stop();
        if (self)
            done(link);
    };
    test->stop = setup_.fetch(
        machine,
        [self, test, answer](const std::string& bytes) {
            for (auto& frame : test->frames.feed(bytes)) {
                if (!self)
                    return;
                answer(MachineLink::fromFrame(std::move(frame), self->setup_.now()));
            }
        },
        [self, test, answer](const CommandOutcome& outcome) {
            if (self)
                answer(MachineLink::fromEndedStream(outcome, test->frames, self->setup_.now()));
        });
    if (test->answered && test->stop)
        test->stop();
}

void MachinesMonitor::announce() {
    // Answers of several machines in one turn of the loop make one refresh.
    if (announcing_)
        return;
    announcing_ = true;
    QTimer::singleShot(0, this, [this] {
        announcing_ = false;
        emit changed();
    });
}

std::vector<MachineView> MachinesMonitor::views(Instant now, const TimeZone& timeZone) const {
    std::vector<MachineView> views;
    for (const Tracked& tracked : tracked_)
        views.push_back(MachineView::of(tracked.machine, tracked.link, now, timeZone));
    return views;
}

StatusItemPresentation MachinesMonitor::look(const DaemonState& state, const StatusFile* file,
                                             bool compact, const TimeZone& timeZone) const {
    static const std::vector<SessionStatus> none;
    const auto& sessions = file ? file->sessions : none;
    return AllMachines::presentation(
        StatusItemPresentation::make(state, sessions, compact, timeZone), state, sessions,
        views(setup_.now(), timeZone), compact, timeZone);
}

StatusMenu MachinesMonitor::menu(StatusMenu local, const CompactSetting& compact,
                                 const TimeZone& timeZone) const {
    return AllMachines::menu(std::move(local), views(setup_.now(), timeZone), list_.refused,
                             setup_.terminal.has_value(), true, compact, timeZone);
}

void MachinesMonitor::openTerminal(const std::string& destination) const {
    if (!setup_.terminal)
        return;
    // A terminal lives as long as the user keeps it, beyond any runner time limit.
    const QStringList arguments{QStringLiteral("-e"), QStringLiteral("ssh"), qs(destination)};
    if (!QProcess::startDetached(qs(*setup_.terminal), arguments))
        log("failed to launch " + *setup_.terminal + ": could not start");
}

} // namespace menubar::app

namespace menubar::app {

void MachinesMonitor::attach(StatusMenuDependencies& dependencies,
                             std::function<void()> openWindow) {
    QPointer<MachinesMonitor> self(this);
    dependencies.allMachinesLook = [self](const DaemonState& state, const StatusFile* file,
                                          bool compact, const TimeZone& timeZone) {
        return self ? self->look(state, file, compact, timeZone)
                    : StatusItemPresentation::make(
                          state, file ? file->sessions : std::vector<SessionStatus>{}, compact,
                          timeZone);
    };
    dependencies.allMachinesMenu = [self](StatusMenu local, const CompactSetting& compact,
                                          const TimeZone& timeZone) {
        return self ? self->menu(std::move(local), compact, timeZone) : local;
    };
    dependencies.machineAction = [self, openWindow](MenuAction action,
                                                    const std::string& destination) {
        if (!self)
            return;
        if (action == MenuAction::refresh)
            self->retryNow();
        else if (action == MenuAction::openMachines)
            openWindow();
        else if (action == MenuAction::openMachineTerminal)
            self->openTerminal(destination);
    };
}

} // namespace menubar::app
