#include "ModelFixture.h"

#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using tellix::CoreError;
using tellix::IRCUser;
using tellix::IRCUsers;
using tellix::kErrorInvalidIndex;
using tellix::test::ModelFixture;
using tellix::test::Nicks;
using tellix::test::Recorder;
using Log = std::vector<std::string>;
using UserPtr = std::shared_ptr<IRCUser>;

namespace {

// What the documented nick lookup finds: the first member by position whose
// MatchUserMask has bit 1.
UserPtr ScanByNick(const IRCUsers& users, const std::string& text)
{
    for (const UserPtr& user : users) {
        if ((user->MatchUserMask(text) & 1) != 0) {
            return user;
        }
    }
    return nullptr;
}

} // namespace

TEST(IRCUsers, GetUserFindsByExactNickAndRefreshesOnlyFromAFullMask)
{
    ModelFixture m;
    Recorder r;
    r.Watch("users", m.Users());
    auto bob = m.Users().GetUser("bob!u@h");
    EXPECT_EQ(r.Take(), (Log{"users.Add bob"}));

    EXPECT_EQ(m.Users().GetUser("bob!u2@h2"), bob);
    EXPECT_EQ(bob->UserMask(), "bob!u2@h2");
    EXPECT_EQ(m.Users().GetUser("bob"), bob);
    EXPECT_EQ(m.Users().GetUser("bob!u3"), bob);
    EXPECT_EQ(m.Users().GetUser("bob!@h3"), bob);
    EXPECT_EQ(bob->UserMask(), "bob!u2@h2");
    EXPECT_EQ(r.Take(), Log{});

    auto upper = m.Users().GetUser("Bob");
    EXPECT_NE(upper, bob);
    EXPECT_EQ(r.Take(), (Log{"users.Add Bob"}));
    EXPECT_EQ(m.Users().Count(), 3);
}

TEST(IRCUsers, EmptyNickPartMatchesAUserWithoutNick)
{
    ModelFixture m;
    auto anonymous = m.Users().Add("");
    EXPECT_EQ(m.Users().Item(""), anonymous);
    EXPECT_EQ(m.Users().Item("u@h"), anonymous);
    EXPECT_EQ(m.Users().Item("!u@h"), anonymous);
    EXPECT_EQ(anonymous->UserMask(), "!@");
    EXPECT_EQ(m.Users().Item("me!u@h"), m.me);
    EXPECT_EQ(m.me->UserMask(), "me!u@h");
}

TEST(IRCUsers, MemberListCreatesNothingAndAddsEachUserOnce)
{
    ModelFixture m;
    auto members = IRCUsers::Create();
    Recorder r;
    r.Watch("members", *members);
    EXPECT_EQ(members->Add("bob!u@h"), nullptr);
    EXPECT_EQ(members->GetUser("bob"), nullptr);
    EXPECT_EQ(members->Count(), 0);

    auto bob = m.Users().GetUser("bob");
    members->AddExisting(bob);
    members->AddExisting(bob);
    EXPECT_EQ(r.Take(), (Log{"members.Add bob"}));
    EXPECT_EQ(members->Count(), 1);
    EXPECT_EQ(members->Item(bob), bob);
    EXPECT_EQ(members->Item(m.me), nullptr);
    EXPECT_EQ(members->Item(UserPtr()), nullptr);
    // Member lists leave the master numbering alone.
    EXPECT_EQ(bob->Index(), 2);
    EXPECT_EQ(bob->Membership(), IRCUser::MemberLists{members.get()});

    const std::int32_t before = m.Users().Count();
    m.Users().AddExisting(m.Users().Add("x"));
    EXPECT_EQ(m.Users().Count(), before + 1);
}

TEST(IRCUsers, RemoveOfWhatIsNotThereChangesNothing)
{
    ModelFixture m;
    auto channel = m.JoinedChannel("#a", {"bob"});
    auto stranger = m.Users().GetUser("stranger");
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("#a", *channel);

    channel->Users()->Remove(stranger);
    channel->Users()->Remove("nobody");
    channel->Users()->Remove(UserPtr());
    m.Users().Remove("nobody!x@y");
    m.Users().Remove(UserPtr());
    EXPECT_EQ(r.Take(), Log{});
    EXPECT_EQ(Nicks(*channel->Users()), (Log{"me", "bob"}));
    EXPECT_EQ(Nicks(m.Users()), (Log{"me", "bob", "stranger"}));

    for (std::int32_t bad : {0, -1, 4}) {
        EXPECT_THROW(m.Users().Remove(bad), CoreError);
        EXPECT_THROW((void)m.Users().Item(bad), CoreError);
    }
    EXPECT_THROW(channel->Users()->Remove(3), CoreError);
    try {
        (void)channel->Users()->Item(3);
        ADD_FAILURE() << "no error";
    } catch (const CoreError& error) {
        EXPECT_EQ(error.Number(), kErrorInvalidIndex);
    }
    EXPECT_EQ(r.Take(), Log{});
    EXPECT_EQ(m.Users().Count(), 3);
}

