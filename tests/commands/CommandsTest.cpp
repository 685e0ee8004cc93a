// Typed commands: the frame every command shares, and each command's forms, texts, target
// windows and lines on the wire.
#include "commands/CommandRun.h"
#include "util/CoreError.h"
#include "util/Utf8.h"
#include "windows/WindowsFixture.h"

#include <utility>

namespace tellix::test {
namespace {

// Online as "me", #room joined in window 2 with anna and bob, a conversation with bob in
// window 3, and window 2 the active one.
struct Commands : WindowsFixture {
    Commands()
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :me anna bob");
        Receive(":bob!b@h PRIVMSG me :psst");
        View(2).Events.Activate.raise();
        for (std::int32_t i = 1; i <= childs.Count(); ++i) {
            NewLines(i);
        }
        socket.sent.clear();
    }

    // The new lines of every window, as window number and text.
    std::vector<std::pair<std::int32_t, std::string>> Echoed()
    {
        std::vector<std::pair<std::int32_t, std::string>> echoed;
        for (std::int32_t i = 1; i <= childs.Count(); ++i) {
            for (const std::string& line : NewLines(i)) {
                echoed.emplace_back(i, line);
            }
        }
        return echoed;
    }
};

using Echoes = std::vector<std::pair<std::int32_t, std::string>>;

TEST_F(Commands, EachFormGivesItsTextsInItsWindowsAndItsLinesOnTheWire)
{
    struct Row {
        std::int32_t window; // typed into
        std::string command;
        bool handled;
        Echoes echoes;
        Texts sent;
    };
    const std::string unknown = "Unknown command: ";
    const std::vector<Row> rows = {
        // The frame.
        {2, "", false, {{2, "Empty command given. []"}}, {}},
        {3, "foo bar", false, {{3, unknown + "\"foo\" [foo bar]"}}, {}},
        {2, "Foo", false, {{2, unknown + "\"Foo\" [Foo]"}}, {}},
        // Other clients' forms for a login: not ours, and the password stays hidden.
        {2, "ns identify hunter2", false, {{2, unknown + "\"ns\" [ns identify ********]"}}, {}},
        {2, "identify anna hunter2", false, {{2, unknown + "\"identify\" [identify ********]"}}, {}},
        {2, "quote PASS anna/net:hunter2", true, {{1, "-> Server: [PASS ********]"}}, {"PASS anna/net:hunter2"}},
        // Server and utility commands.
        {2, "nick", false, {{2, unknown + "\"nick\" [nick]"}}, {}},
        {2, "nick a b", false, {{2, unknown + "\"nick\" [nick a b]"}}, {}},
        {2, "NiCk Ann", true, {}, {"NICK :Ann"}},
        {2, "disconnect now", true, {{2, "DISCONNECT: no connection to \"now\""}}, {}},
        {2, "disconnect now later", false, {{2, unknown + "\"disconnect\" [disconnect now later]"}}, {}},
        {2, "quote", false, {{2, unknown + "\"quote\" [quote]"}}, {}},
        {2, "quote PRIVMSG x :hi", true, {{1, "-> Server: [PRIVMSG x :hi]"}}, {"PRIVMSG x :hi"}},
        {2, "quote MODE  #room", true, {{1, "-> Server: [MODE  #room]"}}, {"MODE  #room"}},
        {2, "server a b c", false, {{2, unknown + "\"server\" [server a b c]"}}, {}},
        {2, "echo 1 to the status", true, {{1, "to the status"}}, {}},
        {2, "echo 3 hi", true, {{3, "hi"}}, {}},
        {3, "echo 9 hi", true, {{2, "hi"}}, {}},
        {3, "echo - hello world", true, {{2, "hello world"}}, {}},
        {3, "echo", true, {{2, ""}}, {}},
        // Message and channel commands.
        {2, "msg", false, {{2, unknown + "\"msg\" [msg]"}}, {}},
        {3, "msg Bob hello there", true, {{3, "-> Bob: hello there"}}, {"PRIVMSG Bob :hello there"}},
        {3, "MSG Bob", true, {{3, "-> Bob: "}}, {"PRIVMSG Bob :"}},
        {1, "notice #room hi", true, {{1, "notice -> #room: hi"}}, {"NOTICE #room :hi"}},
        {2, "say hi all", true, {{2, "<me> hi all"}}, {"PRIVMSG #room :hi all"}},
        {2,
         "me waves",
         true,
         {{2, "* me waves"}},
         {"PRIVMSG #room :\x01"
          "ACTION waves\x01"}},
        {2, "join #a #b c", false, {{2, unknown + "\"join\" [join #a #b c]"}}, {}},
        {1, "join #new", true, {}, {"JOIN #new"}},
        {1, "join #ROOM", true, {}, {}},
        {1, "join #x,#y,,#X,#room", true, {}, {"JOIN #x,#y"}},
        {1, "join #k1,#k2,,#k3,#k4 one,,x,three,:colon", true, {}, {"JOIN #k1,#k3,#k4,#k2 one,three,:colon"}},
        {1, "join #c :colon", true, {}, {"JOIN #c ::colon"}},
        {1, "join", true, {{1, "JOIN: no channel set"}}, {}},
        {1, "part", true, {{1, "PART: no channel set"}}, {}},
        {3, "part #nowhere", true, {{3, "PART: no such channel"}}, {}},
        {2, "kick #room", false, {{2, unknown + "\"kick\" [kick #room]"}}, {}},
        {2, "kick #room bob", true, {}, {"KICK #room bob"}},
        {2, "kick #room bob go  away", true, {}, {"KICK #room bob :go  away"}},
        {2, "kick #none bob", true, {{2, "KICK: no such channel"}}, {}},
        {2, "channel a b", false, {{2, unknown + "\"channel\" [channel a b]"}}, {}},
        {1, "channel", true, {{1, "*** current channel: no channel set"}}, {}},
        {2, "channel", true, {{2, "*** current channel: #room"}}, {}},
        {1, "channel #room", true, {{1, "*** can't set channel for status window!"}}, {}},
        {2, "query", false, {{2, unknown + "\"query\" [query]"}}, {}},
        // Window commands.
        {2, "window", false, {{2, unknown + "\"window\" [window]"}}, {}},
        {2, "Window foo", false, {{2, unknown + "\"Window\" [Window foo]"}}, {}},
        {2, "window channel", true, {{2, "*** current channel: #room"}}, {}},
        {3, "window channel", true, {{3, "*** current channel: no channel set"}}, {}},
        {2, "window channel #a b", false, {{2, unknown + "\"window\" [window channel #a b]"}}, {}},
        {1, "window channel #a", true, {{1, "*** can't set channel for status window!"}}, {}},
        {2, "window command", true, {{2, "*** current default command: SAY"}}, {}},
        {1, "window command", true, {{1, "*** current default command: "}}, {}},
        {1, "window command say", true, {{1, "*** can't set default command for status window!"}}, {}},
        {3, "window query", true, {{3, "*** current query to: bob"}}, {}},
        {2, "window query", true, {{2, "*** current query to: no user set"}}, {}},
        {1, "window query bob", true, {{1, "*** can't set query for status window!"}}, {}},
        {2, "window query a b", false, {{2, unknown + "\"window\" [window query a b]"}}, {}},
        {2, "window close 99", false, {{2, unknown + "\"window\" [window close 99]"}}, {}},
        {2, "window close x", false, {{2, unknown + "\"window\" [window close x]"}}, {}},
        {2,
         "window close 99999999999999999999",
         false,
         {{2, unknown + "\"window\" [window close 99999999999999999999]"}},
         {}},
        {1, "window close", true, {{1, "Attempt to close status window!"}}, {}},
        {2, "window close 1", true, {{1, "Attempt to close status window!"}}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("/" + row.command + " in window " + std::to_string(row.window));
        EXPECT_EQ(app.ProcessCommand(row.command, true, row.window), row.handled);
        EXPECT_EQ(Echoed(), row.echoes);
        EXPECT_EQ(Sent(), row.sent);
        ASSERT_EQ(childs.Count(), 3);
    }
}

// A list typed to /join is joined a channel at a time: each channel its own window, brought
// forward as asked, none named by the list, and no name of a long list cut on the wire.
TEST_F(Commands, AJoinedListGivesEachChannelItsOwnWindowAndWholeNamesOnTheWire)
{
    ASSERT_TRUE(app.ProcessCommand("join #x,#y", true, 2));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"JOIN #x,#y"}));
    Receive(":me!u@h JOIN :#x");
    Receive(":me!u@h JOIN :#y");
    ASSERT_EQ(childs.Count(), 5);
    EXPECT_EQ(childs.Item(4)->Channel()->Name(), "#x");
    EXPECT_EQ(childs.Item(5)->Channel()->Name(), "#y");
    // Asked for, neither waits minimized as a window the server opened would.
    EXPECT_NE(View(4).State(), WindowState::Minimized);
    EXPECT_NE(View(5).State(), WindowState::Minimized);
    EXPECT_EQ(connection->Channels()->Item("#x,#y"), nullptr);
    EXPECT_TRUE(connection->Channels()->Item("#x")->Joined());

    // A long list goes in as few lines as fit, every name whole and once.
    std::string list;
    for (int i = 0; i < 40; ++i) {
        list += (list.empty() ? "" : ",") + std::string("#a-rather-long-channel-name-number-") + std::to_string(i);
    }
    ASSERT_GT(list.size(), 1'000u);
    ASSERT_TRUE(app.ProcessCommand("join " + list, true, 2));
    const std::vector<std::string> sent = Sent();
    ASSERT_EQ(sent.size(), (list.size() + 5) / connection->LineRoom() + 1);
    std::string joined;
    for (const std::string& line : sent) {
        ASSERT_TRUE(line.starts_with("JOIN ")) << line;
        EXPECT_LE(line.size(), connection->LineRoom());
        joined += (joined.empty() ? "" : ",") + line.substr(5);
    }
    EXPECT_EQ(joined, list);
}

