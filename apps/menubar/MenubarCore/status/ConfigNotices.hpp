#pragma once

// The two facts about the config file that both the status menu and the
// settings window warn about, under the same conditions: the daemon ignored the
// file, or the file changed after the running daemon read it. Derived afresh
// from each status; nothing is stored.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DaemonState.hpp"
#include "Models.hpp"

namespace menubar {

class ConfigNotice {
public:
    enum class Kind { configError, restartNeeded };

    struct ConfigErrorNotice {
        std::string message;
        std::optional<std::string> path;
        bool operator==(const ConfigErrorNotice&) const = default;
    };
    struct RestartNeededNotice {
        bool operator==(const RestartNeededNotice&) const = default;
    };
    using Value = std::variant<ConfigErrorNotice, RestartNeededNotice>;

    static ConfigNotice configError(std::string message, std::optional<std::string> path) {
        return ConfigNotice(ConfigErrorNotice{std::move(message), std::move(path)});
    }
    static ConfigNotice restartNeeded() { return ConfigNotice(RestartNeededNotice{}); }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const Value& value() const { return value_; }
    // The payload of a configError notice; null for restartNeeded.
    const ConfigErrorNotice* asConfigError() const {
        return std::get_if<ConfigErrorNotice>(&value_);
    }

    // "Config file ignored: <message>" or "Restart daemon to apply settings".
    std::string menuLine() const;
    // The menu item's tooltip: the message, then a line break and the path when
    // known; none for restartNeeded.
    std::optional<std::string> tooltip() const;

    bool operator==(const ConfigNotice&) const = default;

private:
    explicit ConfigNotice(Value value) : value_(std::move(value)) {}
    Value value_;
};

namespace ConfigNotices {

inline constexpr std::string_view restartNeededLine = "Restart daemon to apply settings";

// Nothing without a status or unless the daemon is running or stale; then a
// configError for a non-empty message, and (running only) restartNeeded when the
// file changed since the daemon loaded it. configError always comes first.
std::vector<ConfigNotice> notices(const StatusFile* status, const DaemonState& state);
bool restartNeeded(const StatusFile* status, const DaemonState& state);

} // namespace ConfigNotices

} // namespace menubar
