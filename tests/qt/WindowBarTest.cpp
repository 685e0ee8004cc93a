// The window bar and the keys that switch windows, against a real IRC server: what a user
// sees of the windows they are not looking at, and how they get there without the mouse.
#include "platform/qt/WindowBar.h"
#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The client connected as "me" to ngircd, its main window active on the screen.
struct BarClient {
    QTemporaryDir config;
    QtToolkit toolkit;
    QtSocketFactory sockets;
    std::unique_ptr<Application> app;
    QMainWindow* mainWindow = nullptr;
    QMdiArea* area = nullptr;
    WindowBar* bar = nullptr;

    explicit BarClient(const IrcServer& server)
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        toolkit.Settings().SaveSetting(SettingsAppName(), "Main", "Window List", "bar");
        app = std::make_unique<Application>(toolkit, sockets);
        mainWindow = toolkit.MainWindow()->Window();
        area = toolkit.MainWindow()->Area();
        bar = toolkit.MainWindow()->Bar();
        mainWindow->show();
        mainWindow->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(mainWindow));
        IRCConnection& connection = *app->Connections().Item(1);
        connection.InitialNick("me");
        connection.InitialUserParams("me 8 * :Tellix me");
        connection.Connect(server.Host(), server.Port());
    }
    ~BarClient() { app.reset(); }

    Childs& Windows() const { return *app->Childs(); }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(Windows().Item(index)->Window());
    }
    QToolButton* Button(std::int32_t index) const { return bar->Button(View(index).SubWindow()); }
    Activity Level(std::int32_t index) const { return bar->Level(View(index).SubWindow()); }
    bool Becomes(std::int32_t index, Activity level) const
    {
        return PumpUntil([&] { return Windows().Count() >= index && Level(index) == level; });
    }
    // The window the user looks at, as the area, the core and the bar each have it.
    std::int32_t Active() const
    {
        const auto& active = Windows().Active();
        if (!active || area->activeSubWindow() != View(active->Index()).SubWindow() ||
            !Button(active->Index())->isChecked()) {
            return -1;
        }
        return active->Index();
    }
    QLineEdit& Input(std::int32_t index) const
    {
        QLineEdit& input = *View(index).Input();
        input.setFocus();
        return input;
    }
    QAction* MenuItem(std::int32_t index) const
    {
        for (QAction* top : mainWindow->menuBar()->actions()) {
            if (top->text() == "&Window") {
                for (QAction* item : top->menu()->actions()) {
                    if (item->text() == View(index).SubWindow()->windowTitle()) {
                        return item;
                    }
                }
            }
        }
        return nullptr;
    }
};