TEST_F(Commands, RefusalsWhileNotConnected)
{
    Receive("ERROR :Closing link");
    socket.PeerCloses();
    Echoed();
    struct Row {
        std::int32_t window;
        std::string command;
        Echoes echoes;
    };
    const std::vector<Row> rows = {
        {2, "disconnect", {{1, "DISCONNECT: not connected"}}},
        {3, "quit bye", {{1, "QUIT: not connected"}}},
        {2, "quote PING x", {{1, "QUOTE: not connected"}}},
        {3, "msg Bob hi", {{3, "MSG: not connected"}}},
        {3, "notice Bob hi", {{3, "NOTICE: not connected"}}},
        {2, "server irc.test 0", {{1, "SERVER: the port must be a whole number from 1 to 65535, not \"0\""}}},
        {2,
         "server irc.test 65536",
         {{1, "SERVER: the port must be a whole number from 1 to 65535, not \"65536\""}}},
        {2, "server irc.test +80", {{1, "SERVER: the port must be a whole number from 1 to 65535, not \"+80\""}}},
        {2, "server irc.test x", {{1, "SERVER: the port must be a whole number from 1 to 65535, not \"x\""}}},
    };
    const int attempts = socket.connectCalls;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_TRUE(app.ProcessCommand(row.command, true, row.window));
        EXPECT_EQ(Echoed(), row.echoes);
        EXPECT_EQ(Sent(), Texts{});
    }
    EXPECT_EQ(socket.connectCalls, attempts);
    // NICK asks no questions.
    EXPECT_TRUE(app.ProcessCommand("nick Ann", true, 2));
    EXPECT_EQ(Echoed(), Echoes{});
}

