// The whole client as a person runs it: started as the program starts it, the connect dialog,
// the menus and their keys, a real server, and the two ways to quit.
#include "app/Application.h"
#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtClient.h"
#include "platform/qt/QtConnectDialogView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtSecretStore.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "platform/qtcore/StartApplication.h"
#include "support/IrcServer.h"
#include "support/LineTap.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/ScriptedServer.h"
#include "support/SecretService.h"
#include "support/TestCertificate.h"
#include "windows/Childs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

// A settings folder of the test's own, as XDG_CONFIG_HOME.
struct Config {
    QTemporaryDir dir;
    Config() { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }

    QString File(const std::string& app = SettingsAppName()) const
    {
        return dir.path() + "/Tellix/" + QString::fromStdString(app) + ".ini";
    }
    void Write(const std::map<QString, QString>& values, const std::string& app = SettingsAppName()) const
    {
        QSettings store(File(app), QSettings::IniFormat);
        for (const auto& [key, value] : values) {
            store.setValue("Main/" + key, value);
        }
    }
    QString Read(const QString& key) const
    {
        return QSettings(File(), QSettings::IniFormat).value("Main/" + key).toString();
    }
};

// The program between its start and its end.
struct Client {
    QtToolkit toolkit;
    QtSocketFactory sockets;

    explicit Client(const QString& address = {})
    {
        EnsureGuiApplication();
        StartClient(toolkit, sockets, address);
        MainWindow().activateWindow();
        static_cast<void>(QTest::qWaitForWindowActive(&MainWindow()));
    }
    ~Client() { Application::Instance().reset(); }

    static Application& App() { return *Application::Instance(); }
    QMainWindow& MainWindow() const { return *toolkit.MainWindow()->Window(); }
    static QtConnectDialogView& Dialog()
    {
        return *static_cast<QtConnectDialogView*>(App().Childs()->ConnectDialog()->Window());
    }
    static QtChildView& View(std::int32_t index)
    {
        return *static_cast<QtChildView*>(App().Childs()->Item(index)->Window());
    }
    static bool Shows(std::int32_t index, const QString& text)
    {
        return PumpUntil(
            [&] { return App().Childs()->Count() >= index && View(index).Log()->HeldText().contains(text); });
    }
    QMenu& TopMenu(const QString& title) const
    {
        for (QAction* top : MainWindow().menuBar()->actions()) {
            if (top->text() == title) {
                return *top->menu();
            }
        }
        throw std::runtime_error("no menu " + title.toStdString());
    }
    QAction& Menu(const QString& menu, const QString& item) const
    {
        for (QAction* action : TopMenu(menu).actions()) {
            if (action->text() == item) {
                return *action;
            }
        }
        throw std::runtime_error("no menu item " + item.toStdString());
    }
    // A key pressed wherever the focus is, as a person presses it.
    void Press(Qt::Key key) const
    {
        QWidget* target = QApplication::activeWindow();
        QTest::keyClick(target != nullptr ? target : &MainWindow(), key);
    }
    std::vector<QDialog*> ShownDialogs() const
    {
        std::vector<QDialog*> shown;
        for (QDialog* dialog : MainWindow().findChildren<QDialog*>()) {
            if (dialog->isVisible()) {
                shown.push_back(dialog);
            }
        }
        return shown;
    }
};

// Runs the event loop as the program's main does after `action`; true when the loop ended by
// itself, as it must when the client's teardown closes the main window.
bool ProgramEndsAfter(const std::function<void()>& action)
{
    QTimer::singleShot(0, action);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    return QApplication::exec() == 0;
}

// Under a real display a person can look: what is shown stays up for
// TELLIX_SCREENSHOT_PAUSE_MS, announced on standard error.
void PauseForScreenshot(const char* what)
{
    if (const char* pause = std::getenv("TELLIX_SCREENSHOT_PAUSE_MS")) {
        std::fprintf(stderr, "screenshot now: %s\n", what);
        std::fflush(stderr);
        PumpFor(std::chrono::milliseconds(std::atoi(pause)));
    }
}

