#pragma once

#include "support/RecordingSocket.h"

#include <string>

namespace tellix {
class Application;
}

namespace tellix::bench {

// What one server says to a client that has just joined it: the welcome, `channels` channels
// joined with a names reply of `members` nicks each (drawn from one pool, so that channels
// share people as they do), and `queries` strangers each saying a line in private.
struct NetworkShape {
    int channels = 50;
    int members = 200;
    int queries = 20;
};

// Connection `number` (0 the first, which every client has: open it before any other) connected as "me" to
// "irc<number>.test" on a recording socket and filled as `shape` says, as received bytes.
test::RecordingSocket& OpenNetwork(Application& app, test::RecordingSocketFactory& sockets, int number,
                                   const NetworkShape& shape);

// The bytes that fill it, for a caller that times their delivery apart.
std::string NetworkBurst(int number, const NetworkShape& shape);

// Hands `text` to the client in reads of 16 KiB, as a socket would.
void Deliver(test::RecordingSocket& socket, const std::string& text);

} // namespace tellix::bench
