// Several connections at once, against two real servers: each window belongs to one of them,
// and what is typed there goes there alone.
#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "support/ConsoleTerminal.h"
#include "support/IrcServer.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include "model/IRCChannel.h"
#include "windows/Child.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

const std::string kStamp = R"(\[[^\]]+\] )";

std::string Line(int window, const std::string& text)
{
    return "\\[" + std::to_string(window) + "\\] " + kStamp + text;
}

// Switches the terminal's active window, as Alt and a digit do.
void SwitchTo(ConsoleTerminal& terminal, int window)
{
    terminal.Type("\x1b" + std::to_string(window));
}

TEST(Networks, TwoServersAtOnceKeepTheirWindowsAndTypedLinesApart)
{
    IrcServer first;
    IrcServer::Options inspircd;
    inspircd.kind = IrcServer::Kind::InspIRCd;
    IrcServer second(inspircd);
    ConsoleTerminal terminal;
    ConnectDialogView& form = *terminal.App().Childs()->ConnectDialog()->Window();
    form.SetNick("me");
    form.SetUserShort("me");
    form.SetUserLong("Tellix me");

    terminal.Type("/server 127.0.0.1 " + std::to_string(first.Port()));
    ASSERT_TRUE(terminal.Prints(R"(\[1\] = 1 - .* \(me\) - status)")) << terminal.Out();
    terminal.Type("/join #one");
    ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* \(me\) - #one)")) << terminal.Out();

    // A second connection, with a status window of its own; /join there joins there.
    terminal.Type("/connect 127.0.0.1 " + std::to_string(second.Port()));
    ASSERT_TRUE(terminal.Prints(R"(\[3\] = 3 - .* \(me\) - status)")) << terminal.Out();
    SwitchTo(terminal, 3);
    terminal.Type("/join #two");
    ASSERT_TRUE(terminal.Prints(R"(\[4\] = 4 - .* \(me\) - #two)")) << terminal.Out();

    RawPeer bob(first.PlainPort());
    bob.Register("bob");
    bob.Send("JOIN #one");
    ASSERT_TRUE(PumpUntilPeerSees(bob, " 366 "));
    RawPeer carol(second.PlainPort());
    carol.Register("carol");
    carol.Send("JOIN #two");
    ASSERT_TRUE(PumpUntilPeerSees(carol, " 366 "));

    // Each line reaches only its own window.
    terminal.Mark();
    bob.Send("PRIVMSG #one :hello-from-1");
    carol.Send("PRIVMSG #two :hello-from-2");
    EXPECT_TRUE(terminal.Prints(Line(2, "<bob> hello-from-1"))) << terminal.SinceMark();
    EXPECT_TRUE(terminal.Prints(Line(4, "<carol> hello-from-2"))) << terminal.SinceMark();
    EXPECT_EQ(terminal.Count(R"(\[[134]\] .*hello-from-1)"), 0U) << terminal.SinceMark();
    EXPECT_EQ(terminal.Count(R"(\[[123]\] .*hello-from-2)"), 0U) << terminal.SinceMark();

    // Each typed line reaches only the server of the window it was typed in.
    SwitchTo(terminal, 4);
    terminal.Type("said in two");
    terminal.Type("/msg carol private to carol");
    terminal.Type("/quote PRIVMSG carol :quoted to carol");
    EXPECT_TRUE(PumpUntilPeerSees(carol, "PRIVMSG #two :said in two"));
    EXPECT_TRUE(PumpUntilPeerSees(carol, "PRIVMSG carol :private to carol"));
    EXPECT_TRUE(PumpUntilPeerSees(carol, "PRIVMSG carol :quoted to carol"));
    SwitchTo(terminal, 2);
    terminal.Type("said in one");
    terminal.Type("/nick me1");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #one :said in one")) << terminal.Out();
    EXPECT_TRUE(PumpUntilPeerSees(bob, ":me!"));
    EXPECT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* \(me1\) - #one)")) << terminal.Out();
    for (const std::string& line : bob.Received()) {
        EXPECT_EQ(line.find("hello-from-2"), std::string::npos) << line;
        EXPECT_EQ(line.find("said in two"), std::string::npos) << line;
        EXPECT_EQ(line.find("carol"), std::string::npos) << line;
    }
    for (const std::string& line : carol.Received()) {
        EXPECT_EQ(line.find("said in one"), std::string::npos) << line;
        EXPECT_EQ(line.find("me1"), std::string::npos) << line;
    }

    // Disconnecting one leaves the other as it was.
    SwitchTo(terminal, 3);
    terminal.Mark();
    terminal.Type("/disconnect");
    EXPECT_TRUE(terminal.Prints(Line(3, "Disconnected from Server .*"))) << terminal.SinceMark();
    EXPECT_TRUE(PumpUntilPeerSees(carol, "QUIT"));
    bob.Send("PRIVMSG #one :still here");
    EXPECT_TRUE(terminal.Prints(Line(2, "<bob> still here"))) << terminal.SinceMark();
    EXPECT_EQ(terminal.Count(Line(1, "Disconnected.*")), 0U) << terminal.SinceMark();
    SwitchTo(terminal, 2);
    terminal.Type("after the other went");
    EXPECT_TRUE(PumpUntilPeerSees(bob, "PRIVMSG #one :after the other went"));
}

