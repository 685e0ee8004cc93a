// A message that replies to another shows the first words of the line it replies to, when the
// window holds that line.
#include "windows/ReplyIndex.h"

#include "WindowsFixture.h"

namespace tellix::test {
namespace {

using ReplyQuote = WindowsFixture;

TEST_F(ReplyQuote, AReplyQuotesItsLineWhenTheWindowHoldsIt)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    Receive(":me!u@h JOIN :#club");
    Receive(":dave!d@h PRIVMSG me :first");
    ASSERT_EQ(childs.Count(), 4);
    for (std::int32_t i = 1; i <= 4; ++i) {
        NewLines(i);
    }
    struct Row {
        std::string received;
        std::int32_t window;
        std::string shown;
    };
    const std::vector<Row> rows = {
        {"@msgid=m1 :alice!a@h PRIVMSG #room :the build is broken again", 2, "<alice> the build is broken again"},
        {"@msgid=m2;+draft/reply=m1 :bob!b@h PRIVMSG #room :yes, fixed", 2,
         "<bob> > alice: the build is\xE2\x80\xA6 | yes, fixed"},
        {"@+draft/reply=m2 :carl!c@h PRIVMSG #room :\x01"
         "ACTION cheers\x01",
         2, "* carl > bob: yes, fixed | cheers"},
        {"@+reply=m1;+draft/reply=nothing :carl!c@h PRIVMSG #room :same", 2,
         "<carl> > alice: the build is\xE2\x80\xA6 | same"},
        {"@+draft/reply=unknown :bob!b@h PRIVMSG #room :what?", 2, "<bob> what?"},
        {"@+draft/reply= :bob!b@h PRIVMSG #room :empty", 2, "<bob> empty"},
        {"@msgid=a\\sb\\:c :alice!a@h PRIVMSG #room :\x02"
         "bold\x02 and \x03"
         "04,12red\x03",
         2,
         "<alice> \x02"
         "bold\x02 and \x03"
         "04,12red\x03"},
        {"@+draft/reply=a\\sb\\:c :bob!b@h PRIVMSG #room :nice", 2, "<bob> > alice: bold and red | nice"},
        // Another window's line is not this one's.
        {"@msgid=c1 :erin!e@h PRIVMSG #club :over here", 3, "<erin> over here"},
        {"@+draft/reply=c1 :bob!b@h PRIVMSG #room :where?", 2, "<bob> where?"},
        {"@draft/msgid=q1 :dave!d@h PRIVMSG me :ping", 4, "# <dave> ping"},
        {"@+draft/reply=q1 :dave!d@h PRIVMSG me :pong", 4, "# <dave> > dave: ping | pong"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(row.window), Texts{row.shown});
    }
}

TEST_F(ReplyQuote, OurOwnEchoedLineCanBeRepliedTo)
{
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    Receive(":irc.test CAP * LS :echo-message message-tags");
    Receive(":irc.test CAP * ACK :echo-message message-tags");
    Receive(":irc.test 001 me :Welcome");
    Receive(":me!u@h JOIN :#room");
    Receive(":dave!d@h PRIVMSG me :hi");
    NewLines(2);
    NewLines(3);
    Receive("@msgid=o1 :me!u@h PRIVMSG #room :lunch at noon?");
    Receive("@+draft/reply=o1 :bob!b@h PRIVMSG #room :sure");
    EXPECT_EQ(NewLines(2), (Texts{"<me> lunch at noon?", "<bob> > me: lunch at noon? | sure"}));

    Receive("@msgid=o2 :me!u@h PRIVMSG dave :see you");
    Receive("@+draft/reply=o2 :dave!d@h PRIVMSG me :bye");
    EXPECT_EQ(NewLines(3), (Texts{"# <me> see you", "# <dave> > me: see you | bye"}));
}

TEST_F(ReplyQuote, AWindowKeepsTheLastLinesOnly)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    for (std::size_t i = 0; i < ReplyIndex::kKept + 10; ++i) {
        Receive("@msgid=id" + std::to_string(i) + " :alice!a@h PRIVMSG #room :line " + std::to_string(i));
    }
    NewLines(2);
    Receive("@+draft/reply=id0 :bob!b@h PRIVMSG #room :the first");
    Receive("@+draft/reply=id" + std::to_string(ReplyIndex::kKept + 9) + " :bob!b@h PRIVMSG #room :the last");
    EXPECT_EQ(NewLines(2), (Texts{"<bob> the first", "<bob> > alice: line " +
                                                         std::to_string(ReplyIndex::kKept + 9) + " | the last"}));
}

TEST(ReplyIndex, AQuoteHoldsTheFirstWordsAndNoFormatting)
{
    const std::pair<std::string, std::string> rows[] = {
        {"the build is broken again", "the build is\xE2\x80\xA6"},
        {"yes", "yes"},
        {"one two three", "one two three"},
        {"one two three ", "one two three"},
        {"  padded   out  words  here", "padded   out  words\xE2\x80\xA6"},
        {"", ""},
        {"   ", ""},
        {"\x02"
         "bold\x02 \x1Ditalic\x1D",
         "bold italic"},
        {"\x03"
         "4,12red\x03"
         "7 \x03"
         "99,99x",
         "red x"},
        {"\x03,5comma", ",5comma"},
        {"\x01"
         "ACTION waves hello to all\x01",
         "waves hello to\xE2\x80\xA6"},
        {std::string(40, 'a'), std::string(32, 'a') + "\xE2\x80\xA6"},
        // 18 two-byte letters: cut whole at 16.
        {[] {
             std::string s;
             for (int i = 0; i < 18; ++i) {
                 s += "\xC3\xA4";
             }
             return s;
         }(),
         [] {
             std::string s;
             for (int i = 0; i < 16; ++i) {
                 s += "\xC3\xA4";
             }
             return s + "\xE2\x80\xA6";
         }()},
        {"a\rb\nc\x7F"
         "d",
         "abcd"},
    };
    for (const auto& [text, words] : rows) {
        EXPECT_EQ(ReplyIndex::FirstWords(text), words) << text;
    }
}

TEST(ReplyIndex, IdsTooLongOrRepeatedAreKeptOnce)
{
    ReplyIndex index;
    index.Note(std::string(ReplyIndex::kLongestId + 1, 'x'), "a", "long");
    index.Note("", "a", "empty");
    index.Note("k", "a", "first");
    index.Note("k", "b", "second");
    EXPECT_EQ(index.Count(), 1U);
    EXPECT_EQ(index.Quote("k"), "> a: first | ");
    EXPECT_EQ(index.Quote(std::string(ReplyIndex::kLongestId + 1, 'x')), "");
    for (std::size_t i = 0; i < 10 * ReplyIndex::kKept; ++i) {
        index.Note(std::to_string(i), "n", "t");
    }
    EXPECT_EQ(index.Count(), ReplyIndex::kKept);
}

} // namespace
} // namespace tellix::test
