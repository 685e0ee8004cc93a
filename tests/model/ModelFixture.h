#pragma once

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "support/RecordingSocket.h"
#include "util/Event.h"

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {

// Records every event of the watched objects, in the order they are raised, as
// "label.Event args": users by nick ("-" for none, "" for an empty nick), channels by name, texts quoted.
class Recorder {
public:
    std::vector<std::string> log;

    // Returns what was recorded so far and starts afresh.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(log);
        return taken;
    }

    void Watch(const std::string& label, IRCUser& user)
    {
        auto& e = user.Events;
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
    }

    void Watch(const std::string& label, IRCUsers& users)
    {
        auto& e = users.Events;
        Keep(e.Add, label + ".Add");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.Remove, label + ".Remove");
    }

    void Watch(const std::string& label, IRCChannel& channel)
    {
        auto& e = channel.Events;
        Keep(e.Join, label + ".Join");
        Keep(e.Kick, label + ".Kick");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.Part, label + ".Part");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.TopicChange, label + ".TopicChange");
        Keep(e.UserAdd, label + ".UserAdd");
        Keep(e.UserRemove, label + ".UserRemove");
    }

    void Watch(const std::string& label, IRCChannels& channels)
    {
        auto& e = channels.Events;
        Keep(e.Add, label + ".Add");
        Keep(e.Join, label + ".Join");
        Keep(e.Kick, label + ".Kick");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.Part, label + ".Part");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.TopicChange, label + ".TopicChange");
    }

private:
    static std::string Text(const std::shared_ptr<IRCUser>& user)
    {
        if (!user) {
            return "-";
        }
        return user->Nick().empty() ? "\"\"" : user->Nick();
    }
    static std::string Text(const std::shared_ptr<IRCChannel>& channel) { return channel ? channel->Name() : "-"; }
    static std::string Text(const std::string& text) { return "'" + text + "'"; }

    template <class... Args> void Keep(Event<Args...>& event, std::string name)
    {
        subscriptions_.push_back(event.connect([this, name](Args... args) {
            std::string entry = name;
            ((entry += " " + Text(args)), ...);
            log.push_back(entry);
        }));
    }

    std::vector<Subscription> subscriptions_;
};

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
        nicks.push_back(user->Nick());
    }
    return nicks;
}

} // namespace tellix::test
