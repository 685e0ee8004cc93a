// Listeners that delete what raised their event: the connection, or the channel or user
// the event names. Windows do exactly this (a window closes its channel on a part, a
// command deletes the connection while a line is handled), so every raise must survive it.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/HostileListeners.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tellix;
using test::RecordingSocket;
using test::RecordingSocketFactory;

namespace {

using test::CollectionEvent;
using test::CollectionEvents;
using test::Victim;
using ChannelPtr = std::shared_ptr<IRCChannel>;
using ConnectionPtr = std::shared_ptr<IRCConnection>;
using UserPtr = std::shared_ptr<IRCUser>;

// A session as a user lives it: registration, two channels, every kind of line, the server
// closing, a reconnect elsewhere, connecting again while online, an error, and the end.
const std::vector<std::string> kLines{
    ":irc.test 001 me :Welcome",
    ":irc.test 005 me PREFIX=(ov)@+ CHANTYPES=# :are supported by this server",
    ":me!u@h JOIN :#a",
    ":irc.test 332 me #a :the topic",
    ":irc.test 353 me = #a :me @anna +bob carl dora",
    ":irc.test 366 me #a :End of /NAMES list.",
    ":me!u@h JOIN :#b",
    ":irc.test 353 me = #b :me anna bob erin",
    ":anna!a@h PRIVMSG #a :hello",
    ":anna!a@h PRIVMSG me :psst",
    ":me!u@h PRIVMSG anna :said from another client",
    ":bob!b@h NOTICE #a :note",
    ":bob!b@h NOTICE me :private note",
    ":bob!b@h NOTICE me :\x01VERSION bobclient 1.0\x01",
    ":irc.test NOTICE * :*** Looking up your hostname",
    ":fred!f@h JOIN :#a",
    ":anna!a@h NICK :anne",
    ":bob!b@h TOPIC #a :new topic",
    ":anne!a@h KICK #a carl :bye",
    ":oper!o@h KICK #b erin :flood",
    ":dora!d@h PART #a :later",
    ":bob!b@h QUIT :gone",
    ":gina!g@h PRIVMSG #b :late",
    ":me!u@h PART #b :",
    "ERROR :Closing link",
};

struct Session {
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    ConnectionPtr connection;
    std::int16_t slot = 0;
    std::vector<std::string> late; // collection events after the connection was let go
    bool connectionGone = false;
    bool answeredPing = false;
    std::function<void(IRCConnection&)> onAdded;
    std::vector<Subscription> subs;

    RecordingSocket* Socket()
    {
        auto* socket = connections.SocketHost().wsConnection(slot);
        return static_cast<RecordingSocket*>(socket);
    }

    // Runs `step` unless the connection was deleted; a step must never throw.
    bool Step(const std::function<void()>& step)
    {
        if (connectionGone) {
            return false;
        }
        EXPECT_NO_THROW(step());
        return !connectionGone;
    }

    // Plays the network's side while the connection still has its socket.
    void Peer(const std::function<void(RecordingSocket&)>& act)
    {
        Step([&] {
            if (RecordingSocket* socket = Socket()) {
                act(*socket);
            }
        });
    }

    void Feed(const std::string& line)
    {
        Peer([&](RecordingSocket& socket) { socket.PeerSends(line + "\r\n"); });
    }

    void Reconnect(const std::string& server, std::int32_t port)
    {
        Step([&] { connection->Connect(server, port); });
        Peer([](RecordingSocket& socket) { socket.PeerConnects(); });
    }

    // Deletion is complete once Delete has run to its end, taking the connection out of its
    // collection; a Delete asked for again while it runs returns at once.
    bool Deleted() const { return connectionGone && connection && connection->Parent() == nullptr; }

