#pragma once

#include <QString>

namespace tellix {

// Runs the client in the terminal until the main window is gone: each line of standard input
// is typed into the active window, every window line goes to standard output, and the end of
// input closes the main window. Needs a QCoreApplication; returns the event loop's status.
int RunConsoleClient(const QString& address);

} // namespace tellix