void Retype(QLineEdit* box, const QString& text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

TEST(Client, AFirstStartShowsTheDefaultsAndWhatWasTypedComesBackAfterTheProgramEnds)
{
    Config config;
    {
        Client client;
        QMainWindow& main = client.MainWindow();
        EXPECT_TRUE(main.isVisible());
        EXPECT_TRUE(main.windowState() & Qt::WindowMaximized);
        EXPECT_EQ(main.windowTitle().toStdString(), MainCaption());
        EXPECT_EQ(Client::View(1).SubWindow()->pos(), QPoint(0, 0));

        QtConnectDialogView& dialog = Client::Dialog();
        ASSERT_TRUE(dialog.Dialog()->isVisible());
        EXPECT_EQ(dialog.ServerBox()->text(), "irc.libera.chat");
        EXPECT_EQ(dialog.NickBox()->text(), "user|Tellix");
        EXPECT_EQ(dialog.UserShortBox()->text(), "Tellix_user");
        EXPECT_EQ(dialog.UserLongBox()->text(), "Tellix user");
        EXPECT_TRUE(dialog.InvisibleBox()->isChecked());
        EXPECT_FALSE(dialog.WallopBox()->isChecked());

        Retype(dialog.NickBox(), "joe");
        Retype(dialog.UserLongBox(), "Joe Doe");
        QTest::mouseClick(dialog.WallopBox(), Qt::LeftButton);
        EXPECT_TRUE(ProgramEndsAfter([&] { client.Menu("&File", "E&xit").trigger(); }));
        EXPECT_EQ(Application::Instance(), nullptr);
    }
    EXPECT_EQ(config.Read("First Use"), "0");
    EXPECT_EQ(config.Read("Default User Nick"), "joe");
    EXPECT_EQ(config.Read("Default User WallOp"), "1");

    {
        Client client;
        QtConnectDialogView& dialog = Client::Dialog();
        EXPECT_FALSE(dialog.Dialog()->isVisible());
        EXPECT_EQ(dialog.NickBox()->text(), "joe");
        EXPECT_EQ(dialog.UserLongBox()->text(), "Joe Doe");
        EXPECT_TRUE(dialog.WallopBox()->isChecked());

        // F2 shows the one dialog and, pressed again, brings it forward instead of a second.
        client.Press(Qt::Key_F2);
        EXPECT_TRUE(dialog.Dialog()->isVisible());
        client.Press(Qt::Key_F2);
        EXPECT_EQ(client.ShownDialogs(), std::vector<QDialog*>{static_cast<QDialog*>(dialog.Dialog())});

        client.Press(Qt::Key_F1);
        const auto boxes = client.MainWindow().findChildren<QMessageBox*>();
        ASSERT_EQ(boxes.size(), 1);
        const QMessageBox& about = *boxes.front();
        EXPECT_TRUE(about.isVisible());
        EXPECT_EQ(about.windowTitle().toStdString(), MainCaption());
        EXPECT_EQ(about.text().toStdString(), MainCaption());
        EXPECT_EQ(about.informativeText().toStdString(),
                  std::string(LegalCopyright) + "\n" + std::string(AuthorLine) +
                      "\n[IRC stands for Internet Relay Chat.\n"
                      "It's a form of communicating with people over the Internet.]");
        EXPECT_FALSE(about.iconPixmap().isNull());
        PauseForScreenshot("the connect dialog and the About box");

        // The close box ends the program as File > Exit does.
        config.Write({{"First Use", "1"}});
        EXPECT_TRUE(ProgramEndsAfter([&] { client.MainWindow().close(); }));
        EXPECT_EQ(Application::Instance(), nullptr);
    }
    EXPECT_EQ(config.Read("First Use"), "0");
}

TEST(Client, OnlyAStoredZeroKeepsTheDialogHiddenAndAnotherVersionsFileIsNotRead)
{
    Config config;
    for (const char* firstUse : {"1", "00", "", " 0", "0"}) {
        SCOPED_TRACE(std::string("First Use \"") + firstUse + "\"");
        config.Write({{"First Use", firstUse}});
        Client client;
        EXPECT_EQ(Client::Dialog().Dialog()->isVisible(), std::string(firstUse) != "0");
    }

    Config other;
    const std::string neighbour = "Tellix" + std::to_string(VersionMajor) + std::to_string(VersionMinor + 1);
    other.Write({{"First Use", "0"}, {"Default User Nick", "old"}}, neighbour);
    Client client;
    EXPECT_TRUE(Client::Dialog().Dialog()->isVisible());
    EXPECT_EQ(Client::Dialog().NickBox()->text(), "user|Tellix");
}

TEST(Client, TheStoredScrollbackLimitTrimsAWindowsLog)
{
    Config config;
    config.Write({{"First Use", "0"}, {"Scrollback Lines", "2000"}});
    Client client;
    LogWidget& log = *Client::View(1).Log();
    constexpr int kLines = 2000 + 4096 + 1;
    for (int i = 0; i < kLines; ++i) {
        Client::App().Echo(1, "status line " + std::to_string(i));
    }
    ASSERT_TRUE(PumpUntil([&] { return log.LineCount() < kLines; })) << log.LineCount();
    EXPECT_GE(log.LineCount(), 2000);
    EXPECT_LE(log.LineCount(), 2000 + 4096);
    // The newest lines are the ones kept, and the log still follows them.
    const QString last = QString("status line %1").arg(kLines - 1);
    EXPECT_TRUE(log.HeldText().endsWith(last));
    EXPECT_EQ(log.SelectionStart(), log.TextLength());
    Client::App().Echo(1, "after the trim");
    EXPECT_TRUE(log.HeldText().endsWith("] after the trim"));
    EXPECT_EQ(log.SelectionStart(), log.TextLength());
}

TEST(Client, TheWindowMenuListsTheOpenWindowsAndChoosingOneActivatesIt)
{
    Config config;
    config.Write({{"First Use", "0"}});
    Client client;
    Client::App().Childs()->Add(true);
    Client::View(2).SetCaption("2 - not connected - &local");
    QMdiArea& area = *client.toolkit.MainWindow()->Area();
    ASSERT_EQ(Client::View(2).State(), WindowState::Minimized);
    // Opened minimized, it leaves the window in use active.
    EXPECT_EQ(area.activeSubWindow(), Client::View(1).SubWindow());
    ASSERT_NE(Client::App().Childs()->Active(), nullptr);
    EXPECT_EQ(Client::App().Childs()->Active()->Index(), 1);

    QMenu& windows = client.TopMenu("&Window");
    Q_EMIT windows.aboutToShow();
    std::vector<std::string> items;
    for (const QAction* action : windows.actions()) {
        items.push_back((action->text() + (action->isChecked() ? " (checked)" : "")).toStdString());
    }
    EXPECT_EQ(items, (std::vector<std::string>{"&Connect Dialog", "C&ascade", "&Tile", "&Next", "&Previous",
                                               "&Search Logs...", "", "1 - not connected - status (checked)",
                                               "2 - not connected - &&local"}));
    // A minimized window chosen comes back; the list holds each window once.
    constexpr qsizetype kFirst = 7; // the first window's item
    windows.actions().at(kFirst + 1)->trigger();
    EXPECT_EQ(area.activeSubWindow(), Client::View(2).SubWindow());
    EXPECT_EQ(Client::App().Childs()->Active()->Index(), 2);
    EXPECT_FALSE(Client::View(2).SubWindow()->isMinimized());
    Q_EMIT windows.aboutToShow();
    ASSERT_EQ(windows.actions().size(), kFirst + 2);
    EXPECT_TRUE(windows.actions().at(kFirst + 1)->isChecked());
    windows.actions().at(kFirst)->trigger();
    EXPECT_EQ(area.activeSubWindow(), Client::View(1).SubWindow());

    // The list follows the windows item by item: a new window adds its own, the others stay
    // as they are; a closed one takes its item along and those behind it show their new numbers.
    const QAction* const status = windows.actions().at(kFirst);
    Client::App().Childs()->Add(true);
    Client::App().Childs()->Add(true);
    Q_EMIT windows.aboutToShow();
    ASSERT_EQ(windows.actions().size(), kFirst + 4);
    EXPECT_EQ(windows.actions().at(kFirst), status);
    EXPECT_EQ(windows.actions().at(kFirst + 3)->text(), "4 - not connected - no channel");
    Client::App().Childs()->Remove(2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // as the event loop would
    Q_EMIT windows.aboutToShow();
    items.clear();
    for (const QAction* action : windows.actions()) {
        items.push_back((action->text() + (action->isChecked() ? " (checked)" : "")).toStdString());
    }
    EXPECT_EQ(items,
              (std::vector<std::string>{"&Connect Dialog", "C&ascade", "&Tile", "&Next", "&Previous",
                                        "&Search Logs...", "", "1 - not connected - status (checked)",
                                        "2 - not connected - no channel", "3 - not connected - no channel"}));
    EXPECT_EQ(windows.actions().at(kFirst), status);
}

TEST(Client, AnAddressJoinsItsChannelAndTheDialogsButtonsDriveTheConnection)
{
    Config config;
    config.Write({{"First Use", "0"},
                  {"Default User Nick", "anna"},
                  {"Default User Name", "ann"},
                  {"Default User Description", "Anna Lee"},
                  {"Default User Invisible", "1"},
                  {"Default User WallOp", "0"}});
    EnsureGuiApplication();
    IrcServer server;
    LineTap tap(server.Port());
    RawPeer peer(server.Port());
    peer.Register("bob");
    peer.Send("JOIN #room");
    ASSERT_TRUE(peer.WaitFor(" 366 "));

    const QString port = QString::number(tap.Port());
    Client client("irc://127.0.0.1:" + port + "/room");
    ASSERT_TRUE(PumpUntilPeerSees(peer, ":anna!")) << server.Log() << testing::PrintToString(peer.Received());
    ASSERT_TRUE(PumpUntil([&] { return Client::App().Childs()->Count() == 2; }));
    EXPECT_EQ(Client::View(2).SubWindow()->windowTitle(), "2 - irc.tellix.test (anna) - #room");
    ASSERT_EQ(tap.Sessions().size(), 1u);
    const std::vector<std::string>& first = tap.Sessions()[0];
    ASSERT_GE(first.size(), 4u);
    EXPECT_EQ(first[0], "CAP LS 302");
    EXPECT_EQ(first[1], "NICK anna");
    EXPECT_EQ(first[2], "USER ann 8 * :Anna Lee");
    EXPECT_NE(std::find(first.begin(), first.end(), "JOIN :#room"), first.end());

    // Disconnect while online is our own doing: its line is the plain one.
    client.Press(Qt::Key_F2);
    QtConnectDialogView& dialog = Client::Dialog();
    QTest::mouseClick(dialog.DisconnectButton(), Qt::LeftButton);
    EXPECT_TRUE(Client::Shows(1, "Disconnected from Server "));
    EXPECT_FALSE(Client::View(1).Log()->HeldText().contains("Occassionally"));
    EXPECT_FALSE(Client::App().Connections().Item(1)->Connected());

    // Connect takes the fields as they are now: a plain connection on the port in the port box.
    ASSERT_TRUE(dialog.TlsBox()->isChecked()) << "checked for a new user";
    QTest::mouseClick(dialog.TlsBox(), Qt::LeftButton, {}, QPoint(4, dialog.TlsBox()->height() / 2));
    EXPECT_EQ(dialog.PortBox()->text(), "6667");
    Retype(dialog.PortBox(), port);
    Retype(dialog.ServerBox(), "127.0.0.1");
    Retype(dialog.NickBox(), "bea");
    QTest::mouseClick(dialog.WallopBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] {
        const auto& user = Client::App().Connections().Item(1)->User();
        return tap.Sessions().size() == 2 && user && user->Nick() == "bea";
    })) << server.Log();
    const std::vector<std::string>& second = tap.Sessions()[1];
    ASSERT_GE(second.size(), 3u);
    EXPECT_EQ(second[0], "CAP LS 302");
    EXPECT_EQ(second[1], "NICK bea");
    EXPECT_EQ(second[2], "USER ann 12 * :Anna Lee");

    // An unusable field changes nothing: no new connection, the registration data kept.
    Retype(dialog.UserLongBox(), "");
    QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
    PumpFor(300ms);
    EXPECT_EQ(tap.Sessions().size(), 2u);
    EXPECT_TRUE(Client::App().Connections().Item(1)->Connected());
    EXPECT_EQ(Client::App().Connections().Item(1)->InitialUserParams(), "ann 12 * :Anna Lee");

    EXPECT_TRUE(ProgramEndsAfter([&] { client.Menu("&File", "E&xit").trigger(); }));
    EXPECT_EQ(config.Read("First Use"), "0");
    EXPECT_EQ(config.Read("Default User Nick"), "bea");
}

