// The connection engine against real IRC servers (ngircd and InspIRCd), with a raw
// protocol peer playing the other users.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qtcore/QtTcpSocket.h"

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

using Kind = IrcServer::Kind;

std::string KindName(const testing::TestParamInfo<Kind>& info)
{
    return info.param == Kind::Ngircd ? "ngircd" : "inspircd";
}

// The client as the application runs it: a collection with one connection, and a log
// of the collection's events as "Event args" lines.
struct Client {
    QtSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    std::vector<std::string> log;
    std::vector<Subscription> subs;

    explicit Client(const std::string& nick)
    {
        EnsureQtApplication();
        connection = connections.Add();
        connection->InitialNick(nick);
        connection->InitialUserParams(nick + " 8 * :Tellix " + nick);
        auto& e = connections.Events;
        auto nickOf = [](const std::shared_ptr<IRCUser>& user) {
            return user ? std::string(user->Nick()) : std::string("-");
        };
        subs.push_back(e.Connect.connect([this](const auto&, const std::string& server, std::int32_t, bool code) {
            log.push_back("Connect " + server + (code ? " code" : " nocode"));
        }));
        subs.push_back(e.Disconnect.connect([this](const auto&, const std::string&, std::int32_t, bool code) {
            log.push_back(std::string("Disconnect") + (code ? " code" : " nocode"));
        }));
        subs.push_back(e.SocketError.connect([this](const auto&, std::int16_t number, std::string&, std::int32_t,
                                                    const std::string&, const std::string&, std::int32_t, bool&) {
            log.push_back("SocketError " + std::to_string(number));
        }));
        subs.push_back(e.ServerChange.connect(
            [this](const auto&, const std::string& server) { log.push_back("ServerChange " + server); }));
        subs.push_back(e.Error.connect([this](const auto&, const std::string&) { log.push_back("Error"); }));
        subs.push_back(e.ChannelJoin.connect([this, nickOf](const auto&, const auto& channel, const auto& source) {
            log.push_back("ChannelJoin " + channel->Name() + " " + nickOf(source));
        }));
        subs.push_back(e.ChannelPart.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& text) {
                log.push_back("ChannelPart " + channel->Name() + " " + nickOf(source) + " :" + text);
            }));
        subs.push_back(e.ChannelKick.connect([this, nickOf](const auto&, const auto& channel, const auto& source,
                                                            const auto& destination, const std::string& reason) {
            log.push_back("ChannelKick " + channel->Name() + " " + nickOf(source) + " " + nickOf(destination) +
                          " :" + reason);
        }));
        subs.push_back(e.ChannelNickChange.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& previous) {
                log.push_back("ChannelNickChange " + channel->Name() + " " + previous + " " + nickOf(source));
            }));
        subs.push_back(e.ChannelQuit.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& text) {
                log.push_back("ChannelQuit " + channel->Name() + " " + nickOf(source) + " :" + text);
            }));
        subs.push_back(e.ChannelTopicChange.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& previous) {
                log.push_back("ChannelTopicChange " + channel->Name() + " " + nickOf(source) + " " + previous +
                              " -> " + channel->Topic());
            }));
        subs.push_back(e.ChannelPrivMsg.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& text) {
                log.push_back("ChannelPrivMsg " + channel->Name() + " " + nickOf(source) + " :" + text);
            }));
        subs.push_back(e.ChannelNotice.connect(
            [this, nickOf](const auto&, const auto& channel, const auto& source, const std::string& text) {
                log.push_back("ChannelNotice " + channel->Name() + " " + nickOf(source) + " :" + text);
            }));
        subs.push_back(
            e.UserPrivMsg.connect([this, nickOf](const auto&, const auto& source, const std::string& text) {
                log.push_back("UserPrivMsg " + nickOf(source) + " :" + text);
            }));
        subs.push_back(
            e.UserNotice.connect([this, nickOf](const auto&, const auto& source, const std::string& text) {
                log.push_back("UserNotice " + nickOf(source) + " :" + text);
            }));
        subs.push_back(
            e.UserQuit.connect([this, nickOf](const auto&, const auto& source, const std::string& text) {
                log.push_back("UserQuit " + nickOf(source) + " :" + text);
            }));
    }

    bool Logged(const std::string& entry, std::chrono::milliseconds wait = 5s)
    {
        return PumpUntil([&] { return std::find(log.begin(), log.end(), entry) != log.end(); }, wait);
    }
    std::int64_t CountOf(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }
    bool Registered(const IrcServer& server)
    {
        return PumpUntil([&] {
            return connection->User() && !connection->User()->Nick().empty() &&
                   connection->User()->Nick() != "*" && connection->Server() == server.Name();
        });
    }
    std::shared_ptr<IRCChannel> Channel(const std::string& name) const
    {
        return connection->Channels()->Item(name);
    }
};

class ConnectionServer : public testing::TestWithParam<Kind> {
protected:
    IrcServer::Options Options(int pingSeconds = 120) const
    {
        IrcServer::Options options;
        options.kind = GetParam();
        options.pingSeconds = pingSeconds;
        options.pongSeconds = std::max(pingSeconds, 3);
        return options;
    }
};

} // namespace

