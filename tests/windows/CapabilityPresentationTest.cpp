// What granted capabilities change in the windows: stamps from the server's time, own channel
// messages shown when echoed, and the extra forms of JOIN, CHGHOST and names replies.
#include "commands/Saying.h"
#include "util/LineTime.h"

#include "WindowsFixture.h"

using namespace tellix;
using namespace tellix::test;

namespace {

struct Capabilities : WindowsFixture {
    // Online as "me" with `caps` granted, in #room with a window for it (window 2).
    void OnlineWith(const std::string& caps)
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        Receive(":irc.test CAP * LS :" + caps);
        Receive(":irc.test CAP * ACK :" + caps);
        Receive(":irc.test 001 me :Welcome");
        Receive(":me!u@h JOIN :#room");
        ASSERT_EQ(childs.Count(), 2);
        Sent();
        NewLines(1);
        NewLines(2);
        RawNewLines(1);
        RawNewLines(2);
    }

    // The window's new lines with their stamps.
    Texts RawNewLines(std::int32_t index)
    {
        const auto& lines = View(index).Lines();
        std::size_t& seen = rawSeen_[index];
        Texts fresh(lines.begin() + static_cast<std::ptrdiff_t>(std::min(seen, lines.size())), lines.end());
        seen = lines.size();
        return fresh;
    }

private:
    std::map<std::int32_t, std::size_t> rawSeen_;
};

} // namespace

TEST(ServerTime, ParsesTheTagsFormOnly)
{
    struct Row {
        const char* text;
        std::optional<std::int64_t> ms;
    };
    const Row rows[] = {
        {"1970-01-01T00:00:00.000Z", 0},
        {"1970-01-01T00:00:00Z", 0},
        {"2024-01-02T03:04:05.678Z", 1704164645678},
        {"2024-02-29T23:59:59.5Z", 1709251199500},
        {"2024-01-02T03:04:05.678912Z", 1704164645678},
        // A time no log day can be named after counts as none: the line is as received.
        {"1969-12-31T23:59:59.000Z", std::nullopt},
        {"0000-01-01T00:00:00Z", std::nullopt},
        {"9999-12-30T23:59:59.999Z", 253402214399999},
        {"9999-12-31T00:00:00Z", std::nullopt},
        {"2024-01-02T03:04:05.678", std::nullopt}, // no zone
        {"2024-01-02 03:04:05.678Z", std::nullopt},
        {"2024-13-02T03:04:05.678Z", std::nullopt},
        {"2024-01-02T24:04:05.678Z", std::nullopt},
        {"2024-01-02T03:04:05.Z", std::nullopt},
        {"2024-01-02T03:04:05.678Zx", std::nullopt},
        {"x024-01-02T03:04:05.678Z", std::nullopt},
        {"", std::nullopt},
        {"1704164645", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseServerTime(row.text), row.ms) << row.text;
    }
}

TEST_F(Capabilities, ALineWithTheServersTimeIsStampedWithItAndTheNextWithTheClock)
{
    OnlineWith("server-time");
    const std::string now = std::string("[") + RecordingToolkit::Time + "] ";
    Receive("@time=2024-01-02T03:04:05.678Z :anna!a@h PRIVMSG #room :said earlier");
    Receive(":anna!a@h PRIVMSG #room :said now");
    Receive("@time=not-a-time :anna!a@h PRIVMSG #room :odd stamp");
    Receive("@msgid=1;time=2024-01-02T23:00:00Z :irc.test 372 me :- motd");
    EXPECT_EQ(RawNewLines(2),
              (Texts{"[03:04:05] <anna> said earlier", now + "<anna> said now", now + "<anna> odd stamp"}));
    EXPECT_EQ(RawNewLines(1), (Texts{"[23:00:00] <- Server(irc.test): [:irc.test 372 me :- motd]"}));
    EXPECT_EQ(CurrentLineTime(), std::nullopt); // nothing stays published after the line
}

