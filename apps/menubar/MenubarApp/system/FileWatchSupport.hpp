#pragma once

// What the status-file watch asks of the operating system beyond Qt's watcher:
// the file's stamp, and whether change notifications can work for a folder at all.

#include <optional>
#include <string>

#include "status/StatusWatch.hpp"

namespace menubar::app {

// The stamp of the file at `path`, following links; `exists` is false when
// there is nothing there (or it cannot be examined).
FileStamp fileStampOf(const std::string& path);

// Why changes to files in `directory` would go unseen, for the log; none when
// the system will report them. Network file systems report only what this
// machine writes, not what a daemon elsewhere writes.
std::optional<std::string> whyFileChangesGoUnseen(const std::string& directory);

} // namespace menubar::app