TEST_P(ConnectionServer, RegistersAndLearnsTheServersNameAndItsOwnNick)
{
    IrcServer server(Options());
    Client client("tester");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    EXPECT_TRUE(client.connection->Connected());
    EXPECT_EQ(client.connection->User()->Nick(), "tester");
    ASSERT_GE(client.log.size(), 2u);
    EXPECT_EQ(client.log[0], "Connect " + server.Host() + " code");
    EXPECT_EQ(client.log[1], "ServerChange " + server.Name());

    RawPeer peer(server.Port());
    peer.Register("peer");
    peer.Send("WHOIS tester");
    const auto whois = peer.WaitFor(" 311 ");
    ASSERT_TRUE(whois);
    EXPECT_NE(whois->find("Tellix tester"), std::string::npos) << *whois;
}

// The nick a fresh install starts with is longer than ngircd's nine bytes.
TEST_P(ConnectionServer, ANickLongerThanTheServerTakesIsCutToFit)
{
    IrcServer server(Options());
    Client client("user|Tellix");
    client.connection->InitialUserParams("tellix 8 * :Tellix");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    EXPECT_EQ(client.connection->User()->Nick(), GetParam() == Kind::Ngircd ? "user|Tel_" : "user|Tellix");
    EXPECT_EQ(client.CountOf("Error"), 0);
}

TEST_P(ConnectionServer, AnswersPingsAndStaysConnected)
{
    IrcServer server(Options(1));
    Client client("pinged");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    PumpFor(5s);
    EXPECT_TRUE(client.connection->Connected());
    EXPECT_EQ(client.CountOf("Disconnect nocode"), 0);
}

TEST_P(ConnectionServer, WithoutAutomaticPongTheServerClosesUs)
{
    IrcServer server(Options(1));
    Client client("silent");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    client.connection->Automation(0);
    ASSERT_TRUE(client.Logged("Disconnect nocode", 15s)) << server.Log();
    EXPECT_FALSE(client.connection->Connected());
}

TEST_P(ConnectionServer, ChannelLifeFromEverythingTheServerSays)
{
    IrcServer server(Options());
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    anna.Send("TOPIC #room :first topic");
    ASSERT_TRUE(anna.WaitFor(" TOPIC "));

    Client client("me");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    client.connection->Channels()->Join("#room");
    client.connection->Channels()->Join("#other");
    ASSERT_TRUE(client.Logged("ChannelJoin #room me"));
    ASSERT_TRUE(client.Logged("ChannelJoin #other me"));
    ASSERT_TRUE(client.Logged("ChannelTopicChange #room -  -> first topic"));
    auto room = client.Channel("#room");
    ASSERT_TRUE(room);
    EXPECT_TRUE(room->Joined());
    ASSERT_TRUE(PumpUntil([&] { return room->Users()->Count() == 2; }));
    EXPECT_TRUE(room->Users()->Item("anna"));
    EXPECT_TRUE(room->Users()->Item("me"));

    // Another user joins both channels, talks, changes nick, and so on.
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room,#other");
    ASSERT_TRUE(client.Logged("ChannelJoin #room bob"));
    ASSERT_TRUE(client.Logged("ChannelJoin #other bob"));
    bob.Send("PRIVMSG #room :hello: with colon");
    ASSERT_TRUE(client.Logged("ChannelPrivMsg #room bob :hello: with colon"));
    bob.Send("PRIVMSG #ROOM :\x01"
             "ACTION waves\x01");
    ASSERT_TRUE(client.Logged("ChannelPrivMsg #room bob :\x01"
                              "ACTION waves\x01"));
    bob.Send("NOTICE #room :a notice");
    ASSERT_TRUE(client.Logged("ChannelNotice #room bob :a notice"));
    bob.Send("PRIVMSG me :just you");
    ASSERT_TRUE(client.Logged("UserPrivMsg bob :just you"));
    bob.Send("NOTICE me :private notice");
    ASSERT_TRUE(client.Logged("UserNotice bob :private notice"));
    bob.Send("NICK robert");
    ASSERT_TRUE(client.Logged("ChannelNickChange #room bob robert"));
    ASSERT_TRUE(client.Logged("ChannelNickChange #other bob robert"));
    bob.Send("PART #other :see you");
    ASSERT_TRUE(client.Logged("ChannelPart #other robert :see you"));
    bob.Send("PART #room");
    ASSERT_TRUE(client.Logged("ChannelPart #room robert :"));
    EXPECT_FALSE(room->Users()->Item("robert"));

    // Topic changes, kicks with and without a reason (anna holds the channel).
    anna.Send("TOPIC #room :second topic");
    ASSERT_TRUE(client.Logged("ChannelTopicChange #room anna first topic -> second topic"));
    RawPeer carl(server.Port());
    carl.Register("carl");
    carl.Send("JOIN #room");
    ASSERT_TRUE(client.Logged("ChannelJoin #room carl"));
    anna.Send("KICK #room carl :out you go");
    ASSERT_TRUE(client.Logged("ChannelKick #room anna carl :out you go"));
    carl.Send("JOIN #room");
    ASSERT_TRUE(client.Logged("ChannelJoin #room carl"));
    anna.Send("KICK #room carl");
    ASSERT_TRUE(PumpUntil([&] { return !room->Users()->Item("carl"); }));

    // A quit reaches every channel the user shared with us once.
    RawPeer dora(server.Port());
    dora.Register("dora");
    dora.Send("JOIN #room,#other");
    ASSERT_TRUE(client.Logged("ChannelJoin #other dora"));
    dora.Send("QUIT :gone fishing");
    // Servers word the reason their own way ("Quit: gone fishing" or the text alone).
    std::string quitText;
    ASSERT_TRUE(PumpUntil([&] {
        for (const std::string& entry : client.log) {
            if (entry.starts_with("UserQuit dora :")) {
                quitText = entry.substr(15);
                return true;
            }
        }
        return false;
    }));
    EXPECT_NE(quitText.find("gone fishing"), std::string::npos);
    EXPECT_EQ(client.CountOf("ChannelQuit #room dora :" + quitText), 1);
    EXPECT_EQ(client.CountOf("ChannelQuit #other dora :" + quitText), 1);
    EXPECT_FALSE(room->Users()->Item("dora"));
    EXPECT_FALSE(client.connection->Users()->Item("dora"));

    // Being kicked ourselves leaves the channel not joined.
    anna.Send("KICK #room me :bye");
    ASSERT_TRUE(client.Logged("ChannelKick #room anna me :bye"));
    EXPECT_FALSE(room->Joined());
}

