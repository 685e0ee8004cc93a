// Typing notifications: who types, as the line under a window's log says it, and ours, sent
// from the input line as the user types, pauses, clears or sends.
#include "app/Settings.h"

#include "WindowsFixture.h"

namespace tellix::test {
namespace {

struct TypingNotes : WindowsFixture {
    // Online with `caps` granted, in #room (window 2) with anna, bob, carl and dave, and
    // talking with erin (window 3).
    void InRoomAndQuery(const std::string& caps = "message-tags", const std::string& features = "")
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        Receive(":irc.test CAP * LS :" + caps);
        Receive(":irc.test CAP * ACK :" + caps);
        Receive(":irc.test 001 me :Welcome");
        if (!features.empty()) {
            Receive(":irc.test 005 me " + features + " :are supported by this server");
        }
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :me anna bob carl dave");
        Receive(":erin!e@h PRIVMSG me :hi");
        ASSERT_EQ(childs.Count(), 3);
        Sent();
        NewLines(1);
    }
    // What went out, without moving the clock.
    Texts SentNow() { return Sent(0); }
    void Advance(std::int64_t ms) { toolkit.timers.Advance(ms); }
};

TEST_F(TypingNotes, TheLineUnderTheLogNamesWhoTypesUntilTheyStop)
{
    InRoomAndQuery();
    struct Row {
        std::vector<std::string> received;
        std::int64_t thenMs; // the clock moves on by this much after the lines
        std::string room;
        std::string query;
    };
    const std::vector<Row> rows = {
        // InspIRCd writes the target as the trailing part.
        {{"@+typing=active :anna!a@h TAGMSG :#room"}, 5000, "anna is typing...", ""},
        {{"@+typing=active :bob!b@h TAGMSG #room"}, 0, "anna and bob are typing...", ""},
        {{}, 1000, "bob is typing...", ""}, // six seconds after her last
        {{"@+typing=active :anna!a@h TAGMSG #room",
          "@time=2024-01-01T00:00:00.000Z;+typing=active :carl!c@h TAGMSG #room"},
         0,
         "several people are typing...",
         ""},
        {{":carl!c@h PRIVMSG #room :there"}, 0, "bob and anna are typing...", ""},
        {{"@+typing=paused :bob!b@h TAGMSG #room"}, 0, "anna is typing...", ""},
        {{":anna!a@h PART #room :bye"}, 0, "", ""},
        {{"@+typing=active :dave!d@h TAGMSG #room", "@+typing=done :dave!d@h TAGMSG #room"}, 0, "", ""},
        {{"@+typing=active :dave!d@h TAGMSG #room", ":dave!d@h QUIT :gone"}, 0, "", ""},
        {{"@+typing=active :bob!b@h TAGMSG #room", ":bob!b@h NOTICE #room :psst"}, 0, "", ""},
        {{"@+typing=active :carl!c@h TAGMSG #room", ":carl!c@h KICK #room carl :out"}, 0, "", ""},
        // Nobody from outside, no made-up state, not our own echo.
        {{"@+typing=active :zed!z@h TAGMSG #room", "@+typing=maybe :bob!b@h TAGMSG #room",
          "@+typing :bob!b@h TAGMSG #room", "@+typing=active :me!u@h TAGMSG #room", ":bob!b@h TAGMSG #room",
          "@+typing=active :bob!b@h TAGMSG"},
         0,
         "",
         ""},
        {{"@+typing=active :erin!e@h TAGMSG :me"}, 0, "", "erin is typing..."},
        {{"@+typing=active :erin!e@h TAGMSG #nowhere"}, 0, "", "erin is typing..."},
        {{":erin!e@h PRIVMSG me :hey"}, 0, "", ""},
        {{"@+typing=active :erin!e@h TAGMSG me"}, 6000, "", ""},
        // Someone with no window to type in opens none.
        {{"@+typing=active :frank!f@h TAGMSG me"}, 0, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received.empty() ? "time" : row.received.front());
        for (const std::string& line : row.received) {
            Receive(line);
        }
        Advance(row.thenMs);
        EXPECT_EQ(View(2).typing, row.room);
        EXPECT_EQ(View(3).typing, row.query);
        EXPECT_EQ(childs.Item(2)->TypingShown(), row.room);
    }
    EXPECT_EQ(childs.Count(), 3);
    EXPECT_EQ(connection->Users()->Item("zed"), nullptr);
    EXPECT_EQ(connection->Users()->Item("frank"), nullptr);
    for (const std::string& line : Lines(1)) {
        EXPECT_EQ(line.find("TAGMSG"), std::string::npos) << "a TAGMSG is never shown: " << line;
    }
}

TEST_F(TypingNotes, AFloodOfNotificationsHoldsNoMoreStateThanAFew)
{
    InRoomAndQuery();
    Receive(":irc.test 353 me = #room :" + [] {
        std::string names;
        for (int i = 0; i < 200; ++i) {
            names += "m" + std::to_string(i) + " ";
        }
        return names;
    }());
    const std::size_t users = static_cast<std::size_t>(connection->Users()->Count());
    const std::size_t timers = toolkit.timers.Waiting();
    for (int i = 0; i < 50'000; ++i) {
        const std::string nick = (i % 3 == 0 ? "x" : "m") + std::to_string(i % 200);
        Receive("@+typing=active :" + nick + "!u@h TAGMSG #room");
    }
    EXPECT_EQ(View(2).typing, "several people are typing...");
    EXPECT_EQ(static_cast<std::size_t>(connection->Users()->Count()), users) << "strangers are made for nothing";
    EXPECT_LE(toolkit.timers.Waiting(), timers + 1) << "one wait for the first to stop, however many type";
    Advance(Typists::kActiveMs);
    EXPECT_EQ(View(2).typing, "");
    EXPECT_EQ(toolkit.timers.Waiting(), timers);
}

TEST_F(TypingNotes, OursGoesOutAsTheUserTypesPausesClearsAndSends)
{
    InRoomAndQuery();
    RecordingChildView& room = View(2);
    struct Step {
        const char* what;
        std::function<void()> act;
        Texts sent;
    };
    const std::vector<Step> steps = {
        {"types", [&] { room.Type("h"); }, {"@+typing=active TAGMSG #room"}},
        {"types on within 3 s",
         [&] {
             Advance(1000);
             room.Type("i");
         },
         {}},
        {"types 3 s after the last",
         [&] {
             Advance(2000);
             room.Type("!");
         },
         {"@+typing=active TAGMSG #room"}},
        {"stops for 4 s", [&] { Advance(4000); }, {}},
        {"and 5 s", [&] { Advance(1000); }, {"@+typing=paused TAGMSG #room"}},
        {"stays paused", [&] { Advance(60'000); }, {}},
        {"types again", [&] { room.Type(" x"); }, {"@+typing=active TAGMSG #room"}},
        {"clears the line", [&] { room.Edit(""); }, {"@+typing=done TAGMSG #room"}},
        {"starts a command",
         [&] {
             Advance(3000);
             room.Edit("/w");
             room.Type("ho");
         },
         {}},
        {"types a line", [&] { room.Edit("yo"); }, {"@+typing=active TAGMSG #room"}},
        {"turns it into a command", [&] { room.Edit("/yo"); }, {"@+typing=done TAGMSG #room"}},
        {"types and sends",
         [&] {
             Advance(3000);
             room.Edit("hello");
             room.KeyDown(13);
         },
         {"@+typing=active TAGMSG #room", "PRIVMSG #room :hello", "@+typing=done TAGMSG #room"}},
        {"says nothing more", [&] { Advance(60'000); }, {}},
        {"types to a partner", [&] { View(3).Type("hey"); }, {"@+typing=active TAGMSG erin"}},
        {"sends a command from there",
         [&] {
             View(3).Edit("/me waves");
             View(3).KeyDown(13);
         },
         {"@+typing=done TAGMSG erin", "PRIVMSG erin :\x01"
                                       "ACTION waves\x01"}},
        {"types in the status window", [&] { View(1).Type("x"); }, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(SentNow(), step.sent);
    }
}

TEST(TypingNotesSent, OnlyWhereTheServerAndTheUserLetThem)
{
    struct Row {
        const char* caps;
        const char* features;
        const char* setting; // "Send Typing Notifications"; empty for none stored
        bool sent;
    };
    const Row rows[] = {
        {"message-tags", "", "", true},
        {"message-tags", "", "1", true},
        {"message-tags", "", "0", false},
        {"echo-message", "", "", false},
        {"message-tags", "CLIENTTAGDENY=*", "", false},
        {"message-tags", "CLIENTTAGDENY=*,-typing", "", true},
        {"message-tags", "CLIENTTAGDENY=*,-react", "", false},
        {"message-tags", "CLIENTTAGDENY=typing", "", false},
        {"message-tags", "CLIENTTAGDENY=react,draft/reply", "", true},
        {"message-tags", "CLIENTTAGDENY=typing -CLIENTTAGDENY", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.caps) + " / " + row.features + " / " + row.setting);
        RecordingToolkit toolkit;
        RecordingSocketFactory sockets;
        if (*row.setting != '\0') {
            toolkit.Settings().SaveSetting(SettingsAppName(), "Main", "Send Typing Notifications", row.setting);
        }
        Application app(toolkit, sockets);
        const auto connection = app.Connections().Item(1);
        RecordingSocket& socket = *sockets.created.back();
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        for (const std::string& line :
             {std::string(":irc.test CAP * LS :") + row.caps, std::string(":irc.test CAP * ACK :") + row.caps,
              std::string(":irc.test 001 me :Welcome"),
              std::string(":irc.test 005 me ") + row.features + " :are supported",
              std::string(":me!u@h JOIN :#room")}) {
            socket.PeerSends(line + "\r\n");
        }
        ASSERT_EQ(app.Childs()->Count(), 2);
        socket.sent.clear();
        static_cast<RecordingChildView*>(app.Childs()->Item(2)->Window())->Type("hi");
        EXPECT_EQ(socket.sent, row.sent ? std::vector<std::string>{"@+typing=active TAGMSG #room\r\n"}
                                        : std::vector<std::string>{});
    }
}

TEST_F(TypingNotes, NothingGoesToAChannelWeAreNotIn)
{
    InRoomAndQuery();
    Receive(":me!u@h PART #room :bye");
    Sent();
    View(2).Type("anyone?");
    EXPECT_EQ(SentNow(), Texts{});
}

} // namespace
} // namespace tellix::test
