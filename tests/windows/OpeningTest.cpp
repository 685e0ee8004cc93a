// Which windows the user opened, which lines the user is told about, and what a window is named.
#include "windows/WindowsFixture.h"

namespace tellix::test {
namespace {

struct Opening : WindowsFixture {
    void SetUp() override { Online(); }
    void Submit(std::int32_t window, const std::string& typed)
    {
        View(window).Type(typed);
        View(window).KeyDown(13);
    }
};

TEST_F(Opening, OnlyWindowsTheUserAskedForTakeTheKeyboard)
{
    Submit(1, "/join #asked");
    ASSERT_EQ(childs.Count(), 1) << "the window waits for the server";
    Receive(":me!u@h JOIN #asked");
    Receive(":me!u@h JOIN #forced"); // the server joined the user itself
    Receive(":bob!b@h PRIVMSG me :hi");
    Submit(1, "/query carol");
    Submit(1, "/window new");
    ASSERT_EQ(childs.Count(), 6);
    const std::vector<std::pair<std::string, int>> expected = {
        {"#asked", 1}, {"#forced", 0}, {"bob", 0}, {"carol", 1}, {"", 1}};
    for (std::int32_t index = 2; index <= 6; ++index) {
        const auto& [name, focus] = expected[static_cast<std::size_t>(index - 2)];
        EXPECT_EQ(View(index).name, name) << index;
        EXPECT_EQ(View(index).focusTaken, focus) << index;
    }
    // Asked again for a channel whose window is open: it comes to the front at once.
    Submit(1, "/join #forced");
    EXPECT_EQ(View(3).focusTaken, 1);
    // A join asked for and answered once counts once: parted and forced in again, it stays behind.
    Receive(":me!u@h PART #asked");
    ASSERT_TRUE(View(2).UserCloses());
    Receive(":me!u@h JOIN #asked");
    EXPECT_EQ(View(childs.Count()).focusTaken, 0);
}

TEST_F(Opening, HighlightsAndPrivateLinesAreToldEvenInTheWindowInUse)
{
    Receive(":me!u@h JOIN #room");
    Receive(":bob!b@h PRIVMSG me :first");
    ASSERT_EQ(childs.Count(), 3);
    View(2).Events.Activate.raise();
    Receive(":bob!b@h PRIVMSG #room :hello all");
    Receive(":bob!b@h PRIVMSG #room :me: <b>look</b>");
    Receive(":bob!b@h NOTICE #room :ME too");
    Receive(":me!u@h PRIVMSG #room :me myself"); // own lines never
    Receive(":bob!b@h PRIVMSG me :second");
    Receive(":bob!b@h NOTICE me :third");
    using Told = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(View(2).told, (Told{{"bob in #room", "me: <b>look</b>"}, {"bob in #room", "ME too"}}));
    EXPECT_EQ(View(3).told,
              (Told{{"bob (private)", "first"}, {"bob (private)", "second"}, {"bob (private)", "third"}}));
    EXPECT_EQ(childs.Item(2)->ActivityLevel(), Activity::None) << "the window in use still gains no level";
    EXPECT_EQ(childs.Item(3)->ActivityLevel(), Activity::Highlight);
}

TEST(OpeningHint, TheStatusWindowSaysHowToStartUntilTheFirstConnection)
{
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app{toolkit, sockets};
    auto& status = *static_cast<RecordingChildView*>(app.Childs()->Item(1)->Window());
    EXPECT_EQ(status.inputHint, "Type /server host, or press F2");
    auto connection = app.Connections().Item(1);
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    sockets.created.back()->PeerConnects();
    sockets.created.back()->PeerSends(":irc.test 001 me :Welcome\r\n");
    EXPECT_EQ(status.inputHint, "");
}

} // namespace
} // namespace tellix::test
