// Pacing what we send, on the fake clock: the burst, the steady rate, long lines and who goes
// first; and the connection sending through it.
#include "net/SendQueue.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/FakeTimers.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tellix;
using test::FakeTimers;

namespace {

struct Paced {
    FakeTimers timers;
    std::vector<std::pair<std::int64_t, std::string>> sent;
    SendQueue queue{[this](std::string_view line) { sent.emplace_back(timers.NowMs(), std::string(line)); }};

    Paced() { queue.Reset(&timers); }

    // "time line" for each line sent so far.
    std::vector<std::string> Log() const
    {
        std::vector<std::string> out;
        for (const auto& [at, line] : sent) {
            out.push_back(std::to_string(at) + " " + line);
        }
        return out;
    }
};

struct Push {
    std::string line;
    SendPriority priority = SendPriority::Typed;
};

struct PacingCase {
    const char* name;
    bool registered;
    std::vector<Push> pushed;
    std::int64_t runFor;
    std::vector<std::string> expected;
};

std::string Long(char c)
{
    return "PRIVMSG #a :" + std::string(400, c);
}

class Pacing : public testing::TestWithParam<PacingCase> {};

TEST_P(Pacing, SendsAtTheExpectedTimesInTheExpectedOrder)
{
    const PacingCase& c = GetParam();
    Paced p;
    p.queue.SetRegistered(c.registered);
    for (const Push& push : c.pushed) {
        p.queue.Push(push.line, push.priority);
    }
    p.timers.Advance(c.runFor);
    EXPECT_EQ(p.Log(), c.expected);
    EXPECT_EQ(p.queue.Held(), 0u);
    EXPECT_EQ(p.timers.Waiting(), 0u) << "no timer is left once everything is sent";
}

const auto Typed = SendPriority::Typed;
const auto Auto = SendPriority::Automatic;

INSTANTIATE_TEST_SUITE_P(
    Table, Pacing,
    testing::Values(
        PacingCase{"FiveAtOnce",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}},
                   0,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5"}},
        PacingCase{"ThenOneEveryTwoSeconds",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"A 6"}, {"A 7"}, {"A 8"}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "2000 A 6", "4000 A 7", "6000 A 8"}},
        PacingCase{"LongLineCountsAsTwo",
                   true,
                   {{Long('x')}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"A 6"}},
                   10000,
                   {"0 " + Long('x'), "0 A 2", "0 A 3", "0 A 4", "2000 A 5", "4000 A 6"}},
        PacingCase{"LongLineAtTheEndOfTheBurstWaitsTwoIntervals",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {Long('y')}, {"A 6"}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 " + Long('y'), "4000 A 6"}},
        PacingCase{"TypedGoesBeforeAutomatic",
                   true,
                   {{"A 1"},
                    {"A 2"},
                    {"A 3"},
                    {"A 4"},
                    {"A 5"},
                    {"JOIN #x", Auto},
                    {"JOIN #y", Auto},
                    {"PRIVMSG #a :typed", Typed}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "2000 PRIVMSG #a :typed", "4000 JOIN #x",
                    "6000 JOIN #y"}},
        PacingCase{"PongJumpsTheQueue",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"A 6"}, {"PONG :irc.test"}},
                   4000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "0 PONG :irc.test", "4000 A 6"}},
        PacingCase{
            "RegistrationJumpsTheQueueBeforeTheWelcome",
            false,
            {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"A 6"}, {"CAP LS 302"}, {"nick me"}, {"USER me"}},
            8000,
            {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "0 CAP LS 302", "0 nick me", "0 USER me", "8000 A 6"}},
        PacingCase{"NickIsPacedAfterTheWelcome",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"NICK other"}},
                   2000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "2000 NICK other"}},
        PacingCase{"QuitWithNothingHeldGoesAtOnce",
                   true,
                   {{"A 1"}, {"A 2"}, {"QUIT :bye"}},
                   0,
                   {"0 A 1", "0 A 2", "0 QUIT :bye"}},
        PacingCase{"QuitWaitsBehindWhatIsHeldThatStillLeavesInTime",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"A 6"}, {"QUIT :bye"}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "2000 A 6", "2000 QUIT :bye"}},
        PacingCase{"QuitCutsShortAPaceTimerThatWouldFallDueLater",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {Long('y')}, {"A 6"}, {"QUIT :bye"}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 " + Long('y'), "3000 QUIT :bye"}},
        PacingCase{"QuitWaitsThreeSecondsAtMostAndWhatIsStillHeldIsDropped",
                   true,
                   {{"A 1"}, {"A 2"}, {"A 3"}, {"A 4"}, {"A 5"}, {"JOIN #x", Auto}, {"A 7"}, {"QUIT :bye"}},
                   10000,
                   {"0 A 1", "0 A 2", "0 A 3", "0 A 4", "0 A 5", "2000 A 7", "3000 QUIT :bye"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SendQueue, AfterAQuietSpellTheWholeBurstIsFreeAgain)
{
    Paced p;
    p.queue.SetRegistered(true);
    for (int i = 0; i < 5; ++i) {
        p.queue.Push("A " + std::to_string(i));
    }
    p.timers.Advance(10000);
    p.sent.clear();
    for (int i = 0; i < 6; ++i) {
        p.queue.Push("B " + std::to_string(i));
    }
    EXPECT_EQ(p.sent.size(), 5u);
    p.timers.Advance(1999);
    EXPECT_EQ(p.sent.size(), 5u);
    p.timers.Advance(1);
    EXPECT_EQ(p.sent.size(), 6u);
}

TEST(SendQueue, WithoutTimersEveryLineGoesAtOnceAndClearDropsWhatIsHeld)
{
    std::vector<std::string> sent;
    SendQueue queue([&](std::string_view line) { sent.emplace_back(line); });
    queue.Reset(nullptr);
    for (int i = 0; i < 20; ++i) {
        queue.Push("A " + std::to_string(i), SendPriority::Automatic);
    }
    EXPECT_EQ(sent.size(), 20u);

    FakeTimers timers;
    sent.clear();
    queue.Reset(&timers);
    for (int i = 0; i < 8; ++i) {
        queue.Push("A " + std::to_string(i));
    }
    queue.Clear();
    EXPECT_EQ(timers.Waiting(), 0u);
    timers.Advance(60000);
    EXPECT_EQ(sent.size(), 5u);
}

// A connection welcomed by its server, paced on the fake clock.
struct Welcomed {
    FakeTimers timers; // outlives the connection, whose timers it holds
    test::RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    test::RecordingSocket* socket = nullptr;

    Welcomed()
    {
        connections.SetProtocolTimers(&timers);
        connection = connections.Add();
        socket = factory.created.back();
        connection->InitialNick("me");
        connection->InitialUserParams("me 8 * :Me");
        connection->Connect("irc.test", 6667);
        socket->PeerConnects();
        socket->PeerSends(":irc.test 001 me :Welcome\r\n");
    }
};

// The connection sends through the queue: registration and the burst at once, the rest paced,
// and a QUIT that follows what was typed at its pace.
TEST(SendQueue, TheConnectionPacesItsLinesAndQuitStillGoesOut)
{
    Welcomed welcomed;
    FakeTimers& timers = welcomed.timers;
    const auto& connection = welcomed.connection;
    test::RecordingSocket& socket = *welcomed.socket;
    ASSERT_EQ(socket.sent.size(), 3u) << "CAP LS, NICK and USER";
    socket.sent.clear();
    for (int i = 0; i < 7; ++i) {
        connection->SendMessage("PRIVMSG #a :" + std::to_string(i));
    }
    EXPECT_EQ(socket.sent.size(), 5u) << "the welcome starts a whole burst";
    socket.PeerSends("PING :irc.test\r\n");
    ASSERT_EQ(socket.sent.size(), 6u);
    EXPECT_EQ(socket.sent.back(), "PONG :irc.test\r\n");
    timers.Advance(2000);
    EXPECT_EQ(socket.sent.size(), 6u) << "the PONG took this interval";
    timers.Advance(2000);
    EXPECT_EQ(socket.sent.size(), 7u);
    connection->Quit("bye");
    EXPECT_EQ(socket.sent.size(), 7u) << "no faster than the pace, not even for a QUIT";
    EXPECT_TRUE(connection->Leaving());
    timers.Advance(2000);
    ASSERT_EQ(socket.sent.size(), 9u);
    EXPECT_EQ(socket.sent[7], "PRIVMSG #a :6\r\n");
    EXPECT_EQ(socket.sent[8], "QUIT :bye\r\n");
    EXPECT_FALSE(connection->Leaving());
}

// Disconnecting, or connecting elsewhere, lets what is held go on at its pace for three
// seconds at most; what is left then is dropped and counted, and the link closes.
TEST(SendQueue, AnEndAskedForWaitsThreeSecondsAtMostForWhatIsHeld)
{
    for (const bool elsewhere : {false, true}) {
        SCOPED_TRACE(elsewhere ? "/server elsewhere" : "/disconnect");
        Welcomed welcomed;
        FakeTimers& timers = welcomed.timers;
        const auto& connection = welcomed.connection;
        test::RecordingSocket& socket = *welcomed.socket;
        std::vector<std::string> events;
        const Subscription dropped = welcomed.connections.Events.LinesNotSent.connect(
            [&](const auto&, std::size_t count) { events.push_back("not sent " + std::to_string(count)); });
        const Subscription closed = connection->Events.Disconnect.connect(
            [&](const std::string&, std::int32_t, bool code) { events.push_back(code ? "closed" : "lost"); });
        socket.sent.clear();
        for (int i = 0; i < 6; ++i) {
            connection->SendMessage("PRIVMSG #a :" + std::to_string(i));
        }
        connection->SendMessage("PART #a :bye");
        connection->SendMessage("PRIVMSG #b :later");
        ASSERT_EQ(socket.sent.size(), 5u);
        const std::int32_t connects = socket.connectCalls;
        elsewhere ? connection->Connect("else.test", 6667) : connection->Disconnect();
        EXPECT_NE(socket.state, TcpSocket::StateClosed) << "still sending";
        timers.Advance(2000);
        ASSERT_EQ(socket.sent.size(), 6u);
        EXPECT_EQ(socket.sent.back(), "PRIVMSG #a :5\r\n");
        EXPECT_TRUE(events.empty());
        timers.Advance(1000);
        EXPECT_EQ(events, (std::vector<std::string>{"not sent 2", "closed"}));
        EXPECT_EQ(socket.sent.size(), 6u);
        EXPECT_EQ(socket.connectCalls - connects, elsewhere ? 1 : 0);
        if (elsewhere) {
            EXPECT_EQ(socket.host, "else.test");
        } else {
            EXPECT_EQ(socket.state, TcpSocket::StateClosed);
        }
        timers.Advance(60000);
        EXPECT_EQ(socket.sent.size(), 6u);
    }
}

// A listener told of the dropped lines may delete the connection and let go of the last
// reference to it: the leave ends there, and nothing else is sent or closed.
TEST(SendQueue, AListenerOfTheDroppedLinesMayDeleteTheConnection)
{
    Welcomed welcomed;
    FakeTimers& timers = welcomed.timers;
    test::RecordingSocket& socket = *welcomed.socket;
    std::weak_ptr<IRCConnection> watched = welcomed.connection;
    const Subscription deleting =
        welcomed.connections.Events.LinesNotSent.connect([&](const auto& connection, std::size_t) {
            welcomed.connection.reset();
            connection->Delete();
        });
    std::vector<std::string> sent;
    socket.onSend = [&](std::string_view line) { sent.emplace_back(line); };
    for (int i = 0; i < 9; ++i) {
        watched.lock()->SendMessage("PRIVMSG #a :" + std::to_string(i));
    }
    watched.lock()->Quit("bye");
    timers.Advance(60000);
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(sent.size(), 6u) << "the burst and one more";
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "QUIT :bye\r\n"), 0);
}

// A goodbye, then a connect elsewhere: the QUIT still goes, then the connect. The other way
// round, the goodbye is what was asked last, and nothing connects.
TEST(SendQueue, AGoodbyeAndAConnectElsewhereAskedWhileLinesAreHeld)
{
    for (const bool quitFirst : {true, false}) {
        SCOPED_TRACE(quitFirst ? "/quit, then /server" : "/server, then /quit");
        Welcomed welcomed;
        test::RecordingSocket& socket = *welcomed.socket;
        const auto& connection = welcomed.connection;
        socket.sent.clear();
        for (int i = 0; i < 7; ++i) {
            connection->SendMessage("PRIVMSG #a :" + std::to_string(i));
        }
        const int connects = socket.connectCalls;
        if (quitFirst) {
            connection->Quit("bye");
            connection->Connect("else.test", 6667);
        } else {
            connection->Connect("else.test", 6667);
            connection->Quit("bye");
        }
        welcomed.timers.Advance(3000);
        EXPECT_EQ(std::count(socket.sent.begin(), socket.sent.end(), "QUIT :bye\r\n"), 1);
        EXPECT_EQ(socket.connectCalls - connects, quitFirst ? 1 : 0);
    }
}

} // namespace
