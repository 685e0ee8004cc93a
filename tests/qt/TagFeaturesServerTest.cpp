// What IRCv3 tags show in the Qt client against InspIRCd: members away dimmed in the list and a
// query with one milder in the tree, who is typing under the log and our own typing sent, replies
// to what was typed in a window shown there, and a reply quoting the line it answers.
#include "app/Application.h"
#include "app/Settings.h"
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
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/RunningClient.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QBrush>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tellix::test {
namespace {

IrcServer::Options WithCapabilities()
{
    IrcServer::Options options;
    options.kind = IrcServer::Kind::InspIRCd;
    options.capabilities = true;
    return options;
}

struct Client : test::RunningClient {
    IRCConnection& Connection() const { return *app->Connections().Item(1); }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(app->Childs()->Item(index)->Window());
    }
    QString Log(std::int32_t index) const { return View(index).Log()->HeldText(); }
    bool Shows(std::int32_t index, const QString& text) const
    {
        return PumpUntil([&] { return app->Childs()->Count() >= index && Log(index).contains(text); });
    }
    // Whether the channel window's list draws `nick` dimmed.
    bool DrawnAway(std::int32_t index, const std::string& nick) const
    {
        const NickListModel& model = *View(index).UsersModel();
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.NickAt(row) == nick) {
                return model.index(row, 0).data(NickListModel::AwayRole).toBool();
            }
        }
        return false;
    }
    QString Typing(std::int32_t index) const
    {
        const QLabel* line = View(index).TypingLine();
        return line != nullptr && !line->isHidden() ? line->text() : QString();
    }
    QModelIndex TreeRow(std::int32_t index) const
    {
        return main->Tree()->Model().IndexOf(View(index).SubWindow());
    }
    // As a user types: into the window brought forward.
    void Type(std::int32_t index, const QString& text) const
    {
        test::BringForward(*main->Area(), View(index).SubWindow());
        QLineEdit* input = View(index).Input();
        input->setFocus();
        QTest::keyClicks(input, text);
    }
    void Enter(std::int32_t index, const QString& text) const
    {
        Type(index, text);
        QTest::keyClick(View(index).Input(), Qt::Key_Return);
    }
    // Online as "me" in #room (window 2), where bob is, bob hearing tags.
    void JoinRoom(IrcServer& server, RawPeer& bob)
    {
        bob.Register("bob");
        bob.Send("CAP REQ :message-tags");
        ASSERT_TRUE(bob.WaitFor("ACK"));
        bob.Send("JOIN #room");
        ASSERT_TRUE(bob.WaitFor(" 366 "));
        IRCConnection& connection = Connection();
        connection.InitialNick("me");
        connection.InitialUserParams("me 8 * :Tellix me");
        connection.Connect(server.Host(), server.Port());
        ASSERT_TRUE(PumpUntil([&] { return connection.Registered(); })) << server.Log();
        ASSERT_TRUE(connection.Capabilities().Enabled("labeled-response")) << server.Log();
        Enter(1, "/join #room");
        ASSERT_TRUE(PumpUntil(
            [&] { return app->Childs()->Count() == 2 && View(2).UsersView()->model()->rowCount() == 2; }));
        ASSERT_TRUE(PumpUntilPeerSees(bob, "JOIN"));
    }
};

TEST(TagFeaturesServer, SomeoneAwayIsDimmedAndTheirQueryMilderWhileTheyAreAway)
{
    EnsureGuiApplication();
    IrcServer server(WithCapabilities());
    RawPeer bob(server.Port());
    Client client;
    client.JoinRoom(server, bob);
    EXPECT_FALSE(client.DrawnAway(2, "bob"));

    bob.Send("AWAY :lunch");
    EXPECT_TRUE(PumpUntil([&] { return client.DrawnAway(2, "bob"); }));
    EXPECT_FALSE(client.DrawnAway(2, "me"));
    client.Enter(2, "/query bob");
    ASSERT_TRUE(PumpUntil([&] { return client.app->Childs()->Count() == 3; }));
    EXPECT_TRUE(client.TreeRow(3).data(WindowTreeModel::AwayRole).toBool());
    EXPECT_FALSE(client.TreeRow(3).data(WindowTreeModel::GreyedRole).toBool()) << "greyed is offline";
    EXPECT_EQ(client.TreeRow(3).data(Qt::ForegroundRole).value<QBrush>().color(),
              WindowTreeModel::AwayColour(client.main->Tree()->palette()));

    bob.Send("AWAY");
    EXPECT_TRUE(PumpUntil([&] { return !client.DrawnAway(2, "bob"); }));
    EXPECT_TRUE(PumpUntil([&] { return !client.TreeRow(3).data(WindowTreeModel::AwayRole).toBool(); }));

    // Our own away shows in the list as anyone's.
    client.Enter(2, "/away tea");
    EXPECT_TRUE(PumpUntil([&] { return client.DrawnAway(2, "me"); }));
}

