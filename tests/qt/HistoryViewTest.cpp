// The Qt face behind a bouncer that keeps history: what is read on another device clears the
// window's news and its desktop notification and moves its marker; looking at the window tells
// the other devices; the wheel at the top of a log brings the older lines above.
#include "app/Application.h"
#include "net/ConnectOptions.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/FakeDesktop.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/ScriptedBouncer.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

// The client on the screen, connected to the bouncer with its password.
struct Client {
    QTemporaryDir config;
    QTemporaryDir data;
    std::unique_ptr<QtToolkit> toolkit;
    QtSocketFactory sockets;
    std::unique_ptr<Application> app;
    QMdiArea* area = nullptr;

    explicit Client(const ScriptedBouncer& bouncer)
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        EnsureGuiApplication();
        toolkit = std::make_unique<QtToolkit>();
        app = std::make_unique<Application>(*toolkit, sockets);
        area = toolkit->MainWindow()->Area();
        toolkit->MainWindow()->Window()->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(toolkit->MainWindow()->Window()));
        IRCConnection& connection = *app->Connections().Item(1);
        connection.InitialNick("me");
        connection.InitialUserParams("me 8 * :Tellix me");
        ConnectOptions options;
        options.serverPassword = bouncer.ServerPassword(bouncer.Settings().network);
        connection.Connect("127.0.0.1", bouncer.Port(), options);
    }
    ~Client()
    {
        app.reset();
        toolkit.reset();
    }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(app->Childs()->Item(index)->Window());
    }
    QMdiSubWindow* Form(std::int32_t index) const { return View(index).SubWindow(); }
};

// Another of the user's devices, on the same bouncer.
std::unique_ptr<RawPeer> Phone(const ScriptedBouncer& bouncer)
{
    auto phone = std::make_unique<RawPeer>(bouncer.Port());
    phone->Send("PASS " + bouncer.ServerPassword());
    phone->Send("CAP REQ :draft/read-marker server-time");
    phone->Send("NICK phone");
    phone->Send("USER phone 0 * :Phone");
    return phone;
}

TEST(HistoryView, ReadElsewhereTheNewsAndItsNotificationGoAndLookingHereTellsTheOthers)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.Start());
    FakeNotifications& fake = desktop.fake;
    ScriptedBouncer bouncer;
    bouncer.Join("#room", {"bob"});
    Client client(bouncer);
    ASSERT_TRUE(PumpUntil([&] { return client.app->Childs()->Count() == 2; }));
    const auto phone = Phone(bouncer);
    ASSERT_TRUE(PumpUntilPeerSees(*phone, " 366 "));
    BringForward(*client.area, client.Form(1));

    // Looking elsewhere: a mention is news here and told on the desktop.
    const std::int64_t said = ScriptedBouncer::NowMs() - 10'000;
    bouncer.Say("bob", "#room", "me: are you there?", said);
    ASSERT_TRUE(PumpUntil([&] { return fake.calls.size() == 1; }));
    PumpFor(100ms); // the service's answer, with the id
    EXPECT_EQ(client.View(2).ActivityLevel(), Activity::Highlight);

    // Read on the phone: not news here any more, and the notification goes.
    phone->Send("MARKREAD #room timestamp=" + ScriptedBouncer::Time(said));
    ASSERT_TRUE(PumpUntil([&] { return client.View(2).ActivityLevel() == Activity::None; }));
    EXPECT_TRUE(PumpUntil([&] { return fake.closed == std::vector<uint>{1}; }));
    // The marker is under that line: the next one comes below it.
    const std::int64_t marked = client.View(2).Log()->LineCount() - 1;
    bouncer.Say("bob", "#room", "lunch?", said + 1000);
    ASSERT_TRUE(PumpUntil([&] { return client.View(2).Log()->LineCount() == marked + 2; }));
    EXPECT_EQ(client.View(2).Log()->MarkerLine(), marked);

    // Looked at here: the phone hears how far.
    BringForward(*client.area, client.Form(2));
    EXPECT_TRUE(PumpUntilPeerSees(*phone, "MARKREAD #room timestamp=" + ScriptedBouncer::Time(said + 1000)));
}

TEST(HistoryView, TheWheelAtTheTopOfALogBringsTheOlderLinesAbove)
{
    EnsureGuiApplication(); // before the bouncer's event loop
    ScriptedBouncer::Options options;
    options.historyLimit = 5;
    ScriptedBouncer bouncer(options);
    bouncer.Join("#room", {"bob"});
    const std::int64_t start = ScriptedBouncer::NowMs() - 600'000;
    for (int i = 1; i <= 8; ++i) {
        bouncer.Store("bob", "#room", "old " + std::to_string(i), start + i * 1000);
    }
    Client client(bouncer);
    ASSERT_TRUE(PumpUntil(
        [&] { return client.app->Childs()->Count() == 2 && client.View(2).Log()->HeldText().contains("old 8"); }));
    LogWidget& log = *client.View(2).Log();
    EXPECT_FALSE(log.HeldText().contains("old 3"));
    // The user scrolls the window in front: one the bouncer joined opens behind.
    BringForward(*client.area, client.Form(2));
    ASSERT_TRUE(PumpUntil([&] { return log.isVisible() && log.LastPaintedLine() >= 0; }));
    QWheelEvent wheel(QPointF(20, 20), log.mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log.viewport(), &wheel);
    ASSERT_TRUE(PumpUntil([&] { return log.HeldText().contains("old 1"); })) << log.HeldText().toStdString();
    const QString held = log.HeldText();
    EXPECT_LT(held.indexOf("] <bob> old 1"), held.indexOf("] <bob> old 3"));
    EXPECT_LT(held.indexOf("] <bob> old 3"), held.indexOf("] <bob> old 4"));
    EXPECT_TRUE(held.left(held.indexOf("\r\n")).endsWith("] <bob> old 1")) << "above every other line";
    EXPECT_EQ(held.count("<bob> old 4"), 1);
}

} // namespace
} // namespace tellix::test
