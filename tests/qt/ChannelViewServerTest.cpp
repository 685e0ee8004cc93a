// A channel window's ranked nick list in the Qt front-end against a real IRC server.
#include "app/Application.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>

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
    ASSERT_TRUE(client.Draws(2, {"@zed", "Bob", "me", "3 users, 1 ops"}))
        << testing::PrintToString(client.Drawn(2));

    zed.Send("MODE #room +v me");
    ASSERT_TRUE(client.Draws(2, {"@zed", "+me", "Bob", "3 users, 1 ops"}));
    zed.Send("MODE #room +o-v Bob me");
    ASSERT_TRUE(client.Draws(2, {"@Bob", "@zed", "me", "3 users, 2 ops"}));
    bob.Send("PART #room");
    EXPECT_TRUE(client.Draws(2, {"@zed", "me", "2 users, 1 ops"}));

    // The status window's list is the connection's users, unranked and without counts.
    EXPECT_EQ(client.View(1).UsersCounts(), nullptr);
}

} // namespace
} // namespace tellix::test
