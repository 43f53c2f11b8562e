#pragma once

// Files and folders watched for changes, with a signal when one of them changes:
// the part of QFileSystemWatcher's contract the status-file watch uses. On Linux
// it is a bare inotify descriptor, elsewhere Qt's watcher. The daemon replaces
// its file at every write, so the file is watched anew each time, and Qt's
// watcher spent more on its bookkeeping for that (file information, text
// conversions, lookups) than the refresh spent reading the file.
//
// A watched file that is deleted or moved away is no longer watched after the
// signal that tells of it, as with Qt's watcher. Main thread only.

#include <memory>

#include <QObject>
#include <QString>

namespace menubar::app {

class PathWatcher : public QObject {
    Q_OBJECT

public:
    explicit PathWatcher(QObject* parent = nullptr);
    ~PathWatcher() override;

    // False when the system would not watch it (missing, or a limit reached).
    // A path watched already is left as it is.
    bool watchFile(const QString& path);
    bool watchDirectory(const QString& path);
    void forget(const QString& path);
    bool watches(const QString& path) const;
    QStringList paths() const;

signals:
    void fileChanged(const QString& path);
    void directoryChanged(const QString& path);

private:
    struct Backend;
    bool watch(const QString& path, bool directory);

    std::unique_ptr<Backend> backend_;
};

} // namespace menubar::app
