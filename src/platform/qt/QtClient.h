#pragma once

#include <QString>

namespace tellix {

class SocketFactory;
class Toolkit;

// Starts the client as the program runs it: the process-wide application on `toolkit`, then
// the irc:// `address`, when one is given, opened, or answered in the status window when it
// cannot be. From then on the event loop drives everything.
void StartClient(Toolkit& toolkit, SocketFactory& sockets, const QString& address);

} // namespace tellix
