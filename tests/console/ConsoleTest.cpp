// The terminal front-end as a user runs it: `tellix --console` behind a pipe, against ngircd.
#include "app/Settings.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/TestCertificate.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <utility>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

// The program with its standard input and output in the test's hands.
class Console {
public:
    explicit Console(const QStringList& arguments = {}, const std::map<QString, QString>& stored = {})
    {
        EnsureQtApplication();
        QSettings store(File(), QSettings::IniFormat);
        store.setValue("Main/First Use", "0");
        store.setValue("Main/Default User Nick", "con");
        store.setValue("Main/Default User Name", "cons");
        store.setValue("Main/Default User Description", "Con Sole");
        for (const auto& [key, value] : stored) {
            store.setValue("Main/" + key, value);
        }
        store.sync();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config_.path());
        process_.setProcessEnvironment(environment);
        process_.start(TELLIX_BINARY, QStringList{"--console"} + arguments);
        process_.waitForStarted();
    }
    ~Console()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    void Type(const QByteArray& line) { process_.write(line + "\n"); }
    // True once standard output holds a line matching `pattern` (time stamps as "\[.*\]").
    bool Prints(const QString& pattern)
    {
        const QRegularExpression wanted("^" + pattern + "$", QRegularExpression::MultilineOption);
        return PumpUntil([&] {
            out_ += process_.readAllStandardOutput();
            return wanted.match(QString::fromUtf8(out_)).hasMatch();
        });
    }
    bool EndsAfterInput()
    {
        process_.closeWriteChannel();
        return PumpUntil([&] { return process_.state() == QProcess::NotRunning; }) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    // Ended with status 0 while its standard input is still open.
    bool EndsByItself()
    {
        return PumpUntil([&] { return process_.state() == QProcess::NotRunning; }) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    QByteArray Errors() { return process_.readAllStandardError(); }
    QString Read(const QString& key) const
    {
        return QSettings(File(), QSettings::IniFormat).value("Main/" + key).toString();
    }
    const QByteArray& Out() const { return out_; }

private:
    QString File() const
    {
        return config_.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini";
    }

    QTemporaryDir config_;
    QProcess process_;
    QByteArray out_;
};

const QString kStamp = R"(\[[^\]]+\] )";

TEST(Console, TypedLinesAndReceivedLinesThroughAPipe)
{
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    Console console;
    console.Type("/server 127.0.0.1 " + QByteArray::number(server.Port()));
    ASSERT_TRUE(console.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(con\) - status)"))
        << console.Out().toStdString();

    // /join opens window 2 in normal state, which makes it the active window.
    console.Type("/join #room");
    ASSERT_TRUE(console.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(con\) - #room)"));
    console.Type("hello all");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #room :hello all"));
    EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp + "<con> hello all"));

    // Lines others send, bytes that are not UTF-8 read as Windows-1252.
    bob.Send("PRIVMSG #room :caf\xe9 \x02"
             "bold\x02");
    EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp +
                               QString::fromUtf8("<bob> caf\u00e9 \x02"
                                                 "bold\x02")));

    // ESC and a number activate a window, as Alt+number would.
    console.Type("\x1b"
                 "1");
    console.Type("/me waves");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "no destination specified"));
    console.Type("\x1b"
                 "9"); // no such window: nothing changes
    console.Type("/echo 0 still one");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "still one"));
    console.Type("\x1b"
                 "2");
    console.Type("/me waves");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #room :\x01"
                                       "ACTION waves\x01"));

    // /msg and /query, a plain line in the conversation, /nick, /quote, /window command.
    console.Type("/msg bob one to one");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :one to one"));
    console.Type("/query bob");
    EXPECT_TRUE(console.Prints(R"(\[3\] = 3 - irc\.tellix\.test \(con\) - no channel - bob)"));
    console.Type("just us");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :just us"));
    EXPECT_TRUE(console.Prints(R"(\[3\] )" + kStamp + "# <con> just us"));
    console.Type("\x1b"
                 "2");
    console.Type("/nick con2");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "NICK :con2"));
    console.Type("/quote TOPIC #room :piped");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "TOPIC #room :piped"));
    console.Type("/window command msg bob");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + R"(\*\*\* default command set to msg bob)"));
    console.Type("by default");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :by default"));
    bob.Send("MODE #room +o con2"); // bob made the channel; now con2 may kick
    EXPECT_TRUE(PumpUntilPeerSees(bob, "MODE #room +o con2"));
    console.Type("/kick #room bob enough");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "KICK #room bob :enough"));
    console.Type("/part #room");
    EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp + R"(\*\*\* left channel #room)"));
    // Closing the active window makes the status window the active one.
    console.Type("/window close");
    console.Type("/echo 0 back in the status window");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "back in the status window"));
    // The query window moved up to number 2, and ESC 2 finds it there.
    EXPECT_TRUE(console.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(con2\) - no channel - bob)"));
    console.Type("\x1b"
                 "2");
    console.Type("renumbered");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :renumbered"));
    console.Type("\x1b"
                 "1");

    // An empty line beeps on standard error.
    console.Type("");
    EXPECT_TRUE(PumpUntil([&] { return console.Errors().contains('\a'); }));

    console.Type("/quit see you");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + R"(QUIT -> Server\(1\): see you)"));
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + R"(Disconnected from Server irc\.tellix\.test, Port \d+)"));
    // The end of input closes the main window: the program ends and marks its first use.
    EXPECT_TRUE(console.EndsAfterInput());
    EXPECT_EQ(console.Read("First Use"), "0");
}

