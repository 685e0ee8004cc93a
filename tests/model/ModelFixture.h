#pragma once

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "support/EventRecorder.h"
#include "support/RecordingSocket.h"
#include "util/Event.h"

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {

// A connection online through a RecordingSocket, registered by hand (no lines sent),
// with the own user "me" in its master list.
struct ModelFixture {
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    RecordingSocket& socket = *factory.created.back();
    std::shared_ptr<IRCUser> me;

    ModelFixture()
    {
        connection->Connect("irc.test", 0);
        socket.PeerConnects();
        me = connection->User();
        me->SetNick("me");
    }

    IRCUsers& Users() { return *connection->Users(); }
    IRCChannels& Channels() { return *connection->Channels(); }

    // A channel the own user has joined, holding the given members after "me".
    std::shared_ptr<IRCChannel> JoinedChannel(const std::string& name, const std::vector<std::string>& members)
    {
        auto channel = Channels().Add(name);
        channel->ProcessJoin(me);
        for (const std::string& nick : members) {
            channel->Users()->AddExisting(Users().GetUser(nick));
        }
        return channel;
    }

    // The lines sent since the last call.
    std::vector<std::string> Sent()
    {
        std::vector<std::string> sent;
        sent.swap(socket.sent);
        return sent;
    }
};

inline std::vector<std::string> Nicks(const IRCUsers& users)
{
    std::vector<std::string> nicks;
    for (const auto& user : users) {
        nicks.emplace_back(user->Nick());
    }
    return nicks;
}

} // namespace tellix::test
