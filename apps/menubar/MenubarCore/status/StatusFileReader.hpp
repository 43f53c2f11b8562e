#pragma once

// The status file as the poll reads it. The daemon rewrites the file every few
// seconds, mostly with what it wrote before; a read that finds the bytes of the
// last read keeps the last snapshot instead of decoding them again. Bytes are
// compared, not sizes or times, so a file rewritten within the same second at
// the same size is still read.

#include <optional>
#include <string>

#include "StatusDecoder.hpp"
#include "system/FileSystem.hpp"

namespace menubar {

class StatusFileReader {
public:
    // Reads the file; true when the snapshot was taken anew: other bytes, or the
    // file came, went or failed otherwise than before. The snapshot is kept here
    // for the caller to read, so that a write costs one decode and no copy.
    bool read(const std::string& path, const FileSystem& fileSystem);
    const StatusSnapshot& snapshot() const { return snapshot_; }

private:
    bool readBefore_ = false;
    std::optional<std::string> bytes_; // of the last read, when it had any
    StatusSnapshot snapshot_;
};

} // namespace menubar