TEST(Console, ActivityRisesAreWrittenOnceEachForScriptsToFollow)
{
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));

    Console console;
    // The terminal's keys and the server's lines come by different roads: a switch is done
    // once the window it made active has answered.
    int switches = 0;
    auto LookAt = [&](int window) {
        const QByteArray mark = "switched " + QByteArray::number(++switches);
        console.Type("\x1b" + QByteArray::number(window));
        console.Type("/echo 0 " + mark);
        ASSERT_TRUE(console.Prints(QString(R"(\[%1\] )").arg(window) + kStamp + QString::fromLatin1(mark)));
    };
    console.Type("/server 127.0.0.1 " + QByteArray::number(server.Port()));
    ASSERT_TRUE(console.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(con\) - status)"));
    console.Type("/join #room");
    ASSERT_TRUE(console.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(con\) - #room)"));
    // Looked at: nothing is written.
    bob.Send("PRIVMSG #room :seen");
    ASSERT_TRUE(console.Prints(R"(\[2\] )" + kStamp + "<bob> seen"));
    LookAt(1);
    bob.Send("PRIVMSG #room :one");
    EXPECT_TRUE(console.Prints(R"(\[2\] ! messages)"));
    bob.Send("PRIVMSG #room :two");
    bob.Send("PRIVMSG #room :CON: three");
    EXPECT_TRUE(console.Prints(R"(\[2\] ! highlight)"));
    bob.Send("PRIVMSG #room :con, four");
    EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp + "<bob> con, four"));
    // Looking at it clears it; an event line is then the first rise again.
    LookAt(2);
    LookAt(1);
    bob.Send("PART #room :later");
    EXPECT_TRUE(console.Prints(R"(\[2\] ! events)"));
    // The status window counts too, while another window is looked at.
    LookAt(2);
    const qsizetype before = console.Out().size();
    bob.Send("JOIN #room");
    EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp + R"(\*\*\* bob \(.*\) joined channel #room)"));
    bob.Send("NICK bobby");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + R"(\*\*\* bob changed nick to bobby)"));
    EXPECT_TRUE(console.Prints(R"(\[1\] ! events)"));
    EXPECT_EQ(console.Out().mid(before).count("[1] ! events\n"), 1);
    bob.Send("PRIVMSG con :psst");
    EXPECT_TRUE(console.Prints(R"(\[3\] )" + kStamp + "# <bobby> psst"));
    EXPECT_TRUE(console.Prints(R"(\[3\] ! highlight)"));
    console.Type("/echo 0 end");
    ASSERT_TRUE(console.Prints(R"(\[2\] )" + kStamp + "end"));

    const QString out = QString::fromUtf8(console.Out());
    EXPECT_EQ(out.count("[2] ! messages\n"), 1) << console.Out().toStdString();
    EXPECT_EQ(out.count("[2] ! highlight\n"), 1);
    EXPECT_EQ(out.count("[2] ! events\n"), 1);
    EXPECT_EQ(out.count("[3] ! "), 1);
}

