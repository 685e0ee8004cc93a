#include "ModelFixture.h"

#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using tellix::CoreError;
using tellix::IRCUser;
using tellix::IRCUsers;
using tellix::kErrorObjectMissing;
using tellix::test::ModelFixture;
using tellix::test::Recorder;
using Log = std::vector<std::string>;

namespace {

int ErrorNumberOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CoreError& error) {
        return error.Number();
    }
    return 0;
}

} // namespace

TEST(IRCUser, MaskPartsAndMatching)
{
    ModelFixture m;
    auto fresh = m.Users().Add("");
    EXPECT_EQ(fresh->UserMask(), "!@");
    EXPECT_EQ(fresh->Info(), 0);
    EXPECT_EQ(fresh->Index(), 2);
    EXPECT_EQ(fresh->Parent(), &m.Users());

    auto user = m.Users().Add("a!b@c");
    EXPECT_EQ(user->Nick(), "a");
    EXPECT_EQ(user->User(), "b");
    EXPECT_EQ(user->Host(), "c");
    EXPECT_EQ(user->UserMask(), "a!b@c");
    EXPECT_EQ(user->MatchUserMask("a"), 1);
    EXPECT_EQ(user->MatchUserMask("A"), 0);
    EXPECT_EQ(user->MatchUserMask("a!b@c"), 7);
    EXPECT_EQ(user->MatchUserMask("x!b@c"), 6);

    // Unknown user and host parts equal the empty parts of a plain nick.
    auto plain = m.Users().Add("a");
    EXPECT_EQ(plain->MatchUserMask("a"), 7);
    EXPECT_EQ(plain->UserMask(), "a!@");
}

TEST(IRCUser, FirstNickIsSilentButFindable)
{
    ModelFixture m;
    Recorder r;
    auto user = m.Users().Add("");
    auto channel = m.JoinedChannel("#a", {});
    channel->Users()->AddExisting(user);
    r.Watch("users", m.Users());
    r.Watch("#a", *channel);
    r.Watch("user", *user);

    user->SetNick("first");
    EXPECT_EQ(r.Take(), Log{});
    EXPECT_EQ(m.Users().Item("first"), user);
    EXPECT_EQ(channel->Users()->Item("first"), user);
    EXPECT_EQ(m.Users().Item(""), nullptr);
}

TEST(IRCUser, NickChangeGoesToMasterThenMemberListsInMembershipOrderThenTheUser)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {});
    auto b = m.JoinedChannel("#b", {});
    auto bob = m.Users().GetUser("bob!u@h");
    b->Users()->AddExisting(bob);
    a->Users()->AddExisting(bob);
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("channels", m.Channels());
    r.Watch("#a", *a);
    r.Watch("#b", *b);
    r.Watch("bob", *bob);

    // Every listener, the last one included, already finds the user by the new nick.
    std::vector<bool> findable;
    auto check = bob->Events->NickChange.connect([&](const std::string&) {
        findable.push_back(m.Users().Item("Bob") == bob && m.Users().Item("bob") == nullptr &&
                           a->Users()->Item("Bob") == bob && b->Users()->Item("Bob") == bob);
    });

    bob->SetNick("Bob");
    EXPECT_EQ(r.Take(),
              (Log{"users.NickChange Bob 'bob'", "channels.NickChange #b Bob 'bob'", "#b.NickChange Bob 'bob'",
                   "channels.NickChange #a Bob 'bob'", "#a.NickChange Bob 'bob'", "bob.NickChange 'bob'"}));
    EXPECT_EQ(findable, std::vector<bool>{true});
    EXPECT_EQ(bob->User(), "u");
    EXPECT_EQ(bob->Info(), 7);
}

TEST(IRCUser, SetUserMaskAnnouncesOnlyANickThatChanged)
{
    ModelFixture m;
    auto bob = m.Users().GetUser("bob!u@h");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("bob", *bob);

    bob->SetUserMask("bob!other@elsewhere");
    EXPECT_EQ(r.Take(), Log{});
    EXPECT_EQ(bob->UserMask(), "bob!other@elsewhere");

    // A mask without a nick takes the nick away, and says so.
    bob->SetUserMask("!x@y");
    EXPECT_EQ(r.Take(), (Log{"users.NickChange \"\" 'bob'", "bob.NickChange 'bob'"}));
    EXPECT_EQ(bob->Nick(), "");
    EXPECT_EQ(bob->Info(), 6);
    EXPECT_EQ(m.Users().Item(""), bob);
    EXPECT_EQ(m.Users().Item("bob"), nullptr);
}