TEST_F(Capabilities, WithEchoMessageAnOwnMessageIsShownOnceWhenEchoed)
{
    OnlineWith("echo-message");
    const auto channel = childs.Item(2)->Channel();
    ASSERT_TRUE(SayToChannel(channel, "hello all", false));
    EXPECT_EQ(Sent(), (Texts{"PRIVMSG #room :hello all"}));
    EXPECT_EQ(NewLines(2), Texts{});
    Receive(":me!u@h PRIVMSG #room :hello all");
    EXPECT_EQ(NewLines(2), (Texts{"<me> hello all"}));

    // To a person: in the window talking with them, once echoed.
    Receive(":anna!a@h PRIVMSG me :hi");
    ASSERT_EQ(childs.Count(), 3);
    NewLines(3);
    View(3).Type("in private");
    View(3).KeyDown(13); // Enter
    EXPECT_EQ(Sent(), (Texts{"PRIVMSG anna :in private"}));
    EXPECT_EQ(NewLines(3), Texts{});
    Receive(":me!u@h PRIVMSG anna :in private");
    EXPECT_EQ(NewLines(3), (Texts{"# <me> in private"}));
    View(3).Type("/me nods");
    View(3).KeyDown(13);
    EXPECT_EQ(Sent(), (Texts{"PRIVMSG anna :\x01"
                             "ACTION nods\x01"}));
    EXPECT_EQ(NewLines(3), Texts{});
    Receive(":me!u@h PRIVMSG anna :\x01"
            "ACTION nods\x01");
    EXPECT_EQ(NewLines(3), (Texts{"# * me nods"}));

    // No window opens for an echo, and a notice was shown where it was typed.
    Receive(":me!u@h PRIVMSG bob :elsewhere");
    Receive(":me!u@h NOTICE #room :a notice");
    for (const std::int32_t index : {1, 2, 3}) {
        EXPECT_EQ(NewLines(index), Texts{}) << index;
    }
    EXPECT_EQ(childs.Count(), 3);
}

TEST_F(Capabilities, ReplayedOwnLinesAreTheUsersInTheChannelAndInThePartnersQueryWindow)
{
    OnlineWith("server-time batch echo-message znc.in/self-message");
    Receive(":znc.in BATCH +p1 znc.in/playback #room");
    Receive("@batch=p1;time=2024-01-02T03:04:05.000Z :me!u@h PRIVMSG #room :before I left");
    Receive("@batch=p1;time=2024-01-02T03:04:06.000Z :me!u@h NOTICE #room :a notice I sent");
    Receive(":znc.in BATCH -p1");
    Receive(":znc.in BATCH +p2 znc.in/playback anna");
    Receive("@batch=p2;time=2024-01-02T03:04:07.000Z :anna!a@h PRIVMSG me :are you there?");
    Receive("@batch=p2;time=2024-01-02T03:04:08.000Z :me!u@h PRIVMSG anna :back soon");
    Receive("@batch=p2;time=2024-01-02T03:04:09.000Z :me!u@h NOTICE anna :noted");
    Receive(":znc.in BATCH -p2");
    EXPECT_EQ(RawNewLines(2), (Texts{"[03:04:05] <me> before I left", "[03:04:06] -me- a notice I sent"}));
    ASSERT_EQ(childs.Count(), 3); // anna's, and none named after ourselves
    EXPECT_EQ(childs.Item(3)->Query(), connection->Users()->Item("anna"));
    EXPECT_EQ(RawNewLines(3), (Texts{"[03:04:07] # <anna> are you there?", "[03:04:08] # <me> back soon",
                                     "[03:04:09] # -me- noted"}));
    EXPECT_EQ(RawNewLines(1), Texts{});
}

