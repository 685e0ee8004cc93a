#pragma once

#include <QString>

namespace tellix {

class SocketFactory;
class Toolkit;

// What every front-end does at start: the process-wide application on `toolkit`, then the
// irc:// `address`, when one is given, opened, or answered in the status window when it
// cannot be.
void StartApplication(Toolkit& toolkit, SocketFactory& sockets, const QString& address);

} // namespace tellix
