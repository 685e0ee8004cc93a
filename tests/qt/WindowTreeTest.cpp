// The window tree beside the document area: windows grouped by connection, in the order they
// came or by name, each row showing its window's activity and unread count, and the mouse and
// menu roads from a row to its window. The views are driven as the core drives them.
#include "platform/qt/WindowTree.h"
#include "app/Settings.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowBar.h"
#include "platform/qt/WindowTreeModel.h"
#include "support/QtFace.h"
#include "support/QtLoop.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDockWidget>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tellix::test {
namespace {

TEST(WindowTree, WindowsGroupByConnectionInTheOrderTheyCameOrByName)
{
    EnsureGuiApplication();
    Face face;
    QAbstractItemModelTester tester(&face.Model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    QtChildView& libera = face.Open("1 - irc.libera.chat (me) - status", "c1", "Libera.Chat", true);
    QtChildView& oftc = face.Open("2 - irc.oftc.net (me) - status", "c2", "irc.oftc.net", true);
    face.OpenChannel("3 - irc.libera.chat (me) - #tellix", "#tellix", "c1");
    face.OpenChannel("4 - irc.oftc.net (me) - #debian", "#debian", "c2");
    face.Open("5 - not connected - status"); // a window of no connection
    QtChildView& bob = face.Open("6 - irc.libera.chat (me) - no channel - bob", "c1", "Libera.Chat");
    // A connection's channel before its status window says it heads it: the row waits for it.
    QtChildView& early = face.OpenChannel("7 - localhost (me) - #zeta", "#zeta", "c3");
    QtChildView& local = face.Open("8 - localhost (me) - status", "c3", "localhost", true);
    face.OpenChannel("9 - irc.libera.chat (me) - #qt", "#qt", "c1");

    const std::vector<std::string> byNumber = {"Libera.Chat", "  #tellix", "  bob",     "  #qt",  "irc.oftc.net",
                                               "  #debian",   "status",    "localhost", "  #zeta"};
    EXPECT_EQ(face.Rows(), byNumber);
    EXPECT_TRUE(face.Tree().isExpanded(face.Row(libera)));
    EXPECT_TRUE(face.Model().data(face.Row(local), WindowTreeModel::HeadRole).toBool());
    EXPECT_EQ(face.Model().Window(face.Row(local)), local.SubWindow());
    EXPECT_FALSE(face.Model().data(face.Row(bob), WindowTreeModel::HeadRole).toBool());

    // The network's name comes once connected; by name the groups and their windows sort anew.
    oftc.SetGroup("c2", "OFTC", true);
    face.views.back()->SetCaption("9 - irc.libera.chat (me) - #qt");
    face.Model().SetSorted(true);
    EXPECT_EQ(face.Rows(), (std::vector<std::string>{"Libera.Chat", "  #qt", "  #tellix", "  bob", "localhost",
                                                     "  #zeta", "OFTC", "  #debian", "status"}));
    // A partner's new nick and a network's new name move their rows to their new places.
    bob.SetCaption("6 - irc.libera.chat (me) - no channel - aaron");
    local.SetGroup("c3", "zlocal", true);
    EXPECT_EQ(face.Rows(), (std::vector<std::string>{"Libera.Chat", "  #qt", "  #tellix", "  aaron", "OFTC",
                                                     "  #debian", "status", "zlocal", "  #zeta"}));
    face.Model().SetSorted(false);
    EXPECT_EQ(face.Rows(), (std::vector<std::string>{"Libera.Chat", "  #tellix", "  aaron", "  #qt", "OFTC",
                                                     "  #debian", "status", "zlocal", "  #zeta"}));

    // A status window gone leaves its connection's row while a window of it remains; the last
    // one gone takes the row along.
    face.Close(local);
    EXPECT_EQ(face.Rows().back(), "  #zeta");
    EXPECT_EQ(face.Model().Window(face.Model().index(3, 0)), nullptr);
    face.Close(early);
    EXPECT_EQ(face.Rows(), (std::vector<std::string>{"Libera.Chat", "  #tellix", "  aaron", "  #qt", "OFTC",
                                                     "  #debian", "status"}));
    // A window that leaves its connection goes to the top.
    bob.SetGroup("", "", false);
    EXPECT_EQ(face.Rows(), (std::vector<std::string>{"Libera.Chat", "  #tellix", "  #qt", "OFTC", "  #debian",
                                                     "status", "aaron"}));
    EXPECT_EQ(face.Model().Count(), 7);
    static_cast<void>(libera);
}

// Whether a row of the tree shows the colour, somewhere in its right part: the badge.
int BadgePixels(const WindowTree& tree, const QModelIndex& index, const QColor& colour)
{
    const QRect row = tree.visualRect(index);
    const QImage image = tree.viewport()->grab(QRect(row.right() - 40, row.top(), 40, row.height())).toImage();
    int found = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            found += QColor(image.pixel(x, y)) == colour ? 1 : 0;
        }
    }
    return found;
}

