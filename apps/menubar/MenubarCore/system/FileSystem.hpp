#pragma once

// The file-system access that logic needs, passed in as function values so the
// logic can be exercised without a disk. `FileSystem::real()` is the POSIX one,
// and the only code in the core that reads a file.

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace menubar {

struct FileReadError {
    std::string message; // the system's description, shown to the user
    bool operator==(const FileReadError&) const = default;
};

struct FileTooLarge {
    std::uint64_t size; // bytes, as far as they were seen
    bool operator==(const FileTooLarge&) const = default;
};

// The whole file, or why it could not be had.
using FileReadResult = std::variant<std::string, FileReadError, FileTooLarge>;

struct FileSystem {
    // Whether anything exists at the path, following symbolic links.
    std::function<bool(const std::string& path)> exists;
    // Reads the whole file, refusing (without reading it whole) one of more than
    // `limit` bytes.
    std::function<FileReadResult(const std::string& path, std::uint64_t limit)> readFile;
    // Whether the path names a regular file the user may execute.
    std::function<bool(const std::string& path)> isExecutable;
    // The names of the entries in a folder; none for a missing one.
    std::function<std::vector<std::string>(const std::string& directory)> list;

    static FileSystem real();
};

// The system's description of an errno value, in English whatever locale the
// process runs under (a Qt application adopts the user's): the texts the user
// sees read the same for everyone, as every other message of the app does.
std::string systemErrorText(int error);

} // namespace menubar