TEST(Console, ExitEndsTheProgramWhileInputIsStillOpen)
{
    Console console;
    console.Type("/echo 1 before");
    console.Type("/exit");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "before"));
    EXPECT_TRUE(console.EndsByItself());
}

// Standard output of a first start (the connect dialog shows) with the settings in `config`,
// once the end of input has ended the program with status 0; empty otherwise.
QByteArray FirstStartOutput(const QTemporaryDir& config)
{
    EnsureQtApplication();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    process.setProcessEnvironment(environment);
    process.start(TELLIX_BINARY, {"--console"});
    process.closeWriteChannel();
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput();
}

// Where `out` holds what could steer a terminal: a control character other than the line end
// and the formatting codes, DEL, a C1 code point, or bytes that are not UTF-8; -1 when nowhere.
qsizetype SteeringAt(const QByteArray& out)
{
    if (QString::fromUtf8(out).toUtf8() != out) {
        return 0;
    }
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        const bool formatting = c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
        const bool c1 = c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) < 0xA0;
        if ((c < 0x20 && c != '\n' && !formatting) || c == 0x7F || c1) {
            return i;
        }
    }
    return -1;
}

// A server that writes `script` to the client as soon as it connects, and the terminal
// front-end connected to it.
struct ScriptedConsole {
    explicit ScriptedConsole(QByteArray script)
    {
        EXPECT_TRUE(listener.listen(QHostAddress::LocalHost));
        QObject::connect(&listener, &QTcpServer::newConnection,
                         [this, script] { listener.nextPendingConnection()->write(script); });
        console.Type("/server 127.0.0.1 " + QByteArray::number(listener.serverPort()));
    }

    QTcpServer listener;
    Console console;
};

TEST(Console, AFirstStartShowsTheConnectData)
{
    QTemporaryDir empty;
    const QString out = QString::fromUtf8(FirstStartOutput(empty));
    EXPECT_TRUE(out.contains("[connect] server irc.libera.chat, nick user|Tellix, user Tellix_user (Tellix user), "
                             "invisible yes, wallop no\n[connect] Type /server to connect with these, or "
                             "/server host [port].\n"))
        << out.toStdString();
}

