// The client behind a bouncer: Debian's ZNC over TLS in front of ngircd, as the terminal
// front-end shows it, with the connect dialog's server password and the lines ZNC replays.
#include "support/Bouncer.h"
#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/console/ConsoleToolkit.h"
#include "platform/qtcore/QtClock.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/ConsoleTerminal.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sleeps into the next second, so that a line stamped on arrival shows another time than one
// said before.
void NextSecond()
{
    const std::int64_t now = NowMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 - now % 1000 + 50));
}

// The connect dialog as a user fills it for a bouncer: server box "host:port", TLS, and the
// server password.
void FillDialog(ConsoleTerminal& terminal, const Bouncer& bouncer, const std::string& password)
{
    ConnectDialogView& form = *terminal.App().Childs()->ConnectDialog()->Window();
    form.SetServerText(bouncer.Host() + ":" + std::to_string(bouncer.Port()));
    form.SetNick("me");
    form.SetUserShort("me");
    form.SetUserLong("Tellix me");
    ConnectFields fields = form.Fields();
    fields.tls = true;
    fields.serverPassword = password;
    form.SetFields(fields);
}

IRCConnection& Connection(const ConsoleTerminal& terminal)
{
    return *terminal.App().Connections().Item(1);
}

std::string Escaped(const std::string& text)
{
    return QRegularExpression::escape(QString::fromStdString(text)).toStdString();
}

const std::string kStamp = R"(\[([^\]]+)\] )";

