#pragma once

// The desktop's file handlers: opening a file or folder with its default
// application, and showing a file selected in a file-manager window. Both
// return at once; when nothing could open the path, `failed` is called once, on
// the main thread, with the handler's name and its result (its own message in
// the standard error), so the caller can tell the user.

#include <functional>
#include <string>

#include "CommandRunner.hpp"

namespace menubar::app {

using OpenFailed = std::function<void(const std::string& tool, const CommandResult& result)>;

// xdg-open on Linux, whose exit status says whether a handler took the path;
// Launch Services on macOS.
void openWithDesktop(const std::string& path, OpenFailed failed = {});

// The file manager selects the file when it offers the freedesktop interface;
// otherwise (no such service, or it refuses) the containing folder opens. On
// macOS, `open -R`.
void revealInFileManager(const std::string& path, OpenFailed failed = {});

} // namespace menubar::app
