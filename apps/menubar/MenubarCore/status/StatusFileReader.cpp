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
    auto* bytes = std::get_if<std::string>(&read);
    if (bytes && !first && bytes_ == *bytes)
        return false;
    StatusSnapshot next = StatusFileLocator::snapshot(read);
    // Other bytes are another snapshot as good as always (the daemon stamps each
    // write with its time); comparing two whole files would cost a second walk.
    const bool changed = first || bytes || next != snapshot_;
    if (bytes)
        bytes_ = std::move(*bytes);
    else
        bytes_.reset();
    snapshot_ = std::move(next);
    return changed;
}

} // namespace menubar
