// The connection object and its collection, with the network played at the socket.
#include "net/IRCConnection.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnections.h"

#include "support/EventRecorder.h"
#include "support/RecordingSocket.h"
#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tellix;
using test::Recorder;
using test::RecordingSocket;
using test::RecordingSocketFactory;

namespace {

struct Fixture : testing::Test {
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    RecordingSocket& socket = *factory.created.back();
    Recorder recorder;

    // Online and registered as "me" on irc.test:6667, with the sent lines forgotten.
    void GoOnline()
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n");
        socket.sent.clear();
    }
};

} // namespace

TEST(IRCConnectionAutomation, KeepsOnlyTheBitsWhoseDataIsThere)
{
    auto connection = IRCConnection::Create();
    EXPECT_EQ(connection->Automation(), 4);
    connection->Automation(255);
    EXPECT_EQ(connection->Automation(), 4); // no nick, no user parameters yet
    connection->InitialNick("anna");
    EXPECT_EQ(connection->Automation(), 6);
    connection->InitialUserParams("a 0 * :"); // seven characters
    EXPECT_EQ(connection->Automation(), 6);
    connection->InitialUserParams("a 0 * :x");
    EXPECT_EQ(connection->Automation(), 7);
    connection->Automation(255);
    EXPECT_EQ(connection->Automation(), 7);
    connection->Automation(0);
    EXPECT_EQ(connection->Automation(), 0);
    connection->InitialNick("");
    EXPECT_EQ(connection->Automation(), 0);
    connection->Automation(2);
    EXPECT_EQ(connection->Automation(), 0);
}

TEST_F(Fixture, ConnectRegistersWithTheConnectDialogsLinesAfterTheConnectEvents)
{
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);
    connection->InitialNick("user|Tellix");
    connection->InitialUserParams("Tellix_user 8 * :Tellix user");
    std::vector<std::string> sentDuringConnect;
    auto peek = connection->Events.Connect.connect([&](const std::string&, std::int32_t, bool) {
        sentDuringConnect = socket.sent;
        EXPECT_TRUE(connection->Connected());
    });
    connection->Connect("irc.example.net", 0);
    EXPECT_EQ(socket.host, "irc.example.net");
    EXPECT_EQ(socket.port, 6667); // the template's port
    EXPECT_EQ(socket.connectCalls, 1);
    EXPECT_FALSE(connection->Connected());

    socket.PeerConnects();
    EXPECT_TRUE(sentDuringConnect.empty());
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"CAP LS 302\r\n", "NICK user|Tellix\r\n",
                                                     "USER Tellix_user 8 * :Tellix user\r\n"}));
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"all.UserAdd c1 \"\"", "own.UserAdd \"\"",
                                                      "all.Connect c1 'irc.example.net' 6667 true",
                                                      "own.Connect 'irc.example.net' 6667 true"}));
    EXPECT_EQ(connection->Server(), "irc.example.net");
    ASSERT_TRUE(connection->User());
    EXPECT_TRUE(connection->User()->IsUser());
}

TEST_F(Fixture, WelcomeNamesTheServerAndTheOwnUserAndIsStillShown)
{
    connection->Connect("127.0.0.1", 7000);
    socket.PeerConnects();
    recorder.Watch("all", connections);
    std::vector<std::string> nicks;
    auto sub =
        connections.Events.UserNickChange.connect([&](const auto&, const auto& user, const std::string& previous) {
            nicks.push_back(previous + ">" + std::string(user->Nick()));
        });
    std::vector<std::string> servers;
    auto sub2 = connections.Events.ServerChange.connect(
        [&](const auto& c, const std::string& s) { servers.push_back(s + " " + c->Server()); });
    socket.PeerSends(":irc.real.name 001 anna :Welcome to IRC\r\n");
    EXPECT_EQ(connection->Server(), "irc.real.name");
    EXPECT_EQ(servers, (std::vector<std::string>{"irc.real.name irc.real.name"}));
    EXPECT_EQ(connection->User()->Nick(), "anna");
    EXPECT_EQ(nicks, (std::vector<std::string>{"*>anna"}));
    EXPECT_EQ(recorder.log.back(), "all.MessageNotProcessed c1 ':irc.real.name 001 anna :Welcome to IRC'");

    // The host connected to no longer matches the server's name: a new server.
    const auto before = connection->User();
    connection->Connect("127.0.0.1", 7000);
    socket.PeerConnects();
    EXPECT_NE(connection->User(), before);
    EXPECT_EQ(before->Parent(), nullptr);
    EXPECT_EQ(connection->Server(), "127.0.0.1");
}

