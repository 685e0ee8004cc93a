// What a user sees: the lines received from the server, as the status, channel and query
// windows write them.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

using Presentation = WindowsFixture;

TEST_F(Presentation, ChannelEventsAppearInTheChannelWindowAndTheStatusWindowAsTheirTablesSay)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    ASSERT_EQ(childs.Count(), 2);
    EXPECT_EQ(childs.Item(2)->Channel()->Name(), "#room");
    Receive(":irc.test 353 me = #room :me anna bob");
    NewLines(1);
    EXPECT_EQ(NewLines(2), Texts{"*** joined channel #room"});

    struct Row {
        std::string received;
        Texts channelWindow;
        Texts statusWindow;
        std::vector<std::string> nicks;
    };
    const std::vector<Row> rows = {
        {":irc.test 332 me #room :the topic", {"*** topic is 'the topic'"}, {}, {"me", "anna", "bob"}},
        {":carl!c@h3 JOIN #room",
         {"*** carl (c@h3) joined channel #room"},
         {"*** carl joined channel #room"},
         {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :hi there", {"<anna> hi there"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01"
         "ACTION waves\x01",
         {"* anna waves"},
         {},
         {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01"
         "ACTION\x01",
         {"* anna "},
         {},
         {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01PING 123\x01", {"[anna  PING 123]"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01VERSION\x01", {"[anna  VERSION ]"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01VERSION \x01", {"[anna  VERSION ]"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01", {"[anna   ]"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h PRIVMSG #room :\x01x", {"<anna> \x01x"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h NOTICE #room :psst", {"-anna- psst"}, {}, {"me", "anna", "bob", "carl"}},
        {":anna!a@h NICK :anne",
         {"*** anna changed nick to anne"},
         {"*** anna changed nick to anne"},
         {"me", "anne", "bob", "carl"}},
        {":anne!a@h TOPIC #room :new topic",
         {"*** anne changes topic to 'new topic'"},
         {},
         {"me", "anne", "bob", "carl"}},
        {":anne!a@h KICK #room bob :bye",
         {"*** bob was kicked from channel #room by anne (bye)"},
         {"*** bob was kicked from channel #room by anne (bye)"},
         {"me", "anne", "carl"}},
        {":carl!c@h3 PART #room :later",
         {"*** carl (c@h3) left channel #room (later)"},
         {"*** carl left channel #room (later)"},
         {"me", "anne"}},
        {":anne!a@h QUIT :gone", {"*** anne (a@h) Quit (gone)"}, {"*** anne (a@h) Quit (gone)"}, {"me"}},
        {":me!u@h NICK :me2",
         {"*** You changed your nick from me to me2"},
         {"*** You changed your nick from me to me2"},
         {"me2"}},
        {":me2!u@h KICK #room me2 :oops",
         {"*** you were kicked from channel #room by you (oops)"},
         {"*** you were kicked from channel #room by you (oops)"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(2), row.channelWindow);
        EXPECT_EQ(NewLines(1), row.statusWindow);
        EXPECT_EQ(Nicks(2), row.nicks);
    }
    // The own nick change refreshed every caption.
    EXPECT_EQ(View(1).caption, "1 - irc.test (me2) - status");
    EXPECT_EQ(View(2).caption, "2 - irc.test (me2) - #room");
}

// Members leave from anywhere in the list; the list finds their rows by their places among
// the members, so it must stay in the members' order through every way in and out.
TEST_F(Presentation, TheNickListKeepsTheMembersInTheirOrderWhereverTheyLeaveFrom)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :me a b c d e f");
    Receive(":irc.test 366 me #room :End of /NAMES list.");
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {":c!x@h QUIT :split", {"me", "a", "b", "d", "e", "f"}},
        {":a!x@h PART #room", {"me", "b", "d", "e", "f"}},
        {":me!u@h KICK #room e :out", {"me", "b", "d", "f"}},
        {":g!x@h JOIN #room", {"me", "b", "d", "f", "g"}},
        {":d!x@h NICK :dd", {"me", "b", "dd", "f", "g"}},
        {":irc.test 353 me = #room :me b dd f g h", {"me", "b", "dd", "f", "g", "h"}},
        {":b!x@h QUIT :split", {"me", "dd", "f", "g", "h"}},
        {":h!x@h PART #room", {"me", "dd", "f", "g"}},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [received, nicks] = rows[i];
        SCOPED_TRACE(received);
        Receive(received);
        std::vector<std::string> members;
        for (const auto& member : *childs.Item(2)->Channel()->Users()) {
            members.emplace_back(member->Nick());
        }
        EXPECT_EQ(members, nicks);
        EXPECT_EQ(Nicks(2), nicks);
        // Looked up by nick from half way on: the list is then indexed.
        if (i >= rows.size() / 2) {
            EXPECT_EQ(childs.Item(2)->FindNick(nicks.back()), static_cast<std::int32_t>(nicks.size()) - 1);
        }
    }
}

TEST_F(Presentation, OwnPartShowsNoMessageInTheWindowAndTheStatusWindowShowsIt)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    NewLines(1);
    NewLines(2);
    Receive(":me!u@h PART #room :bye all");
    EXPECT_EQ(NewLines(2), Texts{"*** left channel #room"});
    EXPECT_EQ(NewLines(1), Texts{"*** left channel #room (bye all)"});
    // The window still shows the channel, so the channel object stays.
    EXPECT_EQ(connection->Channels()->Count(), 1);
}

TEST_F(Presentation, StatusWindowTextsOfTheConnection)
{
    // "Connected" comes with the socket; the welcome reply is server text.
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    EXPECT_EQ(NewLines(1), Texts{"Connected to Server irc.test, Port 6667"});
    EXPECT_EQ(View(1).caption, "1 - irc.test - status");

    struct Row {
        std::string received;
        Texts statusWindow;
    };
    const std::vector<Row> rows = {
        {":irc.example 001 me :Welcome to IRC",
         {"Connection(1).Server: irc.example", "*** You changed your nick from * to me",
          "<- Server(irc.example): [:irc.example 001 me :Welcome to IRC]"}},
        {":irc.example 372 me :- message of the day",
         {"<- Server(irc.example): [:irc.example 372 me :- message of the day]"}},
        {":NickServ!s@services PRIVMSG me :identify, please", {"<NickServ> identify, please"}},
        {":NickServ!s@services NOTICE me :you are now identified", {"-NickServ- you are now identified"}},
        {":Serv!s@services NOTICE me :note", {"-Serv- note"}},
        {":Global!s@services NOTICE me :maintenance", {"-Global- maintenance"}},
        {"ERROR :Closing link", {"Server(irc.example) ERROR: Closing link"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(1), row.statusWindow);
    }
    // The services opened no window.
    EXPECT_EQ(childs.Count(), 1);

    socket.PeerCloses();
    EXPECT_EQ(NewLines(1), Texts{"Occassionally disconnected from Server irc.example, Port 6667!!!"});
    EXPECT_EQ(View(1).caption, "1 - not connected - status");

    connection->Connect("irc.test", 6667);
    sockets.created.back()->PeerConnects();
    NewLines(1);
    connection->Disconnect();
    EXPECT_EQ(NewLines(1), Texts{"Disconnected from Server irc.test, Port 6667"});

    connection->Connect("irc.test", 6667);
    NewLines(1);
    RecordingSocket& again = *sockets.created.back();
    again.Fails(10061, "Connection refused");
    EXPECT_EQ(NewLines(1),
              (Texts{"Socket error: Connection refused", "Could not connect to Server irc.test, Port 6667"}));
}

TEST_F(Presentation, AfterAReconnectAPartnersLinesGoOnInTheirQueryWindow)
{
    Online();
    Receive(":anna!a@h PRIVMSG me :before");
    Receive(":bob!b@h PRIVMSG me :hi");
    ASSERT_EQ(childs.Count(), 3);
    // Back through another address, a bouncer's: the connection starts its user list afresh.
    connection->Disconnect();
    connection->Connect("bnc.test", 6697);
    RecordingSocket& again = *sockets.created.back();
    again.PeerConnects();
    again.PeerSends(":irc.test 001 me :Welcome\r\n");
    // A bouncer plays back what anna said meanwhile; carl is new.
    again.PeerSends(":anna!a@h PRIVMSG me :after\r\n");
    again.PeerSends(":carl!c@h PRIVMSG me :hello\r\n");
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(NewLines(2), (Texts{"# <anna> before", "# <anna> after"}));
    EXPECT_EQ(childs.Item(2)->Query(), connection->Users()->Item("anna"));
    EXPECT_EQ(NewLines(4), (Texts{"# <carl> hello"}));
    // The window follows the partner of this session from now on.
    again.PeerSends(":anna!a@h NICK :anne\r\n");
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel - anne");
    // A window closed while it waited is nobody's: bob's line opens a new one.
    EXPECT_EQ(NewLines(3), (Texts{"# <bob> hi"}));
    ASSERT_TRUE(childs.Item(3)->CloseWindow(true));
    again.PeerSends(":bob!b@h PRIVMSG me :back\r\n");
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(childs.Item(4)->Query(), connection->Users()->Item("bob"));
    EXPECT_EQ(Lines(4), (Texts{"# <bob> back"}));
}

TEST_F(Presentation, ChannelLinesGoToTheStatusWindowOnlyWhileNoWindowShowsTheChannel)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    const auto channel = connection->Channels()->Item("#room");
    ASSERT_TRUE(childs.Item(2)->CloseWindow(true));
    // Closing the window parted the channel; the server has not answered yet.
    EXPECT_EQ(socket.sent, std::vector<std::string>{"PART #room :\r\n"});
    NewLines(1);
    Receive(":anna!a@h PRIVMSG #room :still here?");
    Receive(":anna!a@h NOTICE #room :hello?");
    EXPECT_EQ(NewLines(1), (Texts{"#room: <anna> still here?", "#room: -anna- hello?"}));
    // Another user leaving while we are still in the channel keeps the channel.
    Receive(":anna!a@h PART #room :bye");
    EXPECT_EQ(NewLines(1), Texts{"*** anna left channel #room (bye)"});
    EXPECT_EQ(connection->Channels()->Count(), 1);
    EXPECT_EQ(socket.sent.size(), 1u);
    // Our own part ends it.
    Receive(":me!u@h PART #room");
    EXPECT_EQ(NewLines(1), Texts{"*** left channel #room ()"});
    EXPECT_EQ(connection->Channels()->Count(), 0);
    EXPECT_EQ(channel->Parent(), nullptr);
}

TEST_F(Presentation, JoiningAChannelThatHasAWindowOpensNoSecondOne)
{
    Online();
    NewLines(1);
    Receive(":me!u@h JOIN :#room");
    Receive(":me!u@h PART :#room");
    Receive(":me!u@h JOIN :#room");
    EXPECT_EQ(childs.Count(), 2);
    EXPECT_EQ(NewLines(1),
              (Texts{"*** joined channel #room", "*** left channel #room ()", "*** joined channel #room"}));
    // A window opened by the own join is shown in normal state.
    EXPECT_TRUE(View(2).visible);
    EXPECT_EQ(View(2).state, WindowState::Normal);
}

TEST_F(Presentation, AFirstPrivateLineOpensAMinimizedQueryWindowThatShowsItOnce)
{
    Online();
    NewLines(1);
    Receive(":anna!a@h PRIVMSG me :hello");
    ASSERT_EQ(childs.Count(), 2);
    const auto query = childs.Item(2);
    EXPECT_EQ(query->Query()->Nick(), "anna");
    EXPECT_EQ(View(2).state, WindowState::Minimized);
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel - anna");
    EXPECT_EQ(query->DefaultCommand(), "SAY");
    Receive(":anna!a@h PRIVMSG me :\x01"
            "ACTION smiles\x01");
    Receive(":anna!a@h NOTICE me :a notice");
    // An action reads as in a channel, with the query's mark in front.
    EXPECT_EQ(NewLines(2), (Texts{"# <anna> hello", "# * anna smiles", "# -anna- a notice"}));
    EXPECT_EQ(NewLines(1), Texts{});

    // The partner's nick change shows in the caption only.
    Receive(":anna!a@h NICK :anne");
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel - anne");
    EXPECT_EQ(NewLines(2), Texts{});
    EXPECT_EQ(NewLines(1), Texts{"*** anna changed nick to anne"});

    // A notice first opens the window too; a service name in other letter case is no service.
    Receive(":bob!b@h NOTICE me :knock knock");
    Receive(":nickserv!n@h PRIVMSG me :not the real one");
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(Lines(3), Texts{"# -bob- knock knock"});
    EXPECT_EQ(Lines(4), Texts{"# <nickserv> not the real one"});
}

TEST_F(Presentation, StatusWindowListsTheConnectionsUsersOnceControlIsBackInTheEventLoop)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    std::string names = ":irc.test 353 me = #room :me";
    for (int i = 0; i < 500; ++i) {
        names += " user" + std::to_string(i);
    }
    const int redraws = View(1).redraws;
    Receive(names);
    // Every user added redraws the status window; its list is refilled once, not once per name.
    EXPECT_EQ(View(1).redraws, redraws + 500);
    EXPECT_EQ(toolkit.posted.size(), 1u);
    EXPECT_TRUE(View(1).nicks.empty());
    toolkit.RunPosted();
    ASSERT_EQ(View(1).nicks.size(), 501u);
    EXPECT_EQ(View(1).nicks.front(), "me");
    EXPECT_EQ(View(1).nicks.back(), "user499");

    // The window reads its list settled even before the event loop has run.
    Receive(":newbie!n@h JOIN #room");
    EXPECT_EQ(childs.Item(1)->FindNick("newbie"), 501);
    // A quit leaves the channel's list, and the connection forgets the user.
    Receive(":user7!u@h QUIT :bye");
    EXPECT_EQ(childs.Item(2)->FindNick("user7"), -1);
    EXPECT_EQ(childs.Item(1)->FindNick("user7"), -1);
    EXPECT_EQ(Nicks(2).size(), 501u);
    EXPECT_EQ(Nicks(1).size(), 501u);
    // A nick change shows in the status window's list too.
    Receive(":user8!u@h NICK :renamed");
    toolkit.RunPosted();
    EXPECT_EQ(View(1).nicks.at(8), "renamed");
}

TEST_F(Presentation, AServerNoticeGoesToTheStatusWindowAndMakesNoUserOrWindow)
{
    Online();
    NewLines(1);
    const std::int32_t users = connection->Users()->Count();
    struct Row {
        std::string received;
        Texts statusWindow;
    };
    const std::vector<Row> rows = {
        {":irc.example.net NOTICE * :*** Looking up your hostname",
         {"-irc.example.net- *** Looking up your hostname"}},
        {":irc.example.net NOTICE me :*** Found your hostname", {"-irc.example.net- *** Found your hostname"}},
        {":services. NOTICE me", {"-services.- "}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(1), row.statusWindow);
    }
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(connection->Users()->Count(), users);

    // A dot in the host of a full prefix, or a sender without a dot, is still a person.
    Receive(":anna!a@irc.example.net NOTICE me :hi");
    Receive(":localhost NOTICE me :hello");
    ASSERT_EQ(childs.Count(), 3);
    EXPECT_EQ(Lines(2), Texts{"# -anna- hi"});
    EXPECT_EQ(Lines(3), Texts{"# -localhost- hello"});
}

// Said to a channel, a server's notice is that channel's line, under the server's name, as
// anyone's channel notice; to a channel we are not in, it is the status window's.
TEST_F(Presentation, AServerNoticeToAChannelGoesToItsWindowAndMakesNoUser)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    Receive(":me!u@h JOIN :#aside");
    ASSERT_EQ(childs.Count(), 3);
    ASSERT_TRUE(childs.Item(3)->CloseWindow(true)); // parted, the server has not answered yet
    const std::int32_t users = connection->Users()->Count();
    for (std::int32_t i = 1; i <= childs.Count(); ++i) {
        NewLines(i);
    }
    struct Row {
        std::string received;
        Texts channelWindow;
        Texts statusWindow;
    };
    const std::vector<Row> rows = {
        {":irc.example.net NOTICE #room :maintenance at noon", {"-irc.example.net- maintenance at noon"}, {}},
        {":irc.example.net NOTICE #ROOM :any case", {"-irc.example.net- any case"}, {}},
        {":irc.example.net NOTICE @#room :to the operators", {"-irc.example.net- to the operators"}, {}},
        {":irc.example.net NOTICE #aside :no window", {}, {"#aside: -irc.example.net- no window"}},
        {":irc.example.net NOTICE #elsewhere :not ours", {}, {"-irc.example.net- not ours"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(2), row.channelWindow);
        EXPECT_EQ(NewLines(1), row.statusWindow);
    }
    EXPECT_EQ(childs.Count(), 2);
    EXPECT_EQ(connection->Users()->Count(), users);
    EXPECT_FALSE(connection->Users()->Item("irc.example.net"));
}

TEST_F(Presentation, ACtcpAnswerIsAReplyAndMakesNoUserOrWindow)
{
    Online();
    NewLines(1);
    const std::int32_t users = connection->Users()->Count();
    Receive(":zed!z@h NOTICE me :\x01VERSION zclient 2.0\x01");
    EXPECT_EQ(NewLines(1), Texts{"*** CTCP VERSION reply from zed: zclient 2.0"});
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(connection->Users()->Count(), users);
    // A notice that only starts like one is a notice; our own answer, from another client, is
    // what we said to zed.
    Receive(":zed!z@h NOTICE me :\x01 odd");
    EXPECT_EQ(childs.Count(), 2);
    Receive(":me!u@h NOTICE zed :\x01VERSION Tellix\x01");
    EXPECT_EQ(NewLines(1), Texts{});
}

TEST_F(Presentation, AUserWhoQuitsIsForgottenUnlessAWindowShowsThem)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :me anna bob");
    Receive(":dora!d@h PRIVMSG me :psst");
    ASSERT_EQ(childs.Count(), 3);
    const auto anna = connection->Users()->Item("anna");
    const auto dora = connection->Users()->Item("dora");
    ASSERT_TRUE(anna && dora);
    std::vector<std::string> removed;
    const auto recorder = connection->Events.UserRemove.connect(
        [&](const std::shared_ptr<IRCUser>& user) { removed.emplace_back(user->Nick()); });

    Receive(":anna!a@h QUIT :bye");
    EXPECT_EQ(removed, std::vector<std::string>{"anna"});
    EXPECT_EQ(anna->Parent(), nullptr);
    EXPECT_FALSE(connection->Users()->Item("anna"));
    // A window still shows dora: she stays, and her next line goes to the same window.
    Receive(":dora!d@h QUIT :brb");
    EXPECT_EQ(removed, std::vector<std::string>{"anna"});
    Receive(":dora!d@h PRIVMSG me :back");
    EXPECT_EQ(childs.Count(), 3);
    EXPECT_EQ(Lines(3), (Texts{"# <dora> psst", "# <dora> back"}));
    // Someone never seen before who quits leaves nothing behind.
    Receive(":ghost!g@h QUIT :boo");
    EXPECT_EQ(removed, (std::vector<std::string>{"anna", "ghost"}));
    toolkit.RunPosted();
    EXPECT_EQ(View(1).nicks, (std::vector<std::string>{"me", "bob", "dora"}));
    // The statuses of both quits were written all the same.
    EXPECT_EQ(NewLines(1).back(), "*** ghost (g@h) Quit (boo)");
}

} // namespace
} // namespace tellix::test
