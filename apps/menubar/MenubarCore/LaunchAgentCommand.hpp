#pragma once

#include <string_view>

namespace menubar {

// The daemon's launch-agent label: the property list's name, the service-manager
// target, and what the daemon installs itself under.
inline constexpr std::string_view LaunchAgentLabel = "dev.tessaly.daemon";

} // namespace menubar
