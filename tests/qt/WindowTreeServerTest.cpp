// The window tree as the client fills it against real servers: three saved networks connected
// at once, each a node with its channels; a stranger's lines counted unread until looked at;
// a network taken offline greyed.
#include "app/Application.h"
#include "app/Settings.h"
#include "net/ConnectOptions.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"
#include "platform/qt/networks/BouncerNetworkDialog.h"
#include "platform/qt/networks/NetworkForm.h"
#include "platform/qt/networks/NetworksDialog.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/RunningClient.h"
#include "support/ScriptedBouncer.h"
#include "windows/Childs.h"

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

struct Client : test::RunningClient {
    WindowTreeModel& Model() const { return main->Tree()->Model(); }
    // The connection's row, found by the label it shows.
    QModelIndex Head(const QString& label) const
    {
        for (int row = 0; row < Model().rowCount(); ++row) {
            if (Model().index(row, 0).data().toString() == label) {
                return Model().index(row, 0);
            }
        }
        return {};
    }
    QModelIndex Row(const QModelIndex& head, const QString& label) const
    {
        for (int row = 0; row < Model().rowCount(head); ++row) {
            if (Model().index(row, 0, head).data().toString() == label) {
                return Model().index(row, 0, head);
            }
        }
        return {};
    }
    void Type(const QModelIndex& row, const QString& line) const { Type(Model().Window(row), line); }
    // As a user does: the window brought forward, then the line typed into it.
    void Type(const QMdiSubWindow* window, const QString& line) const
    {
        test::BringForward(*main->Area(), const_cast<QMdiSubWindow*>(window));
        QLineEdit* input = QtChildView::Of(window)->Input();
        input->setFocus();
        QTest::keyClicks(input, line);
        QTest::keyClick(input, Qt::Key_Return);
    }
};

// Where the environment asks: the window grabbed to a file, or held on the screen a while for
// a screenshot of the whole desktop.
void ShowForScreenshot(const Client& client)
{
    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        PumpFor(500ms);
        client.main->Window()->grab().save(QString::fromLocal8Bit(shot));
    }
    if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
        std::fprintf(stderr, "screenshot now\n");
        PumpFor(std::chrono::milliseconds(std::atoi(pause)));
    }
}

