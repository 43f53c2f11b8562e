#pragma once

// The settings window's own texts and rules beside its rows: the titles, the
// banners, the footer's two lines, when Restart is offered and its help, and the
// unknown-keys warning.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SaveState.hpp"
#include "SettingsPhase.hpp"
#include "system/ServiceManager.hpp"
#include "system/TimeZone.hpp"

namespace menubar::SettingsWindowText {

inline constexpr std::string_view windowTitle = "tessaly Settings";
inline constexpr std::string_view loadingText = "Loading settings from the daemon";
inline constexpr std::string_view tryAgainTitle = "Try again";
inline constexpr std::string_view configErrorBanner =
    "The daemon ignored the config file and is running on flags and defaults";
inline constexpr std::string_view restartNeededBanner =
    "The config file changed after the daemon read it. Restart the daemon to apply the change.";
inline constexpr std::string_view restartButtonTitle = "Restart daemon";
inline constexpr std::string_view cancelTitle = "Cancel";
inline constexpr std::string_view saveTitle = "Save";
inline constexpr std::string_view saveHelp =
    "Validate through the daemon and write the config file (Cmd-S)";
inline constexpr std::string_view restartOfferTitle = "Settings saved";
inline constexpr std::string_view restartOfferText =
    "The daemon reads the config file when it starts. Restart it now to apply the change?";
inline constexpr std::string_view restartOfferConfirm = "Restart Daemon";
inline constexpr std::string_view restartOfferLater = "Later";

// The footer's two lines. The footer describes the window as it is: while no
// form is shown (loading, or a failed load) nothing is being edited and there
// is nothing to save; while the config file cannot be read, no restart is
// advised (and where one would be, the line says why), since the daemon would
// start on that file.
std::string fileLine(bool formShown, bool configFileExists, const std::string& configPath);
std::string statusLine(bool formShown, const SaveState& saveState, bool restartNeeded,
                       bool daemonInstalled, const TimeZone& timeZone,
                       bool configFileUnreadable = false);
// Restart is offered for an installed daemon while no save or restart runs and
// the config file can be read.
bool canRestart(const SettingsPhase& phase, const SaveState& saveState, bool daemonInstalled);
// The restart button's tooltip: how the service manager makes the daemon read its
// config file again, or how to install it.
std::string restartHelp(const ServiceControls& service);
// The warning above the groups, or nothing when every key is known.
std::optional<std::string> unknownKeysNotice(const std::vector<std::string>& unknownKeys);

// A line that may be wrapped: a zero-width space after each slash and a word
// joiner after each hyphen, so that a long path breaks between its folders
// rather than inside a name. A reader drops the marks again (withoutBreaks)
// before showing or copying a line.
std::string withPathBreaks(const std::string& text);
std::string withoutBreaks(const std::string& text);

} // namespace menubar::SettingsWindowText
