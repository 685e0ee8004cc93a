// Registration with capabilities against real servers: InspIRCd with its capability modules,
// ngircd with the little it offers, and a nick that is already taken.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qtcore/QtTcpSocket.h"

#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

using Kind = IrcServer::Kind;

struct Client {
    QtSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    std::vector<std::string> said; // own channel messages as the model announced them
    std::vector<std::string> errors;
    std::vector<Subscription> subs;

    Client(const std::string& nick, const ConnectOptions& options = {})
    {
        EnsureQtApplication();
        connection = connections.Add();
        connection->InitialNick(nick);
        connection->InitialUserParams(nick + " 8 * :Tellix " + nick);
        connection->Options(options);
        subs.push_back(connections.Events.ChannelPrivMsg.connect(
            [this](const auto&, const auto& channel, const auto& source, const std::string& text) {
                if (source == connection->User()) {
                    said.push_back(channel->Name() + " " + text);
                }
            }));
        subs.push_back(connections.Events.Error.connect(
            [this](const auto&, const std::string& description) { errors.push_back(description); }));
    }

    bool Registered()
    {
        return PumpUntil([&] { return connection->Registered(); });
    }
};

IrcServer::Options WithCapabilities()
{
    IrcServer::Options options;
    options.kind = Kind::InspIRCd;
    options.capabilities = true;
    return options;
}

} // namespace

TEST(CapabilityServer, InspircdGrantsWhatWeAskAndEchoesAChannelMessageOnce)
{
    IrcServer server(WithCapabilities());
    RawPeer anna(server.Port());
    anna.Register("anna");
    anna.Send("JOIN #room");
    ASSERT_TRUE(anna.WaitFor(" 366 "));

    Client client("me");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered()) << server.Log();
    const CapNegotiation& caps = client.connection->Capabilities();
    for (const char* name : {"multi-prefix", "userhost-in-names", "server-time", "echo-message", "cap-notify",
                             "chghost", "batch", "message-tags"}) {
        EXPECT_TRUE(caps.Enabled(name)) << name;
    }
    EXPECT_FALSE(caps.Enabled("sasl")); // not asked for without an account

    client.connection->Channels()->Join("#room");
    ASSERT_TRUE(PumpUntil([&] {
        const auto room = client.connection->Channels()->Item("#room");
        return room && room->Users()->Item("anna");
    })) << server.Log();
    const auto room = client.connection->Channels()->Item("#room");
    room->Say("hello once");
    ASSERT_TRUE(PumpUntilPeerSees(anna, "hello once"));
    ASSERT_TRUE(PumpUntil([&] { return !client.said.empty(); }));
    PumpFor(300ms);
    EXPECT_EQ(client.said, (std::vector<std::string>{"#room hello once"}));
    EXPECT_TRUE(client.errors.empty());
}

TEST(CapabilityServer, AnAccountWhereNoServicesRunEndsWithOneLineAndNoConnection)
{
    IrcServer server(WithCapabilities());
    ConnectOptions options;
    options.account = "anna";
    options.accountPassword = "not-shown-anywhere";
    Client client("me", options);
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(PumpUntil([&] { return !client.errors.empty(); })) << server.Log();
    EXPECT_EQ(client.errors, (std::vector<std::string>{
                                 "SASL login as anna failed (the server offers no SASL login); disconnecting"}));
    EXPECT_FALSE(client.connection->Connected());
    EXPECT_FALSE(client.connection->Registered());
}

class TakenNick : public testing::TestWithParam<Kind> {};

TEST_P(TakenNick, RegistrationGoesOnWithTheNextNickOfTheLadder)
{
    IrcServer::Options options;
    options.kind = GetParam();
    IrcServer server(options);
    RawPeer holder(server.Port());
    holder.Register("taken");
    RawPeer holder2(server.Port());
    holder2.Register("taken_");

    Client client("taken");
    client.connection->Connect(server.Host(), server.Port());
    ASSERT_TRUE(client.Registered()) << server.Log();
    ASSERT_TRUE(PumpUntil([&] { return client.connection->User()->Nick() == "taken1"; }))
        << client.connection->User()->Nick();
    EXPECT_TRUE(client.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(RealServers, TakenNick, testing::Values(Kind::Ngircd, Kind::InspIRCd),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return info.param == Kind::Ngircd ? std::string("ngircd") : std::string("inspircd");
                         });