TEST(TagFeaturesServer, WhoTypesShowsUnderTheLogAndOurTypingReachesTheOthers)
{
    EnsureGuiApplication();
    IrcServer server(WithCapabilities());
    RawPeer bob(server.Port());
    Client client;
    client.JoinRoom(server, bob);

    bob.Send("@+typing=active TAGMSG #room");
    EXPECT_TRUE(PumpUntil([&] { return client.Typing(2) == "bob is typing..."; }))
        << client.Typing(2).toStdString();
    const int logHeight = client.View(2).Log()->height();
    bob.Send("PRIVMSG #room :hello");
    EXPECT_TRUE(PumpUntil([&] { return client.Typing(2).isEmpty(); }));
    EXPECT_GT(client.View(2).Log()->height(), logHeight) << "the log takes the line back";
    EXPECT_FALSE(client.Log(1).contains("TAGMSG"));

    // Relayed with the tag, the target as the trailing part.
    const auto tagged = [](std::string_view state) {
        return [state](const std::string& line) {
            return line.find(" TAGMSG :#room") != std::string::npos && line.find(state) != std::string::npos;
        };
    };
    client.Type(2, "hi");
    EXPECT_TRUE(PumpUntil(
        [&] { return bob.WaitUntil(tagged("+typing=active"), std::chrono::milliseconds(10)).has_value(); }));
    QTest::keyClick(client.View(2).Input(), Qt::Key_Backspace);
    QTest::keyClick(client.View(2).Input(), Qt::Key_Backspace);
    EXPECT_TRUE(PumpUntil([&] {
        return bob.WaitUntil(tagged("+typing=done"), std::chrono::milliseconds(10)).has_value();
    })) << "the line cleared";
}

TEST(TagFeaturesServer, RepliesGoToTheWindowThatAskedAndAReplyQuotesItsLine)
{
    EnsureGuiApplication();
    IrcServer server(WithCapabilities());
    RawPeer bob(server.Port());
    Client client;
    client.JoinRoom(server, bob);
    client.Enter(2, "/query bob");
    ASSERT_TRUE(PumpUntil([&] { return client.app->Childs()->Count() == 3; }));

    // Both go out before either is answered: each answer goes where its command was typed.
    client.Enter(3, "/whois bob");
    client.Enter(2, "/names");
    EXPECT_TRUE(client.Shows(3, "*** End of WHOIS for bob")) << client.Log(3).toStdString();
    EXPECT_TRUE(client.Shows(2, "*** End of names in #room")) << client.Log(2).toStdString();
    EXPECT_FALSE(client.Log(2).contains("WHOIS")) << client.Log(2).toStdString();
    EXPECT_FALSE(client.Log(1).contains("ACK")) << client.Log(1).toStdString();

    client.Enter(2, "the build is broken again");
    ASSERT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #room :the build is broken again"));
    std::string said;
    for (const std::string& line : bob.Received()) {
        if (line.find("PRIVMSG #room :the build is broken again") != std::string::npos) {
            said = line;
        }
    }
    const std::size_t at = said.find("msgid=");
    ASSERT_NE(at, std::string::npos) << said;
    const std::string id = said.substr(at + 6, said.find_first_of("; ", at) - at - 6);
    bob.Send("@+draft/reply=" + id + " PRIVMSG #room :yes, fixed");
    EXPECT_TRUE(client.Shows(2, QString::fromUtf8("<bob> > me: the build is\xE2\x80\xA6 | yes, fixed")))
        << client.Log(2).toStdString();
}

} // namespace
} // namespace tellix::test
