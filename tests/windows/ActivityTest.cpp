// What a window received while the user looked elsewhere: the levels its lines raise.
#include "app/Settings.h"
#include "windows/Highlight.h"
#include "windows/WindowsFixture.h"

namespace tellix::test {
namespace {

constexpr std::int32_t kStatus = 1;
constexpr std::int32_t kChannel = 2;
constexpr std::int32_t kQuery = 3;

struct Row {
    const char* name;
    std::int32_t window;
    bool active; // the user looks at that window
    const char* line;
    Activity level;
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

// Status window, #room (bob is in it) and a query window with bob, each with its activity cleared.
struct ThreeWindows : WindowsFixture {
    void SetUp() override
    {
        Online();
        Receive(":me!u@h JOIN #room");
        Receive(":irc.test 353 me = #room :me");
        Receive(":irc.test 366 me #room :End of /NAMES list.");
        Receive(":bob!b@h JOIN #room");
        Receive(":bob!b@h PRIVMSG me :open");
        ASSERT_EQ(childs.Count(), 3);
        ASSERT_NE(childs.Item(kQuery)->Query(), nullptr);
        for (std::int32_t index = 1; index <= childs.Count(); ++index) {
            View(index).Events.Activate.raise();
        }
    }
};

struct ActivityRules : ThreeWindows, testing::WithParamInterface<Row> {};

TEST_P(ActivityRules, LineKindWindowKindAndActiveGiveTheLevel)
{
    const Row& row = GetParam();
    View(row.window).Events.Activate.raise();
    if (!row.active) {
        View(row.window == kStatus ? kChannel : kStatus).Events.Activate.raise();
    }
    Receive(row.line);
    EXPECT_EQ(childs.Item(row.window)->ActivityLevel(), row.level);
    const auto& shown = View(row.window).activities;
    EXPECT_EQ(shown.empty() ? Activity::None : shown.back(), row.level) << "the view shows what the core holds";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ActivityRules,
    testing::Values(
        Row{"ChannelMessage", kChannel, false, ":bob!b@h PRIVMSG #room :hello", Activity::Messages},
        Row{"ChannelMessageWhileLooking", kChannel, true, ":bob!b@h PRIVMSG #room :hello", Activity::None},
        Row{"ChannelNotice", kChannel, false, ":bob!b@h NOTICE #room :note", Activity::Messages},
        Row{"ChannelAction", kChannel, false,
            ":bob!b@h PRIVMSG #room :\x01"
            "ACTION waves\x01",
            Activity::Messages},
        Row{"OwnNickAnyCase", kChannel, false, ":bob!b@h PRIVMSG #room :hey ME, look", Activity::Highlight},
        Row{"OwnNickAtTheEnd", kChannel, false, ":bob!b@h PRIVMSG #room :thanks me", Activity::Highlight},
        Row{"OwnNickInAnAction", kChannel, false,
            ":bob!b@h PRIVMSG #room :\x01"
            "ACTION pokes me\x01",
            Activity::Highlight},
        Row{"OwnNickAfterAColourCode", kChannel, false,
            ":bob!b@h PRIVMSG #room :\x03"
            "04,12me\x03 red",
            Activity::Highlight},
        Row{"OwnNickInANotice", kChannel, false, ":bob!b@h NOTICE #room :me: look", Activity::Highlight},
        Row{"OwnNickInsideAWord", kChannel, false, ":bob!b@h PRIVMSG #room :meme time", Activity::Messages},
        Row{"OwnNickWithANickCharacter", kChannel, false, ":bob!b@h PRIVMSG #room :me_ and me|away",
            Activity::Messages},
        Row{"OwnNickWhileLooking", kChannel, true, ":bob!b@h PRIVMSG #room :me!", Activity::None},
        Row{"Join", kChannel, false, ":carol!c@h JOIN #room", Activity::Events},
        Row{"Part", kChannel, false, ":bob!b@h PART #room :bye", Activity::Events},
        Row{"Quit", kChannel, false, ":bob!b@h QUIT :gone", Activity::Events},
        Row{"NickChange", kChannel, false, ":bob!b@h NICK bobby", Activity::Events},
        Row{"Topic", kChannel, false, ":bob!b@h TOPIC #room :new", Activity::Events},
        Row{"Kick", kChannel, false, ":bob!b@h KICK #room bob :out", Activity::Events},
        Row{"Mode", kChannel, false, ":bob!b@h MODE #room +v carol", Activity::Events},
        Row{"ServerMode", kChannel, false, ":irc.test MODE #room +n", Activity::Events},
        Row{"OwnMode", kChannel, false, ":me!u@h MODE #room +m", Activity::None},
        Row{"OwnTopic", kChannel, false, ":me!u@h TOPIC #room :mine", Activity::None},
        Row{"OwnNickChange", kChannel, false, ":me!u@h NICK me2", Activity::None},
        Row{"QueryMessage", kQuery, false, ":bob!b@h PRIVMSG me :psst", Activity::Highlight},
        Row{"QueryNotice", kQuery, false, ":bob!b@h NOTICE me :psst", Activity::Highlight},
        Row{"QueryMessageWhileLooking", kQuery, true, ":bob!b@h PRIVMSG me :psst", Activity::None},
        Row{"StatusServerNotice", kStatus, false, ":irc.test NOTICE me :maintenance", Activity::Events},
        Row{"StatusUnknownReply", kStatus, false, ":irc.test 999 me :odd", Activity::Events},
        Row{"StatusNickChange", kStatus, false, ":bob!b@h NICK bobby", Activity::Events},
        Row{"StatusOwnNickChange", kStatus, false, ":me!u@h NICK me2", Activity::None},
        Row{"StatusWhileLooking", kStatus, true, ":irc.test NOTICE me :maintenance", Activity::None}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

using Levels = std::vector<Activity>;

TEST_F(ActivityRules, OnlyRisesAndActivatingClearsIt)
{
    View(kStatus).Events.Activate.raise();
    auto& shown = View(kChannel).activities;
    shown.clear();
    Receive(":carol!c@h JOIN #room");
    Receive(":bob!b@h PRIVMSG #room :one");
    Receive(":bob!b@h PRIVMSG #room :two");
    Receive(":carol!c@h PART #room");
    EXPECT_EQ(childs.Item(kChannel)->ActivityLevel(), Activity::Messages);
    Receive(":bob!b@h PRIVMSG #room :me?");
    Receive(":bob!b@h PRIVMSG #room :three");
    EXPECT_EQ(shown, (Levels{Activity::Events, Activity::Messages, Activity::Highlight}));
    View(kChannel).Events.Activate.raise();
    EXPECT_EQ(childs.Item(kChannel)->ActivityLevel(), Activity::None);
    EXPECT_EQ(shown.back(), Activity::None);
    // Activating what holds nothing shows nothing again.
    View(kStatus).Events.Activate.raise();
    View(kChannel).Events.Activate.raise();
    EXPECT_EQ(shown.size(), 4U);
}

TEST_F(ActivityRules, OwnLinesTypedOrEchoedRaiseNothing)
{
    View(kStatus).Events.Activate.raise();
    View(kStatus).Type("/msg bob hi there");
    View(kStatus).KeyDown(13);
    EXPECT_EQ(Sent(), std::vector<std::string>{"PRIVMSG bob :hi there"});
    // The server's echo of it, and a line said from another client of the same account.
    Receive(":me!u@h PRIVMSG bob :hi there");
    EXPECT_EQ(Lines(kQuery).back(), "# <me> hi there");
    app.Echo(kChannel, "a script's line");
    EXPECT_EQ(childs.Item(kChannel)->ActivityLevel(), Activity::None);
    EXPECT_EQ(childs.Item(kQuery)->ActivityLevel(), Activity::None);
}

TEST(HighlightWords, TheSettingsWordsAsWholeWordsAnyCase)
{
    struct Case {
        const char* words;
        const char* line;
        bool named;
    };
    const std::vector<Case> cases = {
        {"tellix urgent", "URGENT: the build", true},
        {"tellix urgent", "is Tellix up?", true},
        {"tellix urgent", "tellixes are many", false},
        {"  tellix\turgent  ", "urgent", true},
        {"", "nothing to find", false},
        {"[x]", "look at [X] now", true},
        {"bob", "bob's", true},
        {"bob", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Highlight(c.words).Names(c.line, ""), c.named) << c.words << " / " << c.line;
    }
    EXPECT_TRUE(Highlight("").Names("hi Me", "me"));
    EXPECT_FALSE(Highlight("").Names("hi Me", ""));
}

// The own nick inside longer words is no highlight; after a colour code's digits it is one.
// Lines are read sixteen bytes at a time, so the nick also stands at the edges of such a run;
// nicks of one letter, long nicks and nick characters that fold like letters are tried too,
// and so are lines longer than a message usually is.
TEST(HighlightWords, TheOwnNickAsAWordOnly)
{
    const struct {
        const char* nick;
        const char* line;
        bool named;
    } rows[] = {
        {"me", "message with some text", false},
        {"me", "MEssage", false},
        {"me", "me: look", true},
        {"me", "memo for me", true},
        {"me",
         "\x03"
         "04me in red",
         true},
        {"me",
         "\x03"
         "04,12me on blue",
         true},
        {"me", "2me", false},
        {"me", "me_ and xme", false},
        {"me", "[me]", false}, // nick characters belong to the word
        {"me", "me", true},
        {"me", "abcdefghijklmn Me", true},  // across a run of sixteen bytes
        {"me", "abcdefghijklmno me", true}, // starting the next run
        {"me", "abcdefghijklmno mex", false},
        {"me", "abcdefghijklmnopq mE", true},
        {"me", "abcdefghijklmnopq m", false}, // cut off by the line's end
        {"Bob", "hello bOB!", true},
        {"b", "a b c", true},
        {"b", "abc bb", false},
        {"`x", "@x here", false}, // only letters fold
        {"`x", "hi `X", true},
        {"{a}", "say [a] and {A}", true},
        {"{a}", "say [a]", false},
        {"longnick", "long", false},
        {"averyveryverylongnick", "hi averyveryverylongnick!", true},
        {"averyveryverylongnick", "hi averyveryverylongnicks", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Highlight("").Names(row.line, row.nick), row.named) << row.nick << " / " << row.line;
    }
    const std::string padding(600, 'x');
    EXPECT_TRUE(Highlight("").Names(padding + " me", "me"));
    EXPECT_FALSE(Highlight("").Names(padding + " mex", "me"));
}

TEST(HighlightWords, ReadFromTheSettingsAtStart)
{
    RecordingToolkit toolkit;
    toolkit.settings.SaveSetting(SettingsAppName(), std::string(settings::Section),
                                 std::string(settings::HighlightWords), "deploy tellix");
    RecordingSocketFactory sockets;
    Application app{toolkit, sockets};
    const auto connection = app.Connections().Item(1);
    RecordingSocket& socket = *sockets.created.back();
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    socket.PeerSends(":irc.test 001 me :Welcome\r\n:me!u@h JOIN #room\r\n:bob!b@h PRIVMSG #room :the deploy\r\n");
    Childs& childs = *app.Childs();
    ASSERT_EQ(childs.Count(), 2);
    EXPECT_EQ(childs.Item(2)->ActivityLevel(), Activity::Highlight);
}

} // namespace
struct StyleRow {
    const char* name;
    std::int32_t window;
    const char* line;
    LineStyle::Kind kind;
    bool own;
    bool highlight;
    const char* nick; // the bytes the style marks as the sender's nick
    const char* text; // from where it says the text starts
};

void PrintTo(const StyleRow& row, std::ostream* out)
{
    *out << row.name;
}

struct LineStyles : ThreeWindows, testing::WithParamInterface<StyleRow> {};

// The view is told how each line reads, whether or not the user looks at the window.
TEST_P(LineStyles, TheCoreSaysHowALineReads)
{
    const StyleRow& row = GetParam();
    View(row.window).Events.Activate.raise();
    RecordingChildView& view = View(row.window);
    view.styles.clear();
    Receive(row.line);
    ASSERT_EQ(view.styles.size(), 1U);
    const LineStyle& style = view.styles.back();
    const std::string line = view.Lines().back();
    EXPECT_EQ(style.kind, row.kind);
    EXPECT_EQ(style.own, row.own);
    EXPECT_EQ(style.highlight, row.highlight);
    ASSERT_LE(style.nickStart + style.nickLength, line.size());
    EXPECT_EQ(line.substr(style.nickStart, style.nickLength), row.nick);
    ASSERT_LE(style.textStart, line.size());
    EXPECT_EQ(line.substr(style.textStart), row.text);
}

using Kind = LineStyle::Kind;

INSTANTIATE_TEST_SUITE_P(
    Table, LineStyles,
    testing::Values(
        StyleRow{"Message", kChannel, ":bob!b@h PRIVMSG #room :hello there", Kind::Message, false, false, "bob",
                 "hello there"},
        StyleRow{"Action", kChannel,
                 ":bob!b@h PRIVMSG #room :\x01"
                 "ACTION waves\x01",
                 Kind::Action, false, false, "bob", "waves"},
        StyleRow{"OtherRequest", kChannel,
                 ":bob!b@h PRIVMSG #room :\x01"
                 "PING 1\x01",
                 Kind::Message, false, false, "bob", "PING 1]"},
        StyleRow{"Notice", kChannel, ":bob!b@h NOTICE #room :psst", Kind::Notice, false, false, "bob", "psst"},
        StyleRow{"NamesOwnNick", kChannel, ":bob!b@h PRIVMSG #room :me: look", Kind::Message, false, true, "bob",
                 "me: look"},
        StyleRow{"NoticeNamingOwnNick", kChannel, ":bob!b@h NOTICE #room :ME?", Kind::Notice, false, true, "bob",
                 "ME?"},
        StyleRow{"OwnLine", kChannel, ":me!u@h PRIVMSG #room :hi me", Kind::Message, true, false, "me", "hi me"},
        StyleRow{"OwnEchoInQuery", kQuery, ":me!u@h PRIVMSG bob :sure", Kind::Message, true, false, "me", "sure"},
        StyleRow{"QueryMessage", kQuery, ":bob!b@h PRIVMSG me :psst", Kind::Message, false, true, "bob", "psst"},
        StyleRow{"QueryNotice", kQuery, ":bob!b@h NOTICE me :psst", Kind::Notice, false, true, "bob", "psst"},
        StyleRow{"Join", kChannel, ":carol!c@h JOIN #room", Kind::Event, false, false, "",
                 "*** carol (c@h) joined channel #room"},
        StyleRow{"Quit", kChannel, ":bob!b@h QUIT :bye", Kind::Event, false, false, "",
                 "*** bob (b@h) Quit (bye)"}),
    [](const testing::TestParamInfo<StyleRow>& info) { return std::string(info.param.name); });

TEST_F(LineStyles, AnOwnQueryLineTypedIsOwn)
{
    View(kQuery).Events.Activate.raise();
    View(kQuery).styles.clear();
    View(kQuery).Type("who's there?");
    View(kQuery).KeyDown(13);
    ASSERT_EQ(View(kQuery).styles.size(), 1U);
    EXPECT_TRUE(View(kQuery).styles.back().own);
    EXPECT_FALSE(View(kQuery).styles.back().highlight);
    const std::string line = View(kQuery).Lines().back();
    EXPECT_EQ(line.substr(View(kQuery).styles.back().textStart), "who's there?");
}

} // namespace tellix::test
