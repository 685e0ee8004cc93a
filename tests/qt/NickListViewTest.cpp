// The nick lists of the Qt windows through bursts of server lines that arrive in one read, as a
// netsplit's do: what the list views show, in what order, and what stays selected.
#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "model/NickRanks.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "support/BringForward.h"
#include "support/QtLoop.h"
#include "support/RecordingSocket.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The client online on a recording socket, in #room with the names given.
struct ListClient {
    QTemporaryDir config;
    QtToolkit toolkit;
    RecordingSocketFactory sockets;
    std::unique_ptr<Application> app;
    RecordingSocket* socket = nullptr;
    std::set<std::string> ops; // nicks the names reply gave '@'

    explicit ListClient(const std::string& names)
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        app = std::make_unique<Application>(toolkit, sockets);
        socket = sockets.created.back();
        app->Childs()->ConnectDialog()->CloseWindow();
        IRCConnection& connection = *app->Connections().Item(1);
        connection.InitialNick("me");
        connection.Connect("irc.test", 6667);
        socket->PeerConnects();
        Receive({":irc.test 001 me :Welcome", ":me!u@h JOIN :#room", ":irc.test 353 me = #room :" + names,
                 ":irc.test 366 me #room :End of /NAMES list."});
    }
    ~ListClient() { app.reset(); }

    void Receive(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\r\n";
        }
        socket->PeerSends(text);
    }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(app->Childs()->Item(index)->Window());
    }
    // The rows as the list view reads them.
    std::vector<std::string> Shown(std::int32_t index) const
    {
        const NickListModel& model = *View(index).UsersModel();
        std::vector<std::string> nicks;
        for (int row = 0; row < model.rowCount(); ++row) {
            nicks.push_back(model.data(model.index(row), Qt::DisplayRole).toString().toStdString());
        }
        return nicks;
    }
    // The entries as the window holds them.
    std::vector<std::string> Held(std::int32_t index) const
    {
        Child& window = *app->Childs()->Item(index);
        std::vector<std::string> nicks;
        for (std::int32_t position = 0; position < window.NickCount(); ++position) {
            nicks.emplace_back(window.NickItem(position));
        }
        return nicks;
    }
    // A channel's list is drawn ranked: the nicks given, in the core's order, as drawn.
    std::vector<std::string> Drawn(std::int32_t index, std::vector<std::string> nicks) const
    {
        if (!View(index).UsersModel()->Ranked()) {
            return nicks;
        }
        const auto rank = [this](const std::string& nick) {
            return ops.count(nick) != 0 ? 0 : RankTable::kMaxRanks;
        };
        std::sort(nicks.begin(), nicks.end(), [&](const std::string& a, const std::string& b) {
            return RankedBefore(rank(a), a, rank(b), b, CaseMapping::Rfc1459);
        });
        for (std::string& nick : nicks) {
            nick = ops.count(nick) != 0 ? "@" + nick : nick;
        }
        return nicks;
    }
    bool Shows(std::int32_t index, const std::vector<std::string>& nicks) const
    {
        return PumpUntil([&] { return Shown(index) == Drawn(index, nicks); });
    }
    std::string Selected(std::int32_t index) const
    {
        const QModelIndexList rows = View(index).UsersView()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().data().toString().toStdString() : std::string();
    }
};

std::vector<std::string> Quits(const std::vector<std::string>& nicks)
{
    std::vector<std::string> lines;
    for (const std::string& nick : nicks) {
        lines.push_back(":" + nick + "!u@h QUIT :hub leaf");
    }
    return lines;
}

