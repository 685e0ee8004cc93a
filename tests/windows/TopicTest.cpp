// The topic a channel window's bar shows, who set it and when, and a topic edited there.
#include "WindowsFixture.h"

#include <chrono>

namespace tellix::test {
namespace {

using Topic = RecordingChildView::Topic;

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct TopicBar : WindowsFixture {
    void InRoom()
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        ASSERT_EQ(childs.Count(), 2);
        NewLines(2);
    }
};

TEST_F(TopicBar, FollowsTheServersRepliesAndTheChanges)
{
    InRoom();
    EXPECT_TRUE(View(2).topicBar);
    EXPECT_FALSE(View(1).topicBar);
    struct Row {
        std::string received;
        Topic shown;
        Texts lines;
    };
    const std::vector<Row> rows = {
        {":irc.test 332 me #room :the \x02topic\x02 \x03"
         "4red",
         {"the \x02topic\x02 \x03"
          "4red",
          "", 0},
         {"*** topic is 'the \x02topic\x02 \x03"
          "4red'"}},
        {":irc.test 333 me #room anna!a@h 1700000000",
         {"the \x02topic\x02 \x03"
          "4red",
          "anna", 1'700'000'000'000},
         {}},
        {":irc.test 333 me #room bob 99999999999999999999",
         {"the \x02topic\x02 \x03"
          "4red",
          "bob", 0},
         {}},
        {":irc.test 333 me #room carl 12x",
         {"the \x02topic\x02 \x03"
          "4red",
          "carl", 0},
         {}},
        {":irc.test 333 me #elsewhere dan 5",
         {"the \x02topic\x02 \x03"
          "4red",
          "carl", 0},
         {}},
        {":irc.test 331 me #room :No topic is set", {"", "", 0}, {}},
        {":irc.test 332 me #room :back", {"back", "", 0}, {"*** topic is 'back'"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(View(2).topic, row.shown);
        EXPECT_EQ(NewLines(2), row.lines);
    }

    // A change is set by its sender, now.
    const std::int64_t before = NowMs();
    Receive(":anna!a@h TOPIC #room :fresh");
    const std::int64_t after = NowMs();
    EXPECT_EQ(View(2).topic.text, "fresh");
    EXPECT_EQ(View(2).topic.setter, "anna");
    EXPECT_GE(View(2).topic.time, before);
    EXPECT_LE(View(2).topic.time, after);
    EXPECT_EQ(NewLines(2), Texts{"*** anna changes topic to 'fresh'"});

    // A query window has no bar.
    Receive(":anna!a@h PRIVMSG me :hi");
    ASSERT_EQ(childs.Count(), 3);
    EXPECT_FALSE(View(3).topicBar);
}

TEST_F(TopicBar, AnEditedTopicIsSentAndShownOnceTheServerReportsIt)
{
    InRoom();
    Receive(":irc.test 332 me #room :old");
    View(2).Events.TopicEdit.raise("new words, ünïcode");
    EXPECT_EQ(Sent(), Texts{"TOPIC #room :new words, ünïcode"});
    EXPECT_EQ(View(2).topic.text, "old");
    Receive(":me!u@h TOPIC #room :new words, ünïcode");
    EXPECT_EQ(View(2).topic, (Topic{"new words, ünïcode", "me", View(2).topic.time}));

    socket.PeerCloses();
    NewLines(2);
    View(2).Events.TopicEdit.raise("offline");
    EXPECT_EQ(Sent(), Texts{});
    EXPECT_EQ(NewLines(2), Texts{"TOPIC: not connected"});
}

} // namespace
} // namespace tellix::test
