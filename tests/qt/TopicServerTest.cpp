// A channel window's topic bar and a lost link, in the Qt front-end against a real IRC server.
#include "app/Application.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/TopicBar.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <algorithm>
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
            if (app->Childs()->Count() < index) {
                return false;
            }
            const auto lines = Lines(index);
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        });
    }
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
        return PumpUntil([&] { return app->Childs()->Count() >= index && Nicks(index) == nicks; });
    }
    // The topic as the bar draws it.
    QString Topic(std::int32_t index) const
    {
        QTextDocument document;
        document.setHtml(View(index).TopicBar()->TopicLabel()->text());
        return document.toPlainText();
    }
    QString Caption(std::int32_t index) const { return View(index).SubWindow()->windowTitle(); }
};

TEST(TopicServer, TheBarShowsTheTopicAndSendsAnEditAndALostLinkIsShownAndJoinedAgain)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    anna.Send("TOPIC #room :Welcome to \x02#room\x02: https://example.org/rules");
    ASSERT_TRUE(anna.WaitFor(" TOPIC "));
    anna.Send("JOIN #locked");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    anna.Send("MODE #locked +k sesame");
    ASSERT_TRUE(anna.WaitFor(" MODE "));

    Client client;
    IRCConnection& connection = client.Connection();
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.Registered(); })) << server.Log();
    connection.Channels()->Join("#room");
    ASSERT_TRUE(client.Lists(2, {"@anna", "me"}));
    connection.SendMessage("JOIN #locked sesame");
    ASSERT_TRUE(client.Lists(3, {"@anna", "me"}));

    // The topic and who set it, from the join's replies.
    const TopicBar& bar = *client.View(2).TopicBar();
    // Shown in its window, which may be behind the one in front.
    EXPECT_FALSE(bar.isHidden());
    EXPECT_TRUE(client.View(1).TopicBar()->isHidden());
    ASSERT_TRUE(PumpUntil([&] { return bar.DetailsLabel()->text().startsWith(QStringLiteral("set by anna, ")); }))
        << bar.DetailsLabel()->text().toStdString();
    EXPECT_EQ(client.Topic(2), QStringLiteral("Welcome to #room: https://example.org/rules"));
    EXPECT_TRUE(bar.TopicLabel()->text().contains(QStringLiteral("<a href=\"https://example.org/rules\">")));
    // The bar sits above the log.
    EXPECT_LE(bar.geometry().bottom(), client.View(2).Log()->geometry().top());

    // Edited in the bar, sent, and shown once the server reports it.
    QTest::mouseDClick(bar.TopicLabel(), Qt::LeftButton);
    ASSERT_TRUE(bar.Editing());
    bar.Editor()->clear();
    QTest::keyClicks(bar.Editor(), QStringLiteral("rules changed"));
    QTest::keyClick(bar.Editor(), Qt::Key_Return);
    ASSERT_TRUE(PumpUntilPeerSees(anna, "TOPIC #room :rules changed"));
    ASSERT_TRUE(client.Shows(2, "*** me changes topic to 'rules changed'"));
    EXPECT_EQ(client.Topic(2), QStringLiteral("rules changed"));
    EXPECT_TRUE(bar.DetailsLabel()->text().startsWith(QStringLiteral("set by me, ")));

    // The link goes: every channel window says so, its list empties, its caption tells.
    connection.Disconnect();
    ASSERT_TRUE(client.Shows(2, "*** disconnected, no longer in channel #room"));
    ASSERT_TRUE(client.Shows(3, "*** disconnected, no longer in channel #locked"));
    EXPECT_EQ(client.Nicks(2), std::vector<std::string>{});
    EXPECT_EQ(client.Nicks(3), std::vector<std::string>{});
    EXPECT_TRUE(client.Caption(2).endsWith(QStringLiteral(" - #room (disconnected)")))
        << client.Caption(2).toStdString();
    ASSERT_TRUE(PumpUntilPeerSees(anna, " QUIT "));

    // Connected again: both are joined again after the welcome, the key remembered.
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntilPeerSees(anna, "JOIN"));
    ASSERT_TRUE(client.Lists(2, {"@anna", "me"}));
    ASSERT_TRUE(client.Lists(3, {"@anna", "me"}));
    EXPECT_EQ(client.Caption(2).toStdString(), "2 - " + server.Name() + " (me) - #room");
    EXPECT_EQ(client.Topic(2), QStringLiteral("rules changed"));
}

} // namespace
} // namespace tellix::test