TEST(Client, AMalformedAddressIsAnsweredInTheStatusWindowAndNothingConnects)
{
    Config config;
    config.Write({{"First Use", "0"}});
    EnsureGuiApplication();
    LineTap tap(FreeLoopbackPort());
    const QString address = "irc://127.0.0.1:" + QString::number(tap.Port()) + "/two%20words";
    Client client(address);
    EXPECT_TRUE(Client::Shows(1, "] *** Cannot open " + address +
                                     ": the channel name holds a blank or a control character."));
    PumpFor(300ms);
    EXPECT_TRUE(tap.Sessions().empty());
    EXPECT_FALSE(Client::App().Connections().Item(1)->Connected());
}

// The dialog's passwords are kept between runs: in the desktop's secret store, and only where
// none answers in the settings file, which the status window then says. One road per test
// program: the session bus a process found, or failed to find, stays its bus.
void PasswordsAreKeptBetweenRuns(bool storeRuns)
{
    const std::string kSecret = "bouncer-secret";
    std::unique_ptr<SecretService> service;
    if (storeRuns) {
        service = std::make_unique<SecretService>();
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tellix-bus");
    }
    Config config;
    config.Write({{"First Use", "0"}, {"Default Server TLS", "0"}});
    EnsureGuiApplication();
    IrcServer server;
    LineTap tap(server.Port());
    {
        Client client;
        client.Press(Qt::Key_F2);
        QtConnectDialogView& dialog = Client::Dialog();
        Retype(dialog.ServerBox(), "127.0.0.1:" + QString::number(tap.Port()));
        Retype(dialog.ServerPasswordBox(), QString::fromStdString(kSecret));
        QTest::mouseClick(dialog.ConnectButton(), Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return !tap.Sessions().empty() && !tap.Sessions()[0].empty(); }))
            << Client::View(1).Log()->HeldText().toStdString();
        EXPECT_TRUE(tap.Sessions()[0][0] == "PASS " + kSecret) << "PASS goes first";
        const QString said = "passwords are kept in the settings file";
        if (storeRuns) {
            // Answers may come after the test has moved on: they write where they may.
            const auto stored = std::make_shared<std::optional<std::string>>();
            QtSecretStore store;
            ASSERT_TRUE(PumpUntil(
                [&] {
                    store.Read("Default Server Password",
                               [stored](std::optional<std::string> secret) { *stored = std::move(secret); });
                    PumpFor(50ms);
                    return *stored == kSecret;
                },
                15s));
            EXPECT_FALSE(Client::View(1).Log()->HeldText().contains(said));
        } else {
            // The store's refusal comes from the event loop; under load that takes a while.
            EXPECT_TRUE(PumpUntil([&] { return Client::View(1).Log()->HeldText().contains(said); }, 15s));
        }
        EXPECT_TRUE(ProgramEndsAfter([&] { client.Menu("&File", "E&xit").trigger(); }));
    }
    QFile file(config.File());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().contains(kSecret.c_str()), !storeRuns);

    // The next run has it in the box again, from wherever it was kept.
    Client again;
    EXPECT_TRUE(PumpUntil([] { return Client::Dialog().ServerPasswordBox()->text() == "bouncer-secret"; }, 15s));
    EXPECT_EQ(Client::Dialog().ServerPasswordBox()->echoMode(), QLineEdit::Password);
}

