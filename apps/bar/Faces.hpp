#pragma once

// The faces of one status view: pure functions from the view the tray would
// show to the text a terminal, a script or a status bar reads. Every face says
// what the menu says for the same file; only the layout differs.

#include <string>
#include <string_view>

#include "machines/AllMachines.hpp"
#include "status/StatusView.hpp"

namespace menubar::bar {

enum class Face { print, json, waybar, i3blocks, tmux, swiftbar };

struct FaceOptions {
    bool colour = false; // ANSI colours in the print face
    // Where "cmux" is, for the focus command a session entry carries.
    std::string cmux = "cmux";
    // What "Open status file" and "Open logs" open in the menu-bar plugin face.
    std::string statusPath;
    std::string logsDirectory;
    // The other machines of the machines file, one object each in the JSON face.
    std::vector<MachineView> machines;
};

// The face's text, ending in a newline.
std::string render(Face face, const StatusView& view, const FaceOptions& options);

// A short text sign for the icon's symbol, for bars that show text only.
std::string_view glyph(std::string_view symbolName);

// "ok", "warn", "critical" or "muted": the class a bar's style sheet picks on.
std::string_view toneName(Tone tone);

// 0 running, 1 stale or stopped, 2 missing or unreadable.
int exitStatus(const DaemonState& state);

} // namespace menubar::bar
