#include "FileWatchSupport.hpp"

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/inotify.h>
#include <sys/vfs.h>
#endif

namespace menubar::app {

FileStamp fileStampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    const auto nanoseconds = [](const struct timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
#if defined(__APPLE__)
    const std::int64_t modified = nanoseconds(info.st_mtimespec);
    const std::int64_t changed = nanoseconds(info.st_ctimespec);
#else
    const std::int64_t modified = nanoseconds(info.st_mtim);
    const std::int64_t changed = nanoseconds(info.st_ctim);
#endif
    return FileStamp{
        .exists = true,
        .device = static_cast<std::uint64_t>(info.st_dev),
        .inode = static_cast<std::uint64_t>(info.st_ino),
        .size = static_cast<std::uint64_t>(info.st_size),
        .modifiedNs = modified,
        .changedNs = changed,
    };
}

std::optional<std::string> whyFileChangesGoUnseen(const std::string& directory) {
#if defined(__linux__)
    // Qt falls back to polling every second when it cannot have an inotify
    // instance; the poll timer is enough then, so the app does not watch at all.
    const int probe = ::inotify_init1(IN_CLOEXEC);
    if (probe < 0) {
        return std::string("no file-change notification: ") + std::strerror(errno);
    }
    ::close(probe);
    struct statfs volume {};
    if (::statfs(directory.c_str(), &volume) != 0) {
        return std::nullopt;
    }
    struct Remote {
        unsigned long magic;
        const char* name;
    };
    // From linux/magic.h and the file systems' own headers.
    static constexpr Remote remotes[] = {
        {0x6969, "nfs"},    {0x517B, "smb"},      {0xFF534D42, "cifs"},   {0xFE534D42, "smb2"},
        {0x01021997, "9p"}, {0x5346414F, "afs"},  {0x00C36400, "ceph"},   {0x73757245, "coda"},
        {0x564C, "ncp"},    {0x47504653, "gpfs"}, {0x0BD00BD0, "lustre"},
    };
    for (const Remote& remote : remotes) {
        if (static_cast<unsigned long>(volume.f_type) == remote.magic) {
            return std::string("a network file system (") + remote.name + ")";
        }
    }
#elif defined(__APPLE__)
    struct statfs volume {};
    if (::statfs(directory.c_str(), &volume) != 0) {
        return std::nullopt;
    }
    for (const char* remote : {"nfs", "smbfs", "afpfs", "webdav", "cifs"}) {
        if (std::strcmp(volume.f_fstypename, remote) == 0) {
            return std::string("a network file system (") + remote + ")";
        }
    }
#else
    (void)directory;
#endif
    return std::nullopt;
}

} // namespace menubar::app