TEST(Client, PasswordsAreKeptInTheSecretStoreAndNeverInTheSettingsFile)
{
    PasswordsAreKeptBetweenRuns(true);
}

TEST(Client, WithoutASecretStorePasswordsAreKeptInTheSettingsFileAndTheStatusWindowSaysSo)
{
    PasswordsAreKeptBetweenRuns(false);
}

TEST(Client, DisconnectAndExitSendWhatWasQueuedAndExitSaysGoodbyeFirst)
{
    Config config;
    config.Write({{"First Use", "0"},
                  {"Default User Nick", "anna"},
                  {"Default User Name", "ann"},
                  {"Default User Description", "Anna Lee"}});
    EnsureGuiApplication();
    IrcServer server;
    RawPeer peer(server.Port());
    peer.Register("bob");
    peer.Send("JOIN #room");
    ASSERT_TRUE(peer.WaitFor(" 366 "));

    const QString port = QString::number(server.Port());
    Client client("irc://127.0.0.1:" + port + "/room");
    ASSERT_TRUE(PumpUntilPeerSees(peer, ":anna!")) << server.Log();
    ASSERT_TRUE(PumpUntil([&] { return Client::App().Childs()->Count() == 2; }));

    // The PART is still in the socket's buffer when the connection closes.
    Client::App().ProcessCommand("PART #room :see you", true, 2);
    Client::App().ProcessCommand("DISCONNECT", true, 1);
    EXPECT_FALSE(Client::App().Connections().Item(1)->Connected());
    const auto part = peer.WaitFor(" PART ");
    ASSERT_TRUE(part) << testing::PrintToString(peer.Received());
    EXPECT_NE(part->find(":anna!"), std::string::npos);
    EXPECT_NE(part->find("see you"), std::string::npos);

    config.Write({{"Quit Message", "off to bed"}});
    Client::App().ProcessCommand("SERVER 127.0.0.1 " + port.toStdString(), true, 1);
    // Welcomed a second time: only then may it join.
    ASSERT_TRUE(PumpUntil([] { return Client::View(1).Log()->HeldText().count("Connection(1).Server: ") == 2; }));
    Client::App().ProcessCommand("JOIN #room", true, 1);
    ASSERT_TRUE(PumpUntilPeerSees(peer, " JOIN ")) << server.Log();

    // More than the pace lets go at once: the goodbye waits behind them, the window gone
    // meanwhile, and the program still ends by itself.
    for (int i = 1; i <= 12; ++i) {
        Client::App().ProcessCommand("MSG #room held " + std::to_string(i), true, 1);
    }
    EXPECT_TRUE(ProgramEndsAfter([&] { client.MainWindow().close(); }));
    const auto quit = peer.WaitFor(" QUIT ");
    ASSERT_TRUE(quit) << testing::PrintToString(peer.Received());
    EXPECT_NE(quit->find(":anna!"), std::string::npos);
    EXPECT_NE(quit->find("off to bed"), std::string::npos) << *quit;
    const auto held = std::count_if(peer.Received().begin(), peer.Received().end(), [](const std::string& line) {
        return line.find(" :held ") != std::string::npos;
    });
    EXPECT_GE(held, 1);
    EXPECT_LT(held, 12);
}

