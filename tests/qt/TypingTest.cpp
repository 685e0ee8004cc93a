// Typing into the Qt client against a real server: every road a typed line takes, and the
// lines others send coming back into the same windows.
#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtClient.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

struct Typist {
    QTemporaryDir config;
    QtToolkit toolkit;
    QtSocketFactory sockets;

    Typist()
    {
        EnsureGuiApplication();
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        QSettings store(config.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
                        QSettings::IniFormat);
        store.setValue("Main/First Use", "0");
        store.setValue("Main/Default User Nick", "me");
        store.setValue("Main/Default User Name", "mine");
        store.setValue("Main/Default User Description", "Me Myself");
        store.sync();
        StartClient(toolkit, sockets, {});
    }
    ~Typist()
    {
        Application::Instance().reset();
        // The main window goes later, and its going ends the event loop: not the next test's.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    static Childs& Windows() { return *Application::Instance()->Childs(); }
    static QtChildView& View(std::int32_t index)
    {
        return *static_cast<QtChildView*>(Windows().Item(index)->Window());
    }
    static void Type(std::int32_t index, const QString& text)
    {
        QLineEdit* input = View(index).Input();
        QTest::keyClicks(input, text);
        QTest::keyClick(input, Qt::Key_Return);
    }
    static bool Shows(std::int32_t index, const QString& text)
    {
        return PumpUntil(
            [&] { return Windows().Count() >= index && View(index).Log()->HeldText().contains(text); });
    }
};

// Connected as "me" to a real server, in #room (window 2) with bob.
struct InTheRoom {
    IrcServer server;
    RawPeer bob{server.Port()};
    Typist me;

    InTheRoom()
    {
        bob.Register("bob");
        Typist::Type(1, "/server 127.0.0.1 " + QString::number(server.Port()));
        EXPECT_TRUE(PumpUntil([] {
            const auto& user = Application::Instance()->Connections().Item(1)->User();
            return user && user->Nick() == "me";
        })) << server.Log();
        Typist::Type(1, "/join #room");
        EXPECT_TRUE(PumpUntil([] { return Typist::Windows().Count() == 2; }));
        bob.Send("JOIN #room");
        EXPECT_TRUE(Typist::Shows(2, "*** bob (~bob@127.0.0.1) joined channel #room"));
    }

    // The texts of the PRIVMSGs to #room that bob receives next, until `done` holds for them.
    std::vector<std::string> Said(const std::function<bool(const std::vector<std::string>&)>& done)
    {
        const std::string marker = " PRIVMSG #room :";
        std::vector<std::string> texts;
        PumpUntil(
            [&] {
                while (const auto line =
                           bob.WaitUntil([&](const std::string& l) { return l.find(marker) != std::string::npos; },
                                         std::chrono::milliseconds(20))) {
                    texts.push_back(line->substr(line->find(marker) + marker.size()));
                }
                return done(texts);
            },
            20s);
        return texts;
    }
    std::vector<std::string> Said(std::size_t count)
    {
        return Said([count](const std::vector<std::string>& texts) { return texts.size() >= count; });
    }

    // Pastes `text` into the channel window's input line with Ctrl+V.
    static void Paste(const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        QLineEdit* input = Typist::View(2).Input();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
    }
};

TEST(TypingPaste, EachPastedLineIsSaidInTurnAndManyLinesAskFirst)
{
    InTheRoom room;
    InTheRoom::Paste("first line\r\nsecond line\n\nthird line\r");
    EXPECT_EQ(room.Said(3), (std::vector<std::string>{"first line", "second line", "third line"}));
    EXPECT_TRUE(Typist::Shows(2, "<me> third line"));
    EXPECT_EQ(Typist::View(2).Input()->text(), "");
    // The menu's Paste takes the same road.
    QGuiApplication::clipboard()->setText("fourth\nfifth");
    QTimer::singleShot(0, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu != nullptr) {
            for (QAction* action : menu->actions()) {
                if (action->text().endsWith("\tCtrl+V")) {
                    action->trigger();
                }
            }
            menu->close();
        }
    });
    QLineEdit* input = Typist::View(2).Input();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1), input->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(input, &menuKey);
    EXPECT_EQ(room.Said(2), (std::vector<std::string>{"fourth", "fifth"}));

    // Seven lines ask; No sends nothing, Yes sends them all.
    QString seven;
    for (int i = 1; i <= 7; ++i) {
        seven += "line " + QString::number(i) + "\n";
    }
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        QString asked;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                asked = box->text();
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        InTheRoom::Paste(seven);
        EXPECT_EQ(asked, "Send 7 lines to #room?");
        Typist::Type(2, "marker");
        const std::vector<std::string> said = room.Said(
            [](const std::vector<std::string>& texts) { return !texts.empty() && texts.back() == "marker"; });
        ASSERT_FALSE(said.empty());
        EXPECT_EQ(said.size(), yes ? 8u : 1u);
        EXPECT_EQ(said.front(), yes ? "line 1" : "marker");
    }
}

