// A channel window's ranked nick list in the Qt front-end against a real IRC server.
#include "app/Application.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QAction>
#include <QEnterEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

struct Client {
    QTemporaryDir config;
    QtToolkit toolkit;
    QtSocketFactory sockets;
    std::unique_ptr<Application> app;

    Client()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        app = std::make_unique<Application>(toolkit, sockets);
    }
    ~Client() { app.reset(); }

    IRCConnection& Connection() const { return *app->Connections().Item(1); }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(app->Childs()->Item(index)->Window());
    }
    // The list as drawn, top to bottom, and the counts above it.
    std::vector<std::string> Drawn(std::int32_t index) const
    {
        const QAbstractItemModel& model = *View(index).UsersView()->model();
        std::vector<std::string> rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            rows.push_back(model.index(row, 0).data(Qt::DisplayRole).toString().toStdString());
        }
        const QLabel* counts = View(index).UsersCounts();
        rows.push_back(counts != nullptr ? counts->text().toStdString() : "no counts");
        return rows;
    }
    bool Draws(std::int32_t index, const std::vector<std::string>& rows) const
    {
        return PumpUntil([&] { return app->Childs()->Count() >= index && Drawn(index) == rows; });
    }
    // The row drawn with this text in a window's list, or -1.
    int RowOf(std::int32_t index, const std::string& text) const
    {
        const std::vector<std::string> rows = Drawn(index);
        for (std::size_t row = 0; row + 1 < rows.size(); ++row) {
            if (rows[row] == text) {
                return static_cast<int>(row);
            }
        }
        return -1;
    }
    // The window that talks with `nick`, or null.
    Child* QueryWith(const std::string& nick) const
    {
        for (std::int32_t index = 1; index <= app->Childs()->Count(); ++index) {
            Child& child = *app->Childs()->Item(index);
            if (child.Query() && child.Query()->Nick() == nick) {
                return &child;
            }
        }
        return nullptr;
    }
    // Connects as "me" and joins #room, where zed and Bob already are.
    void JoinRoom(IrcServer& server)
    {
        toolkit.MainWindow()->Window()->resize(1000, 700);
        toolkit.MainWindow()->Window()->show();
        IRCConnection& connection = Connection();
        connection.InitialNick("me");
        connection.InitialUserParams("me 8 * :Tellix me");
        connection.Connect(server.Host(), server.Port());
        ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }))
            << server.Log();
        connection.Channels()->Join("#room");
        ASSERT_TRUE(Draws(2, {"@zed", "Bob", "me", "3 users, 1 op"})) << testing::PrintToString(Drawn(2));
    }
};

// The first in #room (its operator) and one more member.
struct Room {
    RawPeer zed;
    RawPeer bob;
    explicit Room(IrcServer& server) : zed(server.Port()), bob(server.Port())
    {
        zed.Register("zed");
        zed.Send("JOIN #room");
        EXPECT_TRUE(zed.WaitFor(" 366 "));
        bob.Register("Bob");
        bob.Send("JOIN #room");
        EXPECT_TRUE(bob.WaitFor(" 366 "));
    }
};

TEST(ChannelViewServer, TheListIsRankedAndAModeChangeMovesTheEntryAndTheCounts)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer zed(server.Port());
    zed.Register("zed");
    zed.Send("JOIN #room"); // the first in the channel: its operator
    ASSERT_TRUE(zed.WaitFor(" 366 "));
    RawPeer bob(server.Port());
    bob.Register("Bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    Client client;
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; })) << server.Log();
    connection.Channels()->Join("#room");
    ASSERT_TRUE(client.Draws(2, {"@zed", "Bob", "me", "3 users, 1 op"}))
        << testing::PrintToString(client.Drawn(2));

    zed.Send("MODE #room +v me");
    ASSERT_TRUE(client.Draws(2, {"@zed", "+me", "Bob", "3 users, 1 op"}));
    zed.Send("MODE #room +o-v Bob me");
    ASSERT_TRUE(client.Draws(2, {"@Bob", "@zed", "me", "3 users, 2 ops"}));
    bob.Send("PART #room");
    EXPECT_TRUE(client.Draws(2, {"@zed", "me", "2 users, 1 op"}));

    // The status window's list is the connection's users, unranked and without counts.
    EXPECT_EQ(client.View(1).UsersCounts(), nullptr);
}

