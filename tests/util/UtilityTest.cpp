#include "util/Utility.h"

#include <gtest/gtest.h>

#include <set>

using namespace tellix;

namespace {

WordList Words(std::vector<std::string> words, std::int32_t lowerBound = 0)
{
    return WordList{std::move(words), lowerBound};
}

} // namespace

TEST(Utility, TwoThousandKeysAreDistinctAndNotEmpty)
{
    std::set<std::string> keys;
    for (int i = 0; i < 2000; ++i) {
        const std::string key = NewUniqueKey();
        ASSERT_FALSE(key.empty());
        keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 2000u);
}

TEST(Utility, SplitKeepsEveryWordIncludingEmptyOnes)
{
    EXPECT_TRUE(IsEmptyList(SplitQuoted("", " ", "", "")));
    EXPECT_EQ(SplitQuoted("a b", " ", "", "").Words, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitQuoted("a  b ", " ", "", "").Words, (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(SplitQuoted(" ", " ", "", "").Words, (std::vector<std::string>{"", ""}));
    // Without quotes configured, quote characters are ordinary.
    EXPECT_EQ(SplitQuoted("say \"a b\"", " ", "", "").Words, (std::vector<std::string>{"say", "\"a", "b\""}));
}

TEST(Utility, JoinAndSplitRoundTrip)
{
    const std::string q = "\"";
    EXPECT_EQ(JoinQuoted(Words({"a", "b"}), " ", q, q), "a b");
    EXPECT_EQ(SplitQuoted("a b", " ", q, q).Words, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(JoinQuoted(Words({}), " ", q, q), "");

    // Typed text comes back exactly as typed: runs of blanks and quote characters.
    for (const std::string typed : {"hello   world ", "she said \"hi\"", "\"quoted\" word", "x"}) {
        const WordList words = SplitQuoted(typed, " ", "", "");
        EXPECT_EQ(JoinQuoted(words, " ", q, q), typed);
        EXPECT_EQ(JoinQuoted(words, " ", "", ""), typed);
    }

    // A word holding the separator is quoted, and splitting with quotes restores it.
    const WordList awkward = Words({"a b", "c", "say \"x\" now", ""});
    const std::string joined = JoinQuoted(awkward, " ", q, q);
    EXPECT_EQ(joined, "\"a b\" c \"say \"\"x\"\" now\" ");
    EXPECT_EQ(SplitQuoted(joined, " ", q, q).Words, awkward.Words);
}

TEST(Utility, LowerBoundAndLastIndex)
{
    WordList words = SplitQuoted("join #a #b", " ", "", "");
    EXPECT_EQ(LastIndex(words, -1), 2);
    EXPECT_EQ(words.At(0), "join");
    const WordList shifted = SetLowerBound(words, 1);
    EXPECT_EQ(LastIndex(shifted, -1), 3);
    EXPECT_EQ(shifted.At(1), "join");
    EXPECT_EQ(shifted.At(0), "");
    EXPECT_EQ(shifted.At(4), "");
    EXPECT_EQ(LastIndex(WordList{}, -1), -1);
}

TEST(Utility, AppendLineEnd)
{
    EXPECT_EQ(AppendLineEnd("PING :x", "\r\n"), "PING :x\r\n");
    EXPECT_EQ(AppendLineEnd("", "\r\n"), "\r\n");
}

TEST(FieldSplitter, FieldsCountEveryDelimiterAndReadEmptyBeyondTheEnd)
{
    FieldSplitter fields(":a!b@c PRIVMSG #x :hi: there", ':');
    EXPECT_EQ(fields.Count(), 4);
    EXPECT_EQ(fields.Field(1), "");
    EXPECT_EQ(fields.Field(2), "a!b@c PRIVMSG #x ");
    EXPECT_EQ(fields.Field(4), " there");
    EXPECT_EQ(fields.Field(5), "");
    EXPECT_EQ(fields.Field(0), "");
    EXPECT_EQ(fields.Join(3), "hi: there");

    FieldSplitter ping("PING :a:b", ':');
    ping.Replace(1, "PONG ");
    EXPECT_EQ(ping.Join(), "PONG :a:b");
    ping.Remove(1);
    EXPECT_EQ(ping.Join(), "a:b");

    FieldSplitter empty("", ' ');
    EXPECT_EQ(empty.Count(), 1);
    EXPECT_EQ(empty.Field(1), "");
}
