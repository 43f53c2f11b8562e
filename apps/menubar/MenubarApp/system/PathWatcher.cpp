#include "PathWatcher.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include <QFile>
#include <QStringList>

#if defined(__linux__)
#include <climits>

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>
#else
#include <QFileSystemWatcher>
#endif

namespace menubar::app {

#if defined(__linux__)

struct PathWatcher::Backend {
    struct Watch {
        int descriptor;
        QString path;
        bool directory;
    };

    int inotify = -1;
    QSocketNotifier* notifier = nullptr;
    std::vector<Watch> watches;

    // Two paths of one inode share a descriptor, which lives while either does.
    void release(int descriptor) {
        const bool shared = std::any_of(watches.begin(), watches.end(), [&](const Watch& watch) {
            return watch.descriptor == descriptor;
        });
        if (!shared)
            ::inotify_rm_watch(inotify, descriptor);
    }

    void read(PathWatcher& owner);
};

PathWatcher::PathWatcher(QObject* parent) : QObject(parent), backend_(std::make_unique<Backend>()) {
    backend_->inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (backend_->inotify >= 0) {
        backend_->notifier = new QSocketNotifier(backend_->inotify, QSocketNotifier::Read, this);
        connect(backend_->notifier, &QSocketNotifier::activated, this,
                [this] { backend_->read(*this); });
    }
}

PathWatcher::~PathWatcher() {
    // The notifier must not outlive the descriptor it listens to.
    delete backend_->notifier;
    if (backend_->inotify >= 0)
        ::close(backend_->inotify);
}

bool PathWatcher::watch(const QString& path, bool directory) {
    if (watches(path))
        return true;
    if (backend_->inotify < 0)
        return false;
    // The same events Qt's watcher asks for.
    const std::uint32_t mask =
        directory ? IN_ATTRIB | IN_MOVE | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_ONLYDIR
                  : IN_ATTRIB | IN_MODIFY | IN_MOVE | IN_MOVE_SELF | IN_DELETE_SELF;
    const int descriptor =
        ::inotify_add_watch(backend_->inotify, QFile::encodeName(path).constData(), mask);
    if (descriptor < 0)
        return false;
    backend_->watches.push_back({descriptor, path, directory});
    return true;
}

void PathWatcher::forget(const QString& path) {
    auto& watches = backend_->watches;
    const auto found =
        std::find_if(watches.begin(), watches.end(),
                     [&](const Backend::Watch& watch) { return watch.path == path; });
    if (found == watches.end())
        return;
    const int descriptor = found->descriptor;
    watches.erase(found);
    backend_->release(descriptor);
}

bool PathWatcher::watches(const QString& path) const {
    return std::any_of(backend_->watches.begin(), backend_->watches.end(),
                       [&](const Backend::Watch& watch) { return watch.path == path; });
}

QStringList PathWatcher::paths() const {
    QStringList paths;
    for (const Backend::Watch& watch : backend_->watches)
        paths << watch.path;
    return paths;
}

void PathWatcher::Backend::read(PathWatcher& owner) {
    // One signal per watched path for everything read at once, as a write of
    // the daemon brings several events (its temporary file, the rename).
    std::vector<std::pair<int, std::uint32_t>> seen;
    alignas(inotify_event) char buffer[4096];
    constexpr std::size_t largestEvent = sizeof(inotify_event) + NAME_MAX + 1;
    for (;;) {
        const ssize_t count = ::read(inotify, buffer, sizeof buffer);
        if (count <= 0)
            break;
        for (const char* at = buffer; at < buffer + count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            const auto merged = std::find_if(seen.begin(), seen.end(), [&](const auto& entry) {
                return entry.first == event->wd;
            });
            if (merged == seen.end())
                seen.emplace_back(event->wd, event->mask);
            else
                merged->second |= event->mask;
            at += sizeof(inotify_event) + event->len;
        }
        // Room left for another event means nothing more was waiting.
        if (static_cast<std::size_t>(count) + largestEvent <= sizeof buffer)
            break;
    }

    std::vector<std::pair<QString, bool>> changed;
    for (const auto& [descriptor, mask] : seen) {
        for (auto watch = watches.begin(); watch != watches.end();) {
            if (watch->descriptor != descriptor) {
                ++watch;
                continue;
            }
            changed.emplace_back(watch->path, watch->directory);
            // The system dropped the watch (its inode is gone), or the path no
            // longer names what was watched.
            const bool ignored = (mask & IN_IGNORED) != 0;
            if (ignored || (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
                watch = watches.erase(watch);
                if (!ignored)
                    release(descriptor);
            } else {
                ++watch;
            }
        }
    }
    // A slot may watch and forget paths; the list above is settled before.
    for (const auto& [path, directory] : changed) {
        if (directory)
            emit owner.directoryChanged(path);
        else
            emit owner.fileChanged(path);
    }
}

#else

struct PathWatcher::Backend {
    QFileSystemWatcher* watcher = nullptr;
};

PathWatcher::PathWatcher(QObject* parent) : QObject(parent), backend_(std::make_unique<Backend>()) {
    backend_->watcher = new QFileSystemWatcher(this);
    connect(backend_->watcher, &QFileSystemWatcher::fileChanged, this, &PathWatcher::fileChanged);
    connect(backend_->watcher, &QFileSystemWatcher::directoryChanged, this,
            &PathWatcher::directoryChanged);
}

PathWatcher::~PathWatcher() = default;

bool PathWatcher::watch(const QString& path, bool) {
    return watches(path) || backend_->watcher->addPath(path);
}

void PathWatcher::forget(const QString& path) {
    backend_->watcher->removePath(path);
}

bool PathWatcher::watches(const QString& path) const {
    return backend_->watcher->files().contains(path) ||
           backend_->watcher->directories().contains(path);
}

QStringList PathWatcher::paths() const {
    return backend_->watcher->files() + backend_->watcher->directories();
}

#endif

bool PathWatcher::watchFile(const QString& path) {
    return watch(path, false);
}

bool PathWatcher::watchDirectory(const QString& path) {
    return watch(path, true);
}

} // namespace menubar::app
