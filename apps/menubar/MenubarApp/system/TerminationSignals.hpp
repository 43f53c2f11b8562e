#pragma once

// SIGTERM (a logout, systemd, kill) and SIGINT (Ctrl-C in a terminal) end the
// app the way Quit does: the event loop returns, the one-instance lock file and
// socket are removed, nothing is left in the runtime folder. The handler only
// writes a byte to a pipe; the quit happens on the main thread's event loop.

namespace menubar::app {

// Once, after the QApplication exists.
void quitOnTerminationSignals();

} // namespace menubar::app
