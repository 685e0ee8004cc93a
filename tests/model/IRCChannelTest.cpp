#include "ModelFixture.h"

#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using tellix::CoreError;
using tellix::IRCChannel;
using tellix::IRCUser;
using tellix::kErrorObjectMissing;
using tellix::test::ModelFixture;
using tellix::test::Nicks;
using tellix::test::Recorder;
using Log = std::vector<std::string>;

namespace {

struct ChannelFixture : ModelFixture {
    std::shared_ptr<IRCChannel> room = Channels().Add("#room");
    std::shared_ptr<IRCUser> bob = Users().GetUser("Bob!b@host");
    Recorder r;

    ChannelFixture()
    {
        r.Watch("channels", Channels());
        r.Watch("#room", *room);
    }
};

} // namespace

TEST(IRCChannel, OutgoingLinesKeepTheirExactTextAndConditions)
{
    ChannelFixture f;
    f.room->Part("bye");
    f.room->Kick(f.bob, "x");
    EXPECT_EQ(f.Sent(), Log{});
    f.room->Join();
    EXPECT_EQ(f.Sent(), (Log{"JOIN :#room\r\n"}));
    EXPECT_FALSE(f.room->Joined());

    f.room->ProcessJoin(f.me);
    f.room->ProcessTopicChange(nullptr, "old");
    f.Sent();
    f.r.Take();

    f.room->Join();
    f.room->Part("");
    f.room->Part("see you");
    f.room->Kick(f.bob, "");
    f.room->Kick(f.bob, "flood");
    f.room->Topic("new");
    EXPECT_EQ(f.Sent(), (Log{"PART #room :\r\n", "PART #room :see you\r\n", "KICK #room Bob\r\n",
                             "KICK #room Bob :flood\r\n", "TOPIC #room :new\r\n"}));
    EXPECT_EQ(f.room->Topic(), "old");
    EXPECT_TRUE(f.room->Joined());
    EXPECT_EQ(f.r.Take(), Log{});
}

TEST(IRCChannel, SendNoticeAndPrivMsgAnnounceTheOwnUserAfterSending)
{
    ChannelFixture f;
    std::vector<std::size_t> sentAtEvent;
    auto probe = f.Channels().Events.Notice.connect(
        [&](const auto&, const auto&, const std::string&) { sentAtEvent.push_back(f.socket.sent.size()); });
    f.room->SendNotice("hi");
    f.room->SendPrivMsg("");
    EXPECT_EQ(f.Sent(), (Log{"NOTICE #room :hi\r\n", "PRIVMSG #room :\r\n"}));
    EXPECT_EQ(sentAtEvent, std::vector<std::size_t>{1});
    EXPECT_EQ(f.r.Take(), (Log{"channels.Notice #room me 'hi'", "#room.Notice me 'hi'",
                               "channels.PrivMsg #room me ''", "#room.PrivMsg me ''"}));
}

TEST(IRCChannel, WithoutParentSendingFailsAndGuardedRequestsDoNothing)
{
    ChannelFixture f;
    f.room->ProcessJoin(f.me);
    f.room->Delete();
    EXPECT_EQ(f.Sent(), (Log{"PART #room :\r\n"}));
    f.r.Take();

    for (const auto& send : std::vector<std::function<void()>>{
             [&] { f.room->SendNotice("n"); }, [&] { f.room->SendPrivMsg("p"); }, [&] { f.room->Topic("t"); }}) {
        try {
            send();
            ADD_FAILURE() << "no error";
        } catch (const CoreError& error) {
            EXPECT_EQ(error.Number(), kErrorObjectMissing);
        }
    }
    f.room->SetJoined(false);
    f.room->Join();
    f.room->SetJoined(true);
    f.room->Part("p");
    f.room->Kick(f.bob, "k");
    EXPECT_EQ(f.Sent(), Log{});
    EXPECT_EQ(f.r.Take(), Log{});
}

TEST(IRCChannel, OwnJoinEmptiesTheMemberListBeforeAddingTheOwnUser)
{
    ChannelFixture f;
    auto carl = f.Users().GetUser("carl");
    f.room->ProcessJoin(f.me);
    f.room->ProcessJoin(f.bob);
    f.room->ProcessJoin(carl);
    f.r.Take();

    f.room->ProcessKick(f.bob, f.me, "out");
    EXPECT_EQ(f.r.Take(),
              (Log{"#room.UserRemove me", "channels.Kick #room Bob me 'out'", "#room.Kick Bob me 'out'"}));
    EXPECT_FALSE(f.room->Joined());
    EXPECT_EQ(Nicks(*f.room->Users()), (Log{"Bob", "carl"}));

    std::vector<bool> joinedAtUserAdd;
    auto probe = f.room->Events.UserAdd.connect(
        [&](const std::shared_ptr<IRCUser>&) { joinedAtUserAdd.push_back(f.room->Joined()); });
    f.room->ProcessJoin(f.me);
    EXPECT_EQ(f.r.Take(), (Log{"#room.UserRemove carl", "#room.UserRemove Bob", "#room.UserAdd me",
                               "channels.Join #room me", "#room.Join me"}));
    EXPECT_EQ(joinedAtUserAdd, std::vector<bool>{true});
    EXPECT_EQ(Nicks(*f.room->Users()), (Log{"me"}));
    EXPECT_TRUE(f.bob->Membership().empty());
}

