// The main window as a person lives in it, against a real IRC server: where new windows open
// and who keeps the keyboard, being told of a message while looking elsewhere, the layout kept
// between runs and the preferences.
#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/Notifier.h"
#include "platform/qt/PreferencesDialog.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowBar.h"
#include "platform/qtcore/QtSettingsStore.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/BringForward.h"
#include "support/FakeDesktop.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/SessionBus.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTableView>
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

// The client in its settings folder, its main window active on the screen; connected as "me"
// when given a server.
struct Client {
    QtToolkit toolkit;
    QtSocketFactory sockets;
    std::unique_ptr<Application> app;
    QMainWindow* mainWindow = nullptr;
    QMdiArea* area = nullptr;

    explicit Client(const QString& config, const IrcServer* server = nullptr)
    {
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        app = std::make_unique<Application>(toolkit, sockets);
        mainWindow = toolkit.MainWindow()->Window();
        area = toolkit.MainWindow()->Area();
        mainWindow->activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(mainWindow));
        if (server != nullptr) {
            IRCConnection& connection = Connection();
            connection.InitialNick("me");
            connection.InitialUserParams("me 8 * :Tellix me");
            connection.Connect(server->Host(), server->Port());
            static_cast<void>(PumpUntil([&] { return connection.User() && connection.User()->Nick() == "me"; }));
        }
    }
    ~Client() { app.reset(); }

    IRCConnection& Connection() const { return *app->Connections().Item(1); }
    Childs& Windows() const { return *app->Childs(); }
    QtChildView& View(std::int32_t index) const
    {
        return *static_cast<QtChildView*>(Windows().Item(index)->Window());
    }
    QMdiSubWindow* Form(std::int32_t index) const { return View(index).SubWindow(); }
    // Joins go out at the paced rate: a handful take a while.
    bool Opened(std::int32_t count) const
    {
        return PumpUntil([&] { return Windows().Count() == count; }, 30s);
    }
    // A line typed into a window's input line and sent with Enter.
    void Type(std::int32_t index, const QString& line) const
    {
        QLineEdit* input = View(index).Input();
        input->setFocus();
        input->clear();
        QTest::keyClicks(input, line);
        QTest::keyClick(input, Qt::Key_Return);
    }
    QAction* MenuItem(const QString& menu, const QString& item) const
    {
        for (QAction* top : mainWindow->menuBar()->actions()) {
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
};

// Windows that overlap, with frames, as they were before one at a time became the default.
void Overlapping(const QTemporaryDir& config)
{
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QtSettingsStore().SaveSetting(SettingsAppName(), "Main", "Window Layout", "overlapping");
}

TEST(Shell, NewWindowsOpenInsideTheAreaBehindTheWindowInUseUnlessTheUserOpenedThem)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    Overlapping(config);
    IrcServer server;
    Client client(config.path(), &server);
    QLineEdit* status = client.View(1).Input();
    EXPECT_EQ(status->placeholderText(), "") << "the start hint goes once connected";
    BringForward(*client.area, client.Form(1));
    status->setFocus();
    QTest::keyClicks(status, "half a line");

    // Joins the server makes (as after a reconnect) open windows, each inside the area, cascading.
    for (int i = 1; i <= 8; ++i) {
        client.Connection().Channels()->Join("#c" + std::to_string(i));
    }
    ASSERT_TRUE(client.Opened(9));
    const QRect room = client.area->viewport()->rect();
    const int step = client.Form(3)->y() - client.Form(2)->y();
    EXPECT_GT(step, 0);
    bool wrapped = false;
    for (std::int32_t index = 2; index <= 9; ++index) {
        const QMdiSubWindow* form = client.Form(index);
        EXPECT_FALSE(form->isMinimized()) << index;
        EXPECT_TRUE(room.contains(form->geometry())) << index;

        if (index > 2) {
            const QPoint previous = client.Form(index - 1)->pos();
            const bool next = form->pos() == previous + QPoint(step, step);
            const bool back = form->pos() == QPoint(0, 0);
            EXPECT_TRUE(next || back) << index;
            wrapped = wrapped || back;
        }
    }
    EXPECT_TRUE(wrapped) << "eight windows do not fit one cascade of this area";
    // A stranger's private message opens minimized, as always.
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("PRIVMSG me :hi");
    ASSERT_TRUE(client.Opened(10));
    EXPECT_TRUE(client.Form(10)->isMinimized());
    // None of them took the keyboard: the half-typed line is still there, still typed into.
    EXPECT_EQ(client.area->activeSubWindow(), client.Form(1));
    EXPECT_EQ(client.Windows().Active()->Index(), 1);
    EXPECT_TRUE(status->hasFocus());
    QTest::keyClicks(status, " more");
    EXPECT_EQ(status->text(), "half a line more");

    // A typed join opens a window the user asked for: it comes forward with the keyboard.
    client.Type(1, "/join #mine");
    ASSERT_TRUE(client.Opened(11));
    ASSERT_TRUE(PumpUntil([&] { return client.area->activeSubWindow() == client.Form(11); }));
    EXPECT_TRUE(client.View(11).Input()->hasFocus());
    EXPECT_EQ(client.Windows().Active()->Index(), 11);

    // Beside a maximized window a new one opens maximized, behind it.
    client.Form(11)->showMaximized();
    client.Connection().Channels()->Join("#other");
    ASSERT_TRUE(client.Opened(12));
    EXPECT_TRUE(client.Form(12)->isMaximized());
    EXPECT_EQ(client.area->activeSubWindow(), client.Form(11));
    EXPECT_TRUE(client.View(11).Input()->hasFocus());

    // Text typed in the log or in the nick list goes to the input line; Ctrl+C stays the log's.
    QtChildView& mine = client.View(11);
    mine.Input()->clear();
    mine.Log()->setFocus();
    QTest::keyClicks(mine.Log(), "hello");
    EXPECT_EQ(mine.Input()->text(), "hello");
    EXPECT_TRUE(mine.Input()->hasFocus());
    mine.Log()->setFocus();
    QTest::keyClick(mine.Log(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(mine.Log(), Qt::Key_Down);
    EXPECT_TRUE(mine.Log()->hasFocus());
    EXPECT_EQ(mine.Input()->text(), "hello");
    mine.UsersView()->setFocus();
    QTest::keyClicks(mine.UsersView(), " all!");
    EXPECT_EQ(mine.Input()->text(), "hello all!");
    EXPECT_TRUE(mine.Input()->hasFocus());
}

// Qt keeps the session bus a process first found: this test needs a process of its own, as
// CTest gives each test.
TEST(Shell, AHighlightOrPrivateMessageWhileLookingElsewhereIsAnnouncedOnTheDesktop)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.Start());
    FakeNotifications& fake = desktop.fake;

    QTemporaryDir config;
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));
    {
        Client client(config.path(), &server);
        client.Type(1, "/join #room");
        ASSERT_TRUE(client.Opened(2));
        ASSERT_TRUE(PumpUntil([&] { return client.area->activeSubWindow() == client.Form(2); }));
        ASSERT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);

        // Looking at the window: the line is there, nothing more.
        bob.Send("PRIVMSG #room :me: you see this");
        ASSERT_TRUE(PumpUntil([&] { return client.View(2).Log()->HeldText().contains("you see this"); }));
        // Looking elsewhere: a mention, and a private message, are told; plain talk is not.
        BringForward(*client.area, client.Form(1));
        bob.Send("PRIVMSG #room :just talk");
        bob.Send("PRIVMSG #room :\x02me\x02: <b>look</b> & see");
        bob.Send("PRIVMSG me :psst");
        const std::vector<FakeNotifications::Call> told = {
            {"bob in #room", "me: &lt;b&gt;look&lt;/b&gt; &amp; see"}, {"bob (private)", "psst"}};
        EXPECT_TRUE(PumpUntil([&] { return fake.calls.size() >= told.size(); }));
        PumpFor(200ms);
        EXPECT_EQ(fake.calls, told);

        // A flood costs the desktop a call or two, the newest line last.
        const int window = 0;
        for (int i = 1; i <= 50; ++i) {
            Notifier::Instance().Notify(&window, "bob (private)", QString("flood %1").arg(i));
        }
        ASSERT_TRUE(PumpUntil([&] { return fake.calls.back().body == "flood 50"; }));
        PumpFor(200ms);
        EXPECT_EQ(fake.calls.size(), told.size() + 2) << "one call in flight per window, one waiting";
        // The title is escaped as the body is: a channel's name may hold "<" or "&".
        Notifier::Instance().Notify(&window, "bob in #r<&>d", "hi");
        ASSERT_TRUE(PumpUntil([&] { return fake.calls.size() == told.size() + 3; }));
        EXPECT_EQ(fake.calls.back(), (FakeNotifications::Call{"bob in #r&lt;&amp;&gt;d", "hi"}));
        Notifier::Instance().Forget(&window);
        const std::size_t afterFlood = fake.calls.size();

        // Turned off in the preferences, nothing is told.
        ASSERT_NE(client.MenuItem("&Settings", "&Preferences..."), nullptr);
        client.MenuItem("&Settings", "&Preferences...")->trigger();
        PreferencesDialog* dialog = client.toolkit.MainWindow()->Preferences();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->NotificationsBox()->isChecked());
        dialog->NotificationsBox()->setChecked(false);
        dialog->accept();
        bob.Send("PRIVMSG me :again");
        ASSERT_TRUE(PumpUntil(
            [&] { return client.Windows().Count() == 3 && client.View(3).Log()->HeldText().contains("again"); }));
        PumpFor(300ms);
        EXPECT_EQ(fake.calls.size(), afterFlood);
    }
    Notifier::Instance().SetEnabled(true);
}

