#include "StatusFileReader.hpp"

#include <utility>
#include <variant>

namespace menubar {

bool StatusFileReader::read(const std::string& path, const FileSystem& fileSystem) {
    const bool first = !std::exchange(readBefore_, true);
    if (!fileSystem.exists(path)) {
        const bool changed = first || snapshot_ != StatusSnapshot::missing();
        bytes_.reset();
        snapshot_ = StatusSnapshot::missing();
        return changed;
    }
    FileReadResult read = fileSystem.readFile(path, StatusFileLocator::sizeLimit);
    if (auto* bytes = std::get_if<std::string>(&read)) {
        if (!first && bytes_ == *bytes)
            return false;
        bytes_ = *bytes;
    } else {
        bytes_.reset();
    }
    StatusSnapshot next = StatusFileLocator::snapshot(read);
    const bool changed = first || next != snapshot_;
    snapshot_ = std::move(next);
    return changed;
}

} // namespace menubar
