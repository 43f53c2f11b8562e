#pragma once

// One poll of the status file as every face shows it: the snapshot, the daemon
// state, the icon's presentation and the status menu, derived exactly as the
// tray does. The tray runs the same steps with its own visibility probe in
// between; a reader without a tray item has no hidden-item episode to show.

#include <optional>
#include <string>

#include "DaemonState.hpp"
#include "StatusDecoder.hpp"
#include "StatusItemPresentation.hpp"
#include "StatusMenu.hpp"
#include "Visibility.hpp"
#include "system/FileSystem.hpp"
#include "system/TimeZone.hpp"

namespace menubar {

// What the menu checks on disk for one rebuild: the handoff files, the logs
// folder and the status file; the service as its manager reports it.
MenuFacts menuFactsOnDisk(const FileSystem& disk, const std::string& statusPath,
                          const std::string& logsDirectory, const ServiceControls& service);

struct StatusView {
    StatusSnapshot snapshot;
    DaemonState state;
    std::string stateTitle; // the menu's state line, as the icon's tooltip words it
    StatusItemPresentation presentation;
    // The worst session's context use as the title shows it (rounded there):
    // absent whenever the title shows "--".
    std::optional<double> worstPercent;
    StatusMenu menu;

    static StatusView read(const std::string& statusPath, const std::string& logsDirectory,
                           const ServiceControls& service, const FileSystem& disk,
                           const CompactSetting& compact, Instant now, const TimeZone& timeZone);

    bool operator==(const StatusView&) const = default;
};

} // namespace menubar