TEST(IRCUsers, RemovingAMasterUserRenumbersWhileMemberListsKeepTheirOrder)
{
    ModelFixture m;
    auto channel = m.JoinedChannel("#a", {"carl", "bob", "dave"});
    std::vector<std::string> seen;
    auto onAdd = m.Users().Events.Add.connect([&](const UserPtr& user) {
        seen.push_back("add " + std::string(user->Nick()) + " at " + std::to_string(user->Index()) + " of " +
                       std::to_string(m.Users().Count()));
    });
    auto onRemove = m.Users().Events.Remove.connect([&](const UserPtr& user) {
        seen.push_back("remove " + std::string(user->Nick()) + " found " +
                       std::to_string(m.Users().Item(user) == user));
    });
    auto erin = m.Users().GetUser("erin");

    m.Users().Remove(3); // bob
    EXPECT_EQ(seen, (Log{"add erin at 5 of 5", "remove bob found 1"}));
    EXPECT_EQ(Nicks(m.Users()), (Log{"me", "carl", "dave", "erin"}));
    std::int32_t position = 0;
    for (const UserPtr& user : m.Users()) {
        EXPECT_EQ(user->Index(), ++position) << user->Nick();
    }
    EXPECT_EQ(Nicks(*channel->Users()), (Log{"me", "carl", "dave"}));
    EXPECT_EQ(channel->Users()->Item(2)->Nick(), "carl");
}

TEST(IRCUsers, ClearOfTheMasterListEmptiesEveryMemberListUserByUserLastFirst)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {"bob", "carl"});
    auto b = m.JoinedChannel("#b", {"bob"});
    Recorder r;
    r.Watch("users", m.Users());
    r.Watch("#a", *a);
    r.Watch("#b", *b);

    m.Users().Clear();
    EXPECT_EQ(r.Take(), (Log{"#a.UserRemove carl", "users.Remove carl", "#b.UserRemove bob", "#a.UserRemove bob",
                             "users.Remove bob", "#b.UserRemove me", "#a.UserRemove me", "users.Remove me"}));
    EXPECT_EQ(m.Users().Count(), 0);
    EXPECT_EQ(a->Users()->Count(), 0);
    EXPECT_EQ(b->Users()->Count(), 0);
    EXPECT_EQ(m.me->Index(), -1);
    EXPECT_EQ(m.Users().Item("me"), nullptr);
}

// Clear reads each position afresh: a Remove listener that takes another user along makes
// it skip nothing and fail on nothing, in both roles.
TEST(IRCUsers, ClearGoesOnWhenARemoveListenerRemovesOthersToo)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {"b", "c", "d", "e"});
    auto member = a->Users();
    auto takeFirstAlong = member->Events.Remove.connect([&](const UserPtr& user) {
        if (user->Nick() == "d") {
            member->Remove(1); // "me"
        }
    });
    EXPECT_NO_THROW(member->Clear());
    EXPECT_EQ(member->Count(), 0);
    EXPECT_EQ(m.Users().Count(), 5) << "a member list only lets its users go";

    auto takeNeighbourAlong = m.Users().Events.Remove.connect([&](const UserPtr& user) {
        if (user->Nick() == "e") {
            m.Users().Item("c")->Delete();
        }
    });
    EXPECT_NO_THROW(m.Users().Clear());
    EXPECT_EQ(m.Users().Count(), 0);
    for (const char* nick : {"b", "c", "d", "e"}) {
        EXPECT_EQ(m.Users().Item(nick), nullptr) << nick;
    }
}

TEST(IRCUsers, DeleteClearsThenForgetsTheConnection)
{
    ModelFixture m;
    m.Users().GetUser("bob");
    m.Users().Delete();
    EXPECT_EQ(m.Users().Count(), 0);
    EXPECT_EQ(m.Users().Parent(), nullptr);
    // Without a Parent the list has become a member list.
    EXPECT_EQ(m.Users().Add("x"), nullptr);
    m.Users().SetParent(m.connection.get());
    EXPECT_EQ(m.Users().Parent(), m.connection.get());
}

TEST(IRCUsers, ListsThatGoAwayLeaveTheirUsersUsable)
{
    auto fixture = std::make_unique<ModelFixture>();
    ModelFixture& m = *fixture;
    auto bob = m.Users().GetUser("bob");
    auto channel = m.Channels().Add("#a");
    channel->Users()->AddExisting(bob);
    auto kept = channel->Users(); // a window keeps the member list, not the channel
    channel->Delete();
    channel.reset();
    Recorder r;
    r.Watch("kept", *kept);
    bob->ProcessQuit("q");
    EXPECT_EQ(r.Take(), (Log{"kept.Quit bob 'q'"}));
    kept.reset();
    EXPECT_TRUE(bob->Membership().empty());

    // The connection goes while a window keeps a user: the user, made where its list makes
    // them, and its mask, long enough to be kept apart from it, stay.
    auto carl = m.Users().GetUser("carl!someone@a.long.host.example.net");
    fixture.reset();
    EXPECT_EQ(carl->Parent(), nullptr);
    EXPECT_THROW((void)carl->IsUser(), CoreError);
    carl->SetNick("carl2");
    EXPECT_EQ(carl->UserMask(), "carl2!someone@a.long.host.example.net");
    carl->Delete();
}

