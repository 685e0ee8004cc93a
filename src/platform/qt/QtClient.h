#pragma once

#include <QString>

namespace tellix {

class QtToolkit;
class SocketFactory;
class Toolkit;

// What every front-end does at start: the process-wide application on `toolkit`, then the
// irc:// `address`, when one is given, opened, or answered in the status window when it
// cannot be.
void StartApplication(Toolkit& toolkit, SocketFactory& sockets, const QString& address);

// Starts the client in its windows: the application and the address as above, the program's
// icon, and the event loop ending once the main window is gone.
void StartClient(QtToolkit& toolkit, SocketFactory& sockets, const QString& address);

} // namespace tellix