TEST(WindowTree, ARowShowsActivityUnreadAndGreyedAndEachChangeTouchesThatRowAlone)
{
    EnsureGuiApplication();
    Face face;
    QtChildView& status = face.Open("1 - irc.test (me) - status", "c1", "irc.test", true);
    QtChildView& room = face.OpenChannel("2 - irc.test (me) - #room", "#room", "c1");
    face.OpenChannel("3 - irc.test (me) - #other", "#other", "c1");
    WindowTree& tree = face.Tree();
    EXPECT_EQ(tree.accessibleName(), "Windows");
    const QPalette palette = tree.palette();
    const QModelIndex row = face.Row(room);
    QSignalSpy changed(&face.Model(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&face.Model(), &QAbstractItemModel::modelReset);
    QSignalSpy layout(&face.Model(), &QAbstractItemModel::layoutChanged);

    struct Step {
        const char* what;
        Activity level;
        int unread;
        bool greyed;
        bool bold;
        const char* spoken;
    };
    const Step steps[] = {
        {"events", Activity::Events, 0, false, false, "#room, new events"},
        {"a message", Activity::Messages, 1, false, true, "#room, 1 unread, new messages"},
        {"more", Activity::Messages, 12, false, true, "#room, 12 unread, new messages"},
        {"a highlight", Activity::Highlight, 13, false, true, "#room, 13 unread, highlight"},
        {"kicked", Activity::Highlight, 13, true, true, "#room, 13 unread, highlight, inactive"},
        {"rejoined", Activity::Highlight, 13, false, true, "#room, 13 unread, highlight"},
        {"looked at", Activity::None, 0, false, false, "#room"},
    };
    for (const Step& step : steps) {
        changed.clear();
        room.SetActivity(step.level);
        room.SetUnread(step.unread);
        room.SetGreyed(step.greyed);
        ASSERT_FALSE(changed.isEmpty()) << step.what;
        for (const QList<QVariant>& signal : changed) {
            EXPECT_EQ(signal.at(0).toModelIndex(), row) << step.what;
            EXPECT_EQ(signal.at(1).toModelIndex(), row) << step.what;
        }
        const QVariant foreground = row.data(Qt::ForegroundRole);
        if (step.greyed) {
            EXPECT_EQ(foreground.value<QBrush>().color(), palette.color(QPalette::Disabled, QPalette::Text))
                << step.what;
        } else if (step.level == Activity::None) {
            EXPECT_FALSE(foreground.isValid()) << step.what;
        } else {
            EXPECT_EQ(foreground.value<QBrush>().color(), WindowBar::LevelColour(step.level, palette))
                << step.what;
        }
        EXPECT_EQ(row.data(Qt::FontRole).value<QFont>().bold(), step.bold) << step.what;
        EXPECT_EQ(row.data(Qt::AccessibleTextRole).toString().toStdString(), step.spoken);
        // The count is drawn at the row's end in the level's colour, and only while there is one.
        tree.viewport()->repaint();
        const QColor badge = step.greyed ? palette.color(QPalette::Disabled, QPalette::Text)
                                         : WindowBar::LevelColour(step.level, palette);
        if (step.unread > 0) {
            EXPECT_GT(BadgePixels(tree, row, badge), 20) << step.what;
        } else if (step.level != Activity::None) {
            EXPECT_EQ(BadgePixels(tree, row, badge), 0) << step.what;
        }
    }
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(layout.count(), 0);
    EXPECT_EQ(face.Row(status).data(Qt::AccessibleTextRole).toString(), "irc.test, connection");
}

TEST(WindowTree, AClickActivatesTheMiddleButtonAsksToCloseAndTheActiveRowFollows)
{
    EnsureGuiApplication();
    Face face;
    QtChildView& status = face.Open("1 - irc.test (me) - status", "c1", "irc.test", true);
    QtChildView& room = face.OpenChannel("2 - irc.test (me) - #room", "#room", "c1");
    QtChildView& query = face.Open("3 - irc.test (me) - no channel - bob", "c1", "irc.test");
    status.TakeFocus();
    WindowTree& tree = face.Tree();
    EXPECT_EQ(tree.currentIndex(), face.Row(status));

    // A click: the window comes forward and takes the keyboard.
    face.Click(room);
    EXPECT_EQ(face.Area().activeSubWindow(), room.SubWindow());
    EXPECT_TRUE(room.Input()->hasFocus());
    EXPECT_TRUE(tree.selectionModel()->isSelected(face.Row(room)));

    // Another road to a window: the row follows it.
    query.TakeFocus();
    EXPECT_EQ(tree.currentIndex(), face.Row(query));
    EXPECT_TRUE(tree.selectionModel()->isSelected(face.Row(query)));
    EXPECT_FALSE(tree.selectionModel()->isSelected(face.Row(room)));

    // The keys walk the tree, each window coming forward while the keyboard stays in the tree.
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Up);
    EXPECT_EQ(face.Area().activeSubWindow(), room.SubWindow());
    EXPECT_TRUE(tree.hasFocus());

    // The middle button asks the window to close (the core decides); nothing is activated.
    int asked = 0;
    std::int32_t mode = -1;
    auto subscription = query.Events.QueryUnload.connect([&](bool& cancel, std::int32_t unloadMode) {
        ++asked;
        mode = unloadMode;
        cancel = true;
    });
    face.Click(query, Qt::MiddleButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(face.Area().activeSubWindow(), room.SubWindow());
    // The right button neither: it opens the menu.
    face.Click(query, Qt::RightButton);
    EXPECT_EQ(face.Area().activeSubWindow(), room.SubWindow());
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(top); menu != nullptr && menu->isVisible()) {
            menu->close();
        }
    }
}