TEST(IRCUsers, LookupsAgreeWithTheDocumentedScanThroughRandomChanges)
{
    ModelFixture m;
    auto a = m.JoinedChannel("#a", {});
    auto b = m.JoinedChannel("#b", {});
    std::vector<IRCUsers*> lists{&m.Users(), a->Users().get(), b->Users().get()};
    const std::vector<std::string> nicks{"a", "b", "c", "A", ""};
    std::mt19937 random(20240607);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    auto anyUser = [&]() -> UserPtr {
        const std::int32_t count = m.Users().Count();
        return count == 0 ? nullptr : m.Users().Item(static_cast<std::int32_t>(pick(count)) + 1);
    };

    for (int step = 0; step < 4000; ++step) {
        const std::string& nick = nicks[pick(nicks.size())];
        IRCUsers& list = *lists[1 + pick(2)];
        UserPtr user = anyUser();
        switch (pick(10)) {
        case 0:
            if (m.Users().Count() < 25) {
                m.Users().Add(nick + "!u@h");
            }
            break;
        case 1:
            m.Users().GetUser(nick);
            break;
        case 2:
            if (user) {
                user->SetNick(nick);
            }
            break;
        case 3:
            if (user) {
                user->SetUserMask(nick + "!x@y");
            }
            break;
        case 4:
        case 5:
            if (user) {
                list.AddExisting(user);
            }
            break;
        case 6:
            list.Remove(nick);
            break;
        case 7:
            if (user) {
                list.Remove(user);
            }
            break;
        case 8:
            if (user && pick(3) == 0) {
                user->ProcessQuit("");
            } else if (user && pick(2) == 0) {
                m.Users().Remove(nick);
            }
            break;
        default:
            if (list.Count() > 0) {
                list.Remove(static_cast<std::int32_t>(pick(list.Count())) + 1);
            }
            break;
        }
        for (IRCUsers* checked : lists) {
            for (const std::string& text : nicks) {
                ASSERT_EQ(checked->Item(text), ScanByNick(*checked, text)) << "step " << step << " nick " << text;
                ASSERT_EQ(checked->Item(text + "!q"), ScanByNick(*checked, text)) << "step " << step;
            }
            for (const UserPtr& member : *checked) {
                ASSERT_EQ(checked->Item(member), member) << "step " << step;
            }
        }
        // A member list and its members' memberships always agree.
        for (const UserPtr& known : m.Users()) {
            for (IRCUsers* member : {lists[1], lists[2]}) {
                const auto listed = std::count(known->Membership().begin(), known->Membership().end(), member);
                ASSERT_EQ(listed, member->Item(known) ? 1 : 0) << "step " << step << " " << known->Nick();
            }
        }
        std::int32_t position = 0;
        for (const UserPtr& member : m.Users()) {
            ASSERT_EQ(member->Index(), ++position) << "step " << step;
        }
    }

    // The channels may go away without leaving a dangling list behind.
    const std::vector<IRCUsers*> gone{lists[1], lists[2]};
    for (auto* channel : {&a, &b}) {
        (*channel)->Delete();
        channel->reset();
    }
    for (const UserPtr& user : m.Users()) {
        for (IRCUsers* list : user->Membership()) {
            EXPECT_EQ(std::count(gone.begin(), gone.end(), list), 0) << user->Nick();
        }
        user->SetNick(std::string(user->Nick()) + "_");
        user->ProcessQuit("");
    }
    m.Users().Clear();
}

TEST(IRCUsers, MemberListRemovesTheUserItselfWhenTwoShareANick)
{
    // A stale "carl" stays in the master list; bob renames to carl; a names reply
    // finds the stale one first and adds it too. When bob leaves, bob must go.
    ModelFixture m;
    auto room = m.JoinedChannel("#room", {});
    UserPtr stale = m.Users().GetUser("carl");
    UserPtr bob = m.Users().GetUser("bob");
    room->Users()->AddExisting(bob);
    bob->SetNick("carl");
    room->Users()->AddExisting(m.Users().GetUser("carl"));
    ASSERT_EQ(room->Users()->Count(), 3);

    room->ProcessPart(bob, "");
    EXPECT_FALSE(room->Users()->Item(bob));
    EXPECT_EQ(room->Users()->Item(stale), stale);
    EXPECT_TRUE(bob->Membership().empty());
    EXPECT_EQ(stale->Membership().size(), 1u);
    EXPECT_EQ(room->Users()->Item("carl"), stale);
}