TEST_F(Fixture, SameHostAndPortKeepTheUsersAnotherPortReplacesThem)
{
    GoOnline();
    socket.PeerSends(":anna!a@h PRIVMSG me :hi\r\n");
    // The welcome renamed the server to the name it already had, so this is the same server.
    const auto own = connection->User();
    const auto anna = connection->Users()->Item("anna");
    ASSERT_TRUE(anna);

    connection->Connect("irc.test", 0);
    socket.PeerConnects();
    EXPECT_EQ(connection->User(), own);
    EXPECT_EQ(connection->Users()->Item("anna"), anna);

    connection->Connect("", 6668);
    socket.PeerConnects();
    EXPECT_NE(connection->User(), own);
    EXPECT_FALSE(connection->Users()->Item("anna"));
    EXPECT_EQ(connection->Users()->Count(), 1);
    EXPECT_EQ(socket.host, "irc.test");
}

TEST_F(Fixture, ConnectWhileOnlineEndsTheOldConnectionFirstOwnEventFirst)
{
    GoOnline();
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);
    connection->Connect("irc.test", 6667);
    EXPECT_EQ(socket.closeCalls, 1);
    EXPECT_FALSE(connection->Connected());
    socket.PeerConnects();
    EXPECT_EQ(recorder.log, (std::vector<std::string>{
                                "own.Disconnect 'irc.test' 6667 true", "all.Disconnect c1 'irc.test' 6667 true",
                                "all.Connect c1 'irc.test' 6667 true", "own.Connect 'irc.test' 6667 true"}));
}

TEST_F(Fixture, PeerCloseAfterQuitIsExpectedWithoutItIsNot)
{
    GoOnline();
    socket.PeerSends(":me!u@h JOIN :#a\r\n");
    const auto channel = connection->Channels()->Item("#a");
    ASSERT_TRUE(channel && channel->Joined());
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);

    connection->Quit("bye now");
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"QUIT :bye now\r\n"}));
    socket.PeerCloses();
    EXPECT_FALSE(connection->Connected());
    EXPECT_FALSE(channel->Joined());
    EXPECT_EQ(socket.closeCalls, 0); // the socket stays in its closing state

    connection->Connect("", 0);
    socket.PeerConnects();
    socket.PeerCloses();
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{
                  "all.Disconnect c1 'irc.test' 6667 true", "own.Disconnect 'irc.test' 6667 true",
                  "all.Connect c1 'irc.test' 6667 true", "own.Connect 'irc.test' 6667 true",
                  "all.Disconnect c1 'irc.test' 6667 false", "own.Disconnect 'irc.test' 6667 false"}));

    // Quit while not connected sends nothing and leaves the next close unexpected.
    socket.sent.clear();
    connection->Quit("late");
    EXPECT_TRUE(socket.sent.empty());
}

TEST_F(Fixture, SocketErrorKeepsChannelsJoinedAndPassesItsReferencesOn)
{
    GoOnline();
    socket.PeerSends(":me!u@h JOIN :#a\r\n");
    recorder.Watch("all", connections);
    auto rewrite = connections.Events.SocketError.connect([](const auto&, std::int16_t, std::string& description,
                                                             std::int32_t, const std::string&, const std::string&,
                                                             std::int32_t, bool& cancelDisplay) {
        description = "rewritten";
        cancelDisplay = true;
    });
    recorder.Watch("own", *connection);
    socket.Fails(10053, "Connection is aborted");
    EXPECT_FALSE(connection->Connected());
    EXPECT_TRUE(connection->Channels()->Item("#a")->Joined());
    // What a collection listener changes reaches the connection's own event.
    EXPECT_EQ(recorder.log, (std::vector<std::string>{
                                "all.SocketError c1 10053 'Connection is aborted' 0 'wsConnection' '' 0 false",
                                "own.SocketError 10053 'rewritten' 0 'wsConnection' '' 0 true"}));
    EXPECT_EQ(socket.closeCalls, 0);
}

TEST_F(Fixture, DisconnectClosesAtOnceAndOnlyWhenOpen)
{
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);
    connection->Disconnect();
    EXPECT_EQ(socket.closeCalls, 0);
    EXPECT_TRUE(recorder.log.empty());

    GoOnline();
    recorder.log.clear();
    connection->Disconnect();
    EXPECT_EQ(socket.closeCalls, 1);
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"own.Disconnect 'irc.test' 6667 true",
                                                      "all.Disconnect c1 'irc.test' 6667 true"}));

    // A connection attempt cut short: no Disconnect, but the flag stays for the next socket event.
    recorder.log.clear();
    connection->Connect("", 0);
    connection->Disconnect();
    EXPECT_TRUE(recorder.log.empty());
}