TEST_F(Commands, SayingWhileNotConnectedShowsNothingAsSaidOnEveryRoad)
{
    Receive("ERROR :Closing link");
    socket.PeerCloses();
    Echoed();
    struct Row {
        std::int32_t window; // active, and typed into
        std::string typed;
        bool straight; // no default command: the line goes to the channel itself
        Echoes echoes;
    };
    const std::vector<Row> rows = {
        {2, "hi all", false, {{2, "SAY: not connected"}}},
        {2, "/say hi all", false, {{2, "SAY: not connected"}}},
        {2, "/me waves", false, {{2, "ME: not connected"}}},
        {3, "just us", false, {{3, "SAY: not connected"}}},
        {2, "direct", true, {{2, "SAY: not connected"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        View(row.window).Events.Activate.raise();
        childs.Item(row.window)->DefaultCommand(row.straight ? "" : "SAY");
        View(row.window).Type(row.typed);
        View(row.window).KeyDown(13);
        EXPECT_EQ(Echoed(), row.echoes);
        EXPECT_EQ(Sent(), Texts{});
    }
}

TEST_F(Commands, LongLinesGoOutInPiecesTheServerRelaysWhole)
{
    // Our mask is known from the join: the server relays with ":me!u@h " in front.
    const std::size_t prefix = std::string(":me!u@h ").size();
    ASSERT_EQ(connection->RelayPrefixLength(), prefix);
    std::string text;
    while (text.size() < 700) {
        text += "Grüße aus Köln, 日本語 ";
    }
    while (text.size() < 1100) {
        text += "語ü\xF0\x9F\x98\x80"; // no blank to cut at
    }
    struct Row {
        std::int32_t window; // active, and typed into
        std::string typed;
        std::string head, tail; // around each piece on the wire
        std::string shown;      // before each piece in the window
    };
    const std::vector<Row> rows = {
        {2, "/say ", "PRIVMSG #room :", "", "<me> "},
        {2, "", "PRIVMSG #room :", "", "<me> "},
        {2, "/me ",
         "PRIVMSG #room :\x01"
         "ACTION ",
         "\x01", "* me "},
        {2, "/msg bob ", "PRIVMSG bob :", "", "-> bob: "},
        {2, "/notice bob ", "NOTICE bob :", "", "notice -> bob: "},
        {3, "", "PRIVMSG bob :", "", "# <me> "},
        {3, "/me ",
         "PRIVMSG bob :\x01"
         "ACTION ",
         "\x01", "# * me "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed + " in window " + std::to_string(row.window));
        View(row.window).Events.Activate.raise();
        View(row.window).SetInputText(row.typed + text);
        View(row.window).KeyDown(13);
        const Texts sent = Sent();
        const Echoes echoes = Echoed();
        ASSERT_GE(sent.size(), 3u);
        ASSERT_EQ(echoes.size(), sent.size());
        std::string joined;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const std::string& line = sent[i];
            ASSERT_TRUE(line.starts_with(row.head) && line.ends_with(row.tail)) << line;
            const std::string piece =
                line.substr(row.head.size(), line.size() - row.head.size() - row.tail.size());
            EXPECT_LE(prefix + line.size() + 2, 512u);
            // Cut near the end of what fits: at a blank in its last quarter, or where the word stands.
            if (i + 1 < sent.size()) {
                EXPECT_GE(4 * (prefix + line.size() + 2), 3u * 512u) << line;
            }
            EXPECT_TRUE(IsUtf8(piece)) << piece;
            EXPECT_EQ(echoes[i], std::make_pair(row.window, row.shown + piece));
            joined += piece;
        }
        EXPECT_EQ(joined, text);
    }
}

TEST(CommandsOnAFreshStart, ARawLineIsCutToWhatTheServerRelaysForTheLongestMaskUntilOursIsKnown)
{
    struct Fresh : WindowsFixture {
        void TestBody() override {}
    } online;
    online.Online();
    // Nick "me", then the longest user and host names servers keep.
    EXPECT_EQ(online.connection->RelayPrefixLength(), 1u + 2 + 1 + 63 + 1 + 63 + 1);
    const std::string raw = "PRIVMSG x :" + std::string(600, 'a');
    online.app.ProcessCommand("quote " + raw, true, 1);
    EXPECT_EQ(online.Sent(), Texts{raw.substr(0, 510 - 132)});
    online.Receive(":me!u@h JOIN :#room");
    EXPECT_EQ(online.connection->RelayPrefixLength(), 8u);
    online.app.ProcessCommand("quote " + raw, true, 1);
    EXPECT_EQ(online.Sent(), Texts{raw.substr(0, 510 - 8)});
}

TEST_F(Commands, QuitAndQuoteWriteTheirLineBeforeTheySend)
{
    std::vector<std::size_t> statusLinesAtSend;
    socket.onSend = [&](std::string_view) { statusLinesAtSend.push_back(View(1).Lines().size()); };
    const std::size_t before = View(1).Lines().size();
    EXPECT_TRUE(app.ProcessCommand("quote PING x", true, 2));
    EXPECT_TRUE(app.ProcessCommand("quit", true, 2));
    socket.onSend = nullptr; // the teardown sends too, after this test's locals are gone
    EXPECT_EQ(statusLinesAtSend, (std::vector<std::size_t>{before + 1, before + 2}));
    EXPECT_EQ(Echoed(), (Echoes{{1, "-> Server: [PING x]"}, {1, "QUIT -> Server(1): "}}));
    EXPECT_EQ(Sent(), (Texts{"PING x", "QUIT :"}));
}

TEST_F(Commands, ServerConnectsWithTheDialogOrTheHostAndPortGiven)
{
    ConnectDialog& dialog = *childs.ConnectDialog();
    dialog.UserNick("two words");
    EXPECT_TRUE(app.ProcessCommand("server", true, 2));
    EXPECT_EQ(Echoed(), (Echoes{{1, "please enter valid data into connect dialog"}}));
    EXPECT_EQ(connection->InitialNick(), "me");

    dialog.UserNick("joe");
    dialog.UserName("joe");
    dialog.UserDescription("Joe Doe");
    dialog.UserInvisible(true);
    dialog.UserWallOp(true);
    dialog.Server("irc.other");
    const int attempts = socket.connectCalls;
    EXPECT_TRUE(app.ProcessCommand("SERVER", true, 2));
    // Connecting anew closes the connection there was, which the channel's window tells too;
    // the command itself writes nothing.
    EXPECT_EQ(Echoed(), (Echoes{{1, "Disconnected from Server irc.test, Port 6667"},
                                {2, "*** disconnected, no longer in channel #room"}}));
    EXPECT_EQ(connection->InitialNick(), "joe");
    EXPECT_EQ(connection->InitialUserParams(), "joe 12 * :Joe Doe");
    EXPECT_EQ(socket.connectCalls, attempts + 1);
    EXPECT_EQ(socket.host, "irc.other");
    EXPECT_EQ(socket.port, 6697); // the dialog's port box, TLS on for a new user
    EXPECT_TRUE(socket.Tls().enabled);

    EXPECT_TRUE(app.ProcessCommand("server irc.third 40000", true, 3));
    EXPECT_EQ(Echoed(), (Echoes{{1, "Connecting to Server irc.third, Port 40000..."}}));
    EXPECT_EQ(socket.port, 40000);
    EXPECT_TRUE(app.ProcessCommand("server irc.fourth", true, 3));
    EXPECT_EQ(Echoed(), (Echoes{{1, "Connecting to Server irc.fourth, Port 6667..."}}));
    EXPECT_EQ(socket.port, 6667);
    EXPECT_FALSE(socket.Tls().enabled);
    struct Row {
        std::string typed;
        std::string shown;
        std::int32_t port;
    };
    for (const Row& row : std::vector<Row>{
             {"server -tls irc.fifth", "Connecting to Server irc.fifth, Port 6697 with TLS...", 6697},
             {"server -tls irc.fifth 7000", "Connecting to Server irc.fifth, Port 7000 with TLS...", 7000}}) {
        EXPECT_TRUE(app.ProcessCommand(row.typed, true, 3));
        EXPECT_EQ(Echoed(), (Echoes{{1, row.shown}}));
        EXPECT_EQ(socket.host, "irc.fifth");
        EXPECT_EQ(socket.port, row.port);
        EXPECT_TRUE(socket.Tls().enabled);
        EXPECT_TRUE(connection->Options().tls);
    }
    // The host form leaves registration data that was there alone.
    EXPECT_EQ(connection->InitialNick(), "joe");
}

TEST(CommandsOnAFreshStart, ServerWithAHostRegistersWithTheDialogsData)
{
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app(toolkit, sockets);
    EXPECT_TRUE(app.ProcessCommand("server irc.test", true, 1));
    RecordingSocket& socket = *sockets.created.back();
    socket.PeerConnects();
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"CAP LS 302\r\n", "NICK user|Tellix\r\n",
                                                     "USER Tellix_user 8 * :Tellix user\r\n"}));
}

