// The connect dialog's login on every road a connect takes, including the late ones: a connect
// that waits behind held lines, a link that breaks meanwhile, and a certificate trusted later.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

struct SavedLogin : WindowsFixture {
    // The dialog's login belongs to home.test, port 6697, with TLS.
    SavedLogin()
    {
        RecordingConnectDialogView& form = *toolkit.dialogs.back();
        form.SetNick("me");
        form.SetUserShort("me");
        form.SetUserLong("Me");
        form.SetServerText("home.test");
        ConnectFields fields;
        fields.port = "6697";
        fields.tls = true;
        fields.serverPassword = "pw-home";
        fields.account = "me";
        fields.accountPassword = "sasl-home";
        fields.clientCertificate = "/home/me/me.pem";
        form.SetFields(fields);
    }
    // Online elsewhere, with more typed than the pace lets go at once.
    void OnlineWithHeldLines()
    {
        connection->Options(ConnectOptions{});
        Online();
        for (int i = 0; i < 8; ++i) {
            connection->SendMessage("PRIVMSG #room :" + std::to_string(i));
        }
        socket.sent.clear();
    }
    bool LoginGiven() const
    {
        const ConnectOptions& options = connection->Options();
        return !options.serverPassword.empty() || !options.accountPassword.empty() ||
               !options.clientCertificate.empty();
    }
};

// A /server home typed behind held lines keeps the old link's options until it opens, and
// still opens when the old link breaks meanwhile: the old server's reconnect never gets it.
TEST_F(SavedLogin, AConnectWaitingBehindHeldLinesTakesTheLoginOnlyAsItOpens)
{
    for (const bool breaks : {false, true}) {
        SCOPED_TRACE(breaks ? "the link breaks meanwhile" : "the held lines leave");
        ConnectFields reconnecting = toolkit.dialogs.back()->Fields();
        reconnecting.reconnect = true;
        toolkit.dialogs.back()->SetFields(reconnecting);
        OnlineWithHeldLines();
        const int connects = socket.connectCalls;
        ASSERT_TRUE(app.ProcessCommand("SERVER -tls home.test 6697", true, 1));
        EXPECT_EQ(socket.connectCalls, connects) << "still sending";
        EXPECT_FALSE(LoginGiven());
        if (breaks) {
            socket.Fails(10054, "Connection is reset by remote side");
        } else {
            toolkit.timers.Advance(3000);
        }
        EXPECT_EQ(socket.connectCalls, connects + 1);
        EXPECT_EQ(socket.host, "home.test");
        EXPECT_TRUE(LoginGiven());
        toolkit.timers.Advance(kDrainMs);
        EXPECT_EQ(socket.connectCalls, connects + 1) << "no reconnect to the old server";
    }
}

// A certificate refused on a server elsewhere, trusted after the user connected home meanwhile:
// the connect the trust makes goes without the login.
TEST_F(SavedLogin, ATrustGivenLaterConnectsWithoutALoginOfAnotherServer)
{
    ASSERT_TRUE(app.ProcessCommand("SERVER -tls evil.test 6697", true, 1));
    CertificateRefusal refusal;
    refusal.reason = "self-signed";
    refusal.fingerprint = std::string(95, 'A');
    for (std::size_t i = 2; i < refusal.fingerprint.size(); i += 3) {
        refusal.fingerprint[i] = ':';
    }
    socket.CertificateRefused.raise(refusal);
    ASSERT_EQ(toolkit.trustOffers.size(), 1u);
    ASSERT_TRUE(app.ProcessCommand("SERVER", true, 1));
    EXPECT_EQ(socket.host, "home.test");
    EXPECT_TRUE(LoginGiven());
    socket.Fails(10061, "Connection is forcefully rejected");

    toolkit.trustOffers.front().trust();
    EXPECT_EQ(socket.host, "evil.test");
    EXPECT_TRUE(socket.Tls().enabled);
    EXPECT_FALSE(LoginGiven());
    EXPECT_TRUE(socket.Tls().clientCertificate.empty());
    EXPECT_EQ(Lines(1).back(), "Connecting to evil.test without the saved login (it belongs to home.test:6697)");
}

// An address opened behind held lines still joins its channel once the new server welcomes us.
TEST_F(SavedLogin, AnAddressOpenedBehindHeldLinesJoinsItsChannel)
{
    OnlineWithHeldLines();
    app.OpenAddress("else.test", 6667, "#room");
    Sent(3000);
    EXPECT_EQ(socket.host, "else.test");
    socket.PeerConnects();
    Receive(":else.test 001 me :Welcome");
    const std::vector<std::string> sent = Sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "JOIN :#room"), sent.end()) << testing::PrintToString(sent);
}

} // namespace
} // namespace tellix::test
