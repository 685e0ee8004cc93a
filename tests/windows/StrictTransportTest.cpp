// A host under a strict transport policy on every road a connect takes, a plain-text server
// that asks for TLS, and a refused certificate where the policy holds.
#include "WindowsFixture.h"

#include "app/Settings.h"
#include "net/LinkWatch.h"

#include <functional>

namespace tellix::test {
namespace {

struct StrictTransport : WindowsFixture {
    // policy.test requires TLS on 6697; the dialog's login belongs to policy.test:6697 with TLS.
    StrictTransport()
    {
        Policy("6697 99999999999");
        RecordingConnectDialogView& form = *toolkit.dialogs.back();
        form.SetNick("me");
        form.SetUserShort("me");
        form.SetUserLong("Me");
        form.SetServerText("policy.test");
        ConnectFields fields;
        fields.port = "6697";
        fields.tls = true;
        fields.reconnect = true;
        fields.serverPassword = "pw-fake";
        form.SetFields(fields);
    }
    void Policy(const std::string& stored)
    {
        toolkit.settings.values[{SettingsAppName(), "Main", "STS policy.test"}] = stored;
    }
    void DialogPlain()
    {
        ConnectFields fields = toolkit.dialogs.back()->Fields();
        fields.port = "6667";
        fields.tls = false;
        toolkit.dialogs.back()->SetFields(fields);
    }
};

const std::string kMoved = "*** policy.test requires TLS (its strict transport policy): connecting with TLS on "
                           "port 6697, not in plain text on port 6667";

TEST_F(StrictTransport, EveryRoadReachesTheHostOverTlsAndTheLoginGoesOnlyWhereItBelongs)
{
    struct Road {
        std::string name;
        std::function<void()> take;
        std::int32_t port;
        bool moved;
        bool login;
    };
    const Road roads[] = {
        {"/server host", [&] { app.ProcessCommand("SERVER policy.test", true, 1); }, 6697, true, true},
        {"/server host 6667", [&] { app.ProcessCommand("SERVER policy.test 6667", true, 1); }, 6697, true, true},
        {"/server -tls host 7000", [&] { app.ProcessCommand("SERVER -tls policy.test 7000", true, 1); }, 7000,
         false, false},
        {"an address", [&] { app.OpenAddress("policy.test", 0, ""); }, 6697, true, true},
        {"the connection's own reconnect",
         [&] {
             Policy("");
             app.ProcessCommand("SERVER policy.test 6667", true, 1);
             socket.PeerConnects();
             Policy("6697 99999999999");
             socket.PeerCloses();
             toolkit.timers.Advance(LinkWatch::kFirstDelayMs);
         },
         6697, true, true},
        {"the dialog with TLS off, its login left behind",
         [&] {
             DialogPlain();
             app.ProcessCommand("SERVER", true, 1);
         },
         6697, true, false},
        // Each a connection of its own, beside the first.
        {"/connect host 6667", [&] { app.ProcessCommand("CONNECT policy.test 6667", true, 1); }, 6697, true,
         false},
        {"a saved network with TLS off",
         [&] {
             app.ProcessCommand("NETWORK add home policy.test 6667", true, 1);
             app.ProcessCommand("CONNECT home", true, 1);
         },
         6697, true, false},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        for (std::int32_t window = 1; window <= childs.Count(); ++window) {
            NewLines(window);
        }
        road.take();
        const RecordingSocket& used = *sockets.created.back();
        const auto& went = app.Connections().Item(app.Connections().Count());
        EXPECT_EQ(used.host, "policy.test");
        EXPECT_EQ(used.port, road.port);
        EXPECT_TRUE(used.Tls().enabled);
        EXPECT_EQ(went->Options().serverPassword, road.login ? "pw-fake" : "");
        std::size_t told = 0;
        for (std::int32_t window = 1; window <= childs.Count(); ++window) {
            const Texts lines = NewLines(window);
            told += static_cast<std::size_t>(std::count(lines.begin(), lines.end(), kMoved));
        }
        EXPECT_EQ(told, road.moved ? 1U : 0U);
        went->Disconnect();
    }
}

TEST_F(StrictTransport, ARefusedCertificateIsFinalNoTrustOfferedNoRetry)
{
    app.ProcessCommand("SERVER policy.test 6667", true, 1);
    const int connects = socket.connectCalls;
    CertificateRefusal refusal;
    refusal.reason = "the certificate is self-signed";
    refusal.fingerprint = "AB:CD";
    socket.CertificateRefused.raise(refusal);
    EXPECT_EQ(Lines(1).back(), "*** Certificate of Server policy.test, Port 6697 refused: the certificate is "
                               "self-signed; policy.test requires TLS (its strict transport policy), so nothing "
                               "connects");
    EXPECT_TRUE(toolkit.trustOffers.empty());
    toolkit.timers.Advance(4 * LinkWatch::kLongestDelayMs);
    EXPECT_EQ(socket.connectCalls, connects);
    // Once the policy has ended, the same refusal may be trusted again.
    Policy("6697 1");
    socket.CertificateRefused.raise(refusal);
    EXPECT_EQ(toolkit.trustOffers.size(), 1U);
}

// Asked in the listing, the session there ends before registering and the address's channel is
// joined over TLS; asked later, the channels of the windows follow.
TEST_F(StrictTransport, APlainServerAskingForTlsIsLeftForItsPortWithWhatTheSessionWasFor)
{
    app.OpenAddress("up.test", 6667, "#room");
    socket.PeerConnects();
    socket.sent.clear();
    Receive(":up.test CAP * LS :multi-prefix sts=duration=60,port=6697");
    EXPECT_EQ(Sent(), Texts{}) << "no CAP REQ, no CAP END";
    const Texts lines = NewLines(1);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "*** up.test asks for TLS: reconnecting on port 6697"),
              lines.end());
    EXPECT_EQ(socket.port, 6697);
    EXPECT_TRUE(socket.Tls().enabled);
    EXPECT_EQ(connection->Options().serverPassword, "") << "the login belongs to policy.test";
    socket.PeerConnects();
    Receive(":up.test 001 me :Welcome");
    Texts sent = Sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "JOIN :#room"), sent.end()) << testing::PrintToString(sent);
    EXPECT_EQ(toolkit.settings.values.count({SettingsAppName(), "Main", "STS up.test"}), 0U)
        << "a duration said in plain text binds nothing";

    connection->Options(ConnectOptions{});
    Online();
    Receive(":me!u@h JOIN #lobby");
    Receive(":irc.test CAP me NEW :sts=port=6697");
    EXPECT_EQ(socket.port, 6697);
    socket.PeerConnects();
    Receive(":irc.test 001 me :Welcome");
    sent = Sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "JOIN #lobby"), sent.end()) << testing::PrintToString(sent);
}

} // namespace
} // namespace tellix::test