TEST(WindowTree, EachMenuItemRaisesItsCommandInItsWindow)
{
    EnsureGuiApplication();
    Face face;
    QtChildView& status = face.Open("1 - irc.libera.chat (me) - status", "c1", "Libera.Chat", true);
    QtChildView& room = face.OpenChannel("2 - irc.libera.chat (me) - #tellix", "#tellix", "c1");
    QtChildView& query = face.Open("3 - irc.libera.chat (me) - no channel - bob", "c1", "Libera.Chat");
    std::vector<std::pair<const ChildView*, std::string>> ran;
    std::vector<Subscription> subscriptions;
    for (QtChildView* view : {&status, &room, &query}) {
        subscriptions.push_back(view->Events.RunCommand.connect(
            [&ran, view](const std::string& line) { ran.emplace_back(view, line); }));
    }
    const auto items = [&](const QtChildView& view) {
        std::unique_ptr<QMenu> menu(face.Tree().MenuFor(face.Row(view)));
        std::vector<std::string> texts;
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator()) {
                texts.push_back(action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
            }
        }
        return texts;
    };
    EXPECT_EQ(items(status),
              (std::vector<std::string>{"&Reconnect", "&Disconnect", "C&onnect", "&Edit Network...", "&Close"}));
    EXPECT_EQ(items(room), (std::vector<std::string>{"&Part", "Re&join", "&Close"}));
    EXPECT_EQ(items(query), (std::vector<std::string>{"&Close"}));

    QString edited;
    face.main->SetEditNetwork([&edited](QString label) { edited = std::move(label); });
    struct Row {
        QtChildView* view;
        const char* item;
        const char* command; // raised in that window; empty for none
    };
    const Row rows[] = {
        {&room, "&Part", "PART"},
        {&room, "Re&join", "JOIN #tellix"},
        {&status, "&Disconnect", "DISCONNECT"},
        {&status, "&Reconnect", "SERVER"},
        {&status, "C&onnect", "CONNECT Libera.Chat"},
        {&status, "&Edit Network...", ""},
    };
    for (const Row& row : rows) {
        ran.clear();
        std::unique_ptr<QMenu> menu(face.Tree().MenuFor(face.Row(*row.view)));
        const auto actions = menu->actions();
        const auto action = std::find_if(actions.begin(), actions.end(),
                                         [&row](const QAction* item) { return item->text() == row.item; });
        ASSERT_NE(action, actions.end()) << row.item;
        ASSERT_TRUE((*action)->isEnabled()) << row.item;
        (*action)->trigger();
        if (*row.command != '\0') {
            EXPECT_EQ(ran, (std::vector<std::pair<const ChildView*, std::string>>{{row.view, row.command}}))
                << row.item;
        } else {
            EXPECT_TRUE(ran.empty()) << row.item;
        }
    }
    EXPECT_EQ(edited, "Libera.Chat");

    // Kicked or offline: nothing to part or disconnect from.
    room.SetGreyed(true);
    status.SetGreyed(true);
    EXPECT_EQ(items(room), (std::vector<std::string>{"&Part (off)", "Re&join", "&Close"}));
    EXPECT_EQ(items(status)[1], "&Disconnect (off)");

    // Close asks the window, as its close box does; the core may refuse.
    int asked = 0;
    auto refuse = query.Events.QueryUnload.connect([&asked](bool& cancel, std::int32_t) {
        ++asked;
        cancel = true;
    });
    std::unique_ptr<QMenu> menu(face.Tree().MenuFor(face.Row(query)));
    menu->actions().back()->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(face.Row(query).isValid());
}

