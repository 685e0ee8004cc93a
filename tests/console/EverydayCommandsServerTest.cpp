// The everyday commands against ngircd, as the terminal front-end shows them: what is typed,
// what the other users receive, and the readable lines the replies become.
#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/console/ConsoleToolkit.h"
#include "platform/qtcore/QtTcpSocket.h"
#include "support/ConsoleTerminal.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

const std::string kStamp = R"(\[[^\]]+\] )";

// A line of window `window` as the terminal prints it: number, time stamp, text (a pattern).
std::string Line(int window, const std::string& text)
{
    return "\\[" + std::to_string(window) + "\\] " + kStamp + text;
}

// Online as "me" in #room (window 2, where commands are typed), bob and anna there too.
struct Everyday : ::testing::Test {
    Everyday()
    {
        ConnectDialogView& form = *terminal.App().Childs()->ConnectDialog()->Window();
        form.SetNick("me");
        form.SetUserShort("me");
        form.SetUserLong("Tellix me");
        terminal.Type("/server 127.0.0.1 " + std::to_string(server.Port()));
        EXPECT_TRUE(terminal.Prints(R"(\[1\] = 1 - irc\.tellix\.test \(me\) - status)")) << terminal.Out();
        terminal.Type("/join #room");
        EXPECT_TRUE(terminal.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(me\) - #room)")) << terminal.Out();
        EXPECT_TRUE(terminal.Prints(".*366.*")) << terminal.Out();
        bob.Register("bob");
        anna.Register("anna");
        bob.Send("JOIN #room");
        anna.Send("JOIN #room");
        EXPECT_TRUE(anna.WaitFor(" 366 "));
        EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* anna.* joined channel #room)"))) << terminal.Out();
    }

    IrcServer server;
    ConsoleTerminal terminal;
    RawPeer bob{server.Port()};
    RawPeer anna{server.Port()};
};

TEST_F(Everyday, EachCommandSendsItsLinesAndShowsItsRepliesReadably)
{
    anna.Send("JOIN #annas");
    ASSERT_TRUE(anna.WaitFor(" 366 "));
    struct Row {
        std::string before; // a line bob sends first, when not empty
        std::string typed;  // into window 2
        std::string bobSees;
        std::vector<std::string> shown; // whole output lines, as patterns, in any order
    };
    const std::vector<Row> rows = {
        {"",
         "/topic Fresh news",
         "TOPIC #room :Fresh news",
         {Line(2, "\\*\\*\\* me changes topic to 'Fresh news'")}},
        {"", "/topic", "", {Line(2, "\\*\\*\\* topic of #room: Fresh news")}},
        {"",
         "/whois bob",
         "",
         {Line(2, R"(\*\*\* bob is ~?bob@[^ ]+ \(Raw peer bob\))"),
          Line(2, R"(\*\*\* bob is on irc\.tellix\.test \(.*\))"), Line(2, R"(\*\*\* bob is in .*#room)"),
          Line(2, R"(\*\*\* bob has been idle \d+s, signed on \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC)"),
          Line(2, R"(\*\*\* End of WHOIS for bob)")}},
        {"", "/whois nobody", "", {Line(2, R"(\*\*\* nobody: no such nick or channel)")}},
        {"",
         "/whois me",
         "",
         {Line(2, R"(\*\*\* me is connecting from .*127\.0\.0\.1)"), Line(2, R"(\*\*\* me is using modes \+.*)"),
          Line(2, R"(\*\*\* End of WHOIS for me)")}},
        {"", "/op bob anna", "MODE #room +oo bob anna", {Line(2, R"(\*\*\* me sets mode \+oo bob anna)")}},
        {"", "/deop anna", "MODE #room -o anna", {Line(2, R"(\*\*\* me sets mode -o anna)")}},
        {"", "/voice anna", "MODE #room +v anna", {Line(2, R"(\*\*\* me sets mode \+v anna)")}},
        {"", "/devoice anna", "MODE #room -v anna", {Line(2, R"(\*\*\* me sets mode -v anna)")}},
        {"", "/mode #room +m", "MODE #room +m", {Line(2, R"(\*\*\* me sets mode \+m)")}},
        {"", "/ban troll", "MODE #room +b troll!*@*", {Line(2, R"(\*\*\* me sets mode \+b troll!\*@\*)")}},
        {"",
         "/ban",
         "",
         {Line(2, R"(\*\*\* Ban on #room: troll!\*@\* set by me.* \d{4}-\d\d-\d\d .* UTC)"),
          Line(2, R"(\*\*\* End of ban list of #room)")}},
        {"", "/invite bob #elsewhere", "INVITE bob", {Line(2, R"(\*\*\* Inviting bob to #elsewhere)")}},
        {"", "/invite bob #annas", "", {Line(2, R"(\*\*\* #annas: you are not on that channel)")}},
        {"", "/mode #nowhere +m", "", {Line(2, R"(\*\*\* #nowhere: no such nick or channel)")}},
        {"",
         "/names",
         "",
         {Line(2, R"(\*\*\* Names in #room: .*@bob.*)"), Line(2, R"(\*\*\* End of names in #room)")}},
        {"",
         "/list",
         "",
         {Line(2, R"(\*\*\* Channels: name, users, topic)"), Line(2, R"(\*\*\* #room \(3\) Fresh news)"),
          Line(2, R"(\*\*\* End of channel list)")}},
        {"", "/ctcp bob version", "PRIVMSG bob :\x01VERSION\x01", {Line(2, "ctcp -> bob: VERSION")}},
        {"",
         "/away lunch",
         "",
         {Line(2, R"(\*\*\* You are marked as away)"),
          R"(\[2\] = 2 - irc\.tellix\.test \(me\) \(away\) - #room)"}},
        {"",
         "/away",
         "",
         {Line(2, R"(\*\*\* You are no longer marked as away)"),
          R"(\[2\] = 2 - irc\.tellix\.test \(me\) - #room)"}},
        {"AWAY :gone fishing", "/msg bob hi", "PRIVMSG bob :hi", {Line(2, R"(\*\*\* bob is away: gone fishing)")}},
        {"", "/ignore bob", "", {Line(2, R"(\*\*\* ignoring bob!\*@\*)")}},
        {"", "/ignore", "", {Line(2, R"(\*\*\* ignoring bob!\*@\*)")}},
        {"", "/unignore bob", "", {Line(2, R"(\*\*\* no longer ignoring bob!\*@\*)")}},
        {"", "/ignore", "", {Line(2, R"(\*\*\* ignoring nobody)")}},
        {"", "/clear", "", {}},
        {"",
         "/help invite",
         "",
         {Line(2, R"(\*\*\* /INVITE nick \[channel\]: .+)"), Line(2, R"(\*\*\* for example: /invite bob)")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        if (!row.before.empty()) {
            bob.Send(row.before);
            bob.Send("PING :before");
            ASSERT_TRUE(bob.WaitFor("PONG"));
        }
        terminal.Mark();
        terminal.Type(row.typed);
        if (!row.bobSees.empty()) {
            EXPECT_TRUE(PumpUntilPeerSees(bob, row.bobSees));
        }
        for (const std::string& shown : row.shown) {
            EXPECT_TRUE(terminal.Prints(shown)) << shown << "\nin:\n" << terminal.SinceMark();
        }
        // Never as raw server text, and never refused.
        PumpFor(50ms);
        EXPECT_EQ(terminal.SinceMark().find("<- Server("), std::string::npos) << terminal.SinceMark();
        EXPECT_EQ(terminal.SinceMark().find("Unknown command"), std::string::npos) << terminal.SinceMark();
    }
}

TEST_F(Everyday, AJoinedListTakesItsKeysByPlace)
{
    anna.Send("JOIN #vault");
    anna.Send("MODE #vault +k sesame");
    anna.Send("PING :keyed");
    ASSERT_TRUE(anna.WaitFor("PONG"));
    terminal.Type("/join #vault,#open sesame");
    EXPECT_TRUE(terminal.Prints(R"(\[3\] = 3 - irc\.tellix\.test \(me\) - #vault)")) << terminal.Out();
    EXPECT_TRUE(terminal.Prints(R"(\[4\] = 4 - irc\.tellix\.test \(me\) - #open)")) << terminal.Out();
    EXPECT_TRUE(anna.WaitUntil([](const std::string& line) {
        return line.starts_with(":me!") && line.find(" JOIN ") != std::string::npos &&
               line.find("#vault") != std::string::npos;
    })) << "the key was not taken";
    EXPECT_TRUE(terminal.App().Connections().Item(1)->Channels()->Item("#vault")->Joined());
}

TEST_F(Everyday, AnIgnoredSenderIsNeitherShownNorAnsweredAndIsHeardAgainAfterUnignore)
{
    terminal.Type("/ignore bob");
    ASSERT_TRUE(terminal.Prints(Line(2, R"(\*\*\* ignoring bob!\*@\*)")));
    EXPECT_EQ(QSettings(terminal.SettingsFile(), QSettings::IniFormat).value("Main/Ignore List").toString(),
              "bob!*@*");
    terminal.Mark();
    bob.Send("PRIVMSG #room :ignored in the channel");
    bob.Send("NOTICE me :ignored notice");
    bob.Send("PRIVMSG me :\x01VERSION\x01");
    bob.Send("PRIVMSG me :ignored in private");
    anna.Send("PRIVMSG #room :anna is heard");
    ASSERT_TRUE(terminal.Prints(Line(2, "<anna> anna is heard")));
    bob.Send("PING :after");
    ASSERT_TRUE(bob.WaitFor("PONG"));
    PumpFor(200ms);
    EXPECT_EQ(terminal.SinceMark().find("ignored"), std::string::npos) << terminal.SinceMark();
    for (const std::string& line : bob.Received()) {
        EXPECT_EQ(line.find("VERSION"), std::string::npos) << line;
    }

    terminal.Type("/unignore BOB");
    ASSERT_TRUE(terminal.Prints(Line(2, R"(\*\*\* no longer ignoring bob!\*@\*)"))) << terminal.SinceMark();
    bob.Send("PRIVMSG #room :heard again");
    EXPECT_TRUE(terminal.Prints(Line(2, "<bob> heard again")));
}

// Answers to CTCP requests are replies in the window that asked, not talks that open a window.
TEST_F(Everyday, ACtcpAnswerIsAReadableReplyWhereItWasAsked)
{
    terminal.Mark();
    terminal.Type("/ctcp bob version");
    ASSERT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :\x01VERSION\x01"));
    bob.Send("NOTICE me :\x01VERSION RawPeer 1.0\x01");
    EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* CTCP VERSION reply from bob: RawPeer 1\.0)")))
        << terminal.SinceMark();

    // A ping carries the protocol clock's time, which its answer brings back.
    terminal.Type("/ctcp bob ping");
    ASSERT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG bob :\x01PING "));
    const std::string answer =
        "NOTICE me :" + bob.Received().back().substr(bob.Received().back().find("\x01PING "));
    bob.Send(answer);
    EXPECT_TRUE(terminal.Prints(Line(2, R"(ctcp -> bob: PING)")));
    EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* CTCP PING reply from bob: \d+\.\d{3} s)")))
        << terminal.SinceMark();
    // Answered twice, or made up: only what came back is shown, no round trip.
    bob.Send(answer);
    EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* CTCP PING reply from bob: \d+)"))) << terminal.SinceMark();
    bob.Send("NOTICE me :\x01PING 12\x01");
    EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* CTCP PING reply from bob: 12)"))) << terminal.SinceMark();

    // Unasked, and with control characters: still a reply, none of them reaching the terminal.
    anna.Send("NOTICE me :\x01time \x1b[2Jnoon\x01");
    EXPECT_TRUE(terminal.Prints(Line(2, "\\*\\*\\* CTCP TIME reply from anna: \xEF\xBF\xBD\\[2Jnoon")))
        << terminal.SinceMark();
    PumpFor(200ms);
    EXPECT_EQ(terminal.SinceMark().find("[3] ="), std::string::npos) << "no query window";
    EXPECT_EQ(terminal.SinceMark().find("\x1b"), std::string::npos);
}