TEST_P(ConnectionServer, QuitThenCloseIsExpectedAndAServerDeathIsNot)
{
    IrcServer server(Options());
    Client client("quitter");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered(server)) << server.Log();
    client.connection->Channels()->Join("#q");
    ASSERT_TRUE(client.Logged("ChannelJoin #q quitter"));
    client.connection->Quit("bye");
    ASSERT_TRUE(client.Logged("Disconnect code"));
    EXPECT_FALSE(client.Channel("#q")->Joined());

    client.connection->Connect("", 0); // the same host and port again
    // Registered anew: a second welcome, not the state left from the first.
    ASSERT_TRUE(PumpUntil([&] { return client.CountOf("ServerChange " + server.Name()) == 2; })) << server.Log();
    server.Kill();
    ASSERT_TRUE(client.Logged("Disconnect nocode")) << server.Log();
    EXPECT_FALSE(client.connection->Connected());
}

TEST_P(ConnectionServer, ReconnectingKeepsOrReplacesTheUsersByHostAndPort)
{
    IrcServer server(Options());
    IrcServer other(Options());
    Client client("moving");
    // Unregistered, so the server's welcome does not rename the server yet.
    client.connection->Automation(IRCConnection::AutoPong);
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Logged("Connect " + server.Host() + " code"));
    const auto firstUser = client.connection->User();
    ASSERT_TRUE(firstUser);

    // Connect while online: the old connection ends first, on our own request.
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_EQ(client.log.back(), "Disconnect code");
    ASSERT_TRUE(PumpUntil([&] { return client.CountOf("Connect " + server.Host() + " code") == 2; }));
    EXPECT_EQ(client.connection->User(), firstUser);

    // Another port is another server.
    client.connection->Connect(other.Host(), other.Port());
    ASSERT_TRUE(PumpUntil([&] { return client.CountOf("Connect " + other.Host() + " code") == 3; }));
    const auto secondUser = client.connection->User();
    EXPECT_NE(secondUser, firstUser);
    EXPECT_EQ(firstUser->Parent(), nullptr);

    // Once the welcome has named the server, its address no longer matches that name.
    client.connection->Automation(IRCConnection::AutoPong | IRCConnection::AutoNick | IRCConnection::AutoUser);
    client.connection->Connect("", 0);
    ASSERT_TRUE(client.Registered(other)) << other.Log();
    const auto registeredUser = client.connection->User();
    // The server may not have seen the old connection go yet: register under a new nick.
    client.connection->InitialNick("moved");
    client.connection->Connect("", 0);
    ASSERT_TRUE(PumpUntil([&] { return client.CountOf("Connect " + other.Host() + " code") == 5; }));
    EXPECT_NE(client.connection->User(), registeredUser);
    ASSERT_TRUE(client.Registered(other));
}

TEST_P(ConnectionServer, RefusedPortGivesASocketErrorAndNoDisconnect)
{
    Client client("refused");
    client.connection->Connect("127.0.0.1", FreeLoopbackPort());
    ASSERT_TRUE(PumpUntil([&] { return !client.log.empty(); }));
    PumpFor(100ms);
    EXPECT_EQ(client.log, (std::vector<std::string>{"SocketError 10061"}));
    EXPECT_FALSE(client.connection->Connected());
}

INSTANTIATE_TEST_SUITE_P(RealServers, ConnectionServer, testing::Values(Kind::Ngircd, Kind::InspIRCd), KindName);
