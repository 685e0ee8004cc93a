// One window: its log, caption, layout, nick list, closing and deleting.
#include "WindowsFixture.h"

#include "app/Settings.h"
#include "platform/LogFiles.h"

namespace tellix::test {
namespace {

using ChildWindow = WindowsFixture;

TEST_F(ChildWindow, EchoStampsEachLineAndFollowsTheEndOnlyWhileTheCaretIsThere)
{
    const auto status = childs.Item(1);
    RecordingChildView& view = View(1);
    status->Echo("first");
    EXPECT_EQ(view.text, "[12:34:56] first");
    EXPECT_EQ(view.selStart, static_cast<std::int64_t>(view.text.size()));

    status->Echo("second\r\nwrapped by the sender");
    EXPECT_EQ(view.text, "[12:34:56] first\r\n[12:34:56] second\r\nwrapped by the sender");
    EXPECT_EQ(view.selStart, static_cast<std::int64_t>(view.text.size()));
    EXPECT_EQ(view.selLength, 0);

    // The user selects "first": it stays selected while lines come.
    view.SetSelection(11, 5);
    status->Echo("third");
    EXPECT_EQ(view.selStart, 11);
    EXPECT_EQ(view.selLength, 5);
    // A caret elsewhere with nothing selected stays too.
    view.SetSelection(3, 0);
    status->Echo("fourth");
    EXPECT_EQ(view.selStart, 3);
    // Back at the end, the log follows again.
    view.SetSelection(static_cast<std::int64_t>(view.text.size()), 0);
    status->Echo("fifth");
    EXPECT_EQ(view.selStart, static_cast<std::int64_t>(view.text.size()));
    EXPECT_EQ(Lines(1).back(), "fifth");
}

TEST_F(ChildWindow, EveryNewWindowGetsTheStoredScrollbackLimitOrTheDefault)
{
    struct Case {
        const char* stored; // nullptr: no value at all
        std::int64_t lines;
    };
    const std::vector<Case> cases = {
        {nullptr, 100'000},
        {"250000", 250'000},
        {" 5000 ", 5'000},
        {"", 100'000},
        {"lots", 100'000},
        {"12k", 100'000},
        {"2.5", 100'000},
        {"0", 1'000},
        {"-40", 1'000},
        {"999999999", 1'000'000},
        {"99999999999999999999999", 1'000'000},
    };
    const MemorySettingsStore::Address key{SettingsAppName(), "Main", "Scrollback Lines"};
    for (const Case& c : cases) {
        if (c.stored != nullptr) {
            toolkit.settings.values[key] = c.stored;
        } else {
            toolkit.settings.values.erase(key);
        }
        const auto window = childs.Add(false);
        EXPECT_EQ(View(window->Index()).scrollbackLines, c.lines) << (c.stored != nullptr ? c.stored : "(none)");
    }
}

TEST_F(ChildWindow, CaptionsFollowIndexConnectionChannelAndQuery)
{
    const auto window = childs.Add(false);
    EXPECT_EQ(View(1).caption, "1 - not connected - status");
    EXPECT_EQ(View(2).caption, "2 - not connected - no channel");
    Online();
    // Refreshed when the welcome reply named the own nick.
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel");
    const auto anna = connection->Users()->Add("anna!a@h");
    window->Query(anna);
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel - anna");
    Receive(":me!u@h JOIN #test");
    window->Channel(connection->Channels()->Item("#test"));
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - #test - anna");
    window->Channel(nullptr);
    window->Query(nullptr);
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - no channel");
    EXPECT_EQ(window->DefaultCommand(), "SAY");
}

TEST_F(ChildWindow, LayoutPlacesLogNickListAndInputLineInLayoutUnits)
{
    struct Row {
        double width, height;
        RecordingChildView::Place output, users, input;
    };
    const RecordingChildView::Place none;
    const std::vector<Row> rows = {
        {600, 400, {0, 0, 400, 376}, {400, 0, 199, 376}, {0, 376, 600, 12}},
        {600.4, 399.6, {0, 0, 400, 376}, {400, 0, 199, 376}, {0, 376, 600, 12}},
        {200, 400, none, {0, 0, 199, 376}, {0, 376, 200, 12}},
        {150, 24, none, none, {0, 0, 150, 12}},
        {0, 24, none, none, none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height);
        const auto window = childs.Add(false);
        RecordingChildView& view = *static_cast<RecordingChildView*>(window->Window());
        view.output = view.users = view.input = none;
        view.clientWidth = row.width;
        view.clientHeight = row.height;
        view.Events.Resize.raise();
        EXPECT_EQ(view.output, row.output);
        EXPECT_EQ(view.users, row.users);
        EXPECT_EQ(view.input, row.input);
    }
    // Minimized, nothing moves.
    RecordingChildView& view = View(2);
    view.state = WindowState::Minimized;
    view.clientWidth = 900;
    view.output = none;
    view.Events.Resize.raise();
    EXPECT_EQ(view.output, none);
}

TEST_F(ChildWindow, NickListMatchesExactlyAndFindsTheFirstEntry)
{
    const auto window = childs.Add(false);
    window->AddNick("anna");
    window->AddNick("bob");
    window->AddNick("anna");
    window->AddNick("Anna");
    EXPECT_EQ(Nicks(2), (std::vector<std::string>{"anna", "bob", "Anna"}));
    window->RenameNick("bob", "anna");
    EXPECT_EQ(window->FindNick("anna"), 0);
    window->RemoveNick("anna");
    EXPECT_EQ(window->FindNick("anna"), 0); // the renamed one, now first
    window->RenameNick("nobody", "x");
    window->RemoveNick("ANNA");
    EXPECT_EQ(Nicks(2), (std::vector<std::string>{"anna", "Anna"}));
    window->RemoveNick("anna");
    window->RemoveNick("Anna");
    EXPECT_EQ(window->FindNick("anna"), -1);
    EXPECT_EQ(Nicks(2), std::vector<std::string>{});
}

TEST_F(ChildWindow, TheStatusWindowRefusesToCloseAndOthersAreDeleted)
{
    const auto other = childs.Add(false);
    EXPECT_FALSE(View(1).UserCloses());
    EXPECT_EQ(Lines(1), Texts{"Attempt to close status window!"});
    EXPECT_EQ(childs.Count(), 2);

    RecordingChildView* otherView = &View(2);
    EXPECT_TRUE(otherView->UserCloses());
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(other->Index(), -1);
    EXPECT_EQ(other->Parent(), nullptr);
    EXPECT_EQ(toolkit.views.size(), 1u); // its form is gone
}

TEST_F(ChildWindow, DeleteAskedAgainWhileItRunsDoesNothing)
{
    const auto window = childs.Add(false);
    bool nested = true;
    Subscription inner = window->Window()->Events.QueryUnload.connect(
        [&](bool&, std::int32_t mode) { nested = mode == 1 ? window->Delete(false) : nested; });
    EXPECT_TRUE(window->Delete(false));
    EXPECT_FALSE(nested);
    EXPECT_EQ(childs.Count(), 1);
}

TEST_F(ChildWindow, DeletingAChannelWindowPartsOnlyWhenNoOtherWindowShowsTheChannel)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    const auto channel = connection->Channels()->Item("#room");
    const auto second = childs.Add(false);
    second->Channel(channel);
    EXPECT_EQ(childs.Item(channel), childs.Item(2));
    ASSERT_TRUE(childs.Item(2)->Delete(true));
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_EQ(childs.Item(channel), second);
    EXPECT_EQ(second->Index(), 2);
    ASSERT_TRUE(second->Delete(true));
    EXPECT_EQ(socket.sent, std::vector<std::string>{"PART #room :\r\n"});
    EXPECT_EQ(childs.Item(channel), nullptr);
}

TEST_F(ChildWindow, ActivatingSetsTheActiveWindowAndDeletingItClearsIt)
{
    const auto window = childs.Add(false);
    EXPECT_EQ(childs.Active(), nullptr);
    View(2).Events.Activate.raise();
    EXPECT_EQ(childs.Active(), window);
    app.Echo(0, "to the active window");
    EXPECT_EQ(Lines(2), Texts{"to the active window"});
    window->Delete(false);
    EXPECT_EQ(childs.Active(), nullptr);
    app.Echo(0, "nowhere");
    app.Echo(7, "nowhere either");
    app.Echo(-1, "nor here");
    EXPECT_EQ(Lines(1), Texts{});
}

TEST_F(ChildWindow, AWindowDeletedByAListenerOfItsOwnChannelStopsWriting)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    // A listener closes the window on the collection's event, before the channel raises its own.
    Subscription closer = app.Connections().Events.ChannelPrivMsg.connect(
        [&](const auto&, const auto&, const auto&, const std::string& text) {
            if (text == "close") {
                childs.Item(2)->CloseWindow(true);
            }
        });
    Receive(":anna!a@h PRIVMSG #room :close");
    Receive(":anna!a@h PRIVMSG #room :after");
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(NewLines(1).back(), "#room: <anna> after");
    // The status window closing itself from a listener is refused and the line goes on.
    Subscription refuser = app.Connections().Events.UserQuit.connect(
        [&](const auto&, const auto&, const std::string&) { childs.Item(1)->CloseWindow(true); });
    Receive(":anna!a@h QUIT :bye");
    EXPECT_EQ(NewLines(1), (Texts{"*** anna (a@h) Quit (bye)", "Attempt to close status window!"}));
}

// Logs that fail at a line starting "-irc.test- x" and say so at once, before they take it: the
// failure is written in the status window while that window is still echoing the line.
struct FailingAtOnce final : LogFiles {
    std::vector<std::string> shown;
    bool told = false;
    void Append(std::string_view, std::string_view) override {}
    void AppendLine(std::string_view, std::string_view, std::string_view line) override
    {
        if (!told && line.starts_with("-irc.test- x") && Trouble) {
            told = true;
            Trouble("disk full");
        }
        shown.emplace_back(line);
    }
    void Flush() override {}
    std::vector<std::string> LastLines(std::string_view, std::size_t) override { return {}; }
    std::string Root() const override { return "/logs"; }
};

TEST(ChildWindowLogs, ALineEchoedWhileALineIsEchoedLeavesBothWhole)
{
    FailingAtOnce logs;
    RecordingToolkit toolkit;
    toolkit.logFiles = &logs;
    RecordingSocketFactory sockets;
    Application app{toolkit, sockets};
    IRCConnection& connection = *app.Connections().Item(1);
    connection.InitialNick("me");
    connection.Connect("irc.test", 6667);
    sockets.created.back()->PeerConnects();
    const std::string line(5000, 'x'); // longer than a window keeps its line buffer
    sockets.created.back()->PeerSends(":irc.test NOTICE me :" + line + "\r\n");
    ASSERT_TRUE(logs.told);
    EXPECT_EQ(logs.shown.back(), "-irc.test- " + line);
    const std::string& text = static_cast<RecordingChildView*>(app.Childs()->Item(1)->Window())->text;
    const std::string stamp = std::string("[") + RecordingToolkit::Time + "] ";
    EXPECT_NE(text.find(stamp + "-irc.test- " + line + "\r\n" + stamp + "Logging stopped: disk full"),
              std::string::npos);
    sockets.created.back()->PeerSends(":irc.test NOTICE me :short\r\n");
    EXPECT_EQ(logs.shown.back(), "-irc.test- short");
    EXPECT_TRUE(text.ends_with(stamp + "-irc.test- short"));
}

} // namespace
} // namespace tellix::test
