// /LIST in the Qt front-end against ngircd: the channel list window, sorted by a header click,
// and a double-click that joins.
#include "app/Application.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/ChannelListModel.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The table's rows as shown, one column.
std::vector<std::string> Column(const QTableView& table, int column)
{
    std::vector<std::string> cells;
    const QAbstractItemModel& model = *table.model();
    for (int row = 0; row < model.rowCount(); ++row) {
        cells.push_back(model.data(model.index(row, column)).toString().toStdString());
    }
    return cells;
}

QWidget* ListWidget()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == QStringLiteral("Channel List") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

TEST(ChannelListServer, ListFillsASortableWindowAndADoubleClickJoins)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer anna(server.Port());
    anna.Register("anna");
    RawPeer bob(server.Port());
    bob.Register("bob");
    // #big has two users, #quiet one, #mid two with a topic.
    for (const char* line : {"JOIN #big", "JOIN #quiet", "JOIN #mid", "TOPIC #mid :the middle one"}) {
        anna.Send(line);
    }
    bob.Send("JOIN #big");
    bob.Send("JOIN #mid");
    ASSERT_TRUE(bob.WaitFor("366 bob #mid"));

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QtToolkit toolkit;
    QtSocketFactory sockets;
    auto app = std::make_unique<Application>(toolkit, sockets);
    IRCConnection& connection = *app->Connections().Item(1);
    connection.InitialNick("me");
    connection.InitialUserParams("me 8 * :Tellix me");
    connection.Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return connection.Registered(); })) << server.Log();

    EXPECT_TRUE(app->ProcessCommand("list #*", true, 1)); // ngircd's own &SERVER left out
    QWidget* window = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        window = ListWidget();
        return window != nullptr && window->findChild<QTableView*>()->model()->rowCount() == 3;
    })) << (window != nullptr ? window->findChild<QTableView*>()->model()->rowCount() : -1);
    QTableView& table = *window->findChild<QTableView*>();
    // Sorted by name once the listing ends.
    EXPECT_EQ(Column(table, 0), (std::vector<std::string>{"#big", "#mid", "#quiet"}));
    EXPECT_EQ(Column(table, 2), (std::vector<std::string>{"", "the middle one", ""}));
    // The counts line up on the right, as numbers do; names and topics read from the left.
    const QModelIndex count = table.model()->index(0, ChannelListModel::Users);
    EXPECT_EQ(count.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(table.model()->index(0, ChannelListModel::Name).data(Qt::TextAlignmentRole).isValid());

    // A click on the users header sorts by the count, as numbers; another turns it round.
    const QHeaderView& header = *table.horizontalHeader();
    const QPoint users(header.sectionViewportPosition(ChannelListModel::Users) + 5, header.height() / 2);
    const auto countsInOrder = [&] {
        std::vector<long> counts;
        for (const std::string& cell : Column(table, ChannelListModel::Users)) {
            counts.push_back(std::stol(cell));
        }
        return counts;
    };
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, users);
    ASSERT_EQ(header.sortIndicatorSection(), ChannelListModel::Users);
    const Qt::SortOrder first = header.sortIndicatorOrder();
    const std::vector<long> ascending{1, 2, 2};
    const std::vector<long> descending{2, 2, 1};
    EXPECT_EQ(countsInOrder(), first == Qt::AscendingOrder ? ascending : descending);
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, users);
    EXPECT_NE(header.sortIndicatorOrder(), first);
    EXPECT_EQ(countsInOrder(), first == Qt::AscendingOrder ? descending : ascending);
    const int quietRow = header.sortIndicatorOrder() == Qt::AscendingOrder ? 0 : 2;
    ASSERT_EQ(Column(table, 0)[static_cast<std::size_t>(quietRow)], "#quiet");

    // A double-click on #quiet joins it.
    const QRect cell = table.visualRect(table.model()->index(quietRow, 0));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(PumpUntil([&] {
        const auto channel = connection.Channels()->Item("#quiet");
        return channel && channel->Users() && channel->Users()->Item("me");
    }));
    EXPECT_TRUE(anna.WaitFor("JOIN :#quiet") || anna.WaitFor("JOIN #quiet"));
    app.reset();
}

} // namespace
} // namespace tellix::test
