// The application's life: start-up in its order, the first-use mark, the menus, and the end.
#include "app/Application.h"
#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "net/IRCConnection.h"
#include "support/RecordingSocket.h"
#include "support/RecordingToolkit.h"
#include "windows/Childs.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

struct Life : testing::Test {
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;

    void Store(const std::string& key, const std::string& value, const std::string& app = SettingsAppName())
    {
        toolkit.settings.values[{app, "Main", key}] = value;
    }
    // As the entry procedure does.
    Application& Start()
    {
        Application::Instance() = std::make_shared<Application>(toolkit, sockets);
        return *Application::Instance();
    }
    // Started and welcomed as anna, after `lines` from the server; what is sent from then on
    // goes to `sent`, as the socket is given it.
    Application& StartOnline(const std::string& lines, std::vector<std::string>& sent)
    {
        Store("First Use", "0");
        Application& app = Start();
        const auto connection = app.Connections().Item(1);
        connection->InitialNick("anna");
        connection->Connect("irc.example", 6667);
        RecordingSocket& socket = *sockets.created.back();
        socket.PeerConnects();
        socket.PeerSends(":irc.example 001 anna :Welcome\r\n" + lines);
        socket.onSend = [&sent](std::string_view bytes) { sent.emplace_back(bytes); };
        return app;
    }
    ~Life() override { Application::Instance().reset(); }
};

TEST_F(Life, StartUpShowsTheCaptionedMainWindowWithTheStatusWindowAtTheTopLeft)
{
    Application& app = Start();
    EXPECT_EQ(toolkit.log,
              (std::vector<std::string>{"main window caption " + MainCaption(), "main window shown"}));
    EXPECT_EQ(MainCaption(), "Tellix - Dorvan's IRC Client 0.6.0");
    ASSERT_EQ(app.Childs()->Count(), 1);
    const auto& status = *static_cast<RecordingChildView*>(app.Childs()->Item(1)->Window());
    EXPECT_EQ(status.position, (std::pair<std::int32_t, std::int32_t>{0, 0}));
    EXPECT_EQ(status.state, WindowState::Normal);
    EXPECT_EQ(app.Connections().Count(), 1);
    EXPECT_EQ(app.Window(), toolkit.mainWindow);
}

TEST_F(Life, OnlyAStoredZeroKeepsTheConnectDialogHidden)
{
    struct Row {
        std::optional<std::string> firstUse;
        bool shown;
    };
    for (const Row& row :
         std::vector<Row>{{std::nullopt, true}, {"1", true}, {"00", true}, {"", true}, {"0", false}}) {
        SCOPED_TRACE(row.firstUse.value_or("(none)"));
        toolkit.settings.values.clear();
        if (row.firstUse) {
            Store("First Use", *row.firstUse);
        }
        Application& app = Start();
        EXPECT_EQ(app.Childs()->ConnectDialog()->Visible(), row.shown);
        Application::Instance().reset();
    }
    // A program of another minor version keeps its settings apart.
    toolkit.settings.values.clear();
    Store("First Use", "0", "Tellix05");
    Store("Default User Nick", "old", "Tellix05");
    Application& app = Start();
    EXPECT_TRUE(app.Childs()->ConnectDialog()->Visible());
    EXPECT_EQ(app.Childs()->ConnectDialog()->UserNick(), "user|Tellix");
}

TEST_F(Life, ExitClientSavesTheConnectDataThenMarksFirstUseAndLetsEverythingGo)
{
    Application& app = Start();
    app.Childs()->ConnectDialog()->UserNick("joe");
    toolkit.log.clear();
    EXPECT_TRUE(app.ExitClient());
    EXPECT_EQ(Application::Instance(), nullptr);
    EXPECT_EQ(toolkit.settings.written,
              (std::vector<std::string>{
                  // What is open, kept first, while the connections are still up.
                  "Connections=1", "Connection 0=0 0 0 - - -", "Windows=1", "Window 0=0 s 0 - - - - - -",
                  "Active Window=-1", "Default Server=irc.libera.chat", "Default User Nick=joe",
                  "Default User Name=Tellix_user", "Default User Description=Tellix user",
                  "Default User Invisible=1", "Default User WallOp=0", "Default Server Port=6697",
                  "Default Server TLS=1", "Default Account Name=", "Default Client Certificate=",
                  "Default Reconnect=0", "Default Continue Unidentified=0", "First Use=0"}));
    EXPECT_EQ(toolkit.log,
              (std::vector<std::string>{"main window hidden", "main window unloaded", "main window destroyed"}));
    EXPECT_TRUE(toolkit.views.empty());
    // The next start remembers both.
    Application& next = Start();
    EXPECT_FALSE(next.Childs()->ConnectDialog()->Visible());
    EXPECT_EQ(next.Childs()->ConnectDialog()->UserNick(), "joe");
}

TEST_F(Life, ClosingTheMainWindowEndsTheProgramAndTheProgramsOwnUnloadDoesNot)
{
    Start();
    RecordingMainWindowView& window = *toolkit.mainWindow;
    bool cancel = false;
    window.Events.QueryUnload.raise(cancel, 1);
    EXPECT_FALSE(cancel);
    ASSERT_NE(Application::Instance(), nullptr);
    // Closing the status window alone is refused; closing the main window takes everything.
    EXPECT_FALSE(
        static_cast<RecordingChildView*>(Application::Instance()->Childs()->Item(1)->Window())->UserCloses());
    EXPECT_TRUE(window.CloseRequested());
    EXPECT_EQ(Application::Instance(), nullptr);
    EXPECT_EQ(toolkit.settings.written.back(), "First Use=0");
    EXPECT_TRUE(toolkit.views.empty());
}