// Copies one terminal's settings into the next one's, as a restart keeps them.
std::function<void(const QString&)> SettingsOf(const ConsoleTerminal& before)
{
    const QString file = before.SettingsFile();
    return [file](const QString& configHome) {
        QDir().mkpath(configHome + "/Tellix");
        QFile::copy(file, configHome + "/Tellix/Tellix06.ini");
    };
}

// The network's NickServ answers an IDENTIFY only after the test has seen that no JOIN went
// out before it.
void AnswerLogin(RawPeer& nickServ, RawPeer& watcher, std::size_t seen, const ConsoleTerminal& terminal)
{
    ASSERT_TRUE(PumpUntilPeerSees(nickServ, "PRIVMSG NickServ :IDENTIFY")) << terminal.Out();
    for (const std::string& line : std::vector<std::string>(
             watcher.Received().begin() + static_cast<std::ptrdiff_t>(seen), watcher.Received().end())) {
        EXPECT_FALSE(line.starts_with(":me!") && line.find(" JOIN ") != std::string::npos)
            << "joined before the login: " << line;
    }
    nickServ.Send("NOTICE me :You are now identified for me.");
}

TEST(Networks, SavedNetworksComeBackAfterARestartLoggedInJoinedAndInTheirWindowStates)
{
    IrcServer first;
    IrcServer second;
    RawPeer nickServ(first.Port());
    nickServ.Register("NickServ");
    RawPeer watcher(first.Port());
    watcher.Register("watcher");
    watcher.Send("JOIN #auto");
    ASSERT_TRUE(PumpUntilPeerSees(watcher, " 366 "));

    auto before = std::make_unique<ConsoleTerminal>();
    ConnectDialogView& form = *before->App().Childs()->ConnectDialog()->Window();
    form.SetNick("me");
    form.SetUserShort("me");
    form.SetUserLong("Tellix me");
    before->Type("/network add one 127.0.0.1 " + std::to_string(first.Port()));
    before->Type("/network set one nick me");
    before->Type("/network set one autojoin #auto");
    before->Type("/network set one login nickserv");
    before->Type("/network set one password fake-secret");
    before->Type("/network add two 127.0.0.1 " + std::to_string(second.Port()));
    before->Type("/network set two nick metwo");
    before->Type("/connect one");
    AnswerLogin(nickServ, watcher, watcher.Received().size(), *before);
    ASSERT_TRUE(PumpUntilPeerSees(watcher, ":me!")) << before->Out();
    ASSERT_TRUE(before->Prints(R"(\[\d+\] = \d+ - .* \(me\) - #auto)")) << before->Out();
    before->Type("/connect two");
    const std::optional<std::string> status = before->Prints(R"(\[\d+\] = (\d+) - .* \(metwo\) - status)");
    ASSERT_TRUE(status) << before->Out();
    SwitchTo(*before, std::stoi(*status));
    before->Type("/join #open");
    const std::optional<std::string> open = before->Prints(R"(\[\d+\] = (\d+) - .* \(metwo\) - #open)");
    ASSERT_TRUE(open) << before->Out();
    before->Type("/query carol");
    ASSERT_TRUE(before->Prints(R"(\[\d+\] = \d+ - .* - carol)")) << before->Out();
    const int openWindow = std::stoi(*open);
    before->App().Childs()->Item(openWindow)->Window()->SetState(WindowState::Maximized);
    SwitchTo(*before, openWindow);
    before->Type("/exit");
    ASSERT_TRUE(PumpUntilPeerSees(watcher, " QUIT "));
    for (const std::string& line : watcher.Received()) {
        EXPECT_EQ(line.find("fake-secret"), std::string::npos);
    }

    // The next start, on the same settings.
    const std::size_t seen = watcher.Received().size();
    ConsoleTerminal again(SettingsOf(*before));
    before.reset();
    AnswerLogin(nickServ, watcher, seen, again);
    EXPECT_TRUE(PumpUntilPeerSees(watcher, ":me!"));
    EXPECT_TRUE(again.Prints(R"(\[\d+\] = \d+ - .* \(me\) - #auto)")) << again.Out();
    EXPECT_TRUE(again.Prints(R"(\[\d+\] = \d+ - .* \(metwo\) - status)")) << again.Out();
    EXPECT_TRUE(again.Prints(R"(\[\d+\] = \d+ - .* \(metwo\) - #open)")) << again.Out();
    EXPECT_TRUE(again.Prints(R"(\[\d+\] = \d+ - .* \(metwo\) - no channel - carol)")) << again.Out();
    // The windows in their order, states and activation as they were.
    const Childs& windows = *again.App().Childs();
    ASSERT_GE(windows.Count(), openWindow);
    const std::shared_ptr<Child> reopened = windows.Item(openWindow);
    ASSERT_TRUE(reopened->Channel());
    EXPECT_EQ(reopened->Channel()->Name(), "#open");
    EXPECT_EQ(reopened->Window()->State(), WindowState::Maximized);
    EXPECT_EQ(windows.Active(), reopened);
    EXPECT_EQ(again.Out().find("fake-secret"), std::string::npos);
}

} // namespace
} // namespace tellix::test
