// Replies to what the user typed, labelled where the server labels them: each goes to the window
// its command was typed in, whatever was typed elsewhere meanwhile.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

struct Routing : WindowsFixture {
    // Online with `caps` granted, in #room (window 2) and #club (window 3).
    void InTwoChannels(const std::string& caps = "batch labeled-response")
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        Receive(":irc.test CAP * LS :" + caps);
        Receive(":irc.test CAP * ACK :" + caps);
        Receive(":irc.test 001 me :Welcome");
        Receive(":me!u@h JOIN :#room");
        Receive(":me!u@h JOIN :#club");
        ASSERT_EQ(childs.Count(), 3);
        Sent();
        for (std::int32_t i = 1; i <= 3; ++i) {
            NewLines(i);
        }
    }
    // The new lines of the three windows, in order.
    std::vector<Texts> Shown() { return {NewLines(1), NewLines(2), NewLines(3)}; }
};

TEST_F(Routing, ALabelledReplyGoesToTheWindowItsCommandWasTypedIn)
{
    InTwoChannels();
    app.ProcessCommand("WHOIS bob", true, 2);
    app.ProcessCommand("NAMES", true, 3);
    app.ProcessCommand("MODE #room", true, 2);
    app.ProcessCommand("WHO #club", true, 3);
    EXPECT_EQ(Sent(), (Texts{"@label=t1 WHOIS bob", "@label=t2 NAMES #club", "@label=t3 MODE #room",
                             "@label=t4 WHO #club"}));
    struct Row {
        std::vector<std::string> received;
        std::vector<Texts> shown; // status, #room, #club
    };
    const std::vector<Row> rows = {
        {{"@label=t1 :irc.test BATCH +w labeled-response", "@batch=w :irc.test 311 me bob b h * :Bob",
          "@batch=w :irc.test 318 me bob :End of /WHOIS list.", ":irc.test BATCH -w"},
         {{}, {"*** bob is b@h (Bob)", "*** End of WHOIS for bob"}, {}}},
        {{"@label=t2 :irc.test ACK"}, {{}, {}, {}}},
        // A reply with no readable form is still the asker's.
        {{"@label=t3 :irc.test 999 me #room :odd"},
         {{}, {"<- Server(irc.test): [:irc.test 999 me #room :odd]"}, {}}},
        {{"@label=t4 :irc.test BATCH +x labeled-response",
          "@batch=x :irc.test 352 me #club c h irc.test carl H :0 Carl",
          "@batch=x :irc.test 315 me #club :End of /WHO list.", ":irc.test BATCH -x"},
         {{}, {}, {"*** #club carl H c@h (0 Carl)", "*** End of WHO for #club"}}},
        // Labels answered already, or never given, route as unlabelled replies do: to the last
        // window that asked.
        {{"@label=t1 :irc.test 401 me zed :No such nick"}, {{}, {}, {"*** zed: no such nick or channel"}}},
        {{"@label=t77 :irc.test 401 me yan :No such nick"}, {{}, {}, {"*** yan: no such nick or channel"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received.front());
        for (const std::string& line : row.received) {
            Receive(line);
        }
        EXPECT_EQ(Shown(), row.shown);
    }
}

TEST_F(Routing, TheReplyToAClosedWindowGoesToTheStatusWindow)
{
    InTwoChannels();
    app.ProcessCommand("WHOIS bob", true, 2);
    app.ProcessCommand("LIST #x", true, 3);
    EXPECT_EQ(Sent(), (Texts{"@label=t1 WHOIS bob", "@label=t2 LIST #x"}));
    ASSERT_TRUE(childs.Item(2)->CloseWindow(true));
    Sent();
    Receive("@label=t1 :irc.test 401 me bob :No such nick");
    EXPECT_EQ(NewLines(1), Texts{"*** bob: no such nick or channel"});
    ASSERT_EQ(childs.Item(2)->Channel()->Name(), "#club");
    for (const std::string& line : Lines(2)) {
        EXPECT_EQ(line.find("no such nick"), std::string::npos) << line;
    }
}

TEST(RoutingUnlabelled, WithoutBothCapabilitiesNothingIsLabelled)
{
    for (const std::string caps : {"batch", "labeled-response", "echo-message batch", "batch labeled-response"}) {
        SCOPED_TRACE(caps);
        RecordingToolkit toolkit;
        RecordingSocketFactory sockets;
        Application app(toolkit, sockets);
        RecordingSocket& socket = *sockets.created.back();
        const auto connection = app.Connections().Item(1);
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test CAP * LS :" + caps + "\r\n:irc.test CAP * ACK :" + caps +
                         "\r\n:irc.test 001 me :Welcome\r\n");
        socket.sent.clear();
        app.ProcessCommand("WHOIS bob", true, 1);
        const bool labelled = caps == "batch labeled-response";
        EXPECT_EQ(socket.sent, std::vector<std::string>{labelled ? "@label=t1 WHOIS bob\r\n" : "WHOIS bob\r\n"});
    }
}

} // namespace
} // namespace tellix::test
