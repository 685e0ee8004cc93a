#pragma once

#include <QString>

namespace tellix {

class QtToolkit;
class SocketFactory;

// Starts the client in its windows: the application and the irc:// address as every front-end
// starts them, the program's icon, and the event loop ending once the main window is gone.
void StartClient(QtToolkit& toolkit, SocketFactory& sockets, const QString& address);

} // namespace tellix