    void Run(const std::function<void()>& afterEachStep)
    {
        if (!Step([&] { connection = connections.Add(); })) {
            return;
        }
        slot = connection->SlotNumber();
        onAdded(*connection);
        Step([&] {
            connection->InitialNick("me");
            connection->InitialUserParams("me 8 * :Tellix user");
        });
        Reconnect("irc.test", 6667);
        afterEachStep();
        for (const std::string& line : kLines) {
            Feed(line);
            afterEachStep();
        }
        Peer([](RecordingSocket& socket) { socket.PeerCloses(); });
        afterEachStep();
        Reconnect("other.test", 7000);
        afterEachStep();
        Feed(":other.test 001 me :Welcome back");
        Feed(":me!u@h JOIN :#c");
        Feed(":irc.test 353 me = #c :me hank @ivy");
        afterEachStep();
        Reconnect("third.test", 0); // while online
        afterEachStep();
        Feed(":third.test 001 me :Welcome again");
        Feed(":me!u@h JOIN :#d");
        Feed(":irc.test 353 me = #d :me jill");
        Feed("PING :end");
        Peer([&](RecordingSocket& socket) {
            answeredPing = std::count(socket.sent.begin(), socket.sent.end(), "PONG :end\r\n") == 1;
        });
        afterEachStep();
        Peer([](RecordingSocket& socket) { socket.Fails(10053, "Connection is aborted"); });
        Reconnect("", 0);
        afterEachStep();
        Step([&] { connections.Clear(); }); // deletes it while online
    }
};

// Everything a listener may have changed must still hang together: positions, parents,
// and member lists that agree with the users' memberships and the master list.
void ExpectConsistent(const IRCConnection& connection, const std::string& where)
{
    SCOPED_TRACE(where);
    if (!connection.Users() || !connection.Channels()) {
        return;
    }
    const IRCUsers& master = *connection.Users();
    std::int32_t position = 0;
    for (const UserPtr& user : master) {
        EXPECT_EQ(user->Index(), ++position) << user->Nick();
        EXPECT_EQ(user->Parent(), &master) << user->Nick();
        for (IRCUsers* list : user->Membership()) {
            EXPECT_TRUE(list->Item(user)) << user->Nick() << " counts a member list that does not hold it";
        }
    }
    position = 0;
    for (const ChannelPtr& channel : *connection.Channels()) {
        EXPECT_EQ(channel->Index(), ++position) << channel->Name();
        EXPECT_EQ(channel->Parent(), connection.Channels().get()) << channel->Name();
        for (const UserPtr& member : *channel->Users()) {
            EXPECT_EQ(member->Parent(), &master) << member->Nick() << " in " << channel->Name();
            const auto& lists = member->Membership();
            EXPECT_NE(std::find(lists.begin(), lists.end(), channel->Users().get()), lists.end())
                << member->Nick() << " in " << channel->Name();
        }
    }
}

struct HostileCase {
    std::size_t event;
    Victim victim;
};

std::string CaseName(const testing::TestParamInfo<HostileCase>& info)
{
    return std::string(CollectionEvents()[info.param.event].name) +
           (info.param.victim == Victim::Connection ? "_DeletesConnection" : "_DeletesWhatItNames");
}

std::vector<HostileCase> AllCases()
{
    std::vector<HostileCase> cases;
    for (std::size_t i = 0; i < CollectionEvents().size(); ++i) {
        cases.push_back({i, Victim::Connection});
        if (CollectionEvents()[i].namesObject) {
            cases.push_back({i, Victim::Named});
        }
    }
    return cases;
}

class HostileListener : public testing::TestWithParam<HostileCase> {};

} // namespace

// The listener lets go at the n-th raise of its event, for every n the session reaches, so
// each place that raises the event meets it once; one that lets go of what its event names
// also runs at every raise, over and over.
TEST_P(HostileListener, EveryRaiseSurvivesItAndTheModelStaysWhole)
{
    const CollectionEvent& event = CollectionEvents()[GetParam().event];
    const Victim victim = GetParam().victim;
    int reached = 0;
    for (int nth = victim == Victim::Named ? 0 : 1;; ++nth) {
        SCOPED_TRACE("at raise " + std::to_string(nth) + " of " + event.name);
        Session session;
        bool fired = false;
        // Watches every collection event; anything after the connection was deleted is late.
        for (const CollectionEvent& watched : CollectionEvents()) {
            session.subs.push_back(watched.attach(session.connections, [&](const ConnectionPtr&, auto&&...) {
                if (session.Deleted()) {
                    session.late.push_back(watched.name);
                }
            }));
        }
        session.onAdded = [&](IRCConnection& connection) {
            for (const CollectionEvent& watched : CollectionEvents()) {
                if (watched.attachOwn) {
                    session.subs.push_back(watched.attachOwn(connection, [&session, &watched] {
                        if (session.Deleted()) {
                            session.late.push_back(std::string("own ") + watched.name);
                        }
                    }));
                }
            }
        };
        session.subs.push_back(test::LetGo(session.connections, event, victim, nth, [&] {
            fired = true;
            session.connectionGone = victim == Victim::Connection;
        }));
        session.Run([&] {
            if (session.connection) {
                ExpectConsistent(*session.connection, "after a step");
            }
        });
        if (!fired) {
            break;
        }
        reached = nth;
        if (victim == Victim::Connection) {
            ASSERT_TRUE(session.connection || nth == 1);
            if (session.connection) {
                EXPECT_EQ(session.connection->Index(), -1);
                EXPECT_EQ(session.connection->Parent(), nullptr);
            }
            EXPECT_EQ(session.connections.Count(), 0);
            EXPECT_FALSE(session.connections.SocketHost().SlotExists(1)) << "the slot outlived its connection";
            EXPECT_EQ(session.late, std::vector<std::string>{}) << "events about a deleted connection";
        } else {
            // The session went on to its end: the last connection answered the server's ping.
            EXPECT_TRUE(session.answeredPing);
            EXPECT_EQ(session.connections.Count(), 0);
        }
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(reached, 0) << "the session never raised " << event.name;
}

INSTANTIATE_TEST_SUITE_P(EachCollectionEvent, HostileListener, testing::ValuesIn(AllCases()), CaseName);
