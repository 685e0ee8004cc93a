#include "net/LineFraming.h"

#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
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

// However the same bytes are cut into reads, the same lines come out: a line over the cap is
// dropped in every cutting alike, and the line after it is whole.
TEST(LineFraming, EveryCuttingOfTheSameBytesGivesTheSameLines)
{
    constexpr std::size_t cap = LineFraming::MaxPendingLine;
    const std::string atCap(cap, 'a');
    const std::string overCap(cap + 1, 'o');
    const std::string capWithCr = std::string(cap - 1, 'c') + "\r";
    const std::string huge(100 * 1024, 'h');
    struct Row {
        const char* name;
        std::string bytes;
        std::vector<std::string> lines;
        std::uint64_t dropped;
    };
    const std::vector<Row> rows = {
        {"plain", "one\r\ntwo\r\n", {"one", "two"}, 0},
        {"lone CR and LF", "a\rb\nc\r\n\r\r\n", {"a\rb\nc", "\r"}, 0},
        {"exactly the cap", atCap + "\r\nnext\r\n", {atCap, "next"}, 0},
        {"the cap, ending in a CR of its own", capWithCr + "\r\nnext\r\n", {capWithCr, "next"}, 0},
        {"one over the cap", overCap + "\r\nnext\r\n", {"next"}, 1},
        {"100 KB between two lines", "before\r\n" + huge + "\r\nafter\r\n", {"before", "after"}, 1},
        {"over the cap, ending in CR CR LF", overCap + "\r\r\nnext\r\n", {"next"}, 1},
        {"two over the cap in a row", overCap + "\r\n" + huge + "\r\nz\r\n", {"z"}, 2},
        {"unfinished at the end", "x\r\n" + huge, {"x"}, 1},
    };
    std::mt19937 random(20261208);
    for (const Row& row : rows) {
        std::vector<std::pair<std::string, std::vector<std::size_t>>> cuttings = {{"one read", {row.bytes.size()}},
                                                                                  {"1-byte pieces", {}}};
        cuttings[1].second.assign(row.bytes.size(), 1);
        for (int n = 0; n < 3; ++n) {
            std::vector<std::size_t> sizes;
            for (std::size_t left = row.bytes.size(); left > 0;) {
                const std::size_t size = std::min<std::size_t>(left, random() % 3000 + 1);
                sizes.push_back(size);
                left -= size;
            }
            cuttings.emplace_back("random pieces", std::move(sizes));
        }
        for (const auto& [how, sizes] : cuttings) {
            SCOPED_TRACE(std::string(row.name) + ", " + how);
            Collector c;
            std::size_t at = 0;
            for (const std::size_t size : sizes) {
                c.Feed(row.bytes.substr(at, size));
                at += size;
                ASSERT_LE(c.framing.Pending().size(), cap + 1);
            }
            EXPECT_EQ(c.lines, row.lines);
            EXPECT_EQ(c.framing.DroppedLines(), row.dropped);
        }
    }
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
