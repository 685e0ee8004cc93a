#include "ManyNetworks.h"

#include "app/Application.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

namespace tellix::bench {

namespace {

std::string Server(int number)
{
    return "irc" + std::to_string(number) + ".test";
}

} // namespace

std::string NetworkBurst(int number, const NetworkShape& shape)
{
    const std::string server = ":" + Server(number);
    std::string text = server + " 001 me :Welcome\r\n";
    const int pool = shape.members * 10;
    for (int c = 0; c < shape.channels; ++c) {
        const std::string channel = "#channel" + std::to_string(c);
        text += ":me!u@h JOIN :" + channel + "\r\n";
        std::string line;
        for (int m = 0; m < shape.members; ++m) {
            if (line.empty()) {
                line = server + " 353 me = " + channel + " :";
            } else {
                line += ' ';
            }
            line += (m % 17 == 0 ? "@user" : "user") + std::to_string((c * 37 + m) % pool);
            if (line.size() > 400 || m + 1 == shape.members) {
                text += line + "\r\n";
                line.clear();
            }
        }
        text += server + " 366 me " + channel + " :End of /NAMES list.\r\n";
    }
    for (int q = 0; q < shape.queries; ++q) {
        const std::string nick = "friend" + std::to_string(q);
        text += ":" + nick + "!~" + nick + "@friends.example PRIVMSG me :are you there?\r\n";
    }
    return text;
}

void Deliver(test::RecordingSocket& socket, const std::string& text)
{
    constexpr std::size_t chunk = 16 * 1024;
    for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
        socket.PeerSends(text.substr(pos, chunk));
    }
}

test::RecordingSocket& OpenNetwork(Application& app, test::RecordingSocketFactory& sockets, int number,
                                   const NetworkShape& shape)
{
    const auto connection = number == 0 ? app.Connections().Item(1) : app.NewConnection();
    // The first connection's socket is the newest one while nothing else has connected.
    test::RecordingSocket& socket = *sockets.created.back();
    connection->InitialNick("me");
    connection->Connect(Server(number), 6667);
    socket.PeerConnects();
    Deliver(socket, NetworkBurst(number, shape));
    return socket;
}

} // namespace tellix::bench
