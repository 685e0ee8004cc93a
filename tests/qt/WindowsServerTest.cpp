// The windows in the Qt front-end against a real IRC server: what a user sees when others
// join, talk and leave.
#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The client as a person runs it: a main window with its document area, the status window
// in it, one connection.
struct Client {
    QTemporaryDir config; // the connect data saved at the end goes here
    QtToolkit toolkit;
    QtSocketFactory sockets;
    std::unique_ptr<Application> app;
    QMainWindow* mainWindow = nullptr;
    QMdiArea* area = nullptr;

    // With a layout, the windows share the area that way ("overlapping", "one at a time").
    explicit Client(const char* layout = nullptr)
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        if (layout != nullptr) {
            toolkit.Settings().SaveSetting(SettingsAppName(), "Main", "Window Layout", layout);
        }
        app = std::make_unique<Application>(toolkit, sockets);
        mainWindow = toolkit.MainWindow()->Window();
        area = toolkit.MainWindow()->Area();
    }
    ~Client() { app.reset(); }

    IRCConnection& Connection() const { return *app->Connections().Item(1); }
    Childs& Windows() const { return *app->Childs(); }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(Windows().Item(index)->Window());
    }

    // The window's lines without their time stamps.
    std::vector<std::string> Lines(std::int32_t index) const
    {
        static const QRegularExpression stamp(QStringLiteral("^\\[[^\\]]+\\] "));
        std::vector<std::string> lines;
        for (QString line : View(index).Log()->HeldText().split(QStringLiteral("\r\n"))) {
            if (!line.isEmpty()) {
                lines.push_back(line.remove(stamp).toStdString());
            }
        }
        return lines;
    }
    bool Shows(std::int32_t index, const std::string& line) const
    {
        return PumpUntil([&] {
            if (Windows().Count() < index) {
                return false;
            }
            const auto lines = Lines(index);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }
    // The nick list as the list view shows it.
    std::vector<std::string> Nicks(std::int32_t index) const
    {
        const NickListModel& model = *View(index).UsersModel();
        std::vector<std::string> nicks;
        for (int row = 0; row < model.rowCount(); ++row) {
            nicks.push_back(model.data(model.index(row), Qt::DisplayRole).toString().toStdString());
        }
        return nicks;
    }
    bool Lists(std::int32_t index, const std::vector<std::string>& nicks) const
    {
        return PumpUntil([&] { return Windows().Count() >= index && Nicks(index) == nicks; });
    }
};

std::string MaskOf(IRCUsers& users, const std::string& nick)
{
    const auto user = users.Item(nick);
    return user ? std::string(user->User()) + "@" + std::string(user->Host()) : "?";
}

TEST(WindowsServer, ChannelAndQueryWindowsShowWhatOthersDo)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));

    Client client;
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    const std::string port = std::to_string(server.Port());
    ASSERT_TRUE(client.Shows(1, "Connected to Server " + server.Host() + ", Port " + port)) << server.Log();
    ASSERT_TRUE(PumpUntil([&] {
        const auto lines = client.Lines(1);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.starts_with("<- Server(" + server.Name() + "): [:" + server.Name() + " 001 me :");
        });
    }));

    connection.Channels()->Join("#room");
    ASSERT_TRUE(client.Shows(2, "*** joined channel #room"));
    EXPECT_EQ(client.View(2).SubWindow()->windowTitle().toStdString(), "2 - " + server.Name() + " (me) - #room");
    EXPECT_FALSE(client.View(2).SubWindow()->isMinimized());
    // Drawn ranked: anna, first in the channel, is its operator.
    ASSERT_TRUE(client.Lists(2, {"@anna", "me"}));
    EXPECT_TRUE(client.Shows(1, "*** joined channel #room"));
    const auto room = connection.Channels()->Item("#room");

    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(client.Lists(2, {"@anna", "bob", "me"}));
    EXPECT_TRUE(client.Shows(2, "*** bob (" + MaskOf(*room->Users(), "bob") + ") joined channel #room"));
    EXPECT_TRUE(client.Shows(1, "*** bob joined channel #room"));

    anna.Send("PRIVMSG #room :hello all");
    EXPECT_TRUE(client.Shows(2, "<anna> hello all"));
    anna.Send("PRIVMSG #room :\x01"
              "ACTION waves\x01");
    EXPECT_TRUE(client.Shows(2, "* anna waves"));
    anna.Send("NOTICE #room :psst");
    EXPECT_TRUE(client.Shows(2, "-anna- psst"));
    const std::string annaMask = MaskOf(*room->Users(), "anna");
    anna.Send("NICK anne");
    EXPECT_TRUE(client.Shows(2, "*** anna changed nick to anne"));
    EXPECT_TRUE(client.Lists(2, {"@anne", "bob", "me"}));
    anna.Send("TOPIC #room :new topic");
    EXPECT_TRUE(client.Shows(2, "*** anne changes topic to 'new topic'"));

    // A private message opens a minimized query window that shows it once.
    bob.Send("PRIVMSG me :just you");
    ASSERT_TRUE(client.Shows(3, "# <bob> just you"));
    EXPECT_EQ(client.View(3).State(), WindowState::Minimized);
    EXPECT_EQ(client.Lines(3), std::vector<std::string>{"# <bob> just you"});
    EXPECT_EQ(client.Nicks(3), std::vector<std::string>{});

    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        QGuiApplication::setWindowIcon(QtMainWindowView::Icon());
        client.mainWindow->showNormal();
        client.mainWindow->resize(1280, 800);
        client.Windows().Item(3)->Window()->SetState(WindowState::Normal);
        client.area->tileSubWindows();
        client.View(2).SetInputText("typing a reply, gjpqy");
        PumpFor(std::chrono::milliseconds(500));
        client.mainWindow->grab().save(QString::fromLocal8Bit(shot));
        if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
            PumpFor(std::chrono::milliseconds(std::atoi(pause)));
        }
    }

    bob.Send("PART #room :later");
    EXPECT_TRUE(
        client.Shows(2, "*** bob (" + MaskOf(*connection.Users(), "bob") + ") left channel #room (later)"));
    EXPECT_TRUE(client.Lists(2, {"@anne", "me"}));
    anna.Send("QUIT :gone");
    EXPECT_TRUE(PumpUntil([&] {
        const auto lines = client.Lines(2);
        return !lines.empty() && lines.back().starts_with("*** anne (" + annaMask + ") Quit (") &&
               lines.back().find("gone") != std::string::npos;
    }));
    EXPECT_TRUE(client.Lists(2, {"me"}));
    // The status window lists every user the connection still knows: bob only left the channel,
    // anne quit and is forgotten.
    EXPECT_TRUE(client.Lists(1, {"me", "bob"}));
}