// What others send reaches the terminal as pictures: no text from the network may set the
// clipboard, move the cursor or rewrite a line.
TEST(Console, ControlCharactersFromTheNetworkArePictures)
{
    IrcServer server;
    RawPeer bob(server.Port());
    bob.Register("bob");
    bob.Send("JOIN #room");
    ASSERT_TRUE(bob.WaitFor(" 366 "));
    RawPeer carol(server.Port());
    carol.Register("carol");
    carol.Send("JOIN #room");
    ASSERT_TRUE(carol.WaitFor(" 366 "));

    Console console;
    console.Type("/server 127.0.0.1 " + QByteArray::number(server.Port()));
    ASSERT_TRUE(console.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(con\) - status)"));
    console.Type("/join #room");
    ASSERT_TRUE(console.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(con\) - #room)"));
    ASSERT_TRUE(bob.WaitFor("JOIN"));

    // `shown` is what follows the window's time stamp; "MASK" stands for a user@host.
    struct Case {
        const char* what;
        RawPeer* peer;
        std::string sent;
        const char* shown;
    };
    const Case cases[] = {
        {"clipboard write", &bob, "PRIVMSG #room :\x1b]52;c;aGk=\x07", "<bob> \u241b]52;c;aGk=\u2407"},
        {"erase line", &bob, "PRIVMSG #room :real\x1b[2Kfake", "<bob> real\u241b[2Kfake"},
        {"backspaces", &bob, "PRIVMSG #room :abc\b\b\bxyz", "<bob> abc\u2408\u2408\u2408xyz"},
        {"DEL and SO", &bob, "PRIVMSG #room :a\x7f\x0e", "<bob> a\u2421\u240e"},
        {"C1 CSI as UTF-8", &bob,
         "PRIVMSG #room :\xc2\x9b"
         "31mred",
         "<bob> <9B>31mred"},
        {"CSI byte of Windows-1252", &bob,
         "PRIVMSG #room :\x9b"
         "31m",
         "<bob> \u203a31m"},
        {"undefined Windows-1252 bytes", &bob,
         "PRIVMSG #room :\x9d"
         "0;t\x9c\x81",
         "<bob> <9D>0;t\u0153<81>"},
        {"formatting codes stay", &bob,
         "PRIVMSG #room :\x02"
         "b\x03"
         "4r\x0f\x16\x1d\x1f",
         "<bob> \x02"
         "b\x03"
         "4r\x0f\x16\x1d\x1f"},
        {"notice", &bob, "NOTICE #room :\x1b[H\x1b[J", "-bob- \u241b[H\u241b[J"},
        {"action", &bob,
         "PRIVMSG #room :\x01"
         "ACTION \x1b[1mwaves\x01",
         "* bob \u241b[1mwaves"},
        {"topic", &bob, "TOPIC #room :\x1b]0;title\x07", "*** bob changes topic to '\u241b]0;title\u2407'"},
        {"part", &bob,
         "PART #room :\xc2\x9d"
         "0;x\x1b\\",
         "*** bob (MASK) left channel #room (<9D>0;x\u241b\\)"},
        {"quit", &carol, "QUIT :\x1b[2J\x9d", "*** carol (MASK) Quit (\"\u241b[2J<9D>\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.peer->Send(c.sent);
        const QStringList parts = QString::fromUtf8(c.shown).split("MASK");
        QStringList escaped;
        for (const QString& part : parts) {
            escaped << QRegularExpression::escape(part);
        }
        EXPECT_TRUE(console.Prints(R"(\[2\] )" + kStamp + escaped.join(R"(\S*)"))) << console.Out().toStdString();
    }

    // A channel name goes into the caption as well as into the lines.
    console.Type("/join #e\x1b[2K\xc2\x9b");
    EXPECT_TRUE(console.Prints(
        QRegularExpression::escape(QString::fromUtf8("[3] = 3 - irc.tellix.test (con) - #e\u241b[2K<9B>"))));
    EXPECT_TRUE(
        console.Prints(R"(\[3\] )" + kStamp +
                       QRegularExpression::escape(QString::fromUtf8("*** joined channel #e\u241b[2K<9B>"))));

    EXPECT_EQ(SteeringAt(console.Out()), -1) << console.Out().toStdString();
}

// ngircd lets no control character into a nick and takes a bare CR or LF for a line end; a
// hostile server does neither.
TEST(Console, AHostileServersNicksAndLineBreaksArePictures)
{
    ScriptedConsole scripted(":evil 001 con :hi\r\n"
                             ":con!c@h JOIN :#room\r\n"
                             ":evil 353 con = #room :con bob\r\n"
                             ":\x1b]52;c;aGk=\x07!u@h PRIVMSG #room :clipboard\r\n"
                             ":bob!u@h PRIVMSG #room :one\rtwo\nthree\x9b\r\n"
                             ":bob!u@h NICK :\x1b[2K\xc2\x9b\r\n");
    Console& console = scripted.console;
    // Window and what follows its time stamp.
    const std::pair<const char*, const char*> shown[] = {
        {"2", "<\u241b]52;c;aGk=\u2407> clipboard"},
        {"2", "<bob> one\u240dtwo\u240athree\u203a"},
        {"1", "*** bob changed nick to \u241b[2K<9B>"},
    };
    for (const auto& [window, text] : shown) {
        EXPECT_TRUE(console.Prints(QRegularExpression::escape(QString("[") + window + "] ") + kStamp +
                                   QRegularExpression::escape(QString::fromUtf8(text))))
            << console.Out().toStdString();
    }
    EXPECT_EQ(SteeringAt(console.Out()), -1) << console.Out().toStdString();
}

// "@#room" is the channel's operators (the server's STATUSMSG): their lines belong to the
// channel, not to a private talk with the sender.
TEST(Console, ALineToAChannelsOperatorsIsALineOfTheChannel)
{
    ScriptedConsole scripted(":srv 001 con :hi\r\n"
                             ":srv 005 con PREFIX=(ov)@+ STATUSMSG=@+ :are supported\r\n"
                             ":con!c@h JOIN :#room\r\n"
                             ":bob!u@h PRIVMSG @#room :ops only\r\n"
                             ":bob!u@h NOTICE +#room :voiced too\r\n"
                             ":bob!u@h PRIVMSG %#room :no such rank\r\n");
    Console& console = scripted.console;
    EXPECT_TRUE(console.Prints(QRegularExpression::escape("[2] ") + kStamp + "<bob> ops only"))
        << console.Out().toStdString();
    EXPECT_TRUE(console.Prints(QRegularExpression::escape("[2] ") + kStamp + "-bob- voiced too"))
        << console.Out().toStdString();
    // A symbol the server has no rank for is no channel's: private, as before.
    EXPECT_TRUE(console.Prints(QRegularExpression::escape("[3] ") + kStamp + "# <bob> no such rank"))
        << console.Out().toStdString();
    EXPECT_EQ(console.Out().count("[3] ="), 2) << "one query window, for the last line only:\n"
                                               << console.Out().toStdString();
}

// A welcome or a nick change that names no nick changes no nick.
TEST(Console, ANickChangeToNoNickIsNoChange)
{
    ScriptedConsole scripted(":srv 001 con :hi\r\n"
                             ":srv 001\r\n"
                             ":srv 001 :Welcome\r\n"
                             ":con!c@h JOIN :#room\r\n"
                             ":alice!a@h JOIN :#room\r\n"
                             ":alice!a@h NICK\r\n"
                             ":alice!a@h NICK :\r\n"
                             ":alice!a@h PRIVMSG #room :still alice\r\n");
    Console& console = scripted.console;
    EXPECT_TRUE(console.Prints(QRegularExpression::escape("[2] ") + kStamp + "<alice> still alice"))
        << console.Out().toStdString();
    EXPECT_TRUE(console.Prints(QRegularExpression::escape("[2] = 2 - srv (con) - #room")))
        << console.Out().toStdString();
    EXPECT_FALSE(console.Out().contains("changed nick")) << console.Out().toStdString();
    EXPECT_FALSE(console.Out().contains("changed your nick from con")) << console.Out().toStdString();
}

TEST(Console, TheConnectDialogsFieldsArePictures)
{
    QTemporaryDir config;
    {
        QSettings store(config.path() + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
                        QSettings::IniFormat);
        store.setValue("Main/Default Server", QString::fromUtf8("irc.\x1b[2Kexample"));
        store.setValue("Main/Default User Nick", QString::fromUtf8("\x1b]52;c;aGk=\x07"));
        store.setValue("Main/Default User Name", QString::fromUtf8("me\r"));
        store.setValue("Main/Default User Description", QString::fromUtf8("\xc2\x9b"
                                                                          "2J"));
    }
    const QByteArray out = FirstStartOutput(config);
    EXPECT_TRUE(QString::fromUtf8(out).contains(QString::fromUtf8(
        "[connect] server irc.\u241b[2Kexample, nick \u241b]52;c;aGk=\u2407, user me\u240d (<9B>2J), ")))
        << out.toStdString();
    EXPECT_EQ(SteeringAt(out), -1) << out.toStdString();
}

QString Escaped(const std::string& text)
{
    return QRegularExpression::escape(QString::fromStdString(text));
}

TEST(Console, AnUnknownCertificateIsRefusedUntilItsFingerprintIsTrustedAndAChangedOneAgain)
{
    IrcServer::Options options;
    options.kind = IrcServer::Kind::InspIRCd;
    options.tls = true;
    IrcServer server(options);
    const QByteArray port = QByteArray::number(server.Port());
    const QString at = "Server 127\\.0\\.0\\.1, Port " + QString::fromLatin1(port);

    Console console;
    // The test authority is in no system store: refused, with the reason and the fingerprint.
    console.Type("/server -tls 127.0.0.1 " + port);
    ASSERT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "\\*\\*\\* Certificate of " + at +
                               " refused: .+; SHA-256 fingerprint " + Escaped(server.Fingerprint())))
        << console.Out().toStdString();
    EXPECT_FALSE(console.Out().contains("Connected to Server"));
    // A handshake that never finished is no session, so nothing was disconnected either.
    EXPECT_FALSE(console.Out().contains("Disconnected")) << console.Out().toStdString();

    // Typed in lower case without colons, stored as shown.
    std::string typed;
    for (const char c : server.Fingerprint()) {
        if (c != ':') {
            typed.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    console.Type("/server -trust " + QByteArray::fromStdString(typed) + " 127.0.0.1 " + port);
    ASSERT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "\\*\\*\\* Trusting the certificate " +
                               Escaped(server.Fingerprint()) + " for " + at));
    EXPECT_EQ(console.Read("Trusted Certificate 127.0.0.1, Port " + port).toStdString(), server.Fingerprint());

    console.Type("/server -tls 127.0.0.1 " + port);
    ASSERT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "Connected to " + at)) << console.Out().toStdString();
    EXPECT_TRUE(console.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(con\) - status)"))
        << console.Out().toStdString();

    // The same fingerprint trusted for another port, where another certificate answers.
    const QTemporaryDir folder;
    const TlsListener other(MakeSelfSigned(folder.path().toStdString(), "other"), ":other.test NOTICE * :hi");
    const QByteArray otherPort = QByteArray::number(other.Port());
    console.Type("/server -trust " + QByteArray::fromStdString(server.Fingerprint()) + " 127.0.0.1 " + otherPort);
    console.Type("/server -tls 127.0.0.1 " + otherPort);
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "\\*\\*\\* Certificate of Server 127\\.0\\.0\\.1, Port " +
                               QString::fromLatin1(otherPort) +
                               " refused: it is not the one trusted for this server and port; .+"))
        << console.Out().toStdString();
    EXPECT_EQ(console.Out().count("Connected to Server"), 1) << console.Out().toStdString();
}

