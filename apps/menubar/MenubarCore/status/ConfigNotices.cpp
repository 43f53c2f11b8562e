#include "ConfigNotices.hpp"

namespace menubar {

std::string ConfigNotice::menuLine() const {
    if (const auto* error = asConfigError())
        return "Config file ignored: " + error->message;
    return std::string(ConfigNotices::restartNeededLine);
}

std::optional<std::string> ConfigNotice::tooltip() const {
    const auto* error = asConfigError();
    if (!error)
        return std::nullopt;
    if (error->path)
        return error->message + "\n" + *error->path;
    return error->message;
}

namespace ConfigNotices {

std::vector<ConfigNotice> notices(const StatusFile* status, const DaemonState& state) {
    std::vector<ConfigNotice> result;
    if (!status)
        return result;
    switch (state.kind()) {
    case DaemonState::Kind::stopped:
    case DaemonState::Kind::unreadable:
    case DaemonState::Kind::missing:
        // The file describes a daemon that is gone; its complaints no longer apply.
        return result;
    case DaemonState::Kind::running:
    case DaemonState::Kind::stale:
        break;
    }
    if (status->configError && status->configError->message &&
        !status->configError->message->empty())
        result.push_back(
            ConfigNotice::configError(*status->configError->message, status->configError->path));
    // A stale daemon may already have restarted on the new file; only a live one is known
    // to be running on the old settings.
    if (state.isRunning() && status->configChangedSinceLoad())
        result.push_back(ConfigNotice::restartNeeded());
    return result;
}

bool restartNeeded(const StatusFile* status, const DaemonState& state) {
    for (const auto& notice : notices(status, state))
        if (notice.kind() == ConfigNotice::Kind::restartNeeded)
            return true;
    return false;
}

} // namespace ConfigNotices

} // namespace menubar
