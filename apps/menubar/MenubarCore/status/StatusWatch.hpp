#pragma once

// The rules of following the status file between the poll timer's ticks: which
// paths to watch so that a replaced, deleted or re-created file (or folder) is
// seen, when a folder event is a change of the file, and when a change becomes
// a refresh. The app does the watching and reads the clock; nothing here does
// I/O or waits.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace menubar {

// What the watch knows of the status file at one moment. The daemon replaces
// the file by rename (a new inode); an editor may write it in place (size, time
// of change). Events for other entries of the folder, such as the daemon's
// temporary file, leave the stamp as it was.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    bool operator==(const FileStamp&) const = default;

    // Whether this stamp is another file than `before`, whole: a new inode that
    // is not empty, as the daemon's rename leaves it. A file created in place
    // starts empty and is written after, so it is still let settle.
    bool wholeReplacementOf(const FileStamp& before) const {
        return exists && size > 0 &&
               (!before.exists || inode != before.inode || device != before.device);
    }

    // Whether the paths watched after a look that found `before` still serve:
    // the same file, still there. Each write of the daemon is looked at three
    // times (the file's event, the folder's, the refresh) and only the first
    // finds a change.
    bool keepsWatchOf(const FileStamp& before) const { return exists && *this == before; }

    // Whether the paths to watch are the ones found with `before`: a file that
    // was there and still is (another inode, at each rename) keeps its folder.
    bool keepsTargetsOf(const FileStamp& before) const { return exists && before.exists; }
};

// The file, while it exists (its events are the ones of its current inode, so it
// is watched again after each replacement), and its folder, or while the folder
// is missing the nearest ancestor that exists, whose events tell when the folder
// comes back.
struct WatchTargets {
    std::optional<std::string> file;
    std::string directory;

    bool operator==(const WatchTargets&) const = default;

    // `isDirectory` and `isFile` answer for a path on disk, following links.
    static WatchTargets of(const std::string& statusPath,
                           const std::function<bool(const std::string&)>& isDirectory,
                           const std::function<bool(const std::string&)>& isFile);
};

// When changes seen on the file turn into refreshes. A burst (an editor's
// several writes) becomes one refresh `settle` after its first change, while
// the daemon's rename, which leaves the file whole, is refreshed at once, with
// no second wake-up for the settle; refreshes stay at
// least `floor` apart however fast the file changes; and a change seen after a
// refresh has begun is owed a refresh of its own, so the last change of a burst
// is never lost. Any refresh settles what was seen before it, whoever asked for
// it (the timer, the menu opening, an action). Moments are on a monotonic clock.
class RefreshPacing {
public:
    using Moment = std::chrono::steady_clock::time_point;

    static constexpr std::chrono::milliseconds settle{5};
    static constexpr std::chrono::milliseconds floor{50};

    // A change was seen at `now`; returns when its refresh is due, the same
    // moment for every change until that refresh. A `whole` file (see
    // FileStamp::wholeReplacementOf) has nothing to settle: its refresh is due
    // at once, or when the floor allows, and takes along what was seen before.
    Moment changed(Moment now, bool whole = false);
    // A refresh began at `now`.
    void refreshed(Moment now);
    // When the refresh owed is due; none while nothing is owed.
    std::optional<Moment> due() const { return due_; }

    // Whether a refresh for a write does the poll's own work too (the tray
    // probes): once a whole interval has passed since it last ran. Where every
    // refresh starts the poll's timer over, a daemon that writes more often than
    // the poll keeps the timer from firing, and the probes ride on its writes,
    // never two intervals apart.
    static bool pollWorkDue(std::chrono::microseconds sinceLastPollWork,
                            std::chrono::milliseconds interval) {
        return sinceLastPollWork >= interval;
    }

    bool operator==(const RefreshPacing&) const = default;

private:
    std::optional<Moment> due_;
    std::optional<Moment> lastRefresh_;
};

} // namespace menubar