TEST(ChannelViewServer, ADoubleClickOpensAQueryAndTheMenuSendsModesKicksAndBans)
{
    EnsureGuiApplication();
    IrcServer server;
    Room room(server);
    Client client;
    client.JoinRoom(server);
    room.zed.Send("MODE #room +o me");
    ASSERT_TRUE(client.Draws(2, {"@me", "@zed", "Bob", "3 users, 2 ops"}));

    // A double-click on Bob opens the query the user asked for: it comes to the front.
    QTableView& list = *client.View(2).UsersView();
    const QModelIndex bob = list.model()->index(client.RowOf(2, "Bob"), 0);
    test::BringForward(*client.toolkit.MainWindow()->Area(), client.View(2).SubWindow());
    ASSERT_TRUE(PumpUntil([&] { return list.isVisible(); }));
    // The second click of the pair is the one the view reads as a double-click.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(bob).center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(bob).center());
    ASSERT_TRUE(PumpUntil([&] { return client.QueryWith("Bob") != nullptr; }));
    EXPECT_EQ(client.app->Childs()->Active().get(), client.QueryWith("Bob"));

    // Each menu entry as the server sees it; Bob has not said a line here, so his host is
    // unknown and the ban names his nick.
    const auto choose = [&](const std::string& row, const char* entry) {
        QMenu* menu = client.View(2).NickMenu(client.RowOf(2, row));
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            chosen = action->text() == QLatin1String(entry) ? action : chosen;
        }
        ASSERT_NE(chosen, nullptr) << entry;
        chosen->trigger();
        delete menu;
    };
    struct Row {
        std::string row;
        const char* entry;
        std::string seen; // by zed
        std::vector<std::string> drawn;
    };
    const std::vector<Row> rows = {
        {"Bob", "Op", "MODE #room +o Bob", {"@Bob", "@me", "@zed", "3 users, 3 ops"}},
        {"@Bob", "Deop", "MODE #room -o Bob", {"@me", "@zed", "Bob", "3 users, 2 ops"}},
        {"Bob", "Voice", "MODE #room +v Bob", {"@me", "@zed", "+Bob", "3 users, 2 ops"}},
        {"+Bob", "Devoice", "MODE #room -v Bob", {"@me", "@zed", "Bob", "3 users, 2 ops"}},
        {"Bob", "Ban", "MODE #room +b Bob!*@*", {"@me", "@zed", "Bob", "3 users, 2 ops"}},
        {"Bob", "Kick", "KICK #room Bob", {"@me", "@zed", "2 users, 2 ops"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        choose(row.row, row.entry);
        EXPECT_TRUE(PumpUntilPeerSees(room.zed, row.seen));
        EXPECT_TRUE(client.Draws(2, row.drawn)) << testing::PrintToString(client.Drawn(2));
    }
    // The status window's list offers only what needs no channel.
    QMenu* status = client.View(1).NickMenu(0);
    ASSERT_EQ(status->actions().size(), 2);
    EXPECT_EQ(status->actions()[1]->text(), QStringLiteral("Whois"));
    delete status;
}

TEST(ChannelViewServer, AQueryWindowHasNoListAndItsHeaderNamesThePartnerAndHost)
{
    EnsureGuiApplication();
    IrcServer server;
    Room room(server);
    Client client;
    client.JoinRoom(server);

    room.bob.Send("PRIVMSG me :hello");
    ASSERT_TRUE(PumpUntil([&] { return client.QueryWith("Bob") != nullptr; }));
    Child& query = *client.QueryWith("Bob");
    auto& view = *static_cast<QtChildView*>(query.Window());
    const auto user = client.Connection().Users()->Item("Bob");
    ASSERT_NE(user, nullptr);
    ASSERT_FALSE(user->Host().empty());
    const std::string expected = "Bob (" + std::string(user->User()) + "@" + std::string(user->Host()) + ")";
    ASSERT_NE(view.Header(), nullptr);
    EXPECT_EQ(view.Header()->text().toStdString(), expected);
    EXPECT_TRUE(view.UsersView()->isHidden());

    // Shown normal, the log takes the width the list leaves, under the header.
    test::BringForward(*client.toolkit.MainWindow()->Area(), view.SubWindow());
    view.SubWindow()->showNormal();
    view.SubWindow()->resize(700, 400);
    ASSERT_TRUE(PumpUntil([&] { return view.Log()->isVisible(); }));
    QWidget& area = *view.Log()->parentWidget();
    EXPECT_EQ(view.Log()->geometry().right(), area.width() - 1);
    EXPECT_GE(view.Log()->geometry().top(), view.Header()->geometry().bottom());
    EXPECT_FALSE(client.View(2).UsersView()->isHidden());

    // The mouse comes to the header and a double click selects a word of it, to copy.
    QLabel& header = *view.Header();
    QEnterEvent enter(QPointF(4, 4), header.mapToGlobal(QPointF(4, 4)), header.mapToGlobal(QPointF(4, 4)));
    QCoreApplication::sendEvent(&header, &enter);
    QTest::mouseDClick(&header, Qt::LeftButton, {},
                       QPoint(header.fontMetrics().horizontalAdvance("Bo"), header.height() / 2));
    EXPECT_EQ(header.selectedText(), "Bob");

    // A new nick for the partner shows in the header.
    room.bob.Send("NICK Bobby");
    EXPECT_TRUE(PumpUntil([&] { return view.Header()->text().startsWith(QStringLiteral("Bobby (")); }));
}

} // namespace
} // namespace tellix::test
