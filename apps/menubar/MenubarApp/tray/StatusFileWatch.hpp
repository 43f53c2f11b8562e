#pragma once

// Follows the status file between the poll timer's ticks, so that the status
// item shows a change within milliseconds instead of at the next tick. The
// daemon replaces the file by rename, so the file is watched together with its
// folder (or, while that is missing, its nearest existing ancestor), and the
// watch is armed again after every replacement, deletion and re-creation. Bursts
// of changes are paced into refreshes by the core's RefreshPacing; `refreshDue`
// asks for one. Where the system would not report changes (no inotify, a
// network file system, the limit of watches reached) one log line says so and
// the watch stands down: the timer alone refreshes, as before.
//
// Owned by the StatusMenuController; main thread only.

#include <string>

#include <QObject>
#include <QStringList>

#include "status/StatusWatch.hpp"

class QTimer;

namespace menubar::app {

class PathWatcher;

class StatusFileWatch : public QObject {
    Q_OBJECT

public:
    explicit StatusFileWatch(std::string statusPath, QObject* parent = nullptr);
    ~StatusFileWatch() override;

    // Starts watching; false when this system cannot (after its one log line).
    bool start();
    // A refresh has begun, whoever asked for it: it covers every change seen so
    // far, and the watch is checked against the disk once more.
    void refreshed();

    bool isWatching() const { return watcher_ != nullptr; }
    // The files and folders watched now.
    QStringList watchedPaths() const;

signals:
    void refreshDue();

private:
    // Watches what WatchTargets asks for, on the file's current inode, and takes a
    // new stamp: whether the file changed since the last look, and whether it is
    // now a whole new file.
    struct Look {
        bool changed = false;
        bool whole = false;
    };
    Look arm();
    void changed(bool whole);
    void standDown(const std::string& reason);

    const std::string statusPath_;
    PathWatcher* watcher_ = nullptr;
    QTimer* dueTimer_;
    RefreshPacing pacing_;
    FileStamp stamp_;
    WatchTargets targets_; // of the last look that asked the disk
    // The inode the file watch was put on: a watch follows its inode, so a file
    // replaced before the old inode's removal was reported is watched anew.
    std::uint64_t watchedInode_ = 0;
};

} // namespace menubar::app