// Hundreds of windows, most of them waiting beside a full area: every one has its row and its
// button, and its row brings it forward.
TEST(WindowTree, FourHundredWindowsEachHaveARowAndAButtonAndComeForwardFromTheirRow)
{
    EnsureGuiApplication();
    Face face;
    std::vector<QtChildView*> windows;
    for (int number = 1; number <= 400; ++number) {
        const std::string group = "c" + std::to_string(number % 3);
        const bool head = number <= 3;
        windows.push_back(&face.Open(std::to_string(number) + " - irc.test (me) - " +
                                         (head ? std::string("status") : "#channel" + std::to_string(number)),
                                     group, "network" + group, head));
    }
    QCoreApplication::processEvents();
    WindowBar& bar = *face.main->Bar();
    EXPECT_EQ(face.Model().Count(), 400);
    EXPECT_EQ(bar.Count(), 400);
    for (int number = 1; number <= 400; ++number) {
        const QtChildView& view = *windows[static_cast<std::size_t>(number - 1)];
        ASSERT_TRUE(face.Row(view).isValid()) << number;
        ASSERT_NE(bar.Button(view.SubWindow()), nullptr) << number;
        ASSERT_EQ(bar.Numbered(number), view.SubWindow()) << number;
    }
    EXPECT_EQ(face.Rows().size(), 400u);
    EXPECT_EQ(face.Model().rowCount(), 3);

    QtChildView& last = *windows.back();
    ASSERT_EQ(last.SubWindow()->mdiArea(), nullptr) << "waits beside the area";
    face.Click(last);
    EXPECT_EQ(face.Area().activeSubWindow(), last.SubWindow());
    EXPECT_TRUE(last.SubWindow()->isMaximized());
    EXPECT_TRUE(bar.Button(last.SubWindow())->isChecked());
    EXPECT_TRUE(face.Tree().viewport()->rect().contains(face.Tree().visualRect(face.Row(last))));
}

