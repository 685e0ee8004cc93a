#include "net/ServerLine.h"

#include <gtest/gtest.h>

#include <optional>
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

TEST(ServerLine, PingIsRecognisedInEveryFormAndErrorByItsFirstColonField)
{
    ServerLine ping("PING :a:b");
    EXPECT_EQ(ping.Kind(), Form::Ping);
    EXPECT_EQ(ping.AfterFirstColon(), "a:b");
    EXPECT_EQ(ping.PingParams(), ":a:b");

    EXPECT_EQ(ServerLine("PING token").PingParams(), "token");
    EXPECT_EQ(ServerLine("PING  :x").PingParams(), " :x");
    EXPECT_EQ(ServerLine(":irc.test PING tok :x").PingParams(), "tok :x");
    EXPECT_EQ(ServerLine(":irc.test PING").Kind(), Form::Prefixed);
    EXPECT_EQ(ServerLine(":irc.test PING ").Kind(), Form::Prefixed);
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

TEST(ServerLineTags, ValuesAreUnescapedOneRowPerRule)
{
    struct Row {
        const char* written;
        const char* plain;
    };
    const Row rows[] = {
        {"plain", "plain"},
        {"a\\:b", "a;b"},
        {"a\\sb", "a b"},
        {"a\\\\b", "a\\b"},
        {"a\\rb", "a\rb"},
        {"a\\nb", "a\nb"},
        {"a\\bc", "abc"},         // any other escaped character stands for itself
        {"a\\", "a"},             // a lone backslash at the end goes
        {"\\\\\\", "\\"},         // an escaped backslash, then a lone one
        {"\\s\\:\\\\s", " ;\\s"}, // the escaped backslash does not escape what follows
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(tellix::UnescapeTagValue(row.written), row.plain) << row.written;
        const std::string line = std::string("@k=") + row.written + " :irc.test NOTICE me :x";
        EXPECT_EQ(ServerLine(line).Tag("k"), std::optional<std::string>(row.plain)) << line;
    }
}

TEST(ServerLineTags, TagsAreSetAsideAndTheRestReadsAsWithout)
{
    const ServerLine line("@time=2024-01-02T03:04:05.678Z;account=anna;+draft/x;empty= :anna!a@h PRIVMSG #room "
                          ":hi there");
    EXPECT_EQ(line.Tags(), "time=2024-01-02T03:04:05.678Z;account=anna;+draft/x;empty=");
    EXPECT_EQ(line.Line(), ":anna!a@h PRIVMSG #room :hi there");
    EXPECT_EQ(line.Kind(), Form::Prefixed);
    EXPECT_EQ(line.Sender(), "anna!a@h");
    EXPECT_EQ(line.Trailing(), "hi there");
    EXPECT_EQ(line.Tag("time"), std::optional<std::string>("2024-01-02T03:04:05.678Z"));
    EXPECT_EQ(line.Tag("account"), std::optional<std::string>("anna"));
    EXPECT_EQ(line.Tag("+draft/x"), std::optional<std::string>("")); // a key without value
    EXPECT_EQ(line.Tag("empty"), std::optional<std::string>(""));
    EXPECT_EQ(line.Tag("msgid"), std::nullopt);
    EXPECT_EQ(line.Tag("tim"), std::nullopt); // no prefix match
    EXPECT_EQ(ServerLine("@a=1;a=2 PING :x").Tag("a"), std::optional<std::string>("2"));

    // Tags before an unprefixed line leave it as it was.
    const ServerLine ping("@a=b PING :token");
    EXPECT_EQ(ping.Kind(), Form::Ping);
    EXPECT_EQ(ping.AfterFirstColon(), "token");

    // No tags: nothing set aside.
    const ServerLine bare(":irc.test 001 me :Welcome");
    EXPECT_EQ(bare.Tags(), "");
    EXPECT_EQ(bare.Line(), ":irc.test 001 me :Welcome");
}

TEST(ServerLineTags, MalformedTagsLoseNothingOfTheLine)
{
    struct Row {
        const char* line;
        const char* tags;
        const char* rest;
        Form form;
    };
    const Row rows[] = {
        {"@", "", "", Form::Other},
        {"@ ", "", "", Form::Other},
        {"@;;;= :s PRIVMSG me :x", ";;;=", ":s PRIVMSG me :x", Form::Prefixed},
        {"@a=b   :s PRIVMSG me :x", "a=b", ":s PRIVMSG me :x", Form::Prefixed}, // padded
        {"@a=b", "a=b", "", Form::Other},                                       // tags and nothing else
        {"@=\\ ERROR :gone", "=\\", "ERROR :gone", Form::Error},
    };
    for (const Row& row : rows) {
        const ServerLine line(row.line);
        EXPECT_EQ(line.Tags(), row.tags) << row.line;
        EXPECT_EQ(line.Line(), row.rest) << row.line;
        EXPECT_EQ(line.Kind(), row.form) << row.line;
    }
    EXPECT_EQ(ServerLine("@;;;= :s PRIVMSG me :x").Tag(""), std::optional<std::string>(""));
}
