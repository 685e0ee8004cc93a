// The terminal front-end as a user runs it: `tellix --console` behind a pipe, against ngircd.
#include "app/Settings.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

// The program with its standard input and output in the test's hands.
class Console {
public:
    explicit Console(const QStringList& arguments = {})
    {
        EnsureQtApplication();
        QSettings store(File(), QSettings::IniFormat);
        store.setValue("Main/First Use", "0");
        store.setValue("Main/Default User Nick", "con");
        store.setValue("Main/Default User Name", "cons");
        store.setValue("Main/Default User Description", "Con Sole");
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

TEST(Console, ExitEndsTheProgramWhileInputIsStillOpen)
{
    Console console;
    console.Type("/echo 1 before");
    console.Type("/exit");
    EXPECT_TRUE(console.Prints(R"(\[1\] )" + kStamp + "before"));
    EXPECT_TRUE(console.EndsByItself());
}

TEST(Console, AFirstStartShowsTheConnectData)
{
    QTemporaryDir empty;
    EnsureQtApplication();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", empty.path());
    process.setProcessEnvironment(environment);
    process.start(TELLIX_BINARY, {"--console"});
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains("[connect] server irc.libera.chat, nick user|Tellix, user Tellix_user (Tellix user), "
                             "invisible yes, wallop no\n[connect] Type /server to connect with these, or "
                             "/server host [port].\n"))
        << out.toStdString();
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace
} // namespace tellix::test
