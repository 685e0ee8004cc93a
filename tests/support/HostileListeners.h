#pragma once

#include "model/IRCChannel.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "util/Event.h"

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

// Listeners that delete what raised their event, for the tests and the fuzz target: windows
// close a channel on a part, a command deletes the connection while a line is handled.
namespace tellix::test {

using ConnectionPtr = std::shared_ptr<IRCConnection>;
using ChannelPtr = std::shared_ptr<IRCChannel>;
using UserPtr = std::shared_ptr<IRCUser>;

// What a hostile listener lets go of: the connection, or the channel or user its event names.
enum class Victim { Connection, Named };

// One of the connection collection's 23 events.
struct CollectionEvent {
    using Act = std::function<void(const ConnectionPtr&, const ChannelPtr&, const UserPtr&)>;
    const char* name;
    // Connects `act`, called with the event's connection and the channel or user it names.
    std::function<Subscription(IRCConnections&, Act)> attach;
    bool namesObject;
    // Connects `seen` to the connection's own event of that name; all but Add have one.
    std::function<Subscription(IRCConnection&, std::function<void()>)> attachOwn;
};

namespace hostile {

template <class E, class Pick> auto On(E IRCConnections::EventsType::*event, Pick pick)
{
    return [event, pick](IRCConnections& connections, CollectionEvent::Act act) {
        return (connections.Events.*event).connect([act, pick](const ConnectionPtr& connection, auto&&... args) {
            auto [channel, user] = pick(args...);
            act(connection, channel, user);
        });
    };
}

template <class E> auto Own(E IRCConnection::EventSet::*event)
{
    return [event](IRCConnection& connection, std::function<void()> seen) {
        return (connection.Events.*event).connect([seen](auto&&...) { seen(); });
    };
}

inline constexpr auto kNothing = [](auto&&...) { return std::pair<ChannelPtr, UserPtr>{}; };
inline constexpr auto kChannel = [](const ChannelPtr& channel, auto&&...) {
    return std::pair{channel, UserPtr{}};
};
inline constexpr auto kUser = [](const UserPtr& user, auto&&...) { return std::pair{ChannelPtr{}, user}; };

} // namespace hostile

inline const std::vector<CollectionEvent>& CollectionEvents()
{
    using E = IRCConnections::EventsType;
    using O = IRCConnection::EventSet;
    using namespace hostile;
#define TELLIX_EVENT(name, pick)                                                                                  \
    {                                                                                                             \
#name, On(&E::name, pick), !std::is_same_v < decltype(pick), decltype(kNothing)>, Own(&O::name)           \
    }
    static const std::vector<CollectionEvent> events{
        {"Add", On(&E::Add, kNothing), false, {}},
        TELLIX_EVENT(ChannelAdd, kChannel),
        TELLIX_EVENT(ChannelJoin, kChannel),
        TELLIX_EVENT(ChannelKick, kChannel),
        TELLIX_EVENT(ChannelNickChange, kChannel),
        TELLIX_EVENT(ChannelNotice, kChannel),
        TELLIX_EVENT(ChannelPart, kChannel),
        TELLIX_EVENT(ChannelPrivMsg, kChannel),
        TELLIX_EVENT(ChannelQuit, kChannel),
        TELLIX_EVENT(ChannelTopicChange, kChannel),
        TELLIX_EVENT(Connect, kNothing),
        TELLIX_EVENT(CtcpReply, kNothing), // an answer to a request of ours
        TELLIX_EVENT(Disconnect, kNothing),
        TELLIX_EVENT(Error, kNothing),
        TELLIX_EVENT(GetRawMessage, kNothing),
        TELLIX_EVENT(MessageNotProcessed, kNothing),
        TELLIX_EVENT(ServerChange, kNothing),
        TELLIX_EVENT(ServerNotice, kNothing), // from a server, which names no user
        TELLIX_EVENT(SocketError, kNothing),
        TELLIX_EVENT(UserAdd, kUser),
        TELLIX_EVENT(UserNickChange, kUser),
        TELLIX_EVENT(UserNotice, kUser),
        TELLIX_EVENT(UserPrivMsg, kUser),
        TELLIX_EVENT(UserQuit, kUser),
        TELLIX_EVENT(UserRemove, kUser),
        TELLIX_EVENT(UserSelfMessage, kUser),
    };
#undef TELLIX_EVENT
    return events;
}

// A listener that, at the `nth` raise of `event` (every raise when `nth` is 0), deletes the
// connection or what the event names; `fired` is told when it has.
inline Subscription LetGo(IRCConnections& connections, const CollectionEvent& event, Victim victim, int nth,
                          std::function<void()> fired)
{
    auto raises = std::make_shared<int>(0);
    return event.attach(connections,
                        [=](const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& user) {
                            if (nth != 0 && ++*raises != nth) {
                                return;
                            }
                            if (victim == Victim::Connection) {
                                connection->Delete();
                            } else if (channel) {
                                channel->Delete();
                            } else if (user) {
                                user->Delete();
                            }
                            fired();
                        });
}

} // namespace tellix::test
