// Who is away, as the windows show it: dimmed in a channel's nick list, and a query window's
// partner marked away, from AWAY lines, WHO and WHOIS replies and our own away state.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

struct Away : WindowsFixture {
    // In #room (window 2) with anna, bob and carl; talking with dave (window 3).
    void InRoomAndQuery()
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :me anna bob carl");
        Receive(":dave!d@h PRIVMSG me :hi");
        ASSERT_EQ(childs.Count(), 3);
        ASSERT_EQ(childs.Item(3)->Query()->Nick(), "dave");
        NewLines(1);
    }
};

TEST_F(Away, EachSourceOfTheAwayStateMarksTheListAndTheQueryWindow)
{
    InRoomAndQuery();
    app.ProcessCommand("WHO #room %nf", true, 2); // the fields its 354 replies come in
    struct Row {
        std::string received;
        Texts awayInRoom;
        bool partnerAway;
    };
    const std::vector<Row> rows = {
        {":anna!a@h AWAY :lunch", {"anna"}, false},
        {":bob!b@h AWAY", {"anna"}, false},
        {":irc.test 352 me #room b h irc.test bob G :0 Bob", {"anna", "bob"}, false},
        {":irc.test 352 me #room c h irc.test carl H@ :0 Carl", {"anna", "bob"}, false},
        {":anna!a@h AWAY", {"bob"}, false},
        {":irc.test 354 me bob H", {}, false},
        {":irc.test 354 me carl :G", {"carl"}, false},
        {":irc.test 301 me dave :gone fishing", {"carl"}, true},
        {":dave!d@h AWAY", {"carl"}, false},
        {":dave!d@h AWAY :again", {"carl"}, true},
        {":irc.test 306 me :You have been marked as being away", {"me", "carl"}, true},
        {":irc.test 305 me :You are no longer marked as being away", {"carl"}, true},
        {":carl!c@h NICK :carla", {"carla"}, true},
        // Strangers are not made for it, and a line without a nick marks nobody.
        {":zed!z@h AWAY :x", {"carla"}, true},
        {":irc.test 352 me #room z h irc.test zed G :0 Zed", {"carla"}, true},
        {":irc.test 301 me yan :away", {"carla"}, true},
        {":irc.test 352 me #room c h irc.test carla", {"carla"}, true},
        {":irc.test 352 me", {"carla"}, true},
        {":irc.test 354 me", {"carla"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(View(2).AwayNicks(), row.awayInRoom);
        EXPECT_EQ(View(3).partnerAway, row.partnerAway);
        EXPECT_TRUE(View(3).caption.ends_with(" - dave")) << "the caption as documented: " << View(3).caption;
    }
    EXPECT_EQ(connection->Users()->Item("zed"), nullptr);
    EXPECT_EQ(connection->Users()->Item("yan"), nullptr);
    // An AWAY line has nothing to show; the replies are shown as ever.
    for (const std::string& line : Lines(1)) {
        EXPECT_EQ(line.find("AWAY"), std::string::npos) << line;
    }
}

TEST_F(Away, AMemberKnownAwayIsDimmedWhereverTheyAreListedAndTheNextSessionForgetsIt)
{
    InRoomAndQuery();
    Receive(":anna!a@h AWAY :lunch");
    Receive(":me!u@h JOIN :#club");
    Receive(":irc.test 353 me = #club :me anna");
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(View(4).AwayNicks(), Texts{"anna"}) << "a names reply lists her dimmed";
    Receive(":dave!d@h AWAY :out");
    Receive(":dave!d@h JOIN #club");
    EXPECT_EQ(View(4).AwayNicks(), (Texts{"anna", "dave"})) << "and so does a join";

    // Refilled in one go, the list keeps the marks.
    childs.Item(4)->RefreshUserList();
    EXPECT_EQ(View(4).AwayNicks(), (Texts{"anna", "dave"}));

    socket.Fails(10054, "Connection reset by peer");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    Receive(":irc.test 001 me :Welcome");
    EXPECT_FALSE(View(3).partnerAway) << "the new session says again who is away";
    EXPECT_FALSE(connection->Users()->Item("anna") && connection->Users()->Item("anna")->Away());
}

} // namespace
} // namespace tellix::test
