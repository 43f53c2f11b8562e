#include "StatusWatch.hpp"

#include <algorithm>
#include <filesystem>

namespace menubar {

WatchTargets WatchTargets::of(const std::string& statusPath,
                              const std::function<bool(const std::string&)>& isDirectory,
                              const std::function<bool(const std::string&)>& isFile) {
    WatchTargets targets;
    if (isFile(statusPath))
        targets.file = statusPath;
    // Lexical only: the folder of a relative path is the working directory.
    std::filesystem::path folder = std::filesystem::path(statusPath).parent_path();
    if (folder.empty())
        folder = ".";
    while (!isDirectory(folder.string()) && folder != "." && folder != folder.root_path()) {
        const std::filesystem::path parent = folder.parent_path();
        folder = parent.empty() ? "." : parent;
    }
    targets.directory = folder.string();
    return targets;
}

RefreshPacing::Moment RefreshPacing::changed(Moment now, bool whole) {
    Moment due = whole ? now : now + settle;
    if (lastRefresh_)
        due = std::max(due, *lastRefresh_ + floor);
    // A later change never puts off the refresh owed; a whole file may bring it forward.
    if (!due_ || due < *due_)
        due_ = due;
    return *due_;
}

void RefreshPacing::refreshed(Moment now) {
    lastRefresh_ = now;
    due_.reset();
}

} // namespace menubar