TEST_F(Capabilities, WhatTheUserSaysFromAnotherClientGoesToThePartnersQueryWindow)
{
    OnlineWith("znc.in/self-message");
    Receive(":anna!a@h PRIVMSG me :hello");
    ASSERT_EQ(childs.Count(), 3);
    Receive(":me!u@h PRIVMSG anna :hello from my phone");
    Receive(":me!u@h PRIVMSG bob :and to bob");
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(NewLines(3), (Texts{"# <anna> hello", "# <me> hello from my phone"}));
    EXPECT_EQ(childs.Item(4)->Query(), connection->Users()->Item("bob"));
    EXPECT_EQ(NewLines(4), (Texts{"# <me> and to bob"}));
    EXPECT_EQ(View(4).state, WindowState::Minimized); // opened as a stranger's would be
}

TEST_F(Capabilities, WithoutEchoMessageAnOwnChannelMessageIsShownWhenTyped)
{
    OnlineWith("server-time");
    ASSERT_TRUE(SayToChannel(childs.Item(2)->Channel(), "hello all", false));
    EXPECT_EQ(NewLines(2), (Texts{"<me> hello all"}));
}

TEST_F(Capabilities, ExtendedJoinChghostAndFullNamesFillTheModelAsPlainOnes)
{
    OnlineWith("extended-join chghost multi-prefix userhost-in-names account-notify away-notify batch");
    Receive(":irc.test 353 me = #room :@+me!u@h +%anna!a@h1 bob!b@h2");
    Receive(":irc.test 366 me #room :End of /NAMES list.");
    Receive(":carl!c@h3 JOIN #room carlsaccount :Carl Real");
    Receive(":dave!d@h4 JOIN #room * :Dave Real");
    const auto users = connection->Users();
    for (const char* nick : {"me", "anna", "bob", "carl", "dave"}) {
        EXPECT_TRUE(childs.Item(2)->Channel()->Users()->Item(nick)) << nick;
    }
    ASSERT_TRUE(users->Item("anna"));
    EXPECT_EQ(users->Item("anna")->UserMask(), "anna!a@h1");

    Receive(":anna!a@h1 CHGHOST newuser new.host");
    EXPECT_EQ(users->Item("anna")->UserMask(), "anna!newuser@new.host");
    Receive(":anna!newuser@new.host CHGHOST :");
    EXPECT_EQ(users->Item("anna")->UserMask(), "anna!newuser@new.host");

    NewLines(1);
    Receive(":bob!b@h2 ACCOUNT bobsaccount");
    Receive(":bob!b@h2 AWAY :gone fishing");
    Receive(":irc.test BATCH +b1 netsplit irc.a irc.b");
    Receive("@batch=b1 :carl!c@h3 QUIT :irc.a irc.b");
    Receive(":irc.test BATCH -b1");
    EXPECT_EQ(NewLines(1), (Texts{"*** carl (c@h3) Quit (irc.a irc.b)"}));
    EXPECT_FALSE(childs.Item(2)->Channel()->Users()->Item("carl"));
}

TEST_F(Capabilities, AFailedLoginWritesOneLineWithoutThePassword)
{
    ConnectOptions options;
    options.account = "anna";
    options.accountPassword = "hunter2-secret";
    options.serverPassword = "bouncer-secret";
    connection->Options(options);
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    Receive(":irc.test CAP * LS :sasl");
    Receive(":irc.test CAP * ACK :sasl");
    Receive("AUTHENTICATE +");
    // Less than the seconds the server has for its verdict.
    const Texts sent = Sent(1000);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent.front(), "PASS bouncer-secret");
    const std::string payload = sent.back().substr(13);
    NewLines(1);
    Receive(":irc.test 904 me :SASL authentication failed");
    EXPECT_EQ(NewLines(1), (Texts{"Server(irc.test) ERROR: SASL login as anna failed (904: SASL authentication "
                                  "failed); disconnecting",
                                  "Disconnected from Server irc.test, Port 6667"}));
    EXPECT_FALSE(connection->Connected());
    for (std::int32_t window = 1; window <= childs.Count(); ++window) {
        for (const std::string& line : View(window).Lines()) {
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
            EXPECT_EQ(line.find(payload), std::string::npos) << line;
        }
    }
}