// Whichever way a session ends, no channel stays joined: a later JOIN must be sent again.
TEST_F(Fixture, EveryEndOfASessionLeavesTheChannelsNotJoined)
{
    struct Row {
        const char* how;
        std::function<void()> end;
    };
    const std::vector<Row> rows{
        {"Disconnect", [&] { connection->Disconnect(); }},
        {"Connect while online", [&] { connection->Connect("irc.test", 6667); }},
        {"the server closes", [&] { socket.PeerCloses(); }},
        {"Connect after a socket error",
         [&] {
             socket.Fails(10053, "Connection is aborted");
             connection->Connect("irc.test", 6667);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        GoOnline();
        socket.PeerSends(":me!u@h JOIN :#a\r\n");
        const auto channel = connection->Channels()->Item("#a");
        ASSERT_TRUE(channel->Joined());
        // Listeners of the Disconnect already see it.
        std::vector<bool> joinedSeen;
        auto seen = connections.Events.Disconnect.connect(
            [&](const auto&, const std::string&, std::int32_t, bool) { joinedSeen.push_back(channel->Joined()); });
        row.end();
        EXPECT_FALSE(channel->Joined());
        EXPECT_EQ(joinedSeen, std::vector<bool>(joinedSeen.size(), false));
        socket.PeerConnects();
        socket.sent.clear();
        connection->Channels()->Join("#a");
        EXPECT_EQ(socket.sent, std::vector<std::string>{"JOIN :#a\r\n"});
    }
}

// A listener that reconnects from the Disconnect event makes a request of its own: the
// close being reported must not clear the flag that request set.
TEST_F(Fixture, AListenersOwnConnectDuringTheDisconnectIsReportedAsRequested)
{
    GoOnline();
    auto reconnect =
        connections.Events.Disconnect.connect([&](const auto&, const std::string&, std::int32_t, bool code) {
            if (!code) {
                connection->Connect("irc.other", 6668);
            }
        });
    recorder.Watch("all", connections);
    socket.PeerCloses();
    socket.PeerConnects();
    std::erase_if(recorder.log, [](const std::string& entry) {
        return !entry.starts_with("all.Connect ") && !entry.starts_with("all.Disconnect ");
    });
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"all.Disconnect c1 'irc.test' 6667 false",
                                                      "all.Connect c1 'irc.other' 6668 true"}));
}

TEST_F(Fixture, ChangeNickAndSendMessageNeedNothingButAConnectedSocket)
{
    connection->ChangeNick("early");
    EXPECT_TRUE(socket.sent.empty());
    GoOnline();
    connection->ChangeNick("later");
    connection->SendMessage("PRIVMSG #a :x\r\nQUIT");
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"NICK :later\r\n", "PRIVMSG #a :x\r\n"}));
    EXPECT_EQ(connection->User()->Nick(), "me"); // changes only when the server says so
}

TEST_F(Fixture, RawMessageListenersMayTakeALineBeforeItIsInterpreted)
{
    GoOnline();
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);
    auto takeAll = connections.Events.GetRawMessage.connect(
        [](const auto&, const std::string& m, bool& processed) { processed = m.starts_with("PING"); });
    auto takeOwn = connection->Events.GetRawMessage.connect(
        [](const std::string& m, bool& processed) { processed = m.starts_with("NOTICE"); });
    socket.PeerSends("PING :a\r\nNOTICE x :y\r\nBOGUS\r\n");
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_EQ(recorder.log, (std::vector<std::string>{
                                "all.GetRawMessage c1 'PING :a' false", "all.GetRawMessage c1 'NOTICE x :y' false",
                                "own.GetRawMessage 'NOTICE x :y' false", "all.GetRawMessage c1 'BOGUS' false",
                                "own.GetRawMessage 'BOGUS' false", "all.MessageNotProcessed c1 'BOGUS'",
                                "own.MessageNotProcessed 'BOGUS'"}));
}

TEST_F(Fixture, ReceiveBufferStartsEmptyOnEveryConnect)
{
    GoOnline();
    recorder.Watch("all", connections);
    socket.PeerSends("PING :half");
    connection->Connect("", 0);
    socket.PeerConnects();
    socket.sent.clear();
    socket.PeerSends("BOGUS\r\n");
    EXPECT_EQ(recorder.log.back(), "all.MessageNotProcessed c1 'BOGUS'");
    EXPECT_TRUE(socket.sent.empty());
}

TEST_F(Fixture, FailedReceiveIsIgnoredAndTheBufferKept)
{
    GoOnline();
    socket.PeerSends("PING ");
    socket.failReceive = true;
    socket.PeerSends(":lost\r\n");
    socket.failReceive = false;
    socket.waiting.clear();
    socket.PeerSends(":x\r\n");
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PONG :x\r\n"}));
}

