// Coming back after a lost link, on the fake clock: the waits between tries, the silent link,
// the channels joined again, and the roads that never come back.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/LinkWatch.h"

#include "support/FakeTimers.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tellix;

namespace {

struct Link {
    test::FakeTimers timers; // outlives the connections, whose timers it holds
    test::RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    test::RecordingSocket* socket = nullptr;
    std::vector<std::string> log;
    std::vector<Subscription> subs;

    explicit Link(bool reconnect)
    {
        connections.SetProtocolTimers(&timers);
        connection = connections.Add();
        socket = factory.created.back();
        connection->InitialNick("me");
        ConnectOptions options;
        options.reconnect = reconnect;
        connection->Options(options);
        subs.push_back(connections.Events.Connect.connect(
            [this](const auto&, const std::string& server, std::int32_t port, bool code) {
                log.push_back(std::to_string(timers.NowMs()) + " Connect " + server + ":" + std::to_string(port) +
                              (code ? " code" : " nocode"));
            }));
        subs.push_back(connections.Events.Disconnect.connect(
            [this](const auto&, const std::string&, std::int32_t, bool code) {
                log.push_back(std::to_string(timers.NowMs()) + (code ? " Disconnect code" : " Disconnect nocode"));
            }));
    }

    void Online()
    {
        connection->Connect("irc.test", 6667);
        socket->PeerConnects();
        socket->PeerSends(":irc.test 001 me :Welcome\r\n");
    }
    void Join(const std::string& channel) { socket->PeerSends(":me!u@h JOIN :" + channel + "\r\n"); }
    std::vector<std::string> Joins() const
    {
        std::vector<std::string> joins;
        std::copy_if(socket->sent.begin(), socket->sent.end(), std::back_inserter(joins),
                     [](const std::string& line) { return line.starts_with("JOIN "); });
        return joins;
    }
};

// Every try refused: 10 s, then twice as long each time, never more than five minutes.
TEST(Reconnect, WaitsTenSecondsThenDoublesUpToFiveMinutes)
{
    Link link(true);
    link.Online();
    link.socket->PeerCloses();
    const int before = link.socket->connectCalls;
    const std::vector<std::int64_t> expected = {10000, 30000, 70000, 150000, 310000, 610000, 910000};
    std::vector<std::int64_t> tries;
    for (std::int64_t ms = 0; ms < 1'000'000; ms += 1000) {
        link.timers.Advance(1000);
        if (link.socket->connectCalls > before + static_cast<int>(tries.size())) {
            tries.push_back(link.timers.NowMs());
            link.socket->Fails(10061, "refused");
        }
    }
    EXPECT_EQ(tries, expected);
}

TEST(Reconnect, ComesBackAnnouncedAsAutomaticAndJoinsItsChannelsWithTheirKeys)
{
    Link link(true);
    link.Online();
    link.connection->SendMessage("JOIN #locked,#open sesame");
    link.connection->SendMessage("JOIN #Other secret");
    link.Join("#locked");
    link.Join("#open");
    link.Join("#other");
    link.Join("#left");
    link.socket->PeerSends(":me!u@h PART #left :bye\r\n");
    link.socket->sent.clear();

    link.socket->PeerCloses();
    link.timers.Advance(9999);
    EXPECT_EQ(link.socket->connectCalls, 1);
    link.timers.Advance(1);
    ASSERT_EQ(link.socket->connectCalls, 2);
    link.socket->host = "irc.test";
    link.socket->port = 6667;
    link.socket->PeerConnects();
    EXPECT_TRUE(link.Joins().empty()) << "nothing is joined before the welcome";
    link.socket->PeerSends(":irc.test 001 me :Welcome\r\n");
    // One line; the keyed channels lead so that each key pairs with its channel.
    EXPECT_EQ(link.Joins(), (std::vector<std::string>{"JOIN #locked,#other,#open sesame,secret\r\n"}));
    ASSERT_EQ(link.log.size(), 3u);
    EXPECT_EQ(link.log[1], "0 Disconnect nocode");
    EXPECT_EQ(link.log[2], "10000 Connect irc.test:6667 nocode");

    // Back online, the next loss waits the shortest time again.
    link.socket->PeerCloses();
    link.timers.Advance(10000);
    EXPECT_EQ(link.socket->connectCalls, 3);
}

struct Road {
    const char* name;
    void (*act)(Link&);
};

class NeverComesBack : public testing::TestWithParam<Road> {};

TEST_P(NeverComesBack, AfterThisRoad)
{
    Link link(true);
    link.Online();
    GetParam().act(link);
    EXPECT_EQ(link.timers.Waiting(), 0u) << "no try waits for its time";
    link.timers.Advance(3'600'000);
    if (!link.connection->Deleted()) { // a deleted connection's socket is gone with it
        EXPECT_EQ(link.socket->connectCalls, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, NeverComesBack,
                         testing::Values(Road{"Disconnect", [](Link& l) { l.connection->Disconnect(); }},
                                         Road{"QuitThenTheServerCloses",
                                              [](Link& l) {
                                                  l.connection->Quit("bye");
                                                  l.socket->PeerCloses();
                                              }},
                                         Road{"DisconnectWhileWaitingForTheNextTry",
                                              [](Link& l) {
                                                  l.socket->PeerCloses();
                                                  l.connection->Disconnect();
                                              }},
                                         Road{"QuitWhileWaitingForTheNextTry",
                                              [](Link& l) {
                                                  l.socket->PeerCloses();
                                                  l.connection->Quit("bye");
                                              }},
                                         Road{"DeleteWhileWaitingForTheNextTry",
                                              [](Link& l) {
                                                  l.socket->PeerCloses();
                                                  l.connection->Delete();
                                              }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Reconnect, OffByDefaultALostLinkStaysLost)
{
    Link link(false);
    link.Online();
    link.socket->sent.clear();
    link.timers.Advance(600'000);
    EXPECT_TRUE(link.socket->sent.empty()) << "no PING of our own either";
    link.socket->PeerCloses();
    link.timers.Advance(3'600'000);
    EXPECT_EQ(link.socket->connectCalls, 1);
    EXPECT_EQ(link.log.back(), "600000 Disconnect nocode");
}

// Silence: our own PING after 120 s without a line, the link dropped as lost 60 s after that,
// and any line in between keeps it.
TEST(Reconnect, ASilentLinkIsPingedThenDroppedAndTriedAgain)
{
    Link link(true);
    link.Online();
    link.socket->sent.clear();
    link.timers.Advance(100'000);
    link.socket->PeerSends(":irc.test NOTICE me :still here\r\n");
    link.timers.Advance(119'999);
    EXPECT_TRUE(link.socket->sent.empty());
    link.timers.Advance(1);
    ASSERT_EQ(link.socket->sent, (std::vector<std::string>{"PING :irc.test\r\n"}));
    link.timers.Advance(30'000);
    link.socket->PeerSends(":irc.test PONG irc.test :irc.test\r\n");
    link.timers.Advance(30'000);
    EXPECT_TRUE(link.connection->Connected()) << "the answer kept the link";

    link.timers.Advance(120'000 - 30'000);
    ASSERT_EQ(link.socket->sent.size(), 2u);
    link.timers.Advance(59'999);
    EXPECT_TRUE(link.connection->Connected());
    link.timers.Advance(1);
    EXPECT_FALSE(link.connection->Connected());
    EXPECT_EQ(link.log.back(), std::to_string(link.timers.NowMs()) + " Disconnect nocode");
    link.timers.Advance(10'000);
    EXPECT_EQ(link.socket->connectCalls, 2);
}

struct KeyCase {
    const char* sent;
    const char* channel;
    const char* key;
};

TEST(Reconnect, ReadsTheKeysOfTheJoinsWeSend)
{
    const std::vector<KeyCase> cases = {
        {"JOIN #a k", "#a", "k"},
        {"join #B,#c kb,kc", "#b", "kb"},
        {"JOIN #b,#c kb,kc", "#c", "kc"},
        {"JOIN #d,#e ,ke", "#d", ""},
        {"JOIN #d,#e ,ke", "#e", "ke"},
        {"JOIN :#f", "#f", ""},
        {"JOIN #a", "#a", ""},
        {"PRIVMSG #g k", "#g", ""},
        {"JOIN", "#h", ""},
        {"JOIN #i,,#j ,,kj", "#j", "kj"},
        {"JOIN #k :colon", "#k", "colon"},
    };
    LinkWatch watch({});
    for (const KeyCase& c : cases) {
        watch.NoteSent(c.sent);
        EXPECT_EQ(watch.KeyOf(c.channel), c.key) << c.sent;
    }
}

TEST(Reconnect, PacksTheChannelsToJoinIntoAsFewLinesAsFit)
{
    LinkWatch watch({});
    watch.NoteSent("JOIN #k1,#k2 one,two");
    const std::string long50(49, 'x');
    struct Case {
        std::vector<std::string> channels;
        std::size_t room;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {{}, 510, {}},
        {{"#a"}, 510, {"JOIN #a"}},
        {{"#a", "#k1", "#b", "#K2"}, 510, {"JOIN #k1,#K2,#a,#b one,two"}},
        {{"#a", "#A", "", "#a"}, 510, {"JOIN #a"}},
        // "JOIN #a,#b" is 10 bytes: a room of 10 takes both, 9 only one.
        {{"#a", "#b"}, 10, {"JOIN #a,#b"}},
        {{"#a", "#b"}, 9, {"JOIN #a", "JOIN #b"}},
        // The keys count too: "JOIN #k1,#k2 one,two" is 20 bytes.
        {{"#k1", "#k2"}, 20, {"JOIN #k1,#k2 one,two"}},
        {{"#k1", "#k2"}, 19, {"JOIN #k1 one", "JOIN #k2 two"}},
        // A name longer than the room still goes, alone.
        {{"#a", "#" + long50, "#b"}, 20, {"JOIN #a", "JOIN #" + long50, "JOIN #b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels.size()) + " channels in " + std::to_string(c.room));
        EXPECT_EQ(watch.JoinLines(c.channels, c.room), c.lines);
    }

    // Two hundred channels of 30 bytes each fill lines of at most 510 bytes, each once.
    std::vector<std::string> many;
    for (int i = 0; i < 200; ++i) {
        many.push_back("#" + std::string(25, 'c') + std::to_string(1000 + i));
    }
    const std::vector<std::string> lines = watch.JoinLines(many, 510);
    EXPECT_EQ(lines.size(), 13u); // 16 names of 30 bytes and their commas fit in 505
    std::size_t names = 0;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 510u);
        names += static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) + 1;
    }
    EXPECT_EQ(names, many.size());
}

} // namespace
