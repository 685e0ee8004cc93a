// How the windows share the document area, one at a time or overlapping, what closing the
// window in front leaves there, the place a window keeps in every state, and the preferences
// that choose the layout and the lists of windows.
#include "platform/qt/WindowLayout.h"
#include "platform/qt/PreferencesDialog.h"
#include "platform/qt/WindowBar.h"
#include "support/QtFace.h"
#include "support/QtLoop.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The window whose widgets the user sees at the middle of the area.
QMdiSubWindow* InFront(QMdiArea& area)
{
    QWidget* seen = area.viewport()->childAt(area.viewport()->rect().center());
    while (seen != nullptr && qobject_cast<QMdiSubWindow*>(seen) == nullptr) {
        seen = seen->parentWidget();
    }
    return static_cast<QMdiSubWindow*>(seen);
}

// Fills the area: maximized, as large as the area and the one seen there.
::testing::AssertionResult Fills(Face& face, const QtChildView& view)
{
    QMdiSubWindow* const form = view.SubWindow();
    if (!form->isMaximized() || form->geometry() != face.Area().viewport()->rect() ||
        InFront(face.Area()) != form) {
        return ::testing::AssertionFailure()
               << form->windowTitle().toStdString() << ": maximized " << form->isMaximized() << ", in front "
               << (InFront(face.Area()) == form);
    }
    return ::testing::AssertionSuccess();
}

QAction* MenuItem(const Face& face, const QString& menu, const QString& item)
{
    for (QAction* top : face.main->Window()->menuBar()->actions()) {
        if (top->text() == menu) {
            for (QAction* action : top->menu()->actions()) {
                if (action->text() == item) {
                    return action;
                }
            }
        }
    }
    return nullptr;
}

TEST(WindowLayout, OneAtATimeEveryWindowFillsTheAreaAndClosingTheOneInFrontLeavesTheOneBefore)
{
    EnsureGuiApplication();
    Face face; // as a new user has it
    ASSERT_TRUE(face.main->Layout()->OneAtATime());
    QtChildView& status = face.Open("1 - irc.test (me) - status", "c1", "irc.test", true);
    std::vector<QtChildView*> channels;
    for (const char* name : {"#a", "#b", "#c"}) {
        channels.push_back(&face.OpenChannel(std::string("2 - irc.test (me) - ") + name, name, "c1"));
        channels.back()->SetState(WindowState::Normal); // as a joined channel's window opens
    }
    // A stranger's window opens minimized, as always: a row in the tree, nothing in the area.
    QtChildView& bob = face.Open("5 - irc.test (me) - no channel - bob", "c1", "irc.test");
    EXPECT_EQ(bob.State(), WindowState::Minimized);
    EXPECT_FALSE(MenuItem(face, "&Window", "C&ascade")->isEnabled());
    EXPECT_FALSE(MenuItem(face, "&Window", "&Tile")->isEnabled());

    // Whichever window comes forward fills the area, without a frame.
    for (QtChildView* view : {&status, channels[0], channels[1], channels[2]}) {
        view->TakeFocus();
        EXPECT_TRUE(Fills(face, *view));
        EXPECT_TRUE(view->SubWindow()->windowFlags().testFlag(Qt::FramelessWindowHint));
    }
    face.Click(bob);
    EXPECT_EQ(face.Area().activeSubWindow(), bob.SubWindow());
    EXPECT_TRUE(Fills(face, bob));
    EXPECT_TRUE(bob.Input()->hasFocus());
    // A window the core opens meanwhile fills the area behind the one in use.
    QtChildView& late = face.OpenChannel("6 - irc.test (me) - #late", "#late", "c1");
    late.SetState(WindowState::Normal);
    EXPECT_EQ(late.State(), WindowState::Maximized);
    EXPECT_TRUE(Fills(face, bob));
    // Closing a window behind leaves the one in use in front.
    face.Close(late);
    EXPECT_TRUE(PumpUntil([&] { return face.Area().activeSubWindow() == bob.SubWindow() && Fills(face, bob); }));

    // Closed in turn, each window in front leaves the one used before it, filling the area,
    // with the keyboard in its input line.
    QtChildView* closing = &bob;
    for (QtChildView* next : {channels[2], channels[1], channels[0], &status}) {
        face.Close(*closing);
        EXPECT_TRUE(PumpUntil([&] {
            return face.Area().activeSubWindow() == next->SubWindow() && Fills(face, *next);
        })) << next->SubWindow()->windowTitle().toStdString()
            << " " << Fills(face, *next);
        EXPECT_TRUE(next->Input()->hasFocus());
        closing = next;
    }
}