TEST(WindowBar, ButtonsShowActivityAndTheKeysSwitchWindowsFromTheInputLine)
{
    EnsureGuiApplication();
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));
    BarClient client(server);
    IRCConnection& connection = *client.app->Connections().Item(1);
    ASSERT_TRUE(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }));
    // Typed, the join's window is one the user opened: it comes to the front.
    QTest::keyClicks(&client.Input(1), "/join #room");
    QTest::keyClick(&client.Input(1), Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return client.Windows().Count() == 2 && client.Active() == 2; }));

    // One button per window in number order, each named by what it shows.
    ASSERT_EQ(client.bar->Count(), 2);
    EXPECT_EQ(client.Button(1)->text(), "status");
    EXPECT_EQ(client.Button(2)->text(), "#room");
    EXPECT_TRUE(client.Button(2)->isChecked());
    EXPECT_FALSE(client.Button(1)->isChecked());

    // Clicking a button activates its window.
    QTest::mouseClick(client.Button(1), Qt::LeftButton);
    EXPECT_EQ(client.Active(), 1);

    // Lines in the window not looked at colour its button; a mention makes it a highlight.
    bob.Send("PRIVMSG #room :hello");
    ASSERT_TRUE(client.Becomes(2, Activity::Messages));
    const QPalette palette = client.bar->palette();
    EXPECT_EQ(client.Button(2)->palette().color(QPalette::ButtonText),
              WindowBar::LevelColour(Activity::Messages, palette));
    EXPECT_TRUE(client.Button(2)->font().bold());
    ASSERT_NE(client.MenuItem(2), nullptr);
    EXPECT_TRUE(client.MenuItem(2)->font().bold());
    EXPECT_FALSE(client.MenuItem(2)->icon().isNull());
    EXPECT_EQ(client.Level(1), Activity::None);
    bob.Send("PRIVMSG #room :me: are you there?");
    ASSERT_TRUE(client.Becomes(2, Activity::Highlight));
    EXPECT_EQ(client.Button(2)->palette().color(QPalette::ButtonText),
              WindowBar::LevelColour(Activity::Highlight, palette));
    EXPECT_NE(WindowBar::LevelColour(Activity::Highlight, palette),
              WindowBar::LevelColour(Activity::Messages, palette));

    // Alt+2 with the focus in the status window's input line goes there and clears it.
    QTest::keyClick(&client.Input(1), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(client.Active(), 2);
    EXPECT_EQ(client.Level(2), Activity::None);
    EXPECT_FALSE(client.Button(2)->font().bold());
    EXPECT_FALSE(client.MenuItem(2)->font().bold());

    // Next and previous by number, wrapping; the area's own Ctrl+Tab never gets the key.
    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::int32_t from;
        std::int32_t to;
    };
    const Key keys[] = {
        {Qt::Key_Tab, Qt::ControlModifier, 2, 1},
        {Qt::Key_Tab, Qt::ControlModifier, 1, 2},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 2, 1},
        {Qt::Key_PageDown, Qt::ControlModifier, 1, 2},
        {Qt::Key_PageUp, Qt::ControlModifier, 2, 1},
        {Qt::Key_1, Qt::AltModifier, 1, 1},
        {Qt::Key_9, Qt::AltModifier, 1, 1}, // no such window: nothing changes
    };
    for (const Key& key : keys) {
        ASSERT_EQ(client.Active(), key.from);
        QTest::keyClick(&client.Input(key.from), key.key, key.modifiers);
        // The document area would act on Ctrl's release.
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Control);
        EXPECT_EQ(client.Active(), key.to) << QKeySequence(key.key | key.modifiers).toString().toStdString();
        EXPECT_TRUE(client.View(key.to).Input()->hasFocus());
    }

    // Alt+A: the highest activity first, the private line before the channel's message.
    bob.Send("PRIVMSG #room :just chat");
    ASSERT_TRUE(client.Becomes(2, Activity::Messages));
    bob.Send("PRIVMSG me :psst");
    ASSERT_TRUE(client.Becomes(3, Activity::Highlight));
    EXPECT_EQ(client.Active(), 1); // a stranger's window does not take the keyboard
    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        client.mainWindow->showNormal();
        client.mainWindow->resize(1024, 640);
        PumpFor(std::chrono::milliseconds(500));
        client.mainWindow->grab().save(QString::fromLocal8Bit(shot));
        if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
            std::fprintf(stderr, "screenshot now\n");
            PumpFor(std::chrono::milliseconds(std::atoi(pause)));
        }
    }
    QTest::keyClick(&client.Input(1), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(client.Active(), 3);
    EXPECT_FALSE(client.View(3).SubWindow()->isMinimized());
    QTest::keyClick(&client.Input(3), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(client.Active(), 2);
    QTest::keyClick(&client.Input(2), Qt::Key_A, Qt::AltModifier); // nothing left: stays
    EXPECT_EQ(client.Active(), 2);

    // Tab in the input line still completes a nick.
    QLineEdit& input = client.Input(2);
    QTest::keyClicks(&input, "bo");
    QTest::keyClick(&input, Qt::Key_Tab);
    EXPECT_TRUE(input.text().startsWith("bob")) << input.text().toStdString();
    EXPECT_EQ(client.Active(), 2);
    EXPECT_TRUE(input.hasFocus());
    input.clear();

    // Closing a window takes its button along; the others stay the same buttons and follow
    // their windows' new numbers.
    QToolButton* const status = client.Button(1);
    QToolButton* const query = client.Button(3);
    client.Windows().Item(2)->CloseWindow(true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // as the event loop would
    ASSERT_EQ(client.bar->Count(), 2);
    EXPECT_EQ(client.Button(1), status);
    EXPECT_EQ(client.Button(2), query);
    EXPECT_EQ(query->text(), "bob");
    // The window in front went: the one used before it comes forward as the loop turns.
    ASSERT_TRUE(PumpUntil([&] { return client.Active() > 0; }));
    QTest::keyClick(&client.Input(client.Active()), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(client.Active(), 2);
}

// Thousands of windows: the bar places a new button after the last, shows only the buttons in
// view, scrolls to the pressed one, and a closed window's gap moves only the buttons after it.
TEST(WindowBar, ButtonsBeyondTheBarScrollAndAGapMovesOnlyTheButtonsAfterIt)
{
    EnsureGuiApplication();
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    auto* bar = new WindowBar(
        *area, [area](QMdiSubWindow* child) { area->setActiveSubWindow(child); }, &main);
    main.addToolBar(bar);
    main.resize(800, 400);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QWidget holder; // the windows wait outside the area, as most do past a few dozen
    constexpr int windows = 300;
    for (int number = 1; number <= windows; ++number) {
        auto* child = new QMdiSubWindow(&holder);
        child->setWindowTitle(QString("%1 - irc.test (me) - no channel - nick%1").arg(number));
        bar->Add(child);
    }
    QCoreApplication::processEvents();
    auto button = [&](int number) { return bar->Button(bar->Numbered(number)); };
    auto places = [&] {
        std::vector<QRect> rects;
        for (int number = 1; number <= bar->Count(); ++number) {
            rects.push_back(button(number)->geometry());
        }
        return rects;
    };
    QToolButton* const forth = [&] {
        for (QToolButton* arrow : bar->findChildren<QToolButton*>()) {
            if (arrow->arrowType() == Qt::RightArrow) {
                return arrow;
            }
        }
        return static_cast<QToolButton*>(nullptr);
    }();
    ASSERT_NE(forth, nullptr);

    ASSERT_EQ(bar->Count(), windows);
    const std::vector<QRect> placed = places();
    EXPECT_EQ(placed.front().x(), 0);
    for (std::size_t i = 1; i < placed.size(); ++i) {
        ASSERT_GT(placed[i].x(), placed[i - 1].x() + placed[i - 1].width() - 1) << i;
    }
    EXPECT_EQ(button(12)->text(), "nick12");
    EXPECT_TRUE(button(1)->isVisible());
    EXPECT_FALSE(button(windows)->isVisible());
    EXPECT_TRUE(PumpUntil([&] { return forth->isVisible(); })); // more than fit

    // The arrow and the wheel bring later buttons into view, and take earlier ones out.
    QTest::mouseClick(forth, Qt::LeftButton);
    EXPECT_FALSE(button(1)->isVisible());
    const int shownAfterArrow = [&] {
        int first = 1;
        while (first <= windows && !button(first)->isVisible()) {
            ++first;
        }
        return first;
    }();
    EXPECT_GT(shownAfterArrow, 1);
    QWidget* const view = button(1)->parentWidget()->parentWidget(); // where the row scrolls
    QWheelEvent down(QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &down);
    EXPECT_FALSE(button(shownAfterArrow)->isVisible());

    // Pressing the last window's button scrolls it into view.
    QMdiSubWindow* const last = bar->Numbered(windows);
    area->addSubWindow(last);
    last->show();
    area->setActiveSubWindow(last);
    QCoreApplication::processEvents();
    EXPECT_TRUE(button(windows)->isChecked());
    EXPECT_TRUE(button(windows)->isVisible());

    // A window taking on activity turns bold in the room it had: nothing moves.
    bar->ShowActivity(bar->Numbered(3), Activity::Highlight);
    QCoreApplication::processEvents();
    EXPECT_TRUE(button(3)->font().bold());
    EXPECT_EQ(places(), placed);

    // Closing window 100: the ones before stay, the ones after move left by its room.
    QToolButton* const after = button(101);
    const int gap = placed[100].x() - placed[99].x();
    delete bar->Numbered(100);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(bar->Count(), windows - 1);
    EXPECT_EQ(button(100), after);
    const std::vector<QRect> closed = places();
    for (std::size_t i = 0; i < closed.size(); ++i) {
        const QRect& was = placed[i < 99 ? i : i + 1];
        ASSERT_EQ(closed[i], i < 99 ? was : was.translated(-gap, 0)) << i;
    }

    // A longer label widens its button and moves only those after it.
    bar->Numbered(2)->setWindowTitle("2 - irc.test (me) - no channel - somebody-with-a-long-nick");
    QCoreApplication::processEvents();
    const std::vector<QRect> relabelled = places();
    const int wider = relabelled[1].width() - closed[1].width();
    EXPECT_GT(wider, 0);
    EXPECT_EQ(relabelled[0], closed[0]);
    EXPECT_EQ(relabelled[2], closed[2].translated(wider, 0));
    EXPECT_EQ(relabelled.back(), closed.back().translated(wider, 0));
}

// The contrast ratio of two colours as the accessibility guidelines define it.
double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(WindowBar, TheLevelsColoursDifferFromTheTextAndFromEachOtherOnLightAndDarkPalettes)
{
    for (const QColor& button :
         {QColor(Qt::white), QColor(0xef, 0xef, 0xef), QColor(0x30, 0x30, 0x30), QColor(Qt::black)}) {
        QPalette palette(button);
        const Activity levels[] = {Activity::Events, Activity::Messages, Activity::Highlight};
        for (const Activity level : levels) {
            const QColor colour = WindowBar::LevelColour(level, palette);
            EXPECT_GE(Contrast(colour, button), 4.5)
                << button.name().toStdString() << " " << colour.name().toStdString();
        }
        EXPECT_NE(WindowBar::LevelColour(Activity::Events, palette),
                  WindowBar::LevelColour(Activity::Messages, palette));
        EXPECT_NE(WindowBar::LevelColour(Activity::Messages, palette),
                  WindowBar::LevelColour(Activity::Highlight, palette));
    }
    EXPECT_EQ(WindowBar::Label("3 - irc.test (me) - no channel - bob"), "bob");
    EXPECT_EQ(WindowBar::Label("1 - not connected - status"), "status");
    EXPECT_EQ(WindowBar::Label("2 - irc.test (me) - &local"), "&&local");
}

} // namespace
} // namespace tellix::test