// The server folds the case of nicks; a query typed in another case than the server's is
// still the window the partner's lines reach, and the server's answers about them too.
TEST_F(Everyday, AQueryTypedInAnotherCaseIsTheWindowTheirLinesAndRepliesReach)
{
    terminal.Mark();
    // Known from the channel: the window is bob's, in bob's case.
    terminal.Type("/query BOB");
    EXPECT_TRUE(terminal.Prints(R"(\[3\] = 3 - .* - bob)")) << terminal.SinceMark();
    bob.Send("PRIVMSG me :hi from bob");
    EXPECT_TRUE(terminal.Prints(Line(3, "# <bob> hi from bob"))) << terminal.SinceMark();

    // Known to nobody yet: the window typed as Carol takes carol's lines, and her case.
    RawPeer carol{server.Port()};
    carol.Register("carol");
    terminal.Type("/query Carol");
    EXPECT_TRUE(terminal.Prints(R"(\[4\] = 4 - .* - Carol)")) << terminal.SinceMark();
    terminal.Type("are you there");
    ASSERT_TRUE(PumpUntilPeerSees(carol, ":are you there"));
    carol.Send("PRIVMSG me :yes I am");
    EXPECT_TRUE(terminal.Prints(Line(4, "# <carol> yes I am"))) << terminal.SinceMark();
    EXPECT_TRUE(terminal.Prints(R"(\[4\] = 4 - .* - carol)")) << terminal.SinceMark();
    terminal.Type("/query CAROL");
    PumpFor(200ms);
    // Said to a partner who is not there: the server's answer is told where it was said.
    terminal.Type("/query ghost");
    EXPECT_TRUE(terminal.Prints(R"(\[5\] = 5 - .* - ghost)")) << terminal.SinceMark();
    terminal.Type("anyone there?");
    EXPECT_TRUE(terminal.Prints(Line(5, R"(\*\*\* ghost: no such nick or channel)"))) << terminal.SinceMark();
    EXPECT_EQ(terminal.SinceMark().find("[6] ="), std::string::npos) << "no second window for carol:\n"
                                                                     << terminal.SinceMark();
}

TEST_F(Everyday, AwayIsSaidAgainAfterTheLinkComesBack)
{
    terminal.Type("/away back soon");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(me\) \(away\) - #room)")) << terminal.Out();
    terminal.Mark();
    terminal.Type("/disconnect");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - not connected - #room \(disconnected\))")) << terminal.SinceMark();
    terminal.Type("/server 127.0.0.1 " + std::to_string(server.Port()));
    EXPECT_TRUE(terminal.Prints(Line(2, R"(\*\*\* You are marked as away)"))) << terminal.SinceMark();
    EXPECT_TRUE(terminal.Prints(R"(\[2\] = 2 - irc\.tellix\.test \(me\) \(away\) - #room)"))
        << terminal.SinceMark();
    bob.Send("WHOIS me");
    EXPECT_TRUE(bob.WaitFor(" 301 bob me :back soon"));
}

} // namespace
} // namespace tellix::test