TEST(CommandsOnAFreshStart, SayingIntoAChannelBeforeAnyConnectionIsRefused)
{
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app(toolkit, sockets);
    EXPECT_TRUE(app.ProcessCommand("window new", true, 1));
    EXPECT_TRUE(app.ProcessCommand("channel #x", true, 2));
    auto& view = *static_cast<RecordingChildView*>(app.Childs()->Item(2)->Window());
    const std::size_t lines = view.Lines().size();
    for (const std::string typed : {"hi", "/me waves", "/say hi"}) {
        view.Type(typed);
        view.KeyDown(13);
    }
    // And straight to the channel, without a default command.
    app.Childs()->Item(2)->DefaultCommand("");
    view.Type("direct");
    view.KeyDown(13);
    const std::vector<std::string> all = view.Lines();
    const std::vector<std::string> written(all.begin() + static_cast<std::ptrdiff_t>(lines), all.end());
    const std::string stamp = std::string("[") + RecordingToolkit::Time + "] ";
    EXPECT_EQ(written, (Texts{stamp + "SAY: not connected", stamp + "ME: not connected",
                              stamp + "SAY: not connected", stamp + "SAY: not connected"}));
    EXPECT_TRUE(sockets.created.back()->sent.empty());
}

TEST_F(Commands, MessageWindowCommandsFollowTheActiveWindow)
{
    // SAY and ME write into the active window's conversation, wherever they were typed.
    View(3).Events.Activate.raise();
    EXPECT_TRUE(app.ProcessCommand("say hi", true, 1));
    EXPECT_EQ(Echoed(), (Echoes{{3, "# <me> hi"}}));
    EXPECT_EQ(Sent(), Texts{"PRIVMSG bob :hi"});
    // An action to the partner, shown as the partner's own are.
    EXPECT_TRUE(app.ProcessCommand("me waves", true, 2));
    EXPECT_EQ(Echoed(), (Echoes{{3, "# * me waves"}}));
    EXPECT_EQ(Sent(), Texts{"PRIVMSG bob :\x01"
                            "ACTION waves\x01"});
    // Another request reads as a channel shows it.
    EXPECT_TRUE(app.ProcessCommand("say \x01VERSION\x01", true, 2));
    EXPECT_EQ(Echoed(), (Echoes{{3, "# [me  VERSION ]"}}));
    View(1).Events.Activate.raise();
    EXPECT_TRUE(app.ProcessCommand("say \"quoted\"  text", true, 2));
    EXPECT_TRUE(app.ProcessCommand("me waves", true, 2));
    EXPECT_EQ(Echoed(), (Echoes{{1, "no destination specified"}, {1, "no destination specified"}}));
    EXPECT_EQ(Sent(), Texts{"PRIVMSG bob :\x01VERSION\x01"});
}