TEST(IRCChannel, OtherUsersJoinPartAndGetKicked)
{
    ChannelFixture f;
    auto carl = f.Users().GetUser("carl");
    auto stranger = f.Users().GetUser("stranger");
    f.room->ProcessJoin(f.me);
    f.r.Take();

    f.room->ProcessJoin(f.bob);
    f.room->ProcessJoin(f.bob);
    f.room->ProcessJoin(carl);
    EXPECT_EQ(f.r.Take(),
              (Log{"#room.UserAdd Bob", "channels.Join #room Bob", "#room.Join Bob", "channels.Join #room Bob",
                   "#room.Join Bob", "#room.UserAdd carl", "channels.Join #room carl", "#room.Join carl"}));

    f.room->ProcessPart(f.bob, "bye");
    f.room->ProcessPart(stranger, "");
    f.room->ProcessKick(f.me, carl, "");
    EXPECT_EQ(f.r.Take(),
              (Log{"#room.UserRemove Bob", "channels.Part #room Bob 'bye'", "#room.Part Bob 'bye'",
                   "channels.Part #room stranger ''", "#room.Part stranger ''", "#room.UserRemove carl",
                   "channels.Kick #room me carl ''", "#room.Kick me carl ''"}));
    EXPECT_TRUE(f.room->Joined());
    EXPECT_EQ(Nicks(*f.room->Users()), (Log{"me"}));

    f.room->ProcessPart(f.me, "");
    EXPECT_FALSE(f.room->Joined());
    EXPECT_EQ(f.room->Users()->Count(), 0);
}

TEST(IRCChannel, TopicChangeCarriesThePreviousTopicWhileTheNewOneIsStored)
{
    ChannelFixture f;
    std::vector<std::string> topicsSeen;
    auto probe = f.Channels().Events.TopicChange.connect(
        [&](const auto&, const auto&, const std::string&) { topicsSeen.push_back(f.room->Topic()); });
    f.room->ProcessTopicChange(nullptr, "first");
    f.room->ProcessTopicChange(f.bob, "second");
    EXPECT_EQ(f.r.Take(), (Log{"channels.TopicChange #room - ''", "#room.TopicChange - ''",
                               "channels.TopicChange #room Bob 'first'", "#room.TopicChange Bob 'first'"}));
    EXPECT_EQ(topicsSeen, (Log{"first", "second"}));
}

TEST(IRCChannel, MessagesAndMemberNickChangesAreRelayedThenRaised)
{
    ChannelFixture f;
    f.room->ProcessJoin(f.me);
    f.room->ProcessJoin(f.bob);
    f.r.Take();
    f.room->ProcessNotice(f.bob, "n");
    f.room->ProcessPrivMsg(f.me, "p");
    f.bob->SetNick("Robert");
    // A member's private message concerns no channel.
    f.bob->ProcessPrivMsg("private");
    EXPECT_EQ(f.r.Take(), (Log{"channels.Notice #room Bob 'n'", "#room.Notice Bob 'n'",
                               "channels.PrivMsg #room me 'p'", "#room.PrivMsg me 'p'",
                               "channels.NickChange #room Robert 'Bob'", "#room.NickChange Robert 'Bob'"}));
}

TEST(IRCChannel, DeleteOfAJoinedChannelPartsAndLeavesTheCollectionAtOnce)
{
    ChannelFixture f;
    f.room->ProcessJoin(f.me);
    f.room->ProcessJoin(f.bob);
    f.room->ProcessTopicChange(nullptr, "t");
    auto other = f.Channels().Add("#other");
    f.Sent();
    f.r.Take();

    f.room->Delete();
    EXPECT_EQ(f.Sent(), (Log{"PART #room :\r\n"}));
    EXPECT_EQ(f.r.Take(), Log{});
    EXPECT_EQ(f.Channels().Count(), 1);
    EXPECT_EQ(other->Index(), 1);
    EXPECT_EQ(f.room->Index(), -1);
    EXPECT_EQ(f.room->Parent(), nullptr);
    EXPECT_TRUE(f.room->Joined());
    EXPECT_EQ(f.room->Topic(), "t");
    EXPECT_EQ(Nicks(*f.room->Users()), (Log{"me", "Bob"}));

    // The server's confirmation then lands on a fresh channel of that name.
    auto fresh = f.Channels().GetChannel("#room");
    EXPECT_NE(fresh, f.room);
    EXPECT_FALSE(fresh->Joined());
    fresh->ProcessPart(f.me, "");
    EXPECT_EQ(f.r.Take(), (Log{"channels.Add #room", "channels.Part #room me ''"}));
}
