#pragma once

// "Start at login", the platform's half. On freedesktop desktops it is an XDG
// autostart entry written atomically (a crash mid-write leaves the old file or
// none, never half a file); the core builds its text. A macOS build has no login
// item support yet, so there the setting is unavailable and the menu has no
// such item.

#include <optional>
#include <string>

namespace menubar::app {

class StartAtLogin {
public:
    // The entry at `entryPath` that starts `executable`.
    StartAtLogin(std::string entryPath, std::string executable);

    // The one for this process: the entry under the user's config folder that
    // starts the installed app, or this very executable when it is not installed.
    // Nothing where the platform has no support.
    static std::optional<StartAtLogin> forThisApp(const std::string& home);

    // Read afresh at each call: the user may add or delete the entry by hand.
    bool isEnabled() const;
    // Writes or removes the entry; a failure is logged and leaves it as it was.
    void setEnabled(bool enabled) const;

    const std::string& entryPath() const { return entryPath_; }

private:
    std::string entryPath_;
    std::string executable_;
};

} // namespace menubar::app