TEST(WindowTreeServer, ThreeNetworksAreThreeNodesWithTheirChannelsAnUnreadCountAndAnOfflineOneGreyed)
{
    EnsureGuiApplication();
    IrcServer alpha, beta, gamma;
    Client client;
    // The first status window heads its connection's row from the start.
    const QMdiSubWindow* const first =
        static_cast<QtChildView*>(client.app->Childs()->Item(1)->Window())->SubWindow();
    const QModelIndex firstRow = client.Model().IndexOf(first);
    EXPECT_TRUE(firstRow.data(WindowTreeModel::HeadRole).toBool());
    EXPECT_FALSE(firstRow.parent().isValid());
    const struct Network {
        const char* name;
        const IrcServer& server;
        int channels;
    } networks[] = {{"alpha", alpha, 16}, {"beta", beta, 10}, {"gamma", gamma, 11}};
    // Saved networks, each joining its channels as it connects.
    for (const Network& network : networks) {
        QStringList channels;
        for (int i = 1; i <= network.channels; ++i) {
            channels << QString("#%1%2").arg(network.name).arg(i);
        }
        client.Type(first, QString("/network add %1 %2 %3")
                               .arg(network.name, QString::fromStdString(network.server.Host()))
                               .arg(network.server.Port()));
        client.Type(first, QString("/network set %1 autojoin %2").arg(network.name, channels.join(',')));
        client.Type(first, QString("/connect %1").arg(network.name));
    }
    for (const Network& network : networks) {
        EXPECT_TRUE(
            PumpUntil([&] { return client.Model().rowCount(client.Head(network.name)) == network.channels; }, 30s))
            << network.name << " has " << client.Model().rowCount(client.Head(network.name));
        EXPECT_TRUE(client.Model().data(client.Head(network.name), WindowTreeModel::HeadRole).toBool());
        EXPECT_FALSE(client.Model().data(client.Head(network.name), WindowTreeModel::GreyedRole).toBool());
    }

    // A stranger talks in a channel of beta's the user is not looking at: counted there.
    RawPeer bob(beta.Port());
    bob.Register("bob");
    bob.Send("JOIN #beta2");
    for (const char* line : {"one", "two", "three"}) {
        bob.Send(std::string("PRIVMSG #beta2 :") + line);
    }
    const QPersistentModelIndex talked = client.Row(client.Head("beta"), "#beta2");
    ASSERT_TRUE(talked.isValid());
    EXPECT_TRUE(PumpUntil([&] { return talked.data(WindowTreeModel::UnreadRole).toInt() == 3; }, 10s))
        << talked.data(WindowTreeModel::UnreadRole).toInt();
    EXPECT_EQ(static_cast<Activity>(talked.data(WindowTreeModel::LevelRole).toInt()), Activity::Messages);
    // Looked at, from the tree: nothing unread.
    WindowTree& tree = *client.main->Tree();
    tree.scrollTo(talked);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualRect(talked).center());
    EXPECT_EQ(client.main->Area()->activeSubWindow(), client.Model().Window(talked));
    EXPECT_TRUE(PumpUntil([&] { return talked.data(WindowTreeModel::UnreadRole).toInt() == 0; }));
    EXPECT_EQ(static_cast<Activity>(talked.data(WindowTreeModel::LevelRole).toInt()), Activity::None);

    // The tree's menu acts on the row's own connection, as if typed in its window: Part leaves
    // beta's channel on beta, and Edit Network opens beta's form.
    bob.Send("JOIN #beta5");
    ASSERT_TRUE(PumpUntilPeerSees(bob, "366 bob #beta5"));
    const auto choose = [&tree](const QModelIndex& row, const QString& text) {
        std::unique_ptr<QMenu> menu(tree.MenuFor(row));
        for (QAction* action : menu->actions()) {
            if (action->text() == text && action->isEnabled()) {
                action->trigger();
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(choose(client.Row(client.Head("beta"), "#beta5"), "&Part"));
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PART #beta5"));
    ASSERT_TRUE(choose(client.Head("beta"), "&Edit Network..."));
    ASSERT_NE(client.main->NetworksWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return client.main->NetworksWindow()->Form() != nullptr; }));
    EXPECT_TRUE(client.main->NetworksWindow()->Form()->isVisible());
    EXPECT_EQ(client.main->NetworksWindow()->List()->currentItem()->data(Qt::UserRole).toString(), "beta");
    client.main->NetworksWindow()->Form()->close();
    client.main->NetworksWindow()->close();

    // Gamma taken offline: its rows go grey; the others stay as they were.
    const QPersistentModelIndex gammaHead = client.Head("gamma");
    const QPersistentModelIndex gammaChannel = client.Row(gammaHead, "#gamma3");
    client.Type(talked, "/disconnect gamma");
    EXPECT_TRUE(PumpUntil([&] { return gammaHead.data(WindowTreeModel::GreyedRole).toBool(); }, 10s));
    EXPECT_TRUE(PumpUntil([&] { return gammaChannel.data(WindowTreeModel::GreyedRole).toBool(); }));
    EXPECT_EQ(gammaChannel.data().toString().toStdString(), "#gamma3") << "greyed, and named as before";
    EXPECT_FALSE(talked.data(WindowTreeModel::GreyedRole).toBool());
    EXPECT_FALSE(client.Head("alpha").data(WindowTreeModel::GreyedRole).toBool());

    bob.Send("PRIVMSG #beta2 :me: the tree shows it");
    client.Type(client.Row(client.Head("alpha"), "#alpha4"), "hello");
    EXPECT_TRUE(PumpUntil([&] { return talked.data(WindowTreeModel::UnreadRole).toInt() == 1; }, 10s));
    ShowForScreenshot(client);
}

