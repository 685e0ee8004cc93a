// Leaving after a paste, against InspIRCd: what was typed still goes at its pace, for a few
// seconds, what cannot is dropped and said so, and the goodbye comes last.
#include "app/Application.h"
#include "dialog/ConnectDialog.h"
#include "platform/console/ConsoleToolkit.h"
#include "support/ConsoleTerminal.h"
#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "windows/Childs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using namespace std::chrono_literals;

constexpr int kPasted = 40;

// The lines bob saw of the paste, in order, up to and with the QUIT that ends them.
struct Seen {
    std::vector<int> lines;
    std::string quit;
};

Seen WatchUntilQuit(RawPeer& bob)
{
    Seen seen;
    PumpUntilPeerSees(bob, " QUIT ", 15s);
    for (const std::string& line : bob.Received()) {
        if (line.find(" QUIT ") != std::string::npos) {
            seen.quit = line;
        }
        const std::size_t at = line.find("PRIVMSG #paste :pasted ");
        if (at != std::string::npos) {
            seen.lines.push_back(std::stoi(line.substr(at + 23)));
        }
    }
    return seen;
}

// `/quit` and `/exit`, each after forty pasted lines.
TEST(Leaving, AGoodbyeAfterAPasteWaitsForWhatStillLeavesInTimeAndSaysWhatDidNot)
{
    for (const std::string leave : {"/quit see you", "/exit"}) {
        SCOPED_TRACE(leave);
        IrcServer::Options options;
        options.kind = IrcServer::Kind::InspIRCd;
        IrcServer server(options);
        RawPeer bob(server.Port());
        bob.Register("bob");
        bob.Send("JOIN #paste");
        ASSERT_TRUE(bob.WaitFor(" 366 "));

        ConsoleTerminal terminal;
        ConnectDialogView& form = *terminal.App().Childs()->ConnectDialog()->Window();
        form.SetNick("me");
        form.SetUserShort("me");
        form.SetUserLong("Tellix me");
        terminal.Type("/server 127.0.0.1 " + std::to_string(server.Port()));
        ASSERT_TRUE(terminal.Prints(R"(\[1\] = 1 - .* \(me\) - status)")) << terminal.Out();
        terminal.Type("/join #paste");
        ASSERT_TRUE(terminal.Prints(R"(\[2\] = 2 - .* - #paste)")) << terminal.Out();
        ASSERT_TRUE(PumpUntilPeerSees(bob, " JOIN ")) << terminal.Out();
        // A quiet spell: the whole burst is free again.
        PumpFor(std::chrono::milliseconds(10'500));

        terminal.Type("\x1b"
                      "2");
        const auto started = std::chrono::steady_clock::now();
        for (int i = 1; i <= kPasted; ++i) {
            terminal.Type("pasted " + std::to_string(i));
        }
        terminal.Type(leave);
        const Seen seen = WatchUntilQuit(bob);
        const auto took = std::chrono::steady_clock::now() - started;

        ASSERT_FALSE(seen.quit.empty()) << terminal.Out();
        EXPECT_NE(seen.quit.find(leave == "/exit" ? "Tellix" : "see you"), std::string::npos) << seen.quit;
        // Five at once, one two seconds later, then the three seconds are over.
        std::vector<int> expected;
        for (int i = 1; i <= 6; ++i) {
            expected.push_back(i);
        }
        EXPECT_EQ(seen.lines, expected);
        EXPECT_GE(took, 2900ms);
        EXPECT_LT(took, 6s);
        EXPECT_TRUE(terminal.Prints(R"(\[1\] \[[^\]]+\] 34 lines not sent)")) << terminal.Out();
        if (leave == "/exit") {
            EXPECT_TRUE(PumpUntil([&] { return terminal.App().Childs() == nullptr; })) << "and then it ends";
        }
    }
}

} // namespace
} // namespace tellix::test