// What a server that tempts a client to log in answers: it offers SASL, takes any login and
// welcomes whoever registers.
std::string LoginReply(const std::string& line)
{
    if (line == "CAP LS 302") {
        return ":srv CAP * LS :sasl";
    }
    if (line.starts_with("CAP REQ ")) {
        return ":srv CAP * ACK :sasl";
    }
    if (line == "AUTHENTICATE PLAIN" || line == "AUTHENTICATE EXTERNAL") {
        return "AUTHENTICATE +";
    }
    if (line.starts_with("AUTHENTICATE ")) {
        return ":srv 903 anna :SASL authentication successful";
    }
    return line == "CAP END" ? ":srv 001 anna :Welcome" : "";
}

void OfferLogin(ScriptedServer::Session& session, const std::string& line)
{
    if (const std::string reply = LoginReply(line); !reply.empty()) {
        session.Send(reply);
    }
}

// The same over TLS, asking for a client certificate and noting whether one came.
class TlsLoginServer {
public:
    explicit TlsLoginServer(const TestCertificate& certificate)
    {
        QFile cert(QString::fromStdString(certificate.certificate.string()));
        QFile key(QString::fromStdString(certificate.key.string()));
        EXPECT_TRUE(cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(cert.readAll(), QSsl::Pem));
        configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
        configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
        listener_.setSslConfiguration(configuration);
        EXPECT_TRUE(listener_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&listener_, &QTcpServer::pendingConnectionAvailable, &listener_, [this] {
            while (auto* socket = qobject_cast<QSslSocket*>(listener_.nextPendingConnection())) {
                certificates_ += socket->peerCertificate().isNull() ? 0 : 1;
                ++sessions_;
                QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
                    partial_ += socket->readAll().toStdString();
                    for (std::size_t end; (end = partial_.find("\r\n")) != std::string::npos;) {
                        const std::string line = partial_.substr(0, end);
                        partial_.erase(0, end + 2);
                        lines_.push_back(line);
                        if (const std::string reply = LoginReply(line); !reply.empty()) {
                            socket->write((reply + "\r\n").c_str());
                        }
                    }
                });
            }
        });
    }
    std::uint16_t Port() const { return listener_.serverPort(); }
    int Sessions() const { return sessions_; }
    int Certificates() const { return certificates_; }
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    QSslServer listener_;
    int sessions_ = 0;
    int certificates_ = 0;
    std::string partial_;
    std::vector<std::string> lines_;
};