TEST(WindowsServer, ClosingTheStatusWindowIsRefusedAndAChannelWindowPartsItsChannel)
{
    EnsureGuiApplication();
    IrcServer server;
    Client client;
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }));
    connection.Channels()->Join("#room");
    ASSERT_TRUE(client.Shows(2, "*** joined channel #room"));

    client.View(1).SubWindow()->close();
    EXPECT_TRUE(client.Shows(1, "Attempt to close status window!"));
    EXPECT_EQ(client.Windows().Count(), 2);

    client.View(2).SubWindow()->close();
    EXPECT_EQ(client.Windows().Count(), 1);
    // The server's answer to our part drops the channel.
    EXPECT_TRUE(client.Shows(1, "*** left channel #room ()"));
    EXPECT_TRUE(PumpUntil([&] { return connection.Channels()->Count() == 0; }));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(client.area->subWindowList().size(), 1);
}

// Past a few dozen windows a query window opens beside the area instead of as one more icon in
// it; it is still a minimized window to the core, listed in the Window menu, and shows all its
// lines once chosen there.
TEST(WindowsServer, AQueryWindowOpenedAmongManyComesBackWithAllItsLinesFromTheWindowMenu)
{
    EnsureGuiApplication();
    IrcServer server;
    Client client("overlapping");
    client.mainWindow->show();
    client.mainWindow->activateWindow();
    static_cast<void>(QTest::qWaitForWindowActive(client.mainWindow));
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }));
    while (client.Windows().Count() < 45) {
        client.Windows().Add(true);
    }
    const auto inArea = client.area->subWindowList().size();
    const std::int32_t before = client.Windows().Count();
    BringForward(*client.area, client.View(1).SubWindow());
    client.View(1).Input()->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return client.View(1).Input()->hasFocus(); }));

    RawPeer carl(server.Port());
    carl.Register("carl");
    carl.Send("PRIVMSG me :first");
    const std::int32_t query = before + 1;
    ASSERT_TRUE(client.Shows(query, "# <carl> first"));
    carl.Send("PRIVMSG me :second");
    carl.Send("PRIVMSG me :third");
    ASSERT_TRUE(client.Shows(query, "# <carl> third"));
    ChildView& window = *client.Windows().Item(query)->Window();
    EXPECT_EQ(window.State(), WindowState::Minimized);
    EXPECT_TRUE(window.Visible());
    EXPECT_LT(inArea, 45);
    EXPECT_EQ(client.area->subWindowList().size(), inArea); // nor does it hold the new one
    // The window in use keeps the activation and the keyboard.
    EXPECT_EQ(client.area->activeSubWindow(), client.View(1).SubWindow());
    EXPECT_EQ(client.Windows().Active()->Index(), 1);
    EXPECT_TRUE(client.View(1).Input()->hasFocus());

    QMenu* menu = nullptr;
    for (QAction* top : client.mainWindow->menuBar()->actions()) {
        if (top->text() == "&Window") {
            menu = top->menu();
        }
    }
    ASSERT_NE(menu, nullptr);
    QAction* item = nullptr;
    const QString caption = client.View(query).SubWindow()->windowTitle();
    EXPECT_TRUE(caption.startsWith(QString::number(query) + " - ")) << caption.toStdString();
    for (QAction* action : menu->actions()) {
        if (action->text() == caption) {
            item = action;
        }
    }
    ASSERT_NE(item, nullptr);
    item->trigger();
    QMdiSubWindow* const form = client.View(query).SubWindow();
    EXPECT_EQ(window.State(), WindowState::Normal);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(client.area->activeSubWindow(), form);
    EXPECT_EQ(client.Windows().Active()->Index(), query);
    EXPECT_EQ(client.Lines(query),
              (std::vector<std::string>{"# <carl> first", "# <carl> second", "# <carl> third"}));
    // Shown, it is laid out as every query window is: the log across the width, no nick list,
    // the input line along the bottom (a control left where it was made is 100 by 30 at the
    // top left).
    const QtChildView& view = client.View(query);
    EXPECT_TRUE(PumpUntil([&] { return view.Log()->isVisible() && view.Log()->width() > 100; }));
    EXPECT_TRUE(view.UsersView()->isHidden());
    EXPECT_EQ(view.Log()->width(), view.Log()->parentWidget()->width());
    EXPECT_GT(view.Input()->y(), view.Log()->y() + 100);
    EXPECT_TRUE(view.Input()->isVisible());
    // Its title bar has its menu again.
    ASSERT_NE(form->systemMenu(), nullptr);
    EXPECT_EQ(form->systemMenu()->actions().back()->text(), "&Close");
    carl.Send("PRIVMSG me :fourth");
    EXPECT_TRUE(client.Shows(query, "# <carl> fourth"));

    // A window the core opens in normal state among many is shown in the area at once, and one
    // that waits goes with its item when closed.
    client.Windows().Add(true);
    const std::int32_t waiting = client.Windows().Count();
    client.Windows().Add(false);
    const std::int32_t shown = client.Windows().Count();
    EXPECT_EQ(client.Windows().Item(shown)->Window()->State(), WindowState::Normal);
    EXPECT_TRUE(client.View(shown).SubWindow()->isVisible());
    EXPECT_EQ(client.View(shown).SubWindow()->mdiArea(), client.area);
    const auto items = menu->actions().size();
    client.Windows().Remove(waiting);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(menu->actions().size(), items - 1);
    EXPECT_EQ(client.Windows().Count(), shown - 1);
}

} // namespace
// A line that names the own nick is marked in the log; leaving the window and coming back
// after others spoke shows a marker where reading stopped.
TEST(WindowsServer, AHighlightIsMarkedAndTheMarkerLineShowsWhereReadingStoppedInAWindowOrTheProgram)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    Client client;
    client.mainWindow->show();
    client.mainWindow->activateWindow();
    static_cast<void>(QTest::qWaitForWindowActive(client.mainWindow));
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }));
    connection.Channels()->Join("#room");
    ASSERT_TRUE(client.Shows(2, "*** joined channel #room"));
    BringForward(*client.area, client.View(2).SubWindow());
    ASSERT_TRUE(PumpUntil([&] { return client.Windows().Active()->Index() == 2; }));

    bob.Send("PRIVMSG #room :hello all");
    bob.Send("PRIVMSG #room :ME: are you there?");
    ASSERT_TRUE(client.Shows(2, "<bob> ME: are you there?"));
    LogWidget& log = *client.View(2).Log();
    const std::int64_t last = log.LineCount() - 1;
    EXPECT_TRUE(log.StyleAt(last).highlight);
    EXPECT_FALSE(log.StyleAt(last - 1).highlight);
    EXPECT_EQ(log.StyleAt(last).kind, LineStyle::Kind::Message);
    const QString held = log.HeldText().split(QStringLiteral("\r\n")).at(last);
    const LineStyle style = log.StyleAt(last);
    EXPECT_EQ(held.mid(style.nickStart, style.nickLength), "bob");
    EXPECT_EQ(held.mid(style.textStart), "ME: are you there?");

    // Away to the status window and back, once bob said more.
    EXPECT_EQ(log.MarkerLine(), -1);
    BringForward(*client.area, client.View(1).SubWindow());
    ASSERT_TRUE(PumpUntil([&] { return client.Windows().Active()->Index() == 1; }));
    bob.Send("PRIVMSG #room :while you were away");
    ASSERT_TRUE(client.Shows(2, "<bob> while you were away"));
    BringForward(*client.area, client.View(2).SubWindow());
    ASSERT_TRUE(PumpUntil([&] { return client.Windows().Active()->Index() == 2; }));
    EXPECT_EQ(log.MarkerLine(), last);

    // Away to another program and back: the window stayed active, yet what came meanwhile is
    // below the marker. The offscreen platform has no other program to go to, so the state
    // change is announced as the desktop would.
    const std::int64_t seen = log.LineCount() - 1;
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    bob.Send("PRIVMSG #room :while you were elsewhere");
    ASSERT_TRUE(client.Shows(2, "<bob> while you were elsewhere"));
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(client.Windows().Active()->Index(), 2);
    EXPECT_EQ(log.MarkerLine(), seen);
}

} // namespace tellix::test