TEST(Bouncer, OverTlsWithItsPasswordTheClientIsInTheChannelAndReplayedLinesKeepTheirTime)
{
    IrcServer server;
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    Bouncer bouncer(server);
    QtClock clock;

    // Said while no client is attached: the bouncer keeps it with the time it heard it.
    const std::int64_t before = NowMs();
    anna.Send("PRIVMSG #room :said while you were away");
    anna.Send("PRIVMSG bnc :only for you");
    anna.Send("PING :heard");
    ASSERT_TRUE(anna.WaitFor("PONG"));
    // The bouncer reads the lines on a connection of its own, after anna has her answer: on a
    // busy machine that can be the next second. It stamps them at the latest by then.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::int64_t after = NowMs();
    NextSecond();
    // A time shown for one of the seconds from `before` to `after`.
    const auto heardMeanwhile = [&](const std::string& shown) {
        for (std::int64_t second = before / 1000; second <= after / 1000; ++second) {
            if (shown == clock.LongTimeAt(second * 1000)) {
                return true;
            }
        }
        return false;
    };

    ConsoleTerminal terminal;
    FillDialog(terminal, bouncer, bouncer.ServerPassword());
    const std::string port = std::to_string(bouncer.Port());
    const std::string at = "Server 127\\.0\\.0\\.1, Port " + port;
    // ZNC's own certificate is in no store: refused with its fingerprint, then trusted.
    terminal.Type("/server");
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "\\*\\*\\* Certificate of " + at +
                                " refused: .+; SHA-256 fingerprint " + Escaped(bouncer.Fingerprint())))
        << terminal.Out() << bouncer.Log();
    EXPECT_EQ(terminal.Out().find("Connected to"), std::string::npos);
    terminal.Type("/server -trust " + bouncer.Fingerprint() + " 127.0.0.1 " + port);
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "\\*\\*\\* Trusting the certificate " +
                                Escaped(bouncer.Fingerprint()) + " for " + at));

    terminal.Type("/server");
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "Connected to " + at)) << terminal.Out();
    // Registered under the bouncer's nick, and in its channel with who is there.
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(bnc\) - #room)")) << terminal.Out();
    const auto room = Connection(terminal).Channels()->Item("#room");
    ASSERT_TRUE(room);
    EXPECT_TRUE(PumpUntil([&] { return room->Users()->Item("anna") && room->Users()->Item("bnc"); }));

    // The replayed lines show when they were said, in local time, not when they arrived.
    const std::string arrived = clock.LongTime();
    const auto said = terminal.Prints(R"(\[2\] )" + kStamp + "<anna> said while you were away");
    ASSERT_TRUE(said) << terminal.Out();
    EXPECT_TRUE(heardMeanwhile(*said)) << *said << " for a line said at " << clock.LongTimeAt(before);
    EXPECT_NE(*said, arrived);
    const auto told = terminal.Prints(R"(\[3\] )" + kStamp + "# <anna> only for you");
    ASSERT_TRUE(told) << terminal.Out();
    EXPECT_TRUE(heardMeanwhile(*told)) << *told;

    // What the user says goes through the bouncer, which keeps it for the next attach too.
    terminal.Type("\x1b"
                  "2");
    terminal.Type("before I go");
    ASSERT_TRUE(PumpUntilPeerSees(anna, "PRIVMSG #room :before I go"));
    ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<bnc> before I go")) << terminal.Out();
    terminal.Type("\x1b"
                  "3");
    terminal.Type("see you later");
    ASSERT_TRUE(PumpUntilPeerSees(anna, "PRIVMSG anna :see you later"));
    ASSERT_TRUE(terminal.Prints(R"(\[3\] )" + kStamp + "# <bnc> see you later")) << terminal.Out();
    terminal.Type("/disconnect");
    ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "Disconnected from Server .*")) << terminal.Out();

    const std::int64_t later = NowMs();
    anna.Send("PRIVMSG #room :said while you were gone again");
    anna.Send("PING :heard");
    ASSERT_TRUE(anna.WaitFor("PONG"));
    const std::int64_t laterAfter = NowMs();
    NextSecond();
    terminal.Mark();
    terminal.Type("/server");
    const auto again = terminal.Prints(R"(\[\d+\] )" + kStamp + "<anna> said while you were gone again");
    ASSERT_TRUE(again) << terminal.Out();
    EXPECT_TRUE(*again == clock.LongTimeAt(later) || *again == clock.LongTimeAt(laterAfter)) << *again;
    // ZNC plays its whole buffer again, the own lines among them: the windows hold them, so
    // none shows twice, and none opens a window named after the user. A private line after
    // the playback shows that anna's query window of the first attach is hers again.
    anna.Send("PRIVMSG bnc :welcome back");
    const auto back = QRegularExpression(R"(\[(\d+)\] \[[^\]]+\] # <anna> welcome back)");
    ASSERT_TRUE(terminal.Prints(R"(\[\d+\] )" + kStamp + "# <anna> welcome back")) << terminal.Out();
    const QString tail = QString::fromStdString(terminal.SinceMark());
    const auto match = back.match(tail);
    ASSERT_TRUE(match.hasMatch()) << tail.toStdString();
    EXPECT_EQ(match.captured(1), "3") << tail.toStdString();
    EXPECT_FALSE(tail.contains(QRegularExpression(R"(\] <bnc> before I go)"))) << tail.toStdString();
    EXPECT_FALSE(tail.contains(QRegularExpression(R"(\] # <bnc> see you later)"))) << tail.toStdString();
    EXPECT_FALSE(tail.contains(QRegularExpression(R"(\] # <anna> only for you)"))) << tail.toStdString();
    EXPECT_FALSE(QString::fromStdString(terminal.Out())
                     .contains(QRegularExpression(R"(= \d+ - .* - bnc$)", QRegularExpression::MultilineOption)))
        << terminal.Out();
}

TEST(Bouncer, AWrongPasswordIsSaidInTheStatusWindowAndTheConnectionEnds)
{
    IrcServer server;
    Bouncer bouncer(server);
    ConsoleTerminal terminal;
    FillDialog(terminal, bouncer, "tellix/net:wrong");
    terminal.Type("/server -trust " + bouncer.Fingerprint() + " 127.0.0.1 " + std::to_string(bouncer.Port()));
    terminal.Type("/server");
    EXPECT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + ".*Invalid Password.*")) << terminal.Out();
    // ZNC closes the link after saying so.
    EXPECT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + ".*isconnected from Server .*")) << terminal.Out();
    EXPECT_FALSE(Connection(terminal).Registered());
}