// What of a login a server received: "PASS", "AUTHENTICATE", or nothing.
std::vector<std::string> LoginLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> login;
    for (const std::string& line : lines) {
        if (line.starts_with("PASS ") || line.starts_with("AUTHENTICATE ")) {
            login.push_back(line.substr(0, line.find(' ')));
        }
    }
    return login;
}

// The login saved in the connect dialog (server password, SASL account, client certificate)
// goes to the server it was saved for, and to no other: not to an ircs:// address handed over
// while the client runs, not to a /server elsewhere; the status window says so each time.
TEST(Client, TheSavedLoginGoesOnlyToTheServerItWasSavedFor)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tellix-bus");
    QTemporaryDir certificates;
    const std::filesystem::path folder = certificates.path().toStdString();
    const TestCertificate serverCertificate = MakeSelfSigned(folder, "server");
    const std::filesystem::path clientPem = CombinedPem(MakeSelfSigned(folder, "client"));
    EnsureGuiApplication();
    ScriptedServer home(OfferLogin);
    ScriptedServer elsewhere(OfferLogin);
    TlsLoginServer tls(serverCertificate);
    const std::string homePort = std::to_string(home.Port());

    Config config;
    config.Write({{"First Use", "0"},
                  {"Default Server", QString::fromStdString("127.0.0.1:" + homePort)},
                  {"Default Server TLS", "0"},
                  {"Default User Nick", "anna"},
                  {"Default User Name", "ann"},
                  {"Default User Description", "Anna Lee"},
                  {"Default Server Password", "pw-for-home-only"},
                  {"Default Account Name", "anna"},
                  {"Default Account Password", "sasl-for-home-only"},
                  {"Default Client Certificate", QString::fromStdString(clientPem.string())}});
    Client client;
    Client::App().TrustFingerprint("127.0.0.1", tls.Port(), serverCertificate.fingerprint);

    // Its own server gets it all.
    Client::App().ProcessCommand("SERVER", true, 1);
    ASSERT_TRUE(PumpUntil(
        [&] { return home.Sessions().size() == 1 && LoginLines(home.Sessions()[0]->Received()).size() >= 3; }));
    EXPECT_TRUE(home.Sessions()[0]->Received().front() == "PASS pw-for-home-only") << "PASS goes first";
    EXPECT_EQ(LoginLines(home.Sessions()[0]->Received()),
              (std::vector<std::string>{"PASS", "AUTHENTICATE", "AUTHENTICATE"}));

    // An address handed over, answered yes.
    QTimer::singleShot(0, [] {
        PumpUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; });
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->button(QMessageBox::Yes)->click();
        }
    });
    OpenRunningAddress(Client::App(), "ircs://127.0.0.1:" + QString::number(tls.Port()) + "/room");
    ASSERT_TRUE(PumpUntil([&] {
        return std::find(tls.Lines().begin(), tls.Lines().end(), "CAP END") != tls.Lines().end();
    })) << Client::View(1).Log()->HeldText().toStdString();
    EXPECT_EQ(tls.Sessions(), 1);
    EXPECT_EQ(tls.Certificates(), 0) << "no client certificate";
    EXPECT_EQ(LoginLines(tls.Lines()), std::vector<std::string>{});
    EXPECT_TRUE(Client::Shows(1, "Connecting to 127.0.0.1 without the saved login (it belongs to 127.0.0.1:" +
                                     QString::fromStdString(homePort) + ")"));

    // A /server elsewhere, then home again.
    Client::App().ProcessCommand("SERVER 127.0.0.1 " + std::to_string(elsewhere.Port()), true, 1);
    ASSERT_TRUE(PumpUntil([&] {
        return elsewhere.Sessions().size() == 1 && !elsewhere.Sessions()[0]->Received().empty() &&
               elsewhere.Sessions()[0]->Received().back() == "CAP END";
    }));
    EXPECT_EQ(LoginLines(elsewhere.Sessions()[0]->Received()), std::vector<std::string>{});
    EXPECT_EQ(Client::View(1).Log()->HeldText().count("without the saved login"), 2);
    Client::App().ProcessCommand("SERVER 127.0.0.1 " + homePort, true, 1);
    ASSERT_TRUE(PumpUntil([&] { return home.Sessions().size() == 2 && !home.Sessions()[1]->Received().empty(); }));
    EXPECT_TRUE(home.Sessions()[1]->Received().front() == "PASS pw-for-home-only");
    EXPECT_EQ(Client::View(1).Log()->HeldText().count("without the saved login"), 2);
    EXPECT_FALSE(Client::View(1).Log()->HeldText().contains("for-home-only"));
}