// What the service says when the user clicks a notification, or it goes.
void ServiceSays(const QDBusConnection& service, const QString& signal, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", signal);
    message.setArguments(arguments);
    ASSERT_TRUE(service.send(message));
}

// A process of its own, as the test above.
TEST(Shell, AClickOnADesktopNotificationBringsItsWindowForward)
{
    FakeDesktop desktop;
    ASSERT_TRUE(desktop.Start());
    FakeNotifications& fake = desktop.fake;
    const QDBusConnection& service = desktop.service;

    QTemporaryDir config;
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    {
        Client client(config.path(), &server);
        client.Type(1, "/join #room");
        ASSERT_TRUE(client.Opened(2));
        ASSERT_TRUE(PumpUntil([&] { return client.area->activeSubWindow() == client.Form(2); }));

        // A private line opens a window aside, minimized, and is told (id 1).
        bob.Send("PRIVMSG me :psst");
        ASSERT_TRUE(PumpUntil([&] { return fake.calls.size() == 1 && client.Windows().Count() == 3; }));
        EXPECT_TRUE(fake.actions.front().contains("default"));
        EXPECT_EQ(client.View(3).State(), WindowState::Minimized);
        EXPECT_EQ(client.area->activeSubWindow(), client.Form(2));
        client.mainWindow->showMinimized();

        // Clicked: the program and the window come forward, restored.
        ServiceSays(service, "ActionInvoked", {1U, QString("default")});
        ASSERT_TRUE(PumpUntil([&] { return client.area->activeSubWindow() == client.Form(3); }));
        EXPECT_FALSE(client.Form(3)->isMinimized());
        EXPECT_FALSE(client.mainWindow->isMinimized());
        EXPECT_TRUE(client.mainWindow->isVisible());

        // Ids never given, other actions, and a notification gone lead nowhere.
        BringForward(*client.area, client.Form(2));
        ServiceSays(service, "ActionInvoked", {7U, QString("default")});
        ServiceSays(service, "ActionInvoked", {1U, QString("other")});
        ServiceSays(service, "NotificationClosed", {1U, 2U});
        ServiceSays(service, "ActionInvoked", {1U, QString("default")});
        PumpFor(300ms);
        EXPECT_EQ(client.area->activeSubWindow(), client.Form(2));

        // So does one whose window went: closing it forgets the notification.
        bob.Send("PRIVMSG me :again");
        ASSERT_TRUE(PumpUntil([&] { return fake.calls.size() == 2; }));
        PumpFor(100ms); // the service's answer, with the id
        client.Windows().Item(3)->CloseWindow(true);
        ASSERT_EQ(client.Windows().Count(), 2);
        ServiceSays(service, "ActionInvoked", {2U, QString("default")});
        PumpFor(300ms);
        EXPECT_EQ(client.area->activeSubWindow(), client.Form(2));
        EXPECT_EQ(client.Windows().Count(), 2);
    }
}

