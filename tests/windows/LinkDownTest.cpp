// A lost link as the channel windows show it, and their channels joined again when the
// client is back on the same server.
#include "WindowsFixture.h"

#include "app/Settings.h"

namespace tellix::test {
namespace {

struct LinkDown : WindowsFixture {
    // In #room with anna and bob, in #keyed (joined with a key) and in #gone.
    // `drainMs` of the protocol's time pass for what is sent meanwhile.
    void InThreeChannels(std::int64_t drainMs = kDrainMs)
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :me anna bob");
        connection->SendMessage("JOIN #keyed sesame");
        Receive(":me!u@h JOIN :#keyed");
        Receive(":me!u@h JOIN :#gone");
        ASSERT_EQ(childs.Count(), 4);
        Sent(drainMs);
        for (std::int32_t i = 1; i <= 4; ++i) {
            NewLines(i);
        }
    }
    void Welcome(const std::string& host)
    {
        connection->Connect(host, 6667);
        socket.PeerConnects();
        EXPECT_EQ(Joins(), Texts{}) << "nothing is joined before the welcome";
        Receive(":" + host + " 001 me :Welcome");
    }
    Texts Joins()
    {
        Texts joins;
        for (const std::string& line : Sent()) {
            if (line.starts_with("JOIN")) {
                joins.push_back(line);
            }
        }
        return joins;
    }
    std::string Caption(std::int32_t index) { return View(index).caption; }
};

TEST_F(LinkDown, EachChannelWindowSaysSoEmptiesItsListAndIsJoinedAgainOnTheSameServer)
{
    InThreeChannels();
    ASSERT_EQ(Nicks(2), (Texts{"me", "anna", "bob"}));

    socket.Fails(10054, "Connection reset by peer");
    for (const auto& [index, name] :
         std::vector<std::pair<std::int32_t, std::string>>{{2, "#room"}, {3, "#keyed"}, {4, "#gone"}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(NewLines(index), Texts{"*** disconnected, no longer in channel " + name});
        EXPECT_EQ(Nicks(index), Texts{});
        EXPECT_EQ(Caption(index), std::to_string(index) + " - not connected - " + name + " (disconnected)");
    }
    // A refresh of the windows (as a connect brings) does not bring back members of a channel we
    // are out of, though the model still holds them.
    ASSERT_EQ(connection->Channels()->Item("#room")->Users()->Count(), 3);
    childs.Refresh();
    EXPECT_EQ(Nicks(2), Texts{});

    // The window of #gone is closed: only the open ones are joined again, in one line.
    ASSERT_TRUE(childs.Item(4)->CloseWindow(true));
    Welcome("irc.test");
    EXPECT_EQ(Joins(), Texts{"JOIN #keyed,#room sesame"});
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :me anna");
    EXPECT_EQ(NewLines(2), Texts{"*** joined channel #room"});
    EXPECT_EQ(Nicks(2), (Texts{"me", "anna"}));
    EXPECT_EQ(Caption(2), "2 - irc.test (me) - #room");
    EXPECT_EQ(Caption(3), "3 - irc.test (me) - #keyed (disconnected)") << "until it is joined";
}

TEST_F(LinkDown, OnlyTheSameServerAndTheSettingBringTheWindowsBack)
{
    InThreeChannels();
    struct Row {
        std::string setting; // "Rejoin Channels"
        std::string host;    // connected to next
        Texts joins;
    };
    const std::vector<Row> rows = {
        {"", "irc.test", {"JOIN #keyed,#room,#gone sesame"}},
        {"0", "irc.test", {}},
        {"1", "other.test", {}},
        {"1", "IRC.TEST", {"JOIN #keyed,#room,#gone sesame"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.setting + " " + row.host);
        toolkit.settings
            .values[{SettingsAppName(), std::string(settings::Section), std::string(settings::RejoinChannels)}] =
            row.setting;
        connection->Disconnect(); // as typed: a loss of the user's own is shown the same
        EXPECT_EQ(NewLines(2), Texts{"*** disconnected, no longer in channel #room"});
        Welcome(row.host);
        EXPECT_EQ(Joins(), row.joins);
        // Back where the windows were, for the next row.
        connection->Disconnect();
        Welcome("irc.test");
        Joins();
        for (const char* name : {"#room", "#keyed", "#gone"}) {
            Receive(std::string(":me!u@h JOIN :") + name);
        }
        NewLines(2);
    }
}

TEST_F(LinkDown, TheAutomaticReconnectJoinsWhatIsStillOpenOnce)
{
    ConnectOptions options;
    options.reconnect = true;
    connection->Options(options);
    InThreeChannels(0); // before the link is found silent
    socket.PeerCloses();
    EXPECT_EQ(NewLines(3), Texts{"*** disconnected, no longer in channel #keyed"});
    // Closed while the next try waits: left for good.
    ASSERT_TRUE(childs.Item(4)->CloseWindow(true));
    const int connects = socket.connectCalls;
    toolkit.timers.Advance(10'000);
    ASSERT_EQ(socket.connectCalls, connects + 1);
    socket.PeerConnects();
    Receive(":irc.test 001 me :Welcome");
    // The lost link's channels and the open windows' are the same two, joined once.
    EXPECT_EQ(Joins(), Texts{"JOIN #keyed,#room sesame"});
}

TEST_F(LinkDown, AKickOfTheOwnUserEmptiesTheList)
{
    InThreeChannels();
    Receive(":anna!a@h KICK #room me :out");
    EXPECT_EQ(NewLines(2), Texts{"*** you were kicked from channel #room by anna (out)"});
    EXPECT_EQ(Nicks(2), Texts{});
    EXPECT_EQ(Caption(2), "2 - irc.test (me) - #room");
    // Still online: the other windows keep theirs.
    EXPECT_EQ(Nicks(3), Texts{"me"});
}

} // namespace
} // namespace tellix::test