// x<first>, x<first + step>, ... up to x<last>.
std::vector<std::string> Xs(int first, int last, int step = 1)
{
    std::vector<std::string> nicks;
    for (int i = first; i <= last; i += step) {
        nicks.push_back("x" + std::to_string(i));
    }
    return nicks;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> joined;
    for (const auto& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

TEST(NickListView, ABurstOfQuitsLeavesTheListInOrderAndTheSelectionOnItsNick)
{
    EnsureGuiApplication();
    const std::vector<std::string> before =
        Join({{"me", "first", "b", "c", "d", "e", "f", "g", "h"}, Xs(0, 29), {"last"}});
    std::string names = "@first";
    for (std::size_t i = 2; i < before.size(); ++i) {
        names += " " + before[i];
    }
    ListClient client(names);
    client.ops = {"first"};
    ASSERT_TRUE(client.Shows(2, before));
    ASSERT_TRUE(client.Shows(1, before));
    QTableView& view = *client.View(2).UsersView();
    // Drawn ranked: "@first" on top, the others by nick.
    view.setCurrentIndex(view.model()->match(view.model()->index(0, 0), Qt::DisplayRole, "f").value(0));
    ASSERT_EQ(client.Selected(2), "f");

    struct Burst {
        std::vector<std::string> lines;
        std::vector<std::string> channel; // after the burst
        std::string selected;
    };
    // The first and the last member, neighbours, one who comes back, a rename among the gaps,
    // one who joins and goes before the view hears of either, and the own nick (the first
    // entry) parting (a kick of it would empty the list), all in one read. Bursts of one gap
    // and of many, with the selected nick staying and going: where it goes, the selection
    // passes to the next nick drawn, as it does when one row goes.
    std::vector<Burst> bursts = {
        {Join({Quits(Join({{"first", "last", "c", "d", "e", "g"}, Xs(0, 18, 2)})),
               {":b!u@h NICK :bee", ":new!u@h JOIN :#room", ":g!u@h JOIN :#room", ":new!u@h QUIT :gone",
                ":me!u@h PART #room :out"}}),
         Join({{"bee", "f", "h"}, Xs(1, 19, 2), Xs(20, 29), {"g"}}), "f"},
        // Drawn by nick, "g" follows "f".
        {Quits({"f", "bee"}), Join({{"h"}, Xs(1, 19, 2), Xs(20, 29), {"g"}}), "g"},
        {Quits(Join({{"h"}, Xs(3, 19, 4), Xs(21, 27, 2)})), Join({Xs(1, 17, 4), Xs(20, 28, 2), {"x29", "g"}}),
         "g"},
        {Quits(Join({Xs(1, 17, 4), Xs(20, 28, 2), {"x29", "g"}})), {}, ""},
    };
    for (const Burst& burst : bursts) {
        client.Receive(burst.lines);
        EXPECT_EQ(client.Held(2), burst.channel);
        ASSERT_TRUE(client.Shows(2, burst.channel)) << testing::PrintToString(client.Shown(2));
        EXPECT_EQ(client.Selected(2), burst.selected) << testing::PrintToString(burst.channel);
        // The view places as many rows as there are.
        EXPECT_EQ(view.verticalHeader()->count(), static_cast<int>(burst.channel.size()));
    }
    // Everyone else quit, and a user who quits is forgotten: the status window lists only us.
    const std::vector<std::string> known = {"me"};
    EXPECT_TRUE(client.Shows(1, known)) << testing::PrintToString(client.Shown(1));
    EXPECT_EQ(client.Held(1), known);
}

// The counts above a channel's list, one row per names reply.
TEST(NickListView, TheCountsSayUserAndOpForOne)
{
    EnsureGuiApplication();
    const std::pair<std::string, std::string> cases[] = {
        {"me", "1 user, 0 ops"},
        {"@me", "1 user, 1 op"},
        {"@me bob", "2 users, 1 op"},
        {"@me @bob carl", "3 users, 2 ops"},
    };
    for (const auto& [names, counts] : cases) {
        ListClient client(names);
        ASSERT_NE(client.View(2).UsersCounts(), nullptr);
        EXPECT_TRUE(PumpUntil([&] { return client.View(2).UsersCounts()->text().toStdString() == counts; }))
            << names << ": " << client.View(2).UsersCounts()->text().toStdString();
    }
}

// A join changes the list and its counts. The window around them is neither laid out again
// nor painted: in a busy channel that would be the frame and title bar at every join.
TEST(NickListView, AJoinRepaintsTheListAndItsCountsNotTheWindowAroundThem)
{
    EnsureGuiApplication();
    ListClient client("a b c");
    QMainWindow& main = *client.toolkit.MainWindow()->Window();
    main.resize(1000, 700);
    main.show();
    QtChildView& view = client.View(2);
    BringForward(*client.toolkit.MainWindow()->Area(), view.SubWindow());
    PumpFor(std::chrono::milliseconds(100));

    struct Seen : QObject {
        bool eventFilter(QObject* /*object*/, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            layouts += event->type() == QEvent::LayoutRequest ? 1 : 0;
            return false;
        }
        int paints = 0;
        int layouts = 0;
    };
    Seen frame;
    Seen inside;
    Seen list;
    view.SubWindow()->installEventFilter(&frame);
    view.SubWindow()->widget()->installEventFilter(&inside);
    view.UsersView()->viewport()->installEventFilter(&list);
    client.Receive({":d!u@h JOIN :#room"});
    ASSERT_TRUE(PumpUntil([&] { return list.paints > 0; }));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(view.UsersCounts()->text().toStdString(), "5 users, 0 ops");
    EXPECT_EQ(frame.paints, 0);
    EXPECT_EQ(inside.layouts, 0);
}

// A names reply big enough to be sorted by its keys' bytes: nicks of every length, in both
// cases, with the rfc1459 brackets that fold onto each other, sharing prefixes longer than the
// bytes a key holds, some of them ops; drawn in exactly the order the rules give.
TEST(NickListView, ABigNamesReplyIsDrawnByRankThenFoldedNick)
{
    EnsureGuiApplication();
    std::mt19937 random(11);
    const std::string letters = "aAbBcCzZ09[]{}\\|^~-_`";
    std::set<std::string> folded = {"me"};
    std::vector<std::string> channel = {"me"};
    std::set<std::string> ops;
    std::string names;
    while (channel.size() < 2000) {
        std::string nick = random() % 3 == 0 ? "AVeryLongSharedPrefix" : "";
        nick += letters[random() % 6]; // a letter first, as a nick must
        for (std::size_t length = random() % 20; length > 0; --length) {
            nick += letters[random() % letters.size()];
        }
        std::string key;
        for (const char c : nick) {
            key += FoldNickChar(c, CaseMapping::Rfc1459);
        }
        if (!folded.insert(key).second) {
            continue; // one user, however it is spelt
        }
        const bool op = random() % 5 == 0;
        if (op) {
            ops.insert(nick);
        }
        names += std::string(names.empty() ? "" : " ") + (op ? "@" : "") + nick;
        channel.push_back(nick);
    }
    ListClient client(names);
    client.ops = ops;
    EXPECT_TRUE(client.Shows(2, channel)) << testing::PrintToString(client.Shown(2));
}

// Bursts of quits, parts, joins and renames in random order over a big channel, against a
// plain list kept by the rules: a quit or part takes the nick out, a join appends it unless
// listed, a rename keeps its place; the status window lists every user still known, and one
// who quits or parts the only channel we share is forgotten, and is new when back.
TEST(NickListView, RandomBurstsMatchAPlainListByTheRules)
{
    EnsureGuiApplication();
    std::vector<std::string> channel = {"me"};
    std::vector<std::string> known = {"me"};
    std::string names;
    for (int i = 0; i < 3000; ++i) {
        const std::string nick = "user" + std::to_string(i);
        names += (names.empty() ? "" : " ") + nick;
        channel.push_back(nick);
        known.push_back(nick);
    }
    ListClient client(names);
    ASSERT_TRUE(client.Shows(2, channel));

    std::mt19937 random(7);
    int fresh = 0;
    std::vector<std::string> departed;
    for (int burst = 0; burst < 6; ++burst) {
        std::vector<std::string> lines;
        for (int event = 0; event < 900; ++event) {
            const auto pick = [&](const std::vector<std::string>& from) {
                return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
            };
            const int kind = static_cast<int>(random() % 10);
            if (kind < 5 && channel.size() > 1) {
                const std::string nick = pick(channel);
                if (nick == "me") {
                    continue;
                }
                lines.push_back(":" + nick + "!u@h " + (kind < 4 ? "QUIT :split" : "PART #room :bye"));
                channel.erase(std::find(channel.begin(), channel.end(), nick));
                known.erase(std::find(known.begin(), known.end(), nick));
                departed.push_back(nick);
            } else if (kind < 8) {
                const std::string nick = kind == 7                        ? "fresh" + std::to_string(fresh++)
                                         : kind == 6 && !departed.empty() ? pick(departed)
                                                                          : pick(known);
                if (nick == "me") {
                    continue; // the own join empties the list
                }
                lines.push_back(":" + nick + "!u@h JOIN :#room");
                if (std::find(channel.begin(), channel.end(), nick) == channel.end()) {
                    channel.push_back(nick);
                }
                if (std::find(known.begin(), known.end(), nick) == known.end()) {
                    known.push_back(nick);
                }
            } else {
                const std::string nick = pick(channel);
                if (nick == "me") {
                    continue;
                }
                const std::string next = "renamed" + std::to_string(fresh++);
                lines.push_back(":" + nick + "!u@h NICK :" + next);
                *std::find(channel.begin(), channel.end(), nick) = next;
                *std::find(known.begin(), known.end(), nick) = next;
            }
        }
        client.Receive(lines);
        ASSERT_EQ(client.Held(2), channel) << "burst " << burst;
        ASSERT_TRUE(client.Shows(2, channel)) << "burst " << burst;
        ASSERT_TRUE(client.Shows(1, known)) << "burst " << burst;
    }
}

} // namespace
} // namespace tellix::test