TEST(TypingPaste, ALongLineOfManyByteTextArrivesWholeInSeveralMessages)
{
    InTheRoom room;
    // Words first, then a run without a blank; two-, three- and four-byte characters.
    QString text;
    while (text.toUtf8().size() < 800) {
        text += QString::fromUtf8("Grüße aus Köln — 日本語 \xF0\x9F\x98\x80 ");
    }
    while (text.toUtf8().size() < 1500) {
        text += QString::fromUtf8("語ü\xF0\x9F\x98\x80");
    }
    const std::string bytes = text.toStdString();
    QLineEdit* input = Typist::View(2).Input();
    input->setText(text);
    QTest::keyClick(input, Qt::Key_Return);
    const std::vector<std::string> said = room.Said([&](const std::vector<std::string>& texts) {
        std::size_t total = 0;
        for (const std::string& piece : texts) {
            total += piece.size();
        }
        return total >= bytes.size();
    });
    EXPECT_GE(said.size(), 4u);
    std::string joined;
    for (const std::string& piece : said) {
        EXPECT_EQ(QString::fromUtf8(piece).toStdString(), piece) << "cut inside a character";
        EXPECT_TRUE(Typist::Shows(2, "<me> " + QString::fromStdString(piece)));
        joined += piece;
    }
    EXPECT_EQ(joined, bytes);
    // Still connected: the next line arrives too.
    Typist::Type(2, "still here");
    EXPECT_EQ(room.Said(1), std::vector<std::string>{"still here"});
    EXPECT_TRUE(Application::Instance()->Connections().Item(1)->Connected());
}

TEST(TypingCompletion, ANickInWindows1252IsInsertedAsShownAmidManyByteText)
{
    Typist me;
    Typist::Type(1, "/window new");
    ASSERT_EQ(Typist::Windows().Count(), 2);
    Typist::Windows().Item(2)->AddNick("anna");
    Typist::Windows().Item(2)->AddNick("J\xF6rg"); // as a single-byte client sends it

    QLineEdit* input = Typist::View(2).Input();
    input->setFocus();
    const QString before = QString::fromUtf8("日本 \xF0\x9F\x98\x80 grüß jö");
    const QString after = QString::fromUtf8(" 語 done");
    input->setText(before + after);
    input->setCursorPosition(static_cast<int>(before.size()));
    QTest::keyClick(input, Qt::Key_Tab);
    const QString head = before.chopped(2) + QString::fromUtf8("J\u00F6rg ");
    EXPECT_EQ(input->text(), head + after);
    EXPECT_EQ(input->cursorPosition(), head.size());
    EXPECT_EQ(Typist::View(2).InputSelStart(), head.toUtf8().size());
    // Typing on lands at the caret.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QString::fromUtf8("ä"));
    QApplication::sendEvent(input, &key);
    EXPECT_EQ(input->text(), head + QString::fromUtf8("ä") + after);
}