TEST(Shell, NotificationBodiesArePlainShortText)
{
    struct Row {
        QString sent;
        QString body;
    };
    const QString longText = QString(250, QLatin1Char('x'));
    const std::vector<Row> rows = {
        {"plain words", "plain words"},
        {"a <i>tag</i> & \"quote\"", "a &lt;i&gt;tag&lt;/i&gt; &amp; &quot;quote&quot;"},
        {"\x02"
         "bold\x0F \x03"
         "4,12red\x03 \x1Ditalic\x1D",
         "bold red italic"},
        {"\x03"
         "12,04"
         "5 after a colour",
         "5 after a colour"},
        {longText, QString(Notifier::kBodyLength, QLatin1Char('x')) + QChar(0x2026)},
        {"tab\tand\nbreak", "tab\tandbreak"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Notifier::Body(row.sent), row.body) << row.sent.toStdString();
    }
}

TEST(Shell, ThePreferencesDialogWritesOnOkOnlyAndOpenWindowsFollow)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    Client client(config.path());
    SettingsStore& settings = client.toolkit.Settings();
    const auto read = [&](std::string_view key) {
        return settings.GetSetting(SettingsAppName(), "Main", std::string(key), "(none)");
    };
    EXPECT_EQ(client.View(1).Input()->placeholderText(), "Type /server host, or press F2");
    QAction* item = client.MenuItem("&Settings", "&Preferences...");
    ASSERT_NE(item, nullptr);

    const auto fill = [](PreferencesDialog& dialog) {
        dialog.LogFontBox()->setCurrentFont(QFont("DejaVu Sans Mono"));
        dialog.LogFontSizeBox()->setValue(14);
        dialog.HighlightWordsBox()->setText("tellix  release");
        dialog.QuitMessageBox()->setText("off to bed");
        dialog.ScrollbackLinesBox()->setValue(5000);
        dialog.NotificationsBox()->setChecked(false);
        dialog.RejoinChannelsBox()->setChecked(false);
        dialog.LoggingBox()->setChecked(false);
        dialog.HistoryLinesBox()->setValue(7);
    };
    item->trigger();
    PreferencesDialog* dialog = client.toolkit.MainWindow()->Preferences();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->NotificationsBox()->isChecked()) << "on by default";
    EXPECT_TRUE(dialog->RejoinChannelsBox()->isChecked()) << "on by default";
    EXPECT_EQ(dialog->ScrollbackLinesBox()->value(), 100000);
    EXPECT_TRUE(dialog->LoggingBox()->isChecked()) << "on by default";
    EXPECT_EQ(dialog->HistoryLinesBox()->value(), 50);
    EXPECT_EQ(dialog->LogFolderBox()->text(), qEnvironmentVariable("XDG_DATA_HOME") + "/Tellix/logs");
    EXPECT_TRUE(dialog->LogFolderBox()->isReadOnly());
    EXPECT_NE(client.Windows().Logs(), nullptr);
    fill(*dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return client.toolkit.MainWindow()->Preferences() == nullptr; }));
    for (const char* key : {"Log Font", "Log Font Size", "Highlight Words", "Quit Message", "Scrollback Lines",
                            "Notifications", "Rejoin Channels", "Logging", "History Lines"}) {
        EXPECT_EQ(read(key), "(none)") << key << " written by Cancel";
    }

    item->trigger();
    dialog = client.toolkit.MainWindow()->Preferences();
    ASSERT_NE(dialog, nullptr);
    fill(*dialog);
    int changes = 0;
    QObject::connect(&Preferences::Instance(), &Preferences::Changed, dialog, [&changes] { ++changes; });
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    const std::vector<std::pair<std::string, std::string>> written = {
        {"Log Font", dialog->LogFontBox()->currentFont().family().toStdString()},
        {"Log Font Size", "14"},
        {"Highlight Words", "tellix release"},
        {"Quit Message", "off to bed"},
        {"Scrollback Lines", "5000"},
        {"Notifications", "0"},
        {"Rejoin Channels", "0"},
        {"Logging", "0"},
        {"History Lines", "7"}};
    for (const auto& [key, value] : written) {
        EXPECT_EQ(read(key), value) << key;
    }
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(Notifier::Instance().Enabled());
    // The open windows take what the core holds of it.
    EXPECT_EQ(client.View(1).ScrollbackLines(), 5000);
    EXPECT_TRUE(client.Windows().HighlightWords().Names("a new release", "me"));
    EXPECT_EQ(PreferencesDialog::LogFont(settings).pointSize(), 14);
    EXPECT_EQ(client.Windows().Logs(), nullptr) << "logging turned off";
    EXPECT_EQ(client.Windows().HistoryLines(), 7);

    // Opened again, it shows what is stored.
    ASSERT_TRUE(PumpUntil([&] { return client.toolkit.MainWindow()->Preferences() == nullptr; }));
    item->trigger();
    dialog = client.toolkit.MainWindow()->Preferences();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->QuitMessageBox()->text(), "off to bed");
    EXPECT_EQ(dialog->ScrollbackLinesBox()->value(), 5000);
    EXPECT_FALSE(dialog->NotificationsBox()->isChecked());
    EXPECT_EQ(dialog->LogFontSizeBox()->value(), 14);
    dialog->reject();
    Notifier::Instance().SetEnabled(true);
}