// The tree a person sees with three networks and forty windows (TELLIX_SCREENSHOT saves it).
TEST(WindowTree, ThreeNetworksOfFortyWindowsFitTheTreeWithTheActiveOneInView)
{
    EnsureGuiApplication();
    Face face;
    face.main->Show();
    struct Network {
        const char* group;
        const char* label;
        const char* server;
        std::vector<const char*> windows;
    };
    const std::vector<Network> networks = {
        {"c1",
         "Libera.Chat",
         "irc.libera.chat",
         {"#tellix", "#qt", "#ircv3", "#linux", "#debian", "#kde", "#gnome", "#python", "#rust", "#c++", "#cmake",
          "#git", "#vim", "#emacs", "alice", "bob"}},
        {"c2",
         "OFTC",
         "irc.oftc.net",
         {"#debian-next", "#tor", "#llvm", "#virt", "#kernelnewbies", "#moocows", "#oftc", "#spi", "carol"}},
        {"c3",
         "bouncer",
         "znc.home.example",
         {"#home", "#work", "#music", "#random", "#games", "#news", "#books", "#films", "#food", "#travel", "#art",
          "dave"}},
    };
    std::vector<QtChildView*> made;
    int number = 1;
    for (const Network& network : networks) {
        made.push_back(&face.Open(std::to_string(number++) + " - " + network.server + " (me) - status",
                                  network.group, network.label, true));
        for (const char* name : network.windows) {
            const std::string caption = std::to_string(number++) + " - " + network.server + " (me) - ";
            made.push_back(name[0] == '#'
                               ? &face.OpenChannel(caption + name, name, network.group)
                               : &face.Open(caption + "no channel - " + name, network.group, network.label));
        }
    }
    ASSERT_EQ(face.Model().Count(), 40);
    made[3]->SetActivity(Activity::Messages);
    made[3]->SetUnread(7);
    made[5]->SetActivity(Activity::Events);
    made[15]->SetActivity(Activity::Highlight);
    made[15]->SetUnread(2);
    made[20]->SetGreyed(true);
    made[30]->SetActivity(Activity::Highlight);
    made[30]->SetUnread(1);
    made[34]->SetActivity(Activity::Messages);
    made[34]->SetUnread(120);
    // The window in front, laid out as the core lays out a channel window.
    QtChildView& travel = *made[37];
    travel.TakeFocus();
    travel.ShowTopicBar(true);
    travel.SetTopic("Trains, ferries and the odd bicycle | be kind", "dave", 0);
    for (const char* nick : {"@dave", "+erin", "frank", "grace", "me"}) {
        travel.UsersAppend(nick);
    }
    for (const char* line : {"[12:00] *** joined channel #travel", "[12:01] <erin> anyone took the night train?",
                             "[12:02] <frank> twice, bring earplugs", "[12:03] <dave> the window tree is in"}) {
        travel.AppendOutput(line);
    }
    PumpFor(std::chrono::milliseconds(100));
    const auto width = static_cast<std::int32_t>(travel.ClientWidth());
    const auto height = static_cast<std::int32_t>(travel.ClientHeight());
    travel.MoveOutput(0, 0, width - 100, height - 12);
    travel.MoveUsers(width - 100, 0, 100, height - 12);
    travel.MoveInput(0, height - 12, width, 12);
    PumpFor(std::chrono::milliseconds(200));
    const QRect active = face.Tree().visualRect(face.Row(*made[37]));
    EXPECT_TRUE(face.Tree().viewport()->rect().contains(active));
    EXPECT_TRUE(made[37]->SubWindow()->isMaximized());
    EXPECT_EQ(made[37]->SubWindow()->geometry(), face.Area().viewport()->rect());
    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        face.main->Window()->grab().save(QString::fromLocal8Bit(shot));
    }
    if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
        std::fprintf(stderr, "screenshot now\n");
        PumpFor(std::chrono::milliseconds(std::atoi(pause)));
    }
}

} // namespace
} // namespace tellix::test