TEST(IRCUser, SetNickKeepsUserHostAndInfo)
{
    ModelFixture m;
    auto user = m.Users().GetUser("a");
    user->SetNick("");
    EXPECT_EQ(user->Nick(), "");
    EXPECT_EQ(user->Info(), 1);
}

// Short masks and ones too long for a short copy, made, renamed and given new parts: the
// parts read back as they were set, and the mask is them joined.
TEST(IRCUser, MasksOfEveryLengthKeepTheirParts)
{
    const std::string longHost(300, 'h');
    struct Row {
        std::string mask;
        std::string nick, user, host;
    };
    const std::vector<Row> rows = {
        {"bob", "bob", "", ""},
        {"bob!~b@host.example", "bob", "~b", "host.example"},
        {"n!u@" + longHost, "n", "u", longHost},
        {std::string(200, 'x') + "!u@h", std::string(200, 'x'), "u", "h"},
    };
    for (const Row& row : rows) {
        ModelFixture m;
        auto user = m.Users().GetUser(row.mask);
        ASSERT_NE(user, nullptr) << row.mask;
        EXPECT_EQ(user->Nick(), row.nick) << row.mask;
        EXPECT_EQ(user->User(), row.user) << row.mask;
        EXPECT_EQ(user->Host(), row.host) << row.mask;
        // A rename rebuilds the mask from parts that are views into it.
        user->SetNick("renamed_" + row.nick);
        EXPECT_EQ(user->UserMask(), "renamed_" + row.nick + "!" + row.user + "@" + row.host) << row.mask;
        EXPECT_EQ(m.Users().Item("renamed_" + row.nick), user) << row.mask;
        user->SetNick("z");
        EXPECT_EQ(user->UserMask(), "z!" + row.user + "@" + row.host) << row.mask;
        user->SetUserMask("z!other@" + longHost);
        EXPECT_EQ(user->Host(), longHost) << row.mask;
        user->SetUserMask("z!u2@short");
        EXPECT_EQ(user->UserMask(), "z!u2@short") << row.mask;
    }
}

TEST(IRCUser, NoticeAndPrivMsgReachMasterThenMemberListsThenTheUser)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {"bob"});
    auto b = m.JoinedChannel("#b", {"bob"});
    auto bob = m.Users().Item("bob");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("#a.users", *a->Users());
    r.Watch("#b.users", *b->Users());
    r.Watch("#a", *a);
    r.Watch("bob", *bob);

    bob->ProcessNotice("n");
    bob->ProcessPrivMsg("p");
    EXPECT_EQ(r.Take(), (Log{"users.Notice bob 'n'", "#a.users.Notice bob 'n'", "#b.users.Notice bob 'n'",
                             "bob.Notice 'n'", "users.PrivMsg bob 'p'", "#a.users.PrivMsg bob 'p'",
                             "#b.users.PrivMsg bob 'p'", "bob.PrivMsg 'p'"}));
}

