#include "net/ServerLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tellix::ServerLine;
using Form = ServerLine::Form;

namespace {

std::vector<std::string> Words(const ServerLine& line)
{
    std::vector<std::string> words;
    for (std::int32_t k = 1; k <= line.WordCount(); ++k) {
        words.emplace_back(line.Word(k));
    }
    return words;
}

} // namespace

TEST(ServerLine, UnprefixedPingAndErrorAreRecognisedByTheirFirstColonField)
{
    ServerLine ping("PING :a:b");
    EXPECT_EQ(ping.Kind(), Form::Ping);
    EXPECT_EQ(ping.AfterFirstColon(), "a:b");

    EXPECT_EQ(ServerLine("PING token").Kind(), Form::Other);
    EXPECT_EQ(ServerLine("PING  :x").Kind(), Form::Other);
    EXPECT_EQ(ServerLine("ping :x").Kind(), Form::Other);

    ServerLine error("ERROR :Closing Link: host (Quit: bye)");
    EXPECT_EQ(error.Kind(), Form::Error);
    EXPECT_EQ(error.AfterFirstColon(), "Closing Link: host (Quit: bye)");

    EXPECT_EQ(ServerLine("NOTICE AUTH :*** hello").Kind(), Form::Other);
    EXPECT_EQ(ServerLine("").Kind(), Form::Other);
    EXPECT_EQ(ServerLine("").AfterFirstColon(), "");
}

TEST(ServerLine, PrefixedLineWithTrailingPartReadsHeadWordsAndTrailingText)
{
    ServerLine line(":anna!a@host PRIVMSG #room :hi: there :)");
    EXPECT_EQ(line.Kind(), Form::Prefixed);
    EXPECT_EQ(line.Head(), "anna!a@host PRIVMSG #room ");
    EXPECT_EQ(Words(line), (std::vector<std::string>{"anna!a@host", "PRIVMSG", "#room", ""}));
    EXPECT_EQ(line.Sender(), "anna!a@host");
    EXPECT_EQ(line.Command(), "PRIVMSG");
    EXPECT_EQ(line.Target(), "#room");
    EXPECT_TRUE(line.HasTrailing());
    EXPECT_EQ(line.Trailing(), "hi: there :)");
    EXPECT_EQ(line.LastParam(4), "hi: there :)");
    EXPECT_EQ(line.Word(9), "");
    EXPECT_EQ(line.Word(0), "");
}

TEST(ServerLine, EmptyWordsCountAndShiftTheWordNumbers)
{
    ServerLine line(":anna!a@host  PRIVMSG #room :x");
    EXPECT_EQ(Words(line), (std::vector<std::string>{"anna!a@host", "", "PRIVMSG", "#room", ""}));
    EXPECT_EQ(line.Command(), "");

    ServerLine empty(":a!b@c TOPIC #r :");
    EXPECT_TRUE(empty.HasTrailing());
    EXPECT_EQ(empty.Trailing(), "");
}

TEST(ServerLine, ParametersWrittenWithoutTheirColon)
{
    ServerLine privmsg(":anna!a@host PRIVMSG #room hi");
    EXPECT_FALSE(privmsg.HasTrailing());
    EXPECT_EQ(privmsg.LastParam(4), "hi");
    EXPECT_EQ(ServerLine(":old!a@h NICK new").LastParam(3), "new");
    EXPECT_EQ(ServerLine(":x!a@h QUIT bye").LastParam(3), "bye");
    EXPECT_EQ(ServerLine(":x!a@h QUIT").LastParam(3), "");
    ServerLine kick(":op!a@h KICK #c bob");
    EXPECT_EQ(kick.Word(4), "bob");
    EXPECT_EQ(kick.LastParam(5), "");
    // A colon inside a parameter that the trailing part does not open.
    ServerLine inner(":anna!a@host PRIVMSG #room hi:there");
    EXPECT_EQ(inner.LastParam(4), "hi:there");
}

TEST(ServerLine, LoneParameterWrittenAsTheTrailingPart)
{
    ServerLine part(":x!a@h PART :#chan");
    EXPECT_TRUE(part.InTrailing(3));
    EXPECT_FALSE(ServerLine(":x!a@h PART #chan :bye").InTrailing(3));
    EXPECT_FALSE(ServerLine(":x!a@h PART #chan").InTrailing(3));

    ServerLine join(":x!a@h JOIN :#chan");
    EXPECT_EQ(join.Target(), "");
    EXPECT_EQ(join.TrailingToColon(), "#chan");
    EXPECT_EQ(ServerLine(":x!a@h JOIN :#a:b").TrailingToColon(), "#a");
    EXPECT_EQ(ServerLine(":x!a@h JOIN #chan").TrailingToColon(), "");
}

TEST(ServerLine, ColonsInTheSenderDoNotOpenTheTrailingPart)
{
    ServerLine line(":anna!a@2001:db8::1 PRIVMSG #room :hi");
    EXPECT_EQ(line.Sender(), "anna!a@2001:db8::1");
    EXPECT_EQ(line.Command(), "PRIVMSG");
    EXPECT_EQ(line.Trailing(), "hi");
}

TEST(ServerLine, DegenerateLines)
{
    ServerLine colon(":");
    EXPECT_EQ(colon.Kind(), Form::Prefixed);
    EXPECT_EQ(colon.WordCount(), 1);
    EXPECT_EQ(ServerLine(":prefixonly").WordCount(), 1);
    EXPECT_EQ(ServerLine("::").WordCount(), 1);
    ServerLine blanks(std::string(10000, ' ').insert(0, ":"));
    EXPECT_EQ(blanks.WordCount(), 10001);
    EXPECT_EQ(blanks.Word(3), "");
}
