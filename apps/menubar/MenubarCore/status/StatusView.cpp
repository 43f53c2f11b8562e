#include "StatusView.hpp"

#include "Selection.hpp"

namespace menubar {

MenuFacts menuFactsOnDisk(const FileSystem& disk, const std::string& statusPath,
                          const std::string& logsDirectory, const ServiceControls& service) {
    return MenuFacts{
        .handoffExists = disk.exists,
        .logsDirectoryExists = disk.exists(logsDirectory),
        .statusFileExists = disk.exists(statusPath),
        .service = service,
    };
}

StatusView StatusView::read(const std::string& statusPath, const std::string& logsDirectory,
                            const ServiceControls& service, const FileSystem& disk, const CompactSetting& compact, Instant now,
                            const TimeZone& timeZone) {
    StatusView view;
    view.snapshot = StatusFileLocator::load(statusPath, disk);
    view.state = DaemonState::from(view.snapshot, now);
    view.stateTitle = view.state.title(timeZone);
    const StatusFile* file = view.snapshot.file();
    const std::vector<SessionStatus> noSessions;
    const std::vector<SessionStatus>& sessions = file ? file->sessions : noSessions;
    view.presentation =
        StatusItemPresentation::make(view.state, sessions, compact.compact, timeZone);
    // The icon-only look moves the figure out of the title, so the full title decides.
    const bool figureShown =
        compact.compact
            ? StatusItemPresentation::make(view.state, sessions, false, timeZone).title != "--"
            : view.presentation.title != "--";
    if (figureShown)
        view.worstPercent = Selection::worst(sessions)->contextPct;
    view.menu = StatusMenu::build(view.snapshot, view.state, compact, std::nullopt, now, timeZone,
                                  menuFactsOnDisk(disk, statusPath, logsDirectory, service));
    return view;
}

} // namespace menubar