// A listener that takes the user out of one channel must not make the next one miss the news:
// every member list the user is in at the start hears it once, as with a quit.
TEST(IRCUser, EveryMemberListAtTheStartHearsItWhileListenersTakeTheUserOut)
{
    struct Row {
        const char* what;
        std::function<void(IRCUser&)> act;
        const char* heardBy_b;
    };
    const std::vector<Row> rows{
        {"nick change", [](IRCUser& u) { u.SetNick("robert"); }, "#b.users.NickChange robert 'bob'"},
        {"notice", [](IRCUser& u) { u.ProcessNotice("n"); }, "#b.users.Notice bob 'n'"},
        {"message", [](IRCUser& u) { u.ProcessPrivMsg("p"); }, "#b.users.PrivMsg bob 'p'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ModelFixture m;
        auto a = m.JoinedChannel("#a", {"bob"});
        auto b = m.JoinedChannel("#b", {"bob"});
        auto bob = m.Users().Item("bob");
        Recorder r;
        r.Watch("#b.users", *b->Users());
        const auto leave = [&](const auto&...) { a->Users()->Remove(bob); };
        auto s1 = a->Users()->Events.NickChange.connect(leave);
        auto s2 = a->Users()->Events.Notice.connect(leave);
        auto s3 = a->Users()->Events.PrivMsg.connect(leave);
        row.act(*bob);
        EXPECT_EQ(r.Take(), Log{row.heardBy_b});
        EXPECT_EQ(bob->Membership(), IRCUser::MemberLists{b->Users().get()});
    }
}

TEST(IRCUser, QuitReachesEachChannelOnceAndLeavesTheUserOnlyInTheMasterList)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {"bob"});
    auto b = m.JoinedChannel("#b", {"carl", "bob"});
    auto c = m.JoinedChannel("#c", {"bob"});
    auto bob = m.Users().Item("bob");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("channels", m.Channels());
    r.Watch("#a", *a);
    r.Watch("#b", *b);
    r.Watch("#c", *c);
    r.Watch("bob", *bob);

    bob->ProcessQuit("bye");
    EXPECT_EQ(r.Take(),
              (Log{"users.Quit bob 'bye'", "#a.UserRemove bob", "channels.Quit #a bob 'bye'", "#a.Quit bob 'bye'",
                   "#b.UserRemove bob", "channels.Quit #b bob 'bye'", "#b.Quit bob 'bye'", "#c.UserRemove bob",
                   "channels.Quit #c bob 'bye'", "#c.Quit bob 'bye'", "bob.Quit 'bye'"}));
    EXPECT_TRUE(bob->Membership().empty());
    EXPECT_EQ(tellix::test::Nicks(*a->Users()), (Log{"me"}));
    EXPECT_EQ(tellix::test::Nicks(*b->Users()), (Log{"me", "carl"}));
    EXPECT_EQ(m.Users().Item("bob"), bob);
    EXPECT_EQ(bob->Index(), 2);
}

TEST(IRCUser, DeleteLeavesMemberListsLastFirstThenTheMasterListAndRenumbers)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {"bob", "carl"});
    auto b = m.JoinedChannel("#b", {"bob", "dave"});
    auto bob = m.Users().Item("bob");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("#a", *a);
    r.Watch("#b", *b);
    std::vector<std::int32_t> countsAtRemove;
    auto probe = m.Users().Events.Remove.connect(
        [&](const std::shared_ptr<IRCUser>&) { countsAtRemove.push_back(m.Users().Count()); });

    bob->Delete();
    EXPECT_EQ(r.Take(), (Log{"#b.UserRemove bob", "#a.UserRemove bob", "users.Remove bob"}));
    EXPECT_EQ(countsAtRemove, std::vector<std::int32_t>{4});
    EXPECT_EQ(tellix::test::Nicks(m.Users()), (Log{"me", "carl", "dave"}));
    EXPECT_EQ(m.Users().Item("carl")->Index(), 2);
    EXPECT_EQ(m.Users().Item("dave")->Index(), 3);
    EXPECT_EQ(bob->Index(), -1);
    EXPECT_EQ(bob->Parent(), nullptr);
    EXPECT_TRUE(bob->Membership().empty());
    EXPECT_EQ(tellix::test::Nicks(*a->Users()), (Log{"me", "carl"}));
    EXPECT_EQ(tellix::test::Nicks(*b->Users()), (Log{"me", "dave"}));
}

TEST(IRCUser, SendsToTheNickWithoutEventsAndFailsOnceDeleted)
{
    ModelFixture m;
    auto bob = m.Users().GetUser("bob");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("bob", *bob);

    EXPECT_TRUE(m.me->IsUser());
    EXPECT_FALSE(bob->IsUser());
    bob->SendNotice("hi there");
    bob->SendPrivMsg("");
    EXPECT_EQ(m.Sent(), (Log{"NOTICE bob :hi there\r\n", "PRIVMSG bob :\r\n"}));
    EXPECT_EQ(r.Take(), Log{});

    m.Users().Remove("bob");
    EXPECT_EQ(ErrorNumberOf([&] { (void)bob->IsUser(); }), kErrorObjectMissing);
    EXPECT_EQ(ErrorNumberOf([&] { bob->SendNotice("x"); }), kErrorObjectMissing);
    EXPECT_EQ(ErrorNumberOf([&] { bob->SendPrivMsg("x"); }), kErrorObjectMissing);
    EXPECT_EQ(m.Sent(), Log{});
}

TEST(IRCUser, SetParentActsOnlyOnce)
{
    ModelFixture m;
    auto other = IRCUsers::Create();
    auto bob = m.Users().GetUser("bob");
    bob->SetParent(other.get());
    EXPECT_EQ(bob->Parent(), &m.Users());
}
