#pragma once

// The desktop's file handlers: opening a file or folder with its default
// application, and showing a file selected in a file-manager window.

#include <string>

namespace menubar::app {

void openWithDesktop(const std::string& path);

// The file manager selects the file when it offers the freedesktop interface;
// otherwise (no such service, or it refuses) the containing folder opens. On
// macOS, `open -R`.
void revealInFileManager(const std::string& path);

} // namespace menubar::app
