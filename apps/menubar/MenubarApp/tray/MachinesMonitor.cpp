#include "MachinesMonitor.hpp"

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

constexpr int tickMs = 1000;

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
    setup.fetch = [environment, runtime, disk](const Machine& machine, Completion completion) {
        // Looked up at each fetch, so an ssh installed while the app runs is found.
        const auto ssh = onPath("ssh", environment, disk);
        if (!ssh) {
            log("failed to launch ssh: not found on PATH");
            completion({-1, "", "ssh: not found on PATH"});
            return;
        }
        CommandRunner::run(
            *ssh, RemoteFetch::arguments(machine, runtime), {},
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
    timer_->setInterval(tickMs);
    connect(timer_, &QTimer::timeout, this, &MachinesMonitor::tick);
}

MachinesMonitor::~MachinesMonitor() = default;

void MachinesMonitor::start() {
    reload();
    watch_ = new StatusFileWatch(setup_.filePath, this);
    connect(watch_, &StatusFileWatch::refreshDue, this, [this] {
        watch_->refreshed();
        reload();
    });
    watch_->start();
    timer_->start();
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
        kept.push_back(old == tracked_.end() ? Tracked{machine, {}, false, 0, {}} : *old);
        kept.back().machine = machine;
    }
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
}

void MachinesMonitor::fetch(Tracked& tracked) {
    tracked.inFlight = true;
    const std::string destination = tracked.machine.destination;
    QPointer<MachinesMonitor> self(this);
    setup_.fetch(tracked.machine, [self, destination](const CommandOutcome& outcome) {
        if (!self)
            return;
        // The list may have changed meanwhile: the answer goes to the machine by name.
        const auto found =
            std::find_if(self->tracked_.begin(), self->tracked_.end(),
                         [&](const Tracked& t) { return t.machine.destination == destination; });
        if (found == self->tracked_.end())
            return;
        found->inFlight = false;
        found->link = MachineLink::from(outcome, self->setup_.now());
        found->failures = found->link.answered() ? 0 : found->failures + 1;
        found->due = std::chrono::steady_clock::now() + retryGap(found->failures);
        self->announce();
    });
}

void MachinesMonitor::test(const Machine& machine, std::function<void(const MachineLink&)> done) {
    QPointer<MachinesMonitor> self(this);
    setup_.fetch(machine, [self, done](const CommandOutcome& outcome) {
        if (self)
            done(MachineLink::from(outcome, self->setup_.now()));
    });
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
