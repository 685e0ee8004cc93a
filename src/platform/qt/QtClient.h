#pragma once

#include <QString>

namespace tellix {

class QtToolkit;
class SocketFactory;

// Starts the client as the program runs it: the process-wide application on `toolkit`, then
// the irc:// `address`, when one is given, opened, or answered in the status window when it
// cannot be. From then on the event loop drives everything, until the main window is gone.
void StartClient(QtToolkit& toolkit, SocketFactory& sockets, const QString& address);

} // namespace tellix
