// Against a scripted server, through real sockets: a server that never answers CAP, one that
// refuses every nick, one that sends broken tags, and a link that falls silent. The protocol's
// time is the fake clock; only the network is waited for.
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qtcore/QtTcpSocket.h"

#include "support/FakeTimers.h"
#include "support/QtLoop.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;

namespace {

struct Client {
    FakeTimers timers; // outlives the connections, whose timers it holds
    QtSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    std::vector<std::string> errors;
    std::vector<std::string> log;
    std::vector<Subscription> subs;

    explicit Client(bool reconnect = false)
    {
        EnsureQtApplication();
        connections.SetProtocolTimers(&timers);
        connection = connections.Add();
        connection->InitialNick("me");
        connection->InitialUserParams("me 8 * :Me");
        ConnectOptions options;
        options.reconnect = reconnect;
        connection->Options(options);
        auto& e = connections.Events;
        subs.push_back(e.Error.connect([this](const auto&, const std::string& text) { errors.push_back(text); }));
        subs.push_back(e.Disconnect.connect([this](const auto&, const std::string&, std::int32_t, bool code) {
            log.push_back(std::string("Disconnect") + (code ? " code" : " nocode"));
        }));
    }
};

bool Holds(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool SessionSaw(const ScriptedServer& server, std::size_t session, const std::string& line)
{
    return PumpUntil(
        [&] { return server.Sessions().size() > session && Holds(server.Sessions()[session]->Received(), line); });
}

} // namespace

TEST(ScriptedServer, AServerThatNeverAnswersCapIsRegisteredWithAfterFiveSeconds)
{
    ScriptedServer server([](ScriptedServer::Session& session, const std::string& line) {
        if (line == "CAP END") {
            session.Send(":irc.test 001 me :Welcome");
        }
    });
    Client client;
    client.connection->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(SessionSaw(server, 0, "USER me 8 * :Me"));
    client.timers.Advance(4'999);
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(server.Sessions()[0]->Received(),
              (std::vector<std::string>{"CAP LS 302", "NICK me", "USER me 8 * :Me"}));
    client.timers.Advance(1);
    ASSERT_TRUE(SessionSaw(server, 0, "CAP END"));
    EXPECT_TRUE(PumpUntil([&] { return client.connection->Registered(); }));
}

TEST(ScriptedServer, ANickRefusedEveryTimeIsTriedTenWaysThenRegistrationStops)
{
    ScriptedServer server([](ScriptedServer::Session& session, const std::string& line) {
        if (line.starts_with("CAP LS")) {
            session.Send(":irc.test CAP * LS :");
        } else if (line.starts_with("NICK ")) {
            session.Send(":irc.test 433 * " + line.substr(5) + " :Nickname is already in use");
        }
    });
    Client client;
    client.connection->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(PumpUntil([&] { return !client.errors.empty(); }));
    EXPECT_EQ(client.errors,
              (std::vector<std::string>{"No nick from me to me8 was accepted; registration stopped"}));
    std::vector<std::string> nicks;
    for (const std::string& line : server.Sessions()[0]->Received()) {
        if (line.starts_with("NICK ")) {
            nicks.push_back(line.substr(5));
        }
    }
    EXPECT_EQ(nicks,
              (std::vector<std::string>{"me", "me_", "me1", "me2", "me3", "me4", "me5", "me6", "me7", "me8"}));
    EXPECT_FALSE(client.connection->Connected());
}

TEST(ScriptedServer, BrokenTagsLeaveTheLineAndTheReaderWhole)
{
    const std::vector<std::string> hostile = {
        "@ :anna!a@h PRIVMSG me :empty tags",
        "@;;;=;=x;\\ :anna!a@h PRIVMSG me :only separators",
        "@a=\\ :anna!a@h PRIVMSG me :a lone backslash",
        "@time=9999-99-99T99:99:99Z :anna!a@h PRIVMSG me :a time that is none",
        "@time= :anna!a@h PRIVMSG me :an empty time",
        "@" + std::string(9000, 'k') + "=v :anna!a@h PRIVMSG me :a huge tag",
        "@batch=nowhere :anna!a@h PRIVMSG me :a batch never opened",
        "@k=v",
        "@",
        ":irc.test BATCH -neveropened",
    };
    ScriptedServer server([&](ScriptedServer::Session& session, const std::string& line) {
        if (line == "USER me 8 * :Me") {
            session.Send(":irc.test 001 me :Welcome");
            for (const std::string& bad : hostile) {
                session.Send(bad);
            }
            session.Send("PING :still-reading");
        }
    });
    Client client;
    std::vector<std::string> said;
    client.subs.push_back(client.connections.Events.UserPrivMsg.connect(
        [&](const auto&, const auto&, const std::string& text) { said.push_back(text); }));
    client.connection->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(SessionSaw(server, 0, "PONG :still-reading"));
    EXPECT_TRUE(client.connection->Connected());
    // Every message with a tag section, however broken, is still a message.
    EXPECT_EQ(said,
              (std::vector<std::string>{"empty tags", "only separators", "a lone backslash", "a time that is none",
                                        "an empty time", "a huge tag", "a batch never opened"}));
}

TEST(ScriptedServer, ASilentLinkIsPingedDroppedAndTriedAgain)
{
    ScriptedServer server([](ScriptedServer::Session& session, const std::string& line) {
        if (line == "USER me 8 * :Me") {
            session.Send(":irc.test 001 me :Welcome"); // and not a word more, not even PONG
        }
    });
    Client client(true);
    client.connection->Connect("127.0.0.1", server.Port());
    ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); }));
    client.timers.Advance(120'000);
    ASSERT_TRUE(PumpUntil([&] {
        const auto& lines = server.Sessions()[0]->Received();
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& line) { return line.starts_with("PING "); });
    }));
    EXPECT_TRUE(client.connection->Connected());
    client.timers.Advance(60'000);
    ASSERT_TRUE(PumpUntil([&] { return Holds(client.log, "Disconnect nocode"); }));
    EXPECT_EQ(server.Sessions().size(), 1u);
    client.timers.Advance(10'000);
    EXPECT_TRUE(SessionSaw(server, 1, "NICK me"));
}

// The server takes sasl back while the login waits for its go-ahead: the client sends no
// further AUTHENTICATE and so never the password, and registers unidentified or leaves, as
// the user chose.
TEST(ScriptedServer, SaslWithdrawnMidLoginSendsNoPassword)
{
    for (const bool goOn : {true, false}) {
        SCOPED_TRACE(goOn ? "going on unidentified" : "disconnecting");
        ScriptedServer server([](ScriptedServer::Session& session, const std::string& line) {
            if (line.starts_with("CAP LS")) {
                session.Send(":irc.test CAP * LS :sasl=PLAIN");
            } else if (line == "CAP REQ :sasl") {
                session.Send(":irc.test CAP me ACK :sasl");
            } else if (line == "AUTHENTICATE PLAIN") {
                session.Send(":irc.test CAP me DEL :sasl");
                session.Send("AUTHENTICATE +");
                session.Send("PING :after-the-go-ahead");
            } else if (line == "CAP END") {
                session.Send(":irc.test 001 me :Welcome");
            }
        });
        Client client;
        ConnectOptions options;
        options.account = "anna";
        options.accountPassword = "fake-pw-for-tests";
        options.continueUnidentified = goOn;
        client.connection->Options(options);
        client.connection->Connect("127.0.0.1", server.Port());
        ASSERT_TRUE(PumpUntil([&] { return !client.errors.empty(); }));
        if (goOn) {
            EXPECT_TRUE(PumpUntil([&] { return client.connection->Registered(); }));
            EXPECT_TRUE(SessionSaw(server, 0, "PONG :after-the-go-ahead"));
        } else {
            EXPECT_TRUE(PumpUntil([&] { return !client.connection->Connected(); }));
        }
        EXPECT_EQ(client.errors,
                  (std::vector<std::string>{std::string("SASL login as anna failed (the server withdrew "
                                                        "SASL); ") +
                                            (goOn ? "going on unidentified" : "disconnecting")}));
        std::vector<std::string> logins;
        for (const std::string& line : server.Sessions()[0]->Received()) {
            if (line.starts_with("AUTHENTICATE")) {
                logins.push_back(line);
            }
        }
        EXPECT_EQ(logins, std::vector<std::string>{"AUTHENTICATE PLAIN"});
    }
}