// A label's "&x" is an access key only when the label has a field to give the focus to;
// without one Qt shows the "&" as it is.
TEST(Shell, EveryAccessKeyInTheDialogsLeadsToAField)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    Client client(config.path());
    for (const char* item : {"&Connect Dialog", "&Search Logs..."}) {
        ASSERT_NE(client.MenuItem("&Window", item), nullptr) << item;
        client.MenuItem("&Window", item)->trigger();
    }
    client.MenuItem("&Settings", "&Preferences...")->trigger();
    ASSERT_NE(client.toolkit.MainWindow()->Preferences(), nullptr);
    int keyed = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (const QLabel* label : top->findChildren<QLabel*>()) {
            const QString text = label->text();
            const bool accessKey = QString(text).remove(QStringLiteral("&&")).contains('&');
            if (!accessKey || !label->isVisible() || label->window() != top) {
                continue;
            }
            ++keyed;
            EXPECT_NE(label->buddy(), nullptr) << text.toStdString();
        }
    }
    EXPECT_GE(keyed, 10) << "the connect dialog's and the preferences' labels were looked at";
}

TEST(Shell, WindowPlacesAndStatesAreKeptBetweenRuns)
{
    EnsureGuiApplication();
    QTemporaryDir config;
    Overlapping(config);
    IrcServer server;
    const QRect mainPlace(30, 40, 700, 500);
    const QRect roomPlace(37, 41, 300, 200);
    int chosenList = 0;
    {
        Client client(config.path(), &server);
        client.mainWindow->showNormal();
        client.mainWindow->setGeometry(mainPlace);
        client.Type(1, "/join #Room");
        client.Type(1, "/join #wide");
        ASSERT_TRUE(client.Opened(3));
        client.Form(2)->setGeometry(roomPlace);

        // The handle between log and list, dragged 60 pixels to the left, widens the list by
        // as much; every window takes that width from its next layout on.
        QtChildView& wide = client.View(3);
        client.Form(3)->setGeometry(0, 0, 640, 400);
        QWidget* grip = wide.SplitHandle();
        ASSERT_TRUE(PumpUntil([&] { return grip->isVisible() && wide.UsersView()->width() > 100; }));
        const int listBefore = wide.UsersView()->width();
        const int logBefore = wide.Log()->width();
        const QPoint held = grip->rect().center();
        QTest::mousePress(grip, Qt::LeftButton, {}, held);
        QMouseEvent move(QEvent::MouseMove, QPointF(held - QPoint(60, 0)), grip->mapToGlobal(QPointF(held)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grip, &move);
        QTest::mouseRelease(grip, Qt::LeftButton, {}, held - QPoint(60, 0));
        EXPECT_NEAR(wide.UsersView()->width(), listBefore + 60, 3);
        EXPECT_NEAR(wide.Log()->width(), logBefore - 60, 6);
        EXPECT_EQ(wide.Log()->geometry().right() + 1, grip->geometry().left())
            << "the log ends where the grip starts";
        EXPECT_EQ(grip->geometry().right() + 1, wide.UsersView()->geometry().left());
        chosenList = wide.UsersView()->width();

        client.Form(3)->showMaximized();
        ASSERT_TRUE(PumpUntil([&] { return client.mainWindow->geometry() == mainPlace; }));
    }
    Client client(config.path(), &server);
    EXPECT_EQ(client.mainWindow->geometry(), mainPlace);
    EXPECT_FALSE(client.mainWindow->isMaximized());
    // Named as the server names it, in another case, and joined the server's way.
    client.Connection().Channels()->Join("#room");
    client.Connection().Channels()->Join("#wide");
    ASSERT_TRUE(client.Opened(3));
    EXPECT_EQ(client.Form(2)->geometry(), roomPlace);
    EXPECT_EQ(client.View(3).UsersView()->width(), chosenList) << "the list's width is kept too";
    EXPECT_TRUE(client.Form(3)->isMaximized());
    EXPECT_EQ(client.area->activeSubWindow(), client.Form(1)) << "a remembered state takes no focus";
}

// Scenes for a person to look at (scripts/screenshots): TELLIX_SCREENSHOT_PALETTE=dark shows
// them on a dark palette; TELLIX_SCREENSHOT saves the main window there, and under a real
// display TELLIX_SCREENSHOT_PAUSE_MS holds the scene that long, announced on standard error.
void UseScenePalette()
{
    const char* palette = std::getenv("TELLIX_SCREENSHOT_PALETTE");
    if (palette == nullptr) {
        return;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette colours = QApplication::style()->standardPalette();
    if (std::string(palette) == "dark") {
        const QColor window(0x2d, 0x2d, 0x30), base(0x1e, 0x1e, 0x1e), text(0xdc, 0xdc, 0xdc);
        colours.setColor(QPalette::Window, window);
        colours.setColor(QPalette::WindowText, text);
        colours.setColor(QPalette::Base, base);
        colours.setColor(QPalette::AlternateBase, window);
        colours.setColor(QPalette::Text, text);
        colours.setColor(QPalette::Button, window);
        colours.setColor(QPalette::ButtonText, text);
        colours.setColor(QPalette::Highlight, QColor(0x26, 0x4f, 0x78));
        colours.setColor(QPalette::HighlightedText, Qt::white);
        colours.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x18));
        colours.setColor(QPalette::Mid, QColor(0x3c, 0x3c, 0x3c));
        colours.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
        colours.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
        colours.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        colours.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    }
    QApplication::setPalette(colours);
}