// A bouncer that lists its networks: after the SASL login each network is a connection of its
// own, bound before registration ends and joined to nothing by us; networks added, changed and
// deleted on the bouncer come, change and go in the tree; the command asks the bouncer.
TEST(WindowTreeServer, ABouncersNetworksAreNodesOfTheirOwnThatFollowTheBouncer)
{
    EnsureGuiApplication();
    ScriptedBouncer bouncer;
    bouncer.Join("#room", {"bob"});
    Client client;
    IRCConnection& login = *client.app->Connections().Item(1);
    login.InitialNick("me");
    login.InitialUserParams("me 8 * :Tellix me");
    ConnectOptions options;
    options.account = bouncer.Settings().user;
    options.accountPassword = bouncer.Settings().password;
    login.Connect("127.0.0.1", bouncer.Port(), options);

    // The first network, "net", bound on a connection of its own, with its channel under it.
    ASSERT_TRUE(PumpUntil([&] { return client.Row(client.Head("net"), "#room").isValid(); }, 10s));
    ASSERT_EQ(client.app->Connections().Count(), 2);
    const auto bound = client.app->Connections().Item(2);
    EXPECT_EQ(bound->BouncerNetwork(), "1");
    const ScriptedBouncer::Client* device = nullptr;
    for (const auto& each : bouncer.Clients()) {
        device = each->Network() == "1" ? each.get() : device;
    }
    ASSERT_NE(device, nullptr);
    std::vector<std::string> sent;
    for (const std::string& line : device->Received()) {
        if (line.starts_with("BOUNCER") || line.starts_with("CAP END") || line.starts_with("JOIN") ||
            line.starts_with("AUTHENTICATE PLAIN")) {
            sent.push_back(line);
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"AUTHENTICATE PLAIN", "BOUNCER BIND 1", "CAP END"}));

    // A line said there reaches only that network's window.
    bouncer.Say("bob", "#room", "hello from upstream");
    const QMdiSubWindow* const room = client.Model().Window(client.Row(client.Head("net"), "#room"));
    EXPECT_TRUE(
        PumpUntil([&] { return QtChildView::Of(room)->Log()->HeldText().contains("hello from upstream"); }));

    // Added on the bouncer (by another device): a node; its state shows while it is not connected.
    const std::string id = bouncer.AddNetwork({{"name", "OFTC"}, {"host", "irc.oftc.test"}});
    ASSERT_TRUE(PumpUntil([&] { return client.Head("OFTC").isValid(); }));
    bouncer.ChangeNetwork(id, "state", "disconnected");
    EXPECT_TRUE(PumpUntil([&] { return client.Head("OFTC (disconnected)").isValid(); }));
    EXPECT_EQ(client.app->Connections().Count(), 3);

    // Asked from the login's status window, which stays the bouncer's own node.
    const QMdiSubWindow* const status =
        static_cast<QtChildView*>(client.app->StatusOf(login)->Window())->SubWindow();
    client.Type(status, "/bouncer remove OFTC");
    EXPECT_TRUE(PumpUntil([&] { return !client.Head("OFTC (disconnected)").isValid(); }));
    EXPECT_TRUE(PumpUntil([&] { return client.app->Connections().Count() == 2; }));
    EXPECT_FALSE(bouncer.Network(id).has_value());
    client.Type(status, "/bouncer add Libera irc.libera.test 6697 -tls");
    ASSERT_TRUE(PumpUntil([&] { return client.Head("Libera").isValid(); }));
    const auto libera = bouncer.Network(bouncer.NetworkIds().back());
    ASSERT_TRUE(libera.has_value());
    EXPECT_EQ(libera->at("host"), "irc.libera.test");
    EXPECT_EQ(libera->at("port"), "6697");
    EXPECT_EQ(libera->at("tls"), "1");

    // The same through the rows' menus and the network's form.
    const auto formFrom = [&client](const QModelIndex& row, const QString& item) -> BouncerNetworkDialog* {
        std::unique_ptr<QMenu> menu(client.main->Tree()->MenuFor(row));
        for (QAction* action : menu->actions()) {
            if (action->text() == item) {
                action->trigger();
            }
        }
        // By its type: the form has no meta-object of its own that findChild could tell apart.
        for (QDialog* dialog : client.main->Window()->findChildren<QDialog*>()) {
            if (auto* form = dynamic_cast<BouncerNetworkDialog*>(dialog); form != nullptr && form->isVisible()) {
                return form;
            }
        }
        return nullptr;
    };
    BouncerNetworkDialog* form = formFrom(client.Head("Libera"), "Edit &Bouncer Network...");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->HostField()->text(), "irc.libera.test");
    form->NameField()->setText("Libera.Chat");
    ShowForScreenshot(client);
    form->accept();
    EXPECT_TRUE(PumpUntil([&] { return client.Head("Libera.Chat").isValid(); }));
    EXPECT_EQ(bouncer.Network(bouncer.NetworkIds().back())->at("host"), "irc.libera.test");
    form = formFrom(client.Head("Libera.Chat"), "Edit &Bouncer Network...");
    ASSERT_NE(form, nullptr);
    form->done(BouncerNetworkDialog::kRemove);
    EXPECT_TRUE(PumpUntil([&] { return !client.Head("Libera.Chat").isValid(); }));
    form = formFrom(client.Model().IndexOf(status), "Add &Bouncer Network...");
    ASSERT_NE(form, nullptr);
    form->NameField()->setText("hackint");
    form->HostField()->setText("irc.hackint.test");
    form->accept();
    EXPECT_TRUE(PumpUntil([&] { return client.Head("hackint").isValid(); }));
    EXPECT_EQ(client.app->Connections().Count(), 3);
}

} // namespace
} // namespace tellix::test
