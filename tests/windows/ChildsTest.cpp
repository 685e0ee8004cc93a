// The window collection: numbering, lookups, creation on demand, removal.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

using WindowCollection = WindowsFixture;

TEST_F(WindowCollection, AddShowsInNormalStateOrLeavesMinimized)
{
    const auto shown = childs.Add(false);
    const auto minimized = childs.Add(true);
    EXPECT_TRUE(View(2).visible);
    EXPECT_EQ(View(2).state, WindowState::Normal);
    EXPECT_EQ(View(3).state, WindowState::Minimized);
    // Every window went to the back when its form was made.
    EXPECT_EQ(View(3).sentToBack, 1);
    EXPECT_EQ(minimized->Index(), 3);
    EXPECT_EQ(childs.Item(minimized->Key()), minimized);
}

TEST_F(WindowCollection, DeletingWindowTwoOfFourRenumbersTheOthersAndTheirCaptions)
{
    childs.Add(false);
    const auto third = childs.Add(false);
    const auto fourth = childs.Add(false);
    childs.Remove(2);
    EXPECT_EQ(childs.Count(), 3);
    EXPECT_EQ(third->Index(), 2);
    EXPECT_EQ(fourth->Index(), 3);
    EXPECT_EQ(View(1).caption, "1 - not connected - status");
    EXPECT_EQ(View(2).caption, "2 - not connected - no channel");
    EXPECT_EQ(View(3).caption, "3 - not connected - no channel");
    childs.Remove(third->Key());
    EXPECT_EQ(fourth->Index(), 2);
}

// A window costs the others nothing when it comes at the end, and when one goes only those
// behind it are renumbered: every query window a stranger opens would otherwise re-caption all.
TEST_F(WindowCollection, AStrangersWindowTouchesNoOtherAndClosingOneTouchesOnlyThoseBehindIt)
{
    Online();
    for (const char* nick : {"anna", "bob", "carl", "dora"}) {
        Receive(std::string(":") + nick + "!u@h PRIVMSG me :hi");
    }
    ASSERT_EQ(childs.Count(), 5);
    auto forgetWrites = [&] {
        for (RecordingChildView* view : toolkit.views) {
            view->captionWrites = 0;
        }
    };
    struct Row {
        std::int32_t index;
        const char* caption;
        int writes;
    };
    auto expect = [&](const std::vector<Row>& rows) {
        ASSERT_EQ(childs.Count(), static_cast<std::int32_t>(rows.size()));
        for (const Row& row : rows) {
            SCOPED_TRACE(row.index);
            EXPECT_EQ(View(row.index).caption, row.caption);
            EXPECT_EQ(View(row.index).captionWrites, row.writes);
        }
    };

    forgetWrites();
    Receive(":eve!u@h PRIVMSG me :hi");
    // The newcomer: its creation caption, its number's, then its partner's.
    expect({{1, "1 - irc.test (me) - status", 0},
            {2, "2 - irc.test (me) - no channel - anna", 0},
            {3, "3 - irc.test (me) - no channel - bob", 0},
            {4, "4 - irc.test (me) - no channel - carl", 0},
            {5, "5 - irc.test (me) - no channel - dora", 0},
            {6, "6 - irc.test (me) - no channel - eve", 3}});

    forgetWrites();
    ASSERT_TRUE(View(3).UserCloses());
    expect({{1, "1 - irc.test (me) - status", 0},
            {2, "2 - irc.test (me) - no channel - anna", 0},
            {3, "3 - irc.test (me) - no channel - carl", 1},
            {4, "4 - irc.test (me) - no channel - dora", 1},
            {5, "5 - irc.test (me) - no channel - eve", 1}});

    // Closing the last window renumbers nothing; a refresh still recomputes every caption.
    forgetWrites();
    childs.Remove(5);
    childs.Refresh();
    expect({{1, "1 - irc.test (me) - status", 1},
            {2, "2 - irc.test (me) - no channel - anna", 1},
            {3, "3 - irc.test (me) - no channel - carl", 1},
            {4, "4 - irc.test (me) - no channel - dora", 1}});
}

TEST_F(WindowCollection, LookupsByPositionOrKeyThatNameNoWindowFail)
{
    EXPECT_THROW(childs.Item(0), CoreError);
    EXPECT_THROW(childs.Item(2), CoreError);
    EXPECT_THROW(childs.Item("no such key"), CoreError);
    EXPECT_THROW(childs.Remove(5), CoreError);
}

TEST_F(WindowCollection, GetChildFindsByObjectIdentityAndMakesWhatIsMissing)
{
    Online();
    const auto anna = connection->Users()->Add("anna!a@h");
    const auto query = childs.GetChild(anna, false);
    EXPECT_EQ(query->Query(), anna);
    EXPECT_EQ(childs.GetChild(anna, true), query);
    // Another user object of the same nick gets its own window.
    anna->Delete();
    const auto otherAnna = connection->Users()->Add("anna!a@h");
    const auto second = childs.GetChild(otherAnna, true);
    EXPECT_NE(second, query);
    EXPECT_EQ(childs.Count(), 3);
    EXPECT_EQ(View(3).state, WindowState::Minimized);

    Receive(":me!u@h JOIN :#room");
    const auto channel = connection->Channels()->Item("#room");
    EXPECT_EQ(childs.GetChild(channel, true), childs.Item(4));
    // Two windows on one channel: the lower position answers.
    const auto extra = childs.Add(false);
    extra->Channel(channel);
    EXPECT_EQ(childs.Item(channel), childs.Item(4));
}

TEST_F(WindowCollection, ClearDeletesLastFirstTheStatusWindowTooWithoutRefusing)
{
    childs.Add(false);
    childs.Add(false);
    std::vector<std::int32_t> order;
    std::vector<Subscription> watch;
    for (std::int32_t i = 1; i <= 3; ++i) {
        watch.push_back(
            View(i).Events.QueryUnload.connect([&order, i](bool&, std::int32_t) { order.push_back(i); }));
    }
    const auto status = childs.Item(1);
    View(1).Events.Activate.raise();
    childs.Clear();
    EXPECT_EQ(order, (std::vector<std::int32_t>{3, 2, 1}));
    EXPECT_EQ(childs.Count(), 0);
    EXPECT_EQ(childs.Active(), nullptr);
    EXPECT_EQ(status->Index(), -1);
    EXPECT_TRUE(toolkit.views.empty());
    app.Echo(1, "nowhere");
}

TEST_F(WindowCollection, TeardownLetsTheDialogGoAndEmptiesTheCollection)
{
    childs.Add(false);
    ASSERT_NE(childs.ConnectDialog(), nullptr);
    EXPECT_EQ(childs.ConnectDialog()->Parent(), &childs);
    EXPECT_EQ(childs.Parent(), &app);
    childs.Teardown();
    EXPECT_EQ(childs.ConnectDialog(), nullptr);
    EXPECT_EQ(childs.Count(), 0);
    EXPECT_EQ(childs.Parent(), nullptr);
}

} // namespace
} // namespace tellix::test
