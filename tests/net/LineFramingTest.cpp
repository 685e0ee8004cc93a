#include "net/LineFraming.h"

#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tellix::LineFraming;
using tellix::SendLine;
using tellix::test::RecordingSocket;

namespace {

struct Collector {
    LineFraming framing;
    std::vector<std::string> lines;
    void Feed(const std::string& data)
    {
        framing.Receive(data, [this](const std::string& line) { lines.push_back(line); });
    }
};

} // namespace

TEST(LineFraming, LineSplitAcrossArrivalsIsHandedOnOnceWhole)
{
    Collector c;
    c.Feed("PI");
    EXPECT_TRUE(c.lines.empty());
    EXPECT_EQ(c.framing.Pending(), "PI");
    c.Feed("NG :irc.example\r\n");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"PING :irc.example"}));
    EXPECT_EQ(c.framing.Pending(), "");
}

TEST(LineFraming, CrAndLfSplitBetweenArrivals)
{
    Collector c;
    c.Feed("abc\r");
    EXPECT_TRUE(c.lines.empty());
    c.Feed("\ndef\r\n");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"abc", "def"}));
}

TEST(LineFraming, ThreeLinesInOneArrivalEachHandledBeforeTheNextIsCut)
{
    LineFraming framing;
    std::vector<std::string> events;
    framing.Receive("one\r\ntwo\r\nthree\r\npart", [&](const std::string& line) {
        // The next line must not have been cut yet: it is still in the buffer.
        events.push_back(line + " pending=" + std::string(framing.Pending()));
    });
    EXPECT_EQ(events, (std::vector<std::string>{"one pending=two\r\nthree\r\npart", "two pending=three\r\npart",
                                                "three pending=part"}));
    EXPECT_EQ(framing.Pending(), "part");
}

TEST(LineFraming, OnlyCrLfSeparatesLinesAndEmptyLinesAreHandedOn)
{
    Collector c;
    c.Feed("text\n");
    EXPECT_TRUE(c.lines.empty());
    c.Feed("x\r\n");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"text\nx"}));

    c.lines.clear();
    c.Feed("a\rb\r\n\r\n\r\r\n");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"a\rb", "", "\r"}));
}

TEST(LineFraming, ClearDuringALineDropsTheRestOfTheOldConnection)
{
    LineFraming framing;
    std::vector<std::string> lines;
    framing.Receive("first\r\nsecond\r\nhalf", [&](const std::string& line) {
        lines.push_back(line);
        framing.Clear();
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"first"}));
    EXPECT_EQ(framing.Pending(), "");
    framing.Receive("new\r\n", [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "new"}));
}

TEST(LineFraming, NestedReceiveHandsEveryLineOnOnceInOrder)
{
    LineFraming framing;
    std::vector<std::string> lines;
    std::function<void(const std::string&)> handler = [&](const std::string& line) {
        lines.push_back(line);
        if (line == "a") {
            framing.Receive("c\r\n", handler);
        }
    };
    framing.Receive("a\r\nb\r\n", handler);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(LineFraming, OverlongIncompleteLineIsDroppedUpToItsCrLfAndFramingGoesOn)
{
    Collector c;
    c.Feed("before\r\n");
    const std::string flood(LineFraming::MaxPendingLine / 4, 'x');
    for (int i = 0; i < 8; ++i) {
        c.Feed(flood);
    }
    EXPECT_LE(c.framing.Pending().size(), LineFraming::MaxPendingLine);
    EXPECT_EQ(c.framing.DroppedLines(), 1u);
    c.Feed(flood + "\r");
    c.Feed("\nafter\r\n");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"before", "after"}));

    // A long but legal line still passes whole.
    const std::string tagged(8000, 't');
    c.Feed(tagged + "\r\n");
    EXPECT_EQ(c.lines.back(), tagged);
}

TEST(LineFraming, ManySmallArrivalsOfOneLongLineStayLinear)
{
    Collector c;
    for (int i = 0; i < 4000; ++i) {
        c.Feed("y");
    }
    c.Feed("\r\n");
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0].size(), 4000u);
}

TEST(SendLine, AddsCrLfInOneSendOnlyWhileConnected)
{
    RecordingSocket socket;
    SendLine(socket, "NICK early");
    socket.state = RecordingSocket::StateConnecting;
    SendLine(socket, "NICK connecting");
    socket.state = RecordingSocket::StateConnected;
    SendLine(socket, "NICK tester");
    SendLine(socket, "");
    socket.state = RecordingSocket::StateClosing;
    SendLine(socket, "QUIT :late");
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"NICK tester\r\n", "\r\n"}));
}

TEST(SendLine, NeverSendsASecondCommandHiddenInTheText)
{
    RecordingSocket socket;
    socket.state = RecordingSocket::StateConnected;
    SendLine(socket, "PRIVMSG #a :hi\r\nQUIT :gotcha");
    SendLine(socket, "PRIVMSG #a :x\nJOIN #b");
    SendLine(socket, "PONG :tok\ren");
    SendLine(socket, std::string("PRIVMSG #a :nul\0KILL", 20));
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PRIVMSG #a :hi\r\n", "PRIVMSG #a :x\r\n", "PONG :tok\r\n",
                                                     "PRIVMSG #a :nul\r\n"}));
}