// Every window shown costs each repaint of the area a pass: the ones behind are put away,
// still open for the core and a click away, and shown again in overlapping.
TEST(WindowLayout, OneAtATimePutsTheWindowsBehindAwayAndOverlappingShowsThemAgain)
{
    EnsureGuiApplication();
    Face face;
    std::vector<QtChildView*> views;
    for (const char* name : {"#a", "#b", "#c"}) {
        views.push_back(&face.OpenChannel(std::string("1 - irc.test (me) - ") + name, name, "c1"));
        views.back()->SetState(WindowState::Normal);
        views.back()->TakeFocus();
    }
    const auto hidden = [&views] {
        std::vector<bool> each;
        for (const QtChildView* view : views) {
            each.push_back(view->SubWindow()->isHidden());
            EXPECT_TRUE(view->Visible()) << "open, as the core sees it";
        }
        return each;
    };
    EXPECT_EQ(hidden(), (std::vector<bool>{true, true, false}));
    EXPECT_TRUE(Fills(face, *views[2]));

    face.Click(*views[0]);
    EXPECT_EQ(face.Area().activeSubWindow(), views[0]->SubWindow());
    EXPECT_TRUE(Fills(face, *views[0]));
    EXPECT_TRUE(views[0]->Input()->hasFocus());
    EXPECT_EQ(hidden(), (std::vector<bool>{false, true, true}));

    // One that opens behind (a stranger's first line) is away from the start, and minimized
    // to the core; restored by the core, it stays away, in its new state.
    views.push_back(&face.OpenChannel("1 - irc.test (me) - #d", "#d", "c1"));
    EXPECT_EQ(hidden(), (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(views[3]->State(), WindowState::Minimized);
    EXPECT_EQ(face.Area().activeSubWindow(), views[0]->SubWindow());
    views.push_back(&face.OpenChannel("1 - irc.test (me) - #e", "#e", "c1"));
    views[4]->SetState(WindowState::Normal);
    EXPECT_EQ(hidden(), (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(views[4]->State(), WindowState::Maximized) << "each fills the area when brought forward";
    EXPECT_EQ(face.Area().activeSubWindow(), views[0]->SubWindow());
    EXPECT_TRUE(views[0]->Input()->hasFocus());

    // Hidden as the core asks, a window put away is hidden for the core too.
    views[1]->SetVisible(false);
    EXPECT_FALSE(views[1]->Visible());
    views[1]->SetVisible(true);
    EXPECT_TRUE(views[1]->Visible());

    face.main->Layout()->SetMode(WindowLayout::Mode::Overlapping);
    EXPECT_EQ(hidden(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_TRUE(views[3]->SubWindow()->isMinimized()) << "shown again as it was";
}

TEST(WindowLayout, OverlappingWindowsKeepTheirFramesAndAMaximizedOneClosedLeavesTheNextMaximized)
{
    EnsureGuiApplication();
    Face face(Face::Stored{{"Window Layout", "overlapping"}});
    ASSERT_FALSE(face.main->Layout()->OneAtATime());
    std::vector<QtChildView*> views;
    for (const char* name : {"#a", "#b", "#c", "#d"}) {
        views.push_back(&face.OpenChannel(std::string("1 - irc.test (me) - ") + name, name, "c1"));
        views.back()->SetState(WindowState::Normal);
    }
    EXPECT_TRUE(MenuItem(face, "&Window", "C&ascade")->isEnabled());
    for (QtChildView* view : views) {
        view->TakeFocus();
        EXPECT_FALSE(view->SubWindow()->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_FALSE(view->SubWindow()->isMaximized());
        EXPECT_LT(view->SubWindow()->width(), face.Area().viewport()->width());
    }
    views[3]->SubWindow()->showMaximized();
    face.Close(*views[3]);
    EXPECT_TRUE(PumpUntil([&] {
        return face.Area().activeSubWindow() == views[2]->SubWindow() && Fills(face, *views[2]);
    })) << Fills(face, *views[2]);
    face.Close(*views[2]);
    EXPECT_TRUE(PumpUntil([&] {
        return face.Area().activeSubWindow() == views[1]->SubWindow() && Fills(face, *views[1]);
    })) << Fills(face, *views[1]);
    // A window in front that was not maximized leaves the next as it was.
    views[1]->SubWindow()->showNormal();
    face.Close(*views[1]);
    ASSERT_TRUE(PumpUntil([&] { return face.Area().activeSubWindow() == views[0]->SubWindow(); }));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(views[0]->SubWindow()->isMaximized());
}

TEST(WindowLayout, AWindowsPlaceIsWhereItGoesBackToInEveryState)
{
    EnsureGuiApplication();
    Face face(Face::Stored{{"Window Layout", "overlapping"}});
    QtChildView& other = face.Open("1 - irc.test (me) - status");
    other.SetState(WindowState::Normal);
    const QSize room = face.Area().viewport()->size();
    struct Row {
        const char* what;
        WindowState state;
        WindowPlace place;
        WindowPlace kept; // what Place() gives, and where the window is once normal
    };
    const Row rows[] = {
        {"normal", WindowState::Normal, {30, 40, 300, 200}, {30, 40, 300, 200}},
        {"maximized", WindowState::Maximized, {50, 60, 320, 220}, {50, 60, 320, 220}},
        {"minimized", WindowState::Minimized, {70, 20, 330, 230}, {70, 20, 330, 230}},
        {"larger than the area", WindowState::Normal, {-50, -50, 5000, 5000}, {0, 0, room.width(), room.height()}},
        {"beyond its edge",
         WindowState::Normal,
         {room.width() - 10, 5, 200, 150},
         {room.width() - 200, 5, 200, 150}},
    };
    for (const Row& row : rows) {
        QtChildView& view = face.Open("2 - irc.test (me) - #room", "", "", false);
        view.SetState(row.state);
        view.SetPlace(row.place);
        EXPECT_EQ(view.State(), row.state) << row.what;
        ASSERT_TRUE(view.Place().has_value()) << row.what;
        EXPECT_EQ(*view.Place(), row.kept) << row.what;
        view.SetState(WindowState::Normal);
        const QRect normal = view.SubWindow()->geometry();
        EXPECT_EQ((WindowPlace{normal.x(), normal.y(), normal.width(), normal.height()}), row.kept) << row.what;
        face.Close(view);
    }
    // Too small to be a window's place: ignored. Moved by the user, then maximized: the place
    // is where the user left it.
    QtChildView& view = face.Open("2 - irc.test (me) - #room");
    view.SetState(WindowState::Normal);
    const WindowPlace before = *view.Place();
    view.SetPlace({0, 0, 10, 10});
    EXPECT_EQ(*view.Place(), before);
    view.SubWindow()->setGeometry(11, 12, 400, 300);
    view.SetState(WindowState::Maximized);
    EXPECT_EQ(*view.Place(), (WindowPlace{11, 12, 400, 300}));
}

TEST(WindowLayout, PreferencesChooseTheListsTheLayoutAndTheOrderAndOnlyOkWritesThem)
{
    EnsureGuiApplication();
    Face face;
    SettingsStore& settings = face.toolkit.Settings();
    const auto read = [&](const char* key) {
        return settings.GetSetting(SettingsAppName(), "Main", key, "(none)");
    };
    QtChildView& status = face.Open("1 - irc.test (me) - status", "c1", "irc.test", true);
    QtChildView& room = face.OpenChannel("2 - irc.test (me) - #room", "#room", "c1");
    face.OpenChannel("3 - irc.test (me) - #abc", "#abc", "c1");
    room.TakeFocus();
    QDockWidget& dock = *face.main->TreeDock();
    WindowBar& bar = *face.main->Bar();
    // A new user's: the tree, not the bar.
    EXPECT_TRUE(dock.isVisible());
    EXPECT_FALSE(bar.isVisible());

    QAction* item = MenuItem(face, "&Settings", "&Preferences...");
    ASSERT_NE(item, nullptr);
    const auto open = [&] {
        item->trigger();
        return face.main->Preferences();
    };
    PreferencesDialog* dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->WindowListBox()->currentText(), "Tree");
    EXPECT_EQ(dialog->WindowLayoutBox()->currentText(), "One at a time");
    EXPECT_FALSE(dialog->WindowTreeSortedBox()->isChecked());
    const auto choose = [](PreferencesDialog& dialog, const char* list, const char* layout, bool sorted) {
        dialog.WindowListBox()->setCurrentText(list);
        dialog.WindowLayoutBox()->setCurrentText(layout);
        dialog.WindowTreeSortedBox()->setChecked(sorted);
    };
    choose(*dialog, "Both", "Overlapping", true);
    dialog->reject();
    ASSERT_TRUE(PumpUntil([&] { return face.main->Preferences() == nullptr; }));
    for (const char* key : {"Window List", "Window Layout", "Window Tree Sorted"}) {
        EXPECT_EQ(read(key), "(none)") << key << " written by Cancel";
    }
    EXPECT_TRUE(face.main->Layout()->OneAtATime());

    struct Row {
        const char* list;
        const char* layout;
        bool sorted;
        const char* storedList;
        const char* storedLayout;
        bool tree;
        bool bar;
    };
    const Row rows[] = {
        {"Both", "Overlapping", true, "both", "overlapping", true, true},
        {"Bar", "One at a time", false, "bar", "one at a time", false, true},
        {"Tree", "Overlapping", true, "tree", "overlapping", true, false},
    };
    for (const Row& row : rows) {
        dialog = open();
        ASSERT_NE(dialog, nullptr);
        choose(*dialog, row.list, row.layout, row.sorted);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        ASSERT_TRUE(PumpUntil([&] { return face.main->Preferences() == nullptr; }));
        EXPECT_EQ(read("Window List"), row.storedList);
        EXPECT_EQ(read("Window Layout"), row.storedLayout);
        EXPECT_EQ(read("Window Tree Sorted"), row.sorted ? "1" : "0");
        EXPECT_EQ(dock.isVisible(), row.tree) << row.list;
        EXPECT_EQ(bar.isVisible(), row.bar) << row.list;
        EXPECT_EQ(face.Model().Sorted(), row.sorted);
        EXPECT_EQ(face.Rows()[1], row.sorted ? "  #abc" : "  #room");
        // The open windows take the layout at once: framed or filling the area.
        const bool one = std::string(row.layout) == "One at a time";
        EXPECT_EQ(face.main->Layout()->OneAtATime(), one);
        EXPECT_EQ(MenuItem(face, "&Window", "&Tile")->isEnabled(), !one);
        for (const QtChildView* view : {&status, &room}) {
            EXPECT_EQ(view->SubWindow()->windowFlags().testFlag(Qt::FramelessWindowHint), one) << row.layout;
        }
        if (one) {
            ASSERT_NE(face.Area().currentSubWindow(), nullptr);
            EXPECT_TRUE(face.Area().currentSubWindow()->isMaximized());
        }
        // Opened again, the dialog shows what is stored.
        dialog = open();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->WindowListBox()->currentText(), row.list);
        EXPECT_EQ(dialog->WindowLayoutBox()->currentText(), row.layout);
        EXPECT_EQ(dialog->WindowTreeSortedBox()->isChecked(), row.sorted);
        dialog->reject();
        ASSERT_TRUE(PumpUntil([&] { return face.main->Preferences() == nullptr; }));
    }
}

TEST(WindowLayout, TheTreesWidthIsKeptBetweenRuns)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    {
        Face face({}, config.path());
        face.main->Show();
        QDockWidget& dock = *face.main->TreeDock();
        PumpFor(std::chrono::milliseconds(100));
        const int laidOut = dock.width();
        ASSERT_GT(laidOut, 50);
        face.main->Window()->resizeDocks({&dock}, {laidOut + 63}, Qt::Horizontal);
        ASSERT_TRUE(PumpUntil([&] { return dock.width() == laidOut + 63; })) << dock.width();
        face.main->Unload();
        EXPECT_EQ(face.toolkit.Settings().GetSetting(SettingsAppName(), "Main", "Window Tree Width", ""),
                  std::to_string(laidOut + 63));
    }
    Face face({}, config.path());
    face.main->Show();
    EXPECT_TRUE(PumpUntil([&] {
        return face.main->TreeDock()->width() ==
               std::stoi(face.toolkit.Settings().GetSetting(SettingsAppName(), "Main", "Window Tree Width", "0"));
    })) << face.main->TreeDock()->width();
}

} // namespace
} // namespace tellix::test
