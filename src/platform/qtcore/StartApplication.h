#pragma once

#include <QString>

namespace tellix {

class Application;
class SocketFactory;
class Toolkit;

// What every front-end does at start: the process-wide application on `toolkit`, then the
// irc:// `address`, when one is given, opened, or answered in the status window when it
// cannot be.
void StartApplication(Toolkit& toolkit, SocketFactory& sockets, const QString& address);

// An irc:// address opened while the program runs (a link clicked, or handed over by a later
// start); one that cannot be opened is answered in the status window.
void OpenRunningAddress(Application& app, const QString& address);

} // namespace tellix