// Used before: no connect dialog over the scene.
void NotFirstUse(const QTemporaryDir& config)
{
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QtSettingsStore().SaveSetting(SettingsAppName(), "Main", "First Use", "0");
}

void ShowScene(QMainWindow* mainWindow)
{
    PumpFor(500ms);
    if (const char* shot = std::getenv("TELLIX_SCREENSHOT")) {
        mainWindow->grab().save(QString::fromLocal8Bit(shot));
    }
    if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
        std::fprintf(stderr, "screenshot now\n");
        std::fflush(stderr);
        PumpFor(std::chrono::milliseconds(std::atoi(pause)));
    }
}

bool LogHas(const QtChildView& view, const QString& text)
{
    return PumpUntil([&] { return view.Log()->HeldText().contains(text); }, 15s);
}

TEST(Shell, AChannelInUseShowsItsTopicMembersAndAHighlight)
{
    EnsureGuiApplication();
    UseScenePalette();
    QTemporaryDir config;
    NotFirstUse(config);
    IrcServer server;
    // The channel's founder holds the operator rank and hands out others before the user comes.
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (const char* nick : {"alice", "bob", "carol", "dave", "erin"}) {
        peers.push_back(std::make_unique<RawPeer>(server.Port()));
        peers.back()->Register(nick);
        peers.back()->Send("JOIN #tellix");
        ASSERT_TRUE(peers.back()->WaitFor(" 366 "));
    }
    RawPeer& alice = *peers[0];
    alice.Send("TOPIC #tellix :Tellix 0.6 is out: window bar, notifications, preferences");
    alice.Send("MODE #tellix +o carol");
    alice.Send("MODE #tellix +v bob");
    ASSERT_TRUE(alice.WaitFor("+v bob"));

    Client client(config.path(), &server);
    client.mainWindow->showMaximized();
    client.Type(1, "/join #tellix");
    ASSERT_TRUE(client.Opened(2));
    client.Form(2)->showMaximized();
    QtChildView& room = client.View(2);
    ASSERT_TRUE(PumpUntil([&] { return room.UsersModel()->rowCount() == 6; }, 15s));
    ASSERT_TRUE(LogHas(room, "Tellix 0.6 is out"));

    alice.Send("PRIVMSG #tellix :morning all");
    peers[1]->Send("PRIVMSG #tellix :has anyone tried the new window bar?");
    peers[3]->Send("PRIVMSG #tellix :\x01"
                   "ACTION opens ten windows at once\x01");
    peers[2]->Send("PRIVMSG #tellix :me: your patch landed, thanks!");
    peers[4]->Send("PRIVMSG #tellix :release notes are on the site");
    EXPECT_TRUE(LogHas(room, "<carol> me: your patch landed, thanks!"));
    EXPECT_TRUE(LogHas(room, "<erin> release notes are on the site"));
    client.Type(2, "thanks carol, and welcome everyone");
    EXPECT_TRUE(LogHas(room, "thanks carol, and welcome everyone"));
    EXPECT_EQ(client.area->activeSubWindow(), client.Form(2));
    EXPECT_EQ(client.Windows().Item(2)->ActivityLevel(), Activity::None) << "the window looked at gains none";
    ShowScene(client.mainWindow);
}