TEST(Bouncer, InTheTerminalThePasswordFollowsWhenZncAsksForIt)
{
    IrcServer server;
    Bouncer bouncer(server);
    ConsoleTerminal terminal;
    const std::string port = std::to_string(bouncer.Port());
    terminal.Type("/server -trust " + bouncer.Fingerprint() + " 127.0.0.1 " + port);
    terminal.Type("/server -tls 127.0.0.1 " + port);
    ASSERT_TRUE(
        terminal.Prints(R"(\[1\] )" + kStamp + "-irc\\.znc\\.in- \\*\\*\\* You need to send your password\\..*"))
        << terminal.Out();
    terminal.Type("/quote PASS " + bouncer.ServerPassword());
    EXPECT_TRUE(terminal.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(bnc\) - #room)")) << terminal.Out();
}

} // namespace
} // namespace tellix::test

namespace tellix::test {
namespace {

// Lines of window `n` stamped with a time only (not the dated ones shown from the log) that end
// in `text`.
std::size_t NewLinesEnding(const ConsoleTerminal& terminal, int n, const std::string& text)
{
    return terminal.Count("\\[" + std::to_string(n) + R"(\] \[[^\]\-]+\] )" + Escaped(text));
}

TEST(Bouncer, ALineZncPlaysBackThatTheWindowOrTheLogHoldsIsShownOnce)
{
    IrcServer server;
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    Bouncer bouncer(server);
    anna.Send("PRIVMSG #room :kept in the buffer");
    anna.Send("PING :heard");
    ASSERT_TRUE(anna.WaitFor("PONG"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // ZNC reads it on a link of its own
    QTemporaryDir data;
    const std::string port = std::to_string(bouncer.Port());
    const auto attach = [&](ConsoleTerminal& terminal) {
        FillDialog(terminal, bouncer, bouncer.ServerPassword());
        terminal.Type("/server -trust " + bouncer.Fingerprint() + " 127.0.0.1 " + port);
        terminal.Type("/server");
    };
    {
        ConsoleTerminal terminal({}, data.path());
        attach(terminal);
        ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<anna> kept in the buffer")) << terminal.Out();
        // ZNC keeps its buffer and plays all of it at every attach; the window holds the line.
        terminal.Type("/disconnect");
        ASSERT_TRUE(terminal.Prints(R"(\[1\] )" + kStamp + "Disconnected from Server .*")) << terminal.Out();
        terminal.Type("/server");
        ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + R"(\*\*\* joined channel #room)")) << terminal.Out();
        anna.Send("PRIVMSG #room :after the second attach");
        ASSERT_TRUE(terminal.Prints(R"(\[2\] )" + kStamp + "<anna> after the second attach")) << terminal.Out();
        EXPECT_EQ(NewLinesEnding(terminal, 2, "<anna> kept in the buffer"), 1U) << terminal.Out();
        terminal.Toolkit().LogWriter().Flush();
    }
    // Started again on the same logs: the lines come from the log above the divider, and what
    // ZNC plays back of them is not shown again.
    ConsoleTerminal again({}, data.path());
    attach(again);
    ASSERT_TRUE(again.Prints(R"(\[2\] )" + std::string(Child::kHistoryDivider))) << again.Out();
    anna.Send("PRIVMSG #room :after the restart");
    ASSERT_TRUE(again.Prints(R"(\[2\] )" + kStamp + "<anna> after the restart")) << again.Out();
    EXPECT_EQ(NewLinesEnding(again, 2, "<anna> kept in the buffer"), 0U) << again.Out();
    EXPECT_EQ(NewLinesEnding(again, 2, "<anna> after the second attach"), 0U) << again.Out();
    EXPECT_EQ(again.Count(R"(\[2\] \[\d{4}-\d\d-\d\d [^\]]+\] <anna> kept in the buffer)"), 1U) << again.Out();
}

} // namespace
} // namespace tellix::test