TEST_F(Commands, FormsOnlyAUserMayTypeAreUnknownToTheProgram)
{
    for (const std::string command : {"join", "part", "part #room", "window close 0"}) {
        SCOPED_TRACE(command);
        EXPECT_FALSE(app.ProcessCommand(command, false, 2));
        EXPECT_EQ(Echoed(), (Echoes{{2, "Unknown command: \"" + command.substr(0, command.find(' ')) + "\" [" +
                                            command + "]"}}));
    }
    EXPECT_EQ(Sent(), Texts{});
    EXPECT_TRUE(app.ProcessCommand("part #room see you", true, 1));
    EXPECT_EQ(Sent(), Texts{"PART #room :see you"});
}

TEST_F(Commands, WindowCommandsSetWhatAWindowShowsAndWhereItsLinesGo)
{
    EXPECT_TRUE(app.ProcessCommand("window command msg Bob", true, 2));
    EXPECT_EQ(Echoed(), (Echoes{{1, "*** default command set to msg Bob"}}));
    View(2).Type("hi there");
    View(2).KeyDown(13);
    EXPECT_EQ(Echoed(), (Echoes{{2, "-> Bob: hi there"}}));
    EXPECT_EQ(Sent(), Texts{"PRIVMSG Bob :hi there"});

    // Setting the channel sends nothing and makes SAY the default command again.
    EXPECT_TRUE(app.ProcessCommand("window channel #other", true, 2));
    EXPECT_EQ(childs.Item(2)->Channel()->Name(), "#other");
    EXPECT_EQ(childs.Item(2)->DefaultCommand(), "SAY");
    EXPECT_TRUE(app.ProcessCommand("window channel -", true, 2));
    EXPECT_EQ(childs.Item(2)->Channel(), nullptr);
    EXPECT_TRUE(app.ProcessCommand("channel -", true, 2));
    EXPECT_EQ(childs.Item(2)->Channel()->Name(), "-");
    EXPECT_TRUE(app.ProcessCommand("window query Anna", true, 2));
    EXPECT_EQ(childs.Item(2)->Query()->Nick(), "Anna");
    EXPECT_TRUE(app.ProcessCommand("window query -", true, 2));
    EXPECT_EQ(childs.Item(2)->Query(), nullptr);
    EXPECT_EQ(Sent(), Texts{});

    // QUERY twice brings up the one window; NEW opens one more.
    EXPECT_TRUE(app.ProcessCommand("query carl", true, 1));
    EXPECT_TRUE(app.ProcessCommand("query carl", true, 1));
    ASSERT_EQ(childs.Count(), 4);
    EXPECT_EQ(childs.Item(4)->Query()->Nick(), "carl");
    EXPECT_EQ(View(4).state, WindowState::Normal);
    EXPECT_TRUE(app.ProcessCommand("window new x", true, 1));
    EXPECT_EQ(childs.Count(), 5);

    // Closing: by number, the calling window, and 0 for the calling window when typed.
    EXPECT_TRUE(app.ProcessCommand("window close 0", true, 5));
    EXPECT_EQ(childs.Count(), 4);
    EXPECT_TRUE(app.ProcessCommand("window close", true, 4));
    EXPECT_EQ(childs.Count(), 3);
    EXPECT_TRUE(app.ProcessCommand("WINDOW Close +3", true, 1));
    EXPECT_EQ(childs.Count(), 2);
    Echoed();
    // REFRESH refills the calling window's nick list from its channel's members.
    ASSERT_TRUE(app.ProcessCommand("window channel #room", true, 2));
    childs.Item(2)->RemoveNick("bob");
    ASSERT_EQ(Nicks(2), (std::vector<std::string>{"me", "anna"}));
    EXPECT_TRUE(app.ProcessCommand("window refresh", true, 2));
    EXPECT_EQ(Nicks(2), (std::vector<std::string>{"me", "anna", "bob"}));
    EXPECT_EQ(Echoed(), Echoes{});
}

