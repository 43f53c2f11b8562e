#include "FileSystem.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace menubar {

std::string systemErrorText(int error) {
#ifdef __APPLE__
    // The C library there describes errors in English only.
    return std::strerror(error);
#else
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    return english != locale_t(0) ? ::strerror_l(error, english) : std::strerror(error);
#endif
}

namespace {

FileReadError readError(const std::string& path, int error) {
    return {"could not read " + path + ": " + systemErrorText(error)};
}

FileReadResult readWhole(const std::string& path, std::uint64_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return readError(path, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return readError(path, errno);
    if (S_ISDIR(info.st_mode))
        return readError(path, EISDIR);
    if (!S_ISREG(info.st_mode))
        // A FIFO or device could block the poll forever; only plain files are read.
        return FileReadError{"could not read " + path + ": not a regular file"};
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        return FileTooLarge{static_cast<std::uint64_t>(info.st_size)};

    std::string bytes;
    // A byte more than the file holds, so that the read that finds its end
    // needs no larger buffer.
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat; keep reading, but never past the limit.
            if (bytes.size() > limit)
                return FileTooLarge{bytes.size()};
            bytes.resize(std::max<std::size_t>(bytes.size() * 2, 4096));
        }
        const ssize_t count = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return readError(path, errno);
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    if (filled > limit)
        return FileTooLarge{filled};
    return bytes;
}

} // namespace

FileSystem FileSystem::real() {
    return FileSystem{
        .exists =
            [](const std::string& path) {
                struct stat info {};
                return ::stat(path.c_str(), &info) == 0;
            },
        .readFile = readWhole,
        .isExecutable =
            [](const std::string& path) {
                struct stat info {};
                return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                       ::access(path.c_str(), X_OK) == 0;
            },
        .list =
            [](const std::string& directory) {
                std::vector<std::string> names;
                std::error_code error;
                for (std::filesystem::directory_iterator entry(directory, error), end;
                     !error && entry != end; entry.increment(error))
                    names.push_back(entry->path().filename().string());
                return names;
            },
    };
}

} // namespace menubar