TEST_F(Life, FileExitEndsTheProgramFromItsOwnMenu)
{
    Start();
    toolkit.mainWindow->Events.mnuFileExit_Click.raise();
    EXPECT_EQ(Application::Instance(), nullptr);
    EXPECT_EQ(toolkit.settings.written.back(), "First Use=0");
}

TEST_F(Life, TheWindowMenuBringsTheOneDialogForwardAndHelpShowsTheAboutBox)
{
    Store("First Use", "0");
    Application& app = Start();
    ConnectDialog& dialog = *app.Childs()->ConnectDialog();
    auto& view = *static_cast<RecordingConnectDialogView*>(dialog.Window());
    EXPECT_FALSE(view.visible);
    toolkit.mainWindow->Events.mnuWindowConnectDlg_Click.raise();
    toolkit.mainWindow->Events.mnuWindowConnectDlg_Click.raise();
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.broughtToFront, 2);
    EXPECT_EQ(toolkit.dialogs.size(), 1u);

    toolkit.mainWindow->Events.mnuHelpAbout_Click.raise();
    ASSERT_EQ(toolkit.mainWindow->aboutBoxes.size(), 1u);
    const auto& box = toolkit.mainWindow->aboutBoxes.front();
    EXPECT_EQ(box.title, MainCaption());
    EXPECT_EQ(box.caption, MainCaption());
    EXPECT_EQ(box.lines,
              (std::vector<std::string>{std::string(LegalCopyright), std::string(AuthorLine),
                                        "[IRC stands for Internet Relay Chat.",
                                        "It's a form of communicating with people over the Internet.]"}));
}

TEST_F(Life, AnAddressConnectsWithTheDialogsDataAndJoinsItsChannelOnceWelcomed)
{
    Store("First Use", "0");
    Store("Default User Nick", "anna");
    Store("Default User Name", "ann");
    Store("Default User Description", "Anna Lee");
    Store("Default User WallOp", "1");
    Application& app = Start();
    app.OpenAddress("irc.example", 6697, "#room");
    RecordingSocket& socket = *sockets.created.back();
    EXPECT_EQ(socket.host, "irc.example");
    EXPECT_EQ(socket.port, 6697);
    ASSERT_EQ(socket.connectCalls, 1);
    socket.PeerConnects();
    EXPECT_EQ(socket.sent,
              (std::vector<std::string>{"CAP LS 302\r\n", "NICK anna\r\n", "USER ann 12 * :Anna Lee\r\n"}));
    socket.PeerSends(":irc.example 001 anna :Welcome\r\n");
    ASSERT_EQ(socket.sent.size(), 4u);
    EXPECT_EQ(socket.sent.back(), "JOIN :#room\r\n");
    // Only the first welcome after the address joins.
    socket.PeerSends(":irc.example 001 anna :Welcome\r\n");
    EXPECT_EQ(socket.sent.size(), 4u);

    // A connection that closes before its welcome leaves nothing to join on a later one.
    app.OpenAddress("irc.example", 6697, "#other");
    socket.PeerCloses();
    app.Connections().Item(1)->Connect("irc.example", 0);
    socket.PeerConnects();
    socket.sent.clear();
    socket.PeerSends(":irc.example 001 anna :Welcome\r\n");
    EXPECT_TRUE(socket.sent.empty());
}

TEST_F(Life, AnAddressOnAFirstStartConnectsAndPutsTheDialogAway)
{
    Application& app = Start();
    ASSERT_TRUE(app.Childs()->ConnectDialog()->Visible()) << "shown on a first start";
    app.OpenAddress("irc.example", 6697, "#room");
    EXPECT_EQ(sockets.created.back()->connectCalls, 1);
    EXPECT_FALSE(app.Childs()->ConnectDialog()->Visible());
}

TEST_F(Life, ExitingWhileConnectedSaysGoodbyeWithTheQuitMessageBeforeAnythingCloses)
{
    // The socket goes with the program: what it was given is recorded as it is sent.
    std::vector<std::string> sent;
    Application& app = StartOnline(":anna!a@h JOIN :#room\r\n", sent);
    ASSERT_EQ(app.Childs()->Count(), 2);
    EXPECT_TRUE(app.ExitClient());
    // The window closing on the way out parts once; the channel going with the connection
    // does not part again.
    EXPECT_EQ(sent, (std::vector<std::string>{"QUIT :Tellix 0.6\r\n", "PART #room :\r\n"}));
}

TEST_F(Life, AGoodbyeAlreadySaidIsNotSaidAgainOnExit)
{
    std::vector<std::string> sent;
    Application& app = StartOnline("", sent);
    ASSERT_TRUE(app.ProcessCommand("QUIT see you", true, 1));
    EXPECT_TRUE(app.ExitClient());
    EXPECT_EQ(sent, (std::vector<std::string>{"QUIT :see you\r\n"}));
}

TEST_F(Life, AnAddressWithIncompleteConnectDataSaysSoAndShowsTheDialog)
{
    Store("First Use", "0");
    Store("Default User Nick", "two words");
    Application& app = Start();
    const int attempts = sockets.created.back()->connectCalls;
    app.OpenAddress("irc.example", 0, "");
    EXPECT_EQ(sockets.created.back()->connectCalls, attempts);
    EXPECT_TRUE(app.Childs()->ConnectDialog()->Visible());
    const auto& status = *static_cast<RecordingChildView*>(app.Childs()->Item(1)->Window());
    EXPECT_NE(status.text.find("] *** Cannot connect to irc.example: the connect dialog needs a nick, a user name "
                               "and a description."),
              std::string::npos)
        << status.text;
    EXPECT_TRUE(app.Connections().Item(1)->InitialNick().empty());
}

} // namespace
} // namespace tellix::test