// A host under a strict transport policy whose certificate does not verify: asked for in plain
// text or with TLS, the status window says why nothing connects, no trust dialog opens, and
// nothing reaches the host in plain text.
TEST(Client, ARefusedCertificateOfAHostThatRequiresTlsIsFinal)
{
    QTemporaryDir certificates;
    const TestCertificate untrusted = MakeSelfSigned(certificates.path().toStdString(), "untrusted");
    EnsureGuiApplication();
    const auto silent = [](ScriptedServer::Session&, const std::string&) {};
    ScriptedServer secure(silent, untrusted.certificate, untrusted.key);
    ScriptedServer plain(silent);
    const std::string port = std::to_string(secure.Port());
    Config config;
    config.Write({{"First Use", "0"},
                  {"Default Reconnect", "1"},
                  {"STS 127.0.0.1", QString::fromStdString(port + " 99999999999")}});
    const Client client;
    const QString refused = QString::fromStdString("Certificate of Server 127.0.0.1, Port " + port + " refused: ");
    const QString noWay = "; 127.0.0.1 requires TLS (its strict transport policy), so nothing connects";
    for (const std::string& typed :
         {"SERVER 127.0.0.1 " + std::to_string(plain.Port()), "SERVER -tls 127.0.0.1 " + port}) {
        SCOPED_TRACE(typed);
        const qsizetype before = Client::View(1).Log()->HeldText().count(noWay);
        Client::App().ProcessCommand(typed, true, 1);
        EXPECT_TRUE(PumpUntil([&] { return Client::View(1).Log()->HeldText().count(noWay) == before + 1; }))
            << Client::View(1).Log()->HeldText().toStdString();
        EXPECT_TRUE(Client::View(1).Log()->HeldText().contains(refused));
        PumpFor(200ms);
        const QWidgetList widgets = QApplication::allWidgets();
        EXPECT_TRUE(std::ranges::none_of(widgets, [](QWidget* w) {
            return qobject_cast<QMessageBox*>(w) && w->isVisible();
        })) << "no trust dialog";
    }
    EXPECT_EQ(plain.Sessions().size(), 0U);
}

} // namespace
} // namespace tellix::test