TEST(Shell, TenWindowsShowTheirActivityOnTheBar)
{
    EnsureGuiApplication();
    UseScenePalette();
    QTemporaryDir config;
    NotFirstUse(config);
    IrcServer server;
    Client client(config.path(), &server);
    client.mainWindow->showMaximized();
    const std::vector<std::string> channels = {"#tellix", "#qt", "#ircv3", "#linux", "#music", "#random"};
    for (const std::string& channel : channels) {
        client.Type(1, QString::fromStdString("/join " + channel));
    }
    ASSERT_TRUE(client.Opened(7));
    RawPeer bob(server.Port());
    bob.Register("bob");
    for (const std::string& channel : channels) {
        bob.Send("JOIN " + channel);
    }
    ASSERT_TRUE(bob.WaitFor("JOIN :#random"));
    for (const char* nick : {"anna", "carl", "dora"}) {
        RawPeer stranger(server.Port());
        stranger.Register(nick);
        stranger.Send(std::string("PRIVMSG me :hello from ") + nick);
        ASSERT_TRUE(PumpUntil(
            [&] {
                const auto window =
                    client.Windows().Count() >= 8 ? client.Windows().Item(client.Windows().Count()) : nullptr;
                return window && window->Query() && window->Query()->Nick() == nick;
            },
            30s));
        stranger.Send("QUIT");
    }
    ASSERT_EQ(client.Windows().Count(), 10);
    BringForward(*client.area, client.Form(2));
    bob.Send("PART #qt :back later");
    bob.Send("PRIVMSG #ircv3 :the draft moved");
    bob.Send("PRIVMSG #linux :me: kernel is out");
    const WindowBar& bar = *client.toolkit.MainWindow()->Bar();
    // The status window had the server's notes on joins, #random was in use when bob came.
    const std::vector<Activity> levels = {
        Activity::Events, Activity::None, Activity::Events,    Activity::Messages,  Activity::Highlight,
        Activity::Events, Activity::None, Activity::Highlight, Activity::Highlight, Activity::Highlight};
    std::vector<Activity> shown;
    EXPECT_TRUE(PumpUntil([&] {
        shown.clear();
        for (std::int32_t index = 1; index <= 10; ++index) {
            shown.push_back(bar.Level(client.Form(index)));
        }
        return shown == levels;
    })) << "the bar shows each window's level: "
        << testing::PrintToString(shown);
    ShowScene(client.mainWindow);
}

} // namespace
} // namespace tellix::test