TEST_F(Fixture, DeleteOfAnOnlineConnectionReportsTheDisconnectBeforeLeaving)
{
    GoOnline();
    socket.PeerSends(":me!u@h JOIN :#a\r\n:anna!a@h JOIN :#a\r\n");
    socket.sent.clear();
    recorder.Watch("all", connections);
    recorder.Watch("own", *connection);
    std::int32_t countDuringDisconnect = -1;
    auto peek = connections.Events.Disconnect.connect(
        [&](const auto&, const std::string&, std::int32_t, bool) { countDuringDisconnect = connections.Count(); });
    // The slot, and the socket with it, goes during Delete: watch the sends as they happen.
    std::vector<std::string> sent;
    socket.onSend = [&](std::string_view bytes) { sent.emplace_back(bytes); };
    connection->Delete();
    EXPECT_EQ(sent, (std::vector<std::string>{"PART #a :\r\n"}));
    // Users leave last position first.
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"all.UserRemove c1 anna", "own.UserRemove anna", "all.UserRemove c1 me",
                                        "own.UserRemove me", "own.Disconnect 'irc.test' 6667 true",
                                        "all.Disconnect c1 'irc.test' 6667 true"}));
    EXPECT_EQ(countDuringDisconnect, 1);
    EXPECT_EQ(connections.Count(), 0);
    EXPECT_EQ(connection->Index(), -1);
    EXPECT_EQ(connection->Parent(), nullptr);
    EXPECT_FALSE(connection->Users());
    EXPECT_FALSE(connection->Channels());
    EXPECT_FALSE(connections.SocketHost().SlotExists(1));
}

TEST(IRCConnections, SlotsPositionsAndKeys)
{
    RecordingSocketFactory factory;
    IRCConnections connections(factory);
    std::vector<std::int32_t> added;
    auto sub = connections.Events.Add.connect([&](const auto& c) {
        added.push_back(c->Index());
        EXPECT_EQ(connections.Count(), c->Index());
    });
    auto first = connections.Add();
    auto second = connections.Add();
    EXPECT_EQ(added, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(first->SlotNumber(), 1);
    EXPECT_EQ(second->SlotNumber(), 2);
    EXPECT_EQ(connections.Item(second->Key()), second);
    EXPECT_THROW(connections.Item(3), CoreError);
    EXPECT_THROW(connections.Item(std::string_view("nope")), CoreError);
    EXPECT_THROW(connections.Remove(0), CoreError);
    EXPECT_EQ(connections.Count(), 2);

    connections.Remove(1);
    EXPECT_EQ(second->Index(), 1);
    EXPECT_EQ(second->SlotNumber(), 2);
    auto third = connections.Add();
    EXPECT_EQ(third->SlotNumber(), 1);
    EXPECT_EQ(third->Index(), 2);
    EXPECT_EQ(connections.Item(1), second);

    connections.Remove(third->Key());
    EXPECT_EQ(connections.Count(), 1);
}

TEST(IRCConnections, ClearDeletesLastFirstReportingOnlineOnes)
{
    RecordingSocketFactory factory;
    IRCConnections connections(factory);
    auto first = connections.Add();
    auto second = connections.Add();
    first->Connect("one", 0);
    factory.created[1]->PeerConnects();
    second->Connect("two", 0);
    factory.created[2]->PeerConnects();
    std::vector<std::string> log;
    auto sub = connections.Events.Disconnect.connect(
        [&](const auto& c, const std::string& server, std::int32_t, bool code) {
            log.push_back(server + " " + std::to_string(c->Index()) + (code ? " true" : " false"));
        });
    connections.Clear();
    EXPECT_EQ(log, (std::vector<std::string>{"two 2 true", "one 1 true"}));
    EXPECT_EQ(connections.Count(), 0);
    connections.Clear();
}

TEST(IRCConnections, DataForASlotReachesOnlyItsConnection)
{
    RecordingSocketFactory factory;
    IRCConnections connections(factory);
    auto first = connections.Add();
    auto second = connections.Add();
    std::vector<std::string> seen;
    auto sub = connections.Events.MessageNotProcessed.connect(
        [&](const auto& c, const std::string& m) { seen.push_back(std::to_string(c->SlotNumber()) + " " + m); });
    factory.created[2]->PeerSends("for two\r\n");
    factory.created[1]->PeerSends("for one\r\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"2 for two", "1 for one"}));
}

TEST(IRCConnections, ConnectionOutlivingItsCollectionLetsGoQuietly)
{
    std::shared_ptr<IRCConnection> kept;
    {
        RecordingSocketFactory factory;
        IRCConnections connections(factory);
        kept = connections.Add();
    }
    kept->SendMessage("PRIVMSG x :nobody hears");
    EXPECT_THROW(kept->Connect("host", 1), CoreError);
    kept->Disconnect();
    EXPECT_EQ(kept->Index(), -1);
    EXPECT_EQ(kept->Parent(), nullptr);
    kept->Delete();
    EXPECT_FALSE(kept->Channels());
}