TEST(Console, TheDialogsServerBoxTlsAndClientCertificateReachTheServer)
{
    IrcServer::Options options;
    options.kind = IrcServer::Kind::InspIRCd;
    options.tls = true;
    IrcServer server(options);
    const QTemporaryDir folder;
    const TestCertificate mine = MakeSelfSigned(folder.path().toStdString(), "con");
    const QString port = QString::number(server.Port());
    Console console(
        {}, {{"Default Server", "127.0.0.1:" + port},
             {"Default Server Port", "1"},
             {"Default Server TLS", "1"},
             {"Default Client Certificate", QString::fromStdString(CombinedPem(mine).string())},
             {"Trusted Certificate 127.0.0.1, Port " + port, QString::fromStdString(server.Fingerprint())}});
    console.Type("/server");
    ASSERT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "Connected to Server 127\\.0\\.0\\.1, Port " + port))
        << console.Out().toStdString();
    ASSERT_TRUE(console.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(con\) - status)"));
    // The server saw our certificate: it tells its fingerprint to its owner.
    QString fingerprint = QString::fromStdString(mine.fingerprint).remove(':').toLower();
    console.Type("/quote WHOIS con");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + R"(\*\*\* con has .*fingerprint )" + fingerprint + ".*"))
        << console.Out().toStdString();
}

TEST(Console, TrustAndConnectFailuresAreExplainedInTheStatusWindow)
{
    Console console;
    const QByteArray closed = QByteArray::number(FreeLoopbackPort());
    const struct {
        QByteArray typed;
        QString shown;
    } rows[] = {
        {"/server 127.0.0.1 " + closed, "Could not connect to Server 127\\.0\\.0\\.1, Port " + closed},
        {"/server -tls 127.0.0.1 " + closed, "Could not connect to Server 127\\.0\\.0\\.1, Port " + closed},
        {"/server -trust AB:CD 127.0.0.1 6697", R"(SERVER: "AB:CD" is not a SHA-256 fingerprint)"},
        {"/server -trust 127.0.0.1 6697", "SERVER: -trust takes a SHA-256 fingerprint, a host and a port"},
        {"/server -trust " + QByteArray(64, 'a') + " 127.0.0.1 0",
         R"(SERVER: the port must be a whole number from 1 to 65535, not "0")"},
    };
    for (const auto& row : rows) {
        console.Type(row.typed);
        EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + row.shown)) << row.typed.toStdString();
    }
    EXPECT_TRUE(console.Read("Trusted Certificate 127.0.0.1, Port 0").isEmpty());
}

} // namespace
} // namespace tellix::test