TEST(Typing, EveryRoadOfATypedLineAgainstARealServer)
{
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    Typist me;

    // /server on a fresh start registers with the connect dialog's data.
    Typist::Type(1, "/server 127.0.0.1 " + QString::number(server.Port()));
    EXPECT_TRUE(
        Typist::Shows(1, "Connecting to Server 127.0.0.1, Port " + QString::number(server.Port()) + "..."));
    ASSERT_TRUE(PumpUntil([] {
        const auto& user = Application::Instance()->Connections().Item(1)->User();
        return user && user->Nick() == "me";
    })) << server.Log();

    // /join opens the channel's window; we made the channel, so we hold its operator rights.
    Typist::Type(1, "/join #room");
    ASSERT_TRUE(PumpUntil([] { return Typist::Windows().Count() == 2; }));
    bob.Send("JOIN #room");
    ASSERT_TRUE(Typist::Shows(2, "*** bob (~bob@127.0.0.1) joined channel #room"));

    // A plain line is said to the channel; /me is an action; the peer sees both.
    Typist::Type(2, "hello all");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #room :hello all"));
    EXPECT_TRUE(Typist::Shows(2, "<me> hello all"));
    Typist::Type(2, "/me waves");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #room :\x01"
                                       "ACTION waves\x01"));
    EXPECT_TRUE(Typist::Shows(2, "* me waves"));

    // What the peer says comes back into the same window.
    bob.Send("PRIVMSG #room :hi me");
    EXPECT_TRUE(Typist::Shows(2, "<bob> hi me"));

    // /msg, and /query with a plain line in the conversation window.
    Typist::Type(2, "/msg bob one to one");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :one to one"));
    EXPECT_TRUE(Typist::Shows(2, "-> bob: one to one"));
    Typist::Type(2, "/query bob");
    ASSERT_TRUE(PumpUntil([] { return Typist::Windows().Count() == 3; }));
    Typist::Type(3, "just us");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :just us"));
    EXPECT_TRUE(Typist::Shows(3, "# <me> just us"));
    bob.Send("PRIVMSG me :sure");
    EXPECT_TRUE(Typist::Shows(3, "# <bob> sure"));

    // Tab completes the nick before the caret and keeps the focus in the line.
    QLineEdit* input = Typist::View(2).Input();
    input->setFocus();
    QTest::keyClicks(input, "bo");
    QTest::keyClick(input, Qt::Key_Tab);
    EXPECT_EQ(input->text(), "bob: ");
    EXPECT_EQ(QApplication::focusWidget(), input);
    input->clear();

    // /window command changes where plain lines go; /quote sends raw.
    Typist::Type(2, "/window command msg bob");
    EXPECT_TRUE(Typist::Shows(1, "*** default command set to msg bob"));
    Typist::Type(2, "via default");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :via default"));
    Typist::Type(2, "/quote TOPIC #room :typed topic");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "TOPIC #room :typed topic"));
    EXPECT_TRUE(Typist::Shows(1, "-> Server: [TOPIC #room :typed topic]"));

    // /nick, /kick as operator, /part.
    Typist::Type(2, "/nick me2");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "NICK :me2"));
    Typist::Type(2, "/kick #room bob out you go");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "KICK #room bob :out you go"));
    EXPECT_TRUE(Typist::Shows(2, "*** bob was kicked from channel #room by you (out you go)"))
        << Typist::View(2).Log()->HeldText().toStdString();
    Typist::Type(2, "/part #room");
    EXPECT_TRUE(Typist::Shows(2, "*** left channel #room")) << Typist::View(2).Log()->HeldText().toStdString();

    // Page Up in the input line scrolls the log.
    for (int i = 0; i < 80; ++i) {
        Typist::Type(1, "/echo 1 filler " + QString::number(i));
    }
    QScrollBar* bar = Typist::View(1).Log()->verticalScrollBar();
    ASSERT_TRUE(PumpUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    QTest::keyClick(Typist::View(1).Input(), Qt::Key_PageUp);
    EXPECT_LT(bar->value(), bar->maximum());

    // /quit with its line, then /exit ends the program.
    Typist::Type(1, "/quit see you");
    EXPECT_TRUE(Typist::Shows(1, "QUIT -> Server(1): see you"));
    EXPECT_TRUE(Typist::Shows(1, "Disconnected from Server irc.tellix.test"));
    QTimer::singleShot(0, [] { Typist::Type(1, "/exit"); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(Application::Instance(), nullptr);
}

} // namespace
} // namespace tellix::test
