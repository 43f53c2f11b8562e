#pragma once

// Follows the other machines of the machines file: one ssh fetch per machine
// through the command runner (never on the main thread, never more than one at
// a time per machine), every 3 s while a machine answers and after growing gaps
// while it does not, at once when asked (the menu opens, Refresh). A machine
// with `tessaly-bar` streams instead: its one fetch stays open and each frame
// counts as it arrives; when the stream ends or fails, the fetches above take
// over again. A machine that hangs holds up nothing but its own next fetch:
// each answer arrives on its own. The file is watched like the status file, so
// a hand edit counts at once. Streams are stopped with the monitor.
// Every rule is the core's (MachineList, RemoteFrame, AllMachines); this class
// keeps the links and the timers.
//
// Main thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

#include "StatusMenuDependencies.hpp"
#include "machines/AllMachines.hpp"
#include "machines/MachineList.hpp"
#include "machines/RemoteStatus.hpp"
#include "system/CommandOutcome.hpp"
#include "system/FileSystem.hpp"

class QTimer;

namespace menubar::app {

class StatusFileWatch;

class MachinesMonitor : public QObject {
    Q_OBJECT

public:
    using Completion = std::function<void(const CommandOutcome&)>;
    using Output = std::function<void(const std::string& bytes)>;
    using Stop = std::function<void()>;
    // Starts one fetch of a machine: ssh's standard output goes to `output` as it
    // comes, then `completion` runs once (its standard output left empty), all
    // on the main thread. Returns what ends the fetch early.
    using Fetch = std::function<Stop(const Machine& machine, Output output, Completion completion)>;

    struct Setup {
        std::string filePath;
        std::map<std::string, std::string> environment;
        FileSystem fileSystem;
        std::function<Instant()> now;
        Fetch fetch;
        // What "Open in terminal" runs (`-e ssh DEST` follows); none hides the item.
        std::optional<std::string> terminal;
    };

    // ssh from PATH, its shared connections in XDG_RUNTIME_DIR, cut after
    // RemoteFetch::timeLimit without a word.
    static Setup system(const std::map<std::string, std::string>& environment,
                        const std::string& home);

    explicit MachinesMonitor(Setup setup, QObject* parent = nullptr);
    ~MachinesMonitor() override;

    // Reads the list, starts watching the file and the timer, fetches every machine.
    void start();
    // Reads the list again: machines kept keep their state, new ones connect.
    void reload();
    // Every machine not being fetched now is fetched now, failing or not.
    void retryNow();
    // One fetch of `machine` (listed or not) for the Machines window; a stream
    // is ended at its first frame.
    void test(const Machine& machine, std::function<void(const MachineLink&)> done);

    const std::string& filePath() const { return setup_.filePath; }
    const MachineList& list() const { return list_; }
    std::vector<MachineView> views(Instant now, const TimeZone& timeZone) const;

    // This machine's look and menu with every other machine added (unchanged
    // when none is listed, but for "Machines…" in the menu).
    StatusItemPresentation look(const DaemonState& state, const StatusFile* file, bool compact,
                                const TimeZone& timeZone) const;
    StatusMenu menu(StatusMenu local, const CompactSetting& compact,
                    const TimeZone& timeZone) const;
    // "Open in terminal" for a destination.
    void openTerminal(const std::string& destination) const;
    // Routes the controller's look, menu and machine actions here; `openWindow`
    // answers "Machines…".
    void attach(StatusMenuDependencies& dependencies, std::function<void()> openWindow);

signals:
    // A machine's state or the list changed; the icon and menu are due again.
    void changed();

private:
    struct Tracked {
        Machine machine;
        MachineLink link;
        bool inFlight = false;
        int failures = 0;
        std::chrono::steady_clock::time_point due;
        std::chrono::steady_clock::time_point started;
        // The fetch under way: which one (answers of an older one are dropped),
        // its frames so far, whether one was understood, how to stop it.
        std::uint64_t run = 0;
        RemoteFrame::Stream frames;
        bool heard = false;
        Stop stop;
    };

    // Fetches every machine that is due, then sleeps until the next one is.
    void tick();
    void schedule();
    void fetch(Tracked& tracked);
    Tracked* running(std::uint64_t run);
    void heard(Tracked& tracked, const std::string& bytes);
    void ended(Tracked& tracked, const CommandOutcome& outcome);
    void announce();

    Setup setup_;
    MachineList list_;
    std::vector<Tracked> tracked_;
    std::uint64_t runs_ = 0;
    QTimer* timer_;
    StatusFileWatch* watch_ = nullptr;
    bool announcing_ = false;
};

} // namespace menubar::app
