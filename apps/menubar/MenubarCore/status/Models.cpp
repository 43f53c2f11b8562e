#include "Models.hpp"

namespace menubar {

int rank(SessionLevel level) {
    switch (level) {
    case SessionLevel::ok:
        return 0;
    case SessionLevel::unknown:
        return 1;
    case SessionLevel::warn:
        return 2;
    case SessionLevel::critical:
        return 3;
    }
    return 1;
}

std::string_view label(SessionLifecycle lifecycle) {
    switch (lifecycle) {
    case SessionLifecycle::running:
        return "running";
    case SessionLifecycle::idle:
        return "idle";
    case SessionLifecycle::needsInput:
        return "needs input";
    case SessionLifecycle::unknown:
        return "unknown";
    }
    return "unknown";
}

std::optional<JSONValue> TessalyConfig::setting(std::string_view name) const {
    if (!settings)
        return std::nullopt;
    const auto found = settings->find(name);
    if (found == settings->end())
        return std::nullopt;
    return found->second;
}

std::string SessionStatus::displayName() const {
    if (dirName && !dirName->empty())
        return *dirName;
    if (shortId && !shortId->empty())
        return *shortId;
    return "session";
}

double StatusFile::intervalSeconds() const {
    const std::int64_t ms = intervalMs && *intervalMs > 0 ? *intervalMs : defaultIntervalMs;
    return static_cast<double>(ms) / 1000.0;
}

bool StatusFile::configChangedSinceLoad() const {
    return configFile && configFile->changedSinceLoad.value_or(false);
}

std::set<std::string> StatusFile::flagLockedSettings() const {
    std::set<std::string> locked;
    if (configSources)
        for (const auto& [name, source] : *configSources)
            if (source == ConfigSource::cli)
                locked.insert(name);
    return locked;
}

} // namespace menubar
