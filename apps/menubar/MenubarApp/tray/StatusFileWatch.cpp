#include "StatusFileWatch.hpp"

#include <optional>
#include <utility>

#include <QFileInfo>
#include <QTimer>

#include "app/system/FileWatchSupport.hpp"
#include "app/system/Log.hpp"
#include "app/system/PathWatcher.hpp"
#include "app/system/QtText.hpp"

namespace menubar::app {

namespace {

RefreshPacing::Moment monotonicNow() {
    return std::chrono::steady_clock::now();
}

WatchTargets targetsOf(const std::string& statusPath) {
    return WatchTargets::of(
        statusPath, [](const std::string& path) { return QFileInfo(qs(path)).isDir(); },
        [](const std::string& path) { return QFileInfo(qs(path)).isFile(); });
}

} // namespace

StatusFileWatch::StatusFileWatch(std::string statusPath, QObject* parent)
    : QObject(parent), statusPath_(std::move(statusPath)), dueTimer_(new QTimer(this)) {
    dueTimer_->setSingleShot(true);
    // A coarse timer may fire 5 % early or late; the settle time is a few ms.
    dueTimer_->setTimerType(Qt::PreciseTimer);
    connect(dueTimer_, &QTimer::timeout, this, [this] {
        if (pacing_.due()) {
            emit refreshDue();
        }
    });
}

StatusFileWatch::~StatusFileWatch() = default;

bool StatusFileWatch::start() {
    if (const auto reason = whyFileChangesGoUnseen(targetsOf(statusPath_).directory)) {
        standDown(*reason);
        return false;
    }
    watcher_ = new PathWatcher(this);
    connect(watcher_, &PathWatcher::fileChanged, this, [this] { changed(arm().whole); });
    // Folder events also come for the daemon's temporary file and anything else
    // in the folder; only a different stamp makes them a change of the file.
    connect(watcher_, &PathWatcher::directoryChanged, this, [this] {
        if (const Look look = arm(); look.changed) {
            changed(look.whole);
        }
    });
    arm();
    return isWatching();
}

void StatusFileWatch::refreshed() {
    pacing_.refreshed(monotonicNow());
    dueTimer_->stop();
    if (watcher_) {
        arm();
    }
}

QStringList StatusFileWatch::watchedPaths() const {
    return watcher_ ? watcher_->paths() : QStringList();
}

StatusFileWatch::Look StatusFileWatch::arm() {
    const FileStamp stamp = fileStampOf(statusPath_);
    if (stamp.keepsWatchOf(stamp_)) {
        return {};
    }
    const WatchTargets targets =
        stamp.keepsTargetsOf(stamp_) ? targets_ : (targets_ = targetsOf(statusPath_));
    const QString directory = qs(targets.directory);
    const std::optional<QString> file =
        targets.file ? std::optional(qs(*targets.file)) : std::nullopt;
    for (const QString& path : watchedPaths()) {
        const bool replaced = path == file && stamp.inode != watchedInode_;
        if ((path != directory && path != file) || replaced) {
            watcher_->forget(path);
        }
    }
    // A path that vanished since the look above comes back with its folder's
    // next event; one refused for any other reason means watching cannot work.
    for (const auto& [path, isDirectory] :
         {std::pair(std::optional(directory), true), std::pair(file, false)}) {
        if (!path) {
            continue;
        }
        const bool watched =
            isDirectory ? watcher_->watchDirectory(*path) : watcher_->watchFile(*path);
        if (!watched && QFileInfo::exists(*path)) {
            standDown("the system refused to watch " + path->toStdString() +
                      " (too many watches?)");
            return {};
        }
    }
    if (targets.file) {
        watchedInode_ = stamp.inode;
    }
    const Look look{.changed = stamp != stamp_, .whole = stamp.wholeReplacementOf(stamp_)};
    stamp_ = stamp;
    return look;
}

void StatusFileWatch::changed(bool whole) {
    const RefreshPacing::Moment now = monotonicNow();
    const RefreshPacing::Moment due = pacing_.changed(now, whole);
    // Started again for the same moment, or an earlier one for a whole file; a
    // refresh due now runs as soon as the events at hand are handled.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    dueTimer_->start(std::max<int>(0, static_cast<int>(wait.count())));
}

void StatusFileWatch::standDown(const std::string& reason) {
    log("not watching " + statusPath_ + " for changes: " + reason + "; refreshing every 3 s only");
    // It may be delivering the signal that brought us here.
    if (watcher_) {
        watcher_->deleteLater();
    }
    watcher_ = nullptr;
    dueTimer_->stop();
}

} // namespace menubar::app
