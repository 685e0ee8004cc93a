// Against a real ngircd: CTCP requests from another user, and a link the server kills, with and
// without the user's wish to come back. The protocol's time is the fake clock; only the
// network is waited for.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/CtcpReplies.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qtcore/QtTcpSocket.h"

#include "support/FakeTimers.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

struct Client {
    FakeTimers timers; // outlives the connections, whose timers it holds
    QtSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    std::vector<std::string> log;
    std::vector<Subscription> subs;

    Client(const std::string& nick, bool reconnect)
    {
        EnsureQtApplication();
        connections.SetProtocolTimers(&timers);
        connection = connections.Add();
        connection->InitialNick(nick);
        connection->InitialUserParams(nick + " 8 * :Tellix " + nick);
        ConnectOptions options;
        options.reconnect = reconnect;
        connection->Options(options);
        auto& e = connections.Events;
        subs.push_back(e.Connect.connect([this](const auto&, const std::string& server, std::int32_t, bool code) {
            log.push_back("Connect " + server + (code ? " code" : " nocode"));
        }));
        subs.push_back(e.Disconnect.connect([this](const auto&, const std::string&, std::int32_t, bool code) {
            log.push_back(std::string("Disconnect") + (code ? " code" : " nocode"));
        }));
    }

    bool Logged(const std::string& entry, std::chrono::milliseconds wait = 5s)
    {
        return PumpUntil([&] { return std::find(log.begin(), log.end(), entry) != log.end(); }, wait);
    }
    bool Joined(const std::vector<std::string>& names)
    {
        return PumpUntil([&] {
            return std::all_of(names.begin(), names.end(), [&](const std::string& name) {
                const auto channel = connection->Channels()->Item(name);
                return channel && channel->Joined();
            });
        });
    }
    bool Registered()
    {
        return PumpUntil([&] { return connection->User() && connection->User()->Nick() == "tellix"; });
    }
};

std::size_t CountHolding(const std::vector<std::string>& lines, const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

} // namespace

TEST(LinkResilienceServer, CtcpRequestsGetOneNoticeAnswerEveryTwoSeconds)
{
    IrcServer server;
    Client client("tellix", false);
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered()) << server.Log();

    RawPeer peer(server.Port());
    peer.Register("asker");
    peer.Send("PRIVMSG tellix :\x01VERSION\x01");
    peer.Send("PRIVMSG tellix :\x01VERSION\x01");
    peer.Send("PRIVMSG tellix :\x01PING 41\x01");
    ASSERT_TRUE(PumpUntilPeerSees(peer, "NOTICE asker :\x01VERSION " + CtcpReplies::VersionText() + "\x01"));
    client.timers.Advance(CtcpReplies::kGapMs);
    // The client reads in order: once this is answered, the three before it have been read.
    peer.Send("PRIVMSG tellix :\x01PING 42\x01");
    ASSERT_TRUE(PumpUntilPeerSees(peer, "NOTICE asker :\x01PING 42\x01"));
    EXPECT_EQ(CountHolding(peer.Received(), "NOTICE asker"), 2u);
}

TEST(LinkResilienceServer, AKilledLinkComesBackAndJoinsItsChannelsAgainAKeyedOneToo)
{
    IrcServer server;
    RawPeer keeper(server.Port());
    keeper.Register("keeper");
    keeper.Send("JOIN #locked");
    keeper.Send("MODE #locked +k sesame");
    keeper.Send("JOIN #open");
    ASSERT_TRUE(keeper.WaitFor("MODE #locked +k"));

    Client client("tellix", true);
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered()) << server.Log();
    client.connection->SendMessage("JOIN #locked sesame");
    client.connection->Channels()->Join("#open");
    ASSERT_TRUE(client.Joined({"#locked", "#open"})) << server.Log();

    RawPeer oper(server.Port());
    oper.Register("oper");
    oper.Send("OPER tellix tellix");
    ASSERT_TRUE(oper.WaitFor(" 381 "));
    oper.Send("KILL tellix :testing the way back");
    ASSERT_TRUE(client.Logged("Disconnect nocode")) << server.Log();
    EXPECT_FALSE(client.connection->Channels()->Item("#locked")->Joined());

    client.timers.Advance(9'999);
    PumpFor(200ms);
    EXPECT_EQ(std::count(client.log.begin(), client.log.end(), "Connect " + server.Host() + " nocode"), 0);
    client.timers.Advance(1);
    ASSERT_TRUE(client.Logged("Connect " + server.Host() + " nocode")) << server.Log();
    ASSERT_TRUE(client.Joined({"#locked", "#open"})) << server.Log();
    const auto fromTellix = [](const char* what, const char* channel) {
        return [=](const std::string& line) {
            return line.starts_with(":tellix!") && line.find(what) != std::string::npos &&
                   line.find(channel) != std::string::npos;
        };
    };
    ASSERT_TRUE(keeper.WaitUntil(fromTellix(" QUIT ", "")));
    EXPECT_TRUE(keeper.WaitUntil(fromTellix(" JOIN ", "#locked"))) << "joined again after the kill";
    EXPECT_TRUE(client.connection->Connected());
}

TEST(LinkResilienceServer, WithoutReconnectAKilledLinkStaysDown)
{
    IrcServer server;
    Client client("tellix", false);
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered()) << server.Log();

    RawPeer oper(server.Port());
    oper.Register("oper");
    oper.Send("OPER tellix tellix");
    ASSERT_TRUE(oper.WaitFor(" 381 "));
    oper.Send("KILL tellix :gone");
    ASSERT_TRUE(client.Logged("Disconnect nocode")) << server.Log();
    client.timers.Advance(3'600'000);
    PumpFor(300ms);
    EXPECT_FALSE(client.connection->Connected());
    EXPECT_EQ(client.log, (std::vector<std::string>{"Connect " + server.Host() + " code", "Disconnect nocode"}));
    EXPECT_EQ(client.timers.Waiting(), 0u);
}