TEST(CommandsExit, ExitTypedIntoTheStatusWindowEndsTheClient)
{
    for (const std::string command : {"exit", "EXIT now"}) {
        RecordingToolkit toolkit;
        RecordingSocketFactory sockets;
        Application::Instance() = std::make_shared<Application>(toolkit, sockets);
        const std::weak_ptr<Application> app = Application::Instance();
        // Typed into the status window, as a person does: the window goes with everything else.
        auto& status = *static_cast<RecordingChildView*>(Application::Instance()->Childs()->Item(1)->Window());
        status.Type("/" + command);
        status.KeyDown(13);
        EXPECT_TRUE(app.expired()) << command;
        EXPECT_EQ(toolkit.settings.written.back(), "First Use=0");
    }
}

TEST(SubArrayOfWords, KeepsTheNumbersAndRefusesWhatIsOutside)
{
    const WordList words = SetLowerBound(SplitQuoted("a b c d", " ", "", ""), 0);
    const WordList middle = SubArray(words, 1, 2);
    EXPECT_EQ(middle.LowerBound, 1);
    EXPECT_EQ(middle.Words, (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(IsEmptyList(SubArray(words, 9, 0)));
    EXPECT_TRUE(IsEmptyList(SubArray(WordList{}, 5, 3)));
    struct Row {
        std::int32_t start, count;
    };
    for (const Row row : {Row{0, -1}, Row{2, 3}, Row{-1, 2}, Row{4, 1}}) {
        SCOPED_TRACE(std::to_string(row.start) + "," + std::to_string(row.count));
        try {
            SubArray(words, row.start, row.count);
            ADD_FAILURE() << "no error";
        } catch (const CoreError& error) {
            EXPECT_EQ(static_cast<std::uint32_t>(error.Number()), 0x8004040Eu);
        }
    }
}

TEST(WindowNumbers, PlainDecimalIntegersWithASign)
{
    struct Row {
        std::string word;
        std::optional<std::int64_t> number;
    };
    const std::vector<Row> rows = {
        {"2", 2},
        {"+2", 2},
        {"-2", -2},
        {"007", 7},
        {"0", 0},
        {"99999999999999999999", INT64_MAX},
        {"-99999999999999999999", INT64_MIN},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"2.5", std::nullopt},
        {"0x10", std::nullopt},
        {" 2", std::nullopt},
        {"2a", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseWindowNumber(row.word), row.number) << row.word;
    }
}

} // namespace
} // namespace tellix::test
