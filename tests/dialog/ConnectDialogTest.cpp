// The connect dialog: what it reads and writes in the settings store, its checks, and what its
// buttons do to the first connection.
#include "dialog/ConnectDialog.h"
#include "app/Settings.h"

#include "../windows/WindowsFixture.h"
#include "support/HeldSecretStore.h"

namespace tellix::test {
namespace {

// The application with a settings store filled before it starts.
struct DialogFixture : testing::Test {
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    std::unique_ptr<Application> app;

    void Start(const std::map<std::string, std::string>& stored = {})
    {
        for (const auto& [key, value] : stored) {
            toolkit.settings.values[{SettingsAppName(), "Main", key}] = value;
        }
        app = std::make_unique<Application>(toolkit, sockets);
    }
    ConnectDialog& Dialog() { return *app->Childs()->ConnectDialog(); }
    RecordingConnectDialogView& View() { return *static_cast<RecordingConnectDialogView*>(Dialog().Window()); }
    IRCConnection& Connection() { return *app->Connections().Item(1); }
    RecordingSocket* Socket() { return sockets.created.empty() ? nullptr : sockets.created.back(); }
};

TEST_F(DialogFixture, AnEmptyStoreGivesTheDefaultsAndAFirstStartShowsThem)
{
    Start();
    RecordingConnectDialogView& view = View();
    EXPECT_EQ(view.caption, "Connect");
    EXPECT_EQ(view.position, (std::pair<std::int32_t, std::int32_t>{1200, 800}));
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.servers, (std::vector<std::pair<std::string, std::int32_t>>{{"irc.libera.chat", 1}}));
    EXPECT_EQ(Dialog().Server(), "irc.libera.chat");
    EXPECT_EQ(Dialog().UserNick(), "user|Tellix");
    EXPECT_EQ(Dialog().UserName(), "Tellix_user");
    EXPECT_EQ(Dialog().UserDescription(), "Tellix user");
    EXPECT_EQ(view.invisible, 1);
    EXPECT_EQ(view.wallop, 0);
    EXPECT_EQ(Dialog().Parent(), app->Childs());
    // Reading writes nothing.
    EXPECT_EQ(toolkit.settings.written, std::vector<std::string>{});
}

TEST_F(DialogFixture, StoredCheckBoxesAreReadAsBooleans)
{
    struct Row {
        std::string invisible, wallop;
        std::int32_t invisibleBox, wallopBox;
    };
    for (const Row& row : std::vector<Row>{{"0", "1", 0, 1}, {"TRUE", "false", 1, 0}, {"-2", "0", 1, 0}}) {
        SCOPED_TRACE(row.invisible + " " + row.wallop);
        app.reset();
        Start({{"Default User Invisible", row.invisible}, {"Default User WallOp", row.wallop}});
        EXPECT_EQ(View().invisible, row.invisibleBox);
        EXPECT_EQ(View().wallop, row.wallopBox);
    }
}

TEST_F(DialogFixture, ValidnessChecksEveryFieldAndTrimsNothing)
{
    Start();
    struct Row {
        std::string server, nick, userShort, userLong;
        bool valid;
    };
    const std::vector<Row> rows = {
        {"irc.test", "joe", "joe", "Joe Doe", true}, {"", "joe", "joe", "Joe Doe", false},
        {"irc.test", "", "joe", "Joe Doe", false},   {"irc.test", "jo e", "joe", "Joe Doe", false},
        {"irc.test", "joe", "", "Joe Doe", false},   {"irc.test", "joe", "j oe", "Joe Doe", false},
        {"irc.test", "joe", "joe", "", false},       {"irc.test", "joe", "joe", "   ", true},
        {"irc.test", " ", "joe", "x", false},        {" ", "joe", "joe", "x", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server + "|" + row.nick + "|" + row.userShort + "|" + row.userLong);
        Dialog().Server(row.server);
        Dialog().UserNick(row.nick);
        Dialog().UserName(row.userShort);
        Dialog().UserDescription(row.userLong);
        EXPECT_EQ(Dialog().CheckValidness(), row.valid);
    }
}

TEST_F(DialogFixture, ConnectRegistersWithTheModeNumberOrOnlyBeeps)
{
    Start();
    Dialog().Server("irc.test");
    Dialog().UserNick("joe");
    Dialog().UserName("joe");
    Dialog().UserDescription("Joe Doe");
    struct Row {
        bool invisible, wallop;
        std::string userParams;
    };
    for (const Row& row : std::vector<Row>{{true, false, "joe 8 * :Joe Doe"},
                                           {true, true, "joe 12 * :Joe Doe"},
                                           {false, true, "joe 4 * :Joe Doe"},
                                           {false, false, "joe 0 * :Joe Doe"}}) {
        SCOPED_TRACE(row.userParams);
        Dialog().UserInvisible(row.invisible);
        Dialog().UserWallOp(row.wallop);
        ASSERT_NE(Socket(), nullptr);
        Socket()->sent.clear();
        View().Events.ConnectClick.raise();
        EXPECT_EQ(Connection().InitialNick(), "joe");
        EXPECT_EQ(Connection().InitialUserParams(), row.userParams);
        EXPECT_EQ(Socket()->host, "irc.test");
        Socket()->PeerConnects();
        EXPECT_EQ(Socket()->sent,
                  (std::vector<std::string>{"CAP LS 302\r\n", "NICK joe\r\n", "USER " + row.userParams + "\r\n"}));
    }

    // An unusable field only beeps and leaves the connection as it was.
    Dialog().UserNick("jo e");
    const std::string nickBefore = Connection().InitialNick();
    const std::size_t socketsBefore = sockets.created.size();
    const int connectsBefore = Socket()->connectCalls;
    View().Events.ConnectClick.raise();
    EXPECT_EQ(toolkit.beeps, 1);
    EXPECT_EQ(Connection().InitialNick(), nickBefore);
    EXPECT_EQ(sockets.created.size(), socketsBefore);
    EXPECT_EQ(Socket()->connectCalls, connectsBefore);
}

TEST_F(DialogFixture, DisconnectActsOnlyWhileConnected)
{
    Start();
    View().Events.DisconnectClick.raise();
    EXPECT_EQ(Socket()->connectCalls, 0);
    EXPECT_EQ(Socket()->closeCalls, 0);
    Dialog().Server("irc.test");
    View().Events.ConnectClick.raise();
    Socket()->PeerConnects();
    ASSERT_TRUE(Connection().Connected());
    View().Events.DisconnectClick.raise();
    EXPECT_FALSE(Connection().Connected());
    const auto& status = *static_cast<RecordingChildView*>(app->Childs()->Item(1)->Window());
    EXPECT_NE(status.text.find("Disconnected from Server irc.test, Port "), std::string::npos) << status.text;
}

TEST_F(DialogFixture, ClosingOnlyHidesAndTheTextsSurvive)
{
    Start();
    int closed = 0;
    Subscription watch = Dialog().Events.Closed.connect([&] { ++closed; });
    Dialog().Show();
    Dialog().UserNick("typed");
    EXPECT_FALSE(View().UserCloses());
    EXPECT_FALSE(Dialog().Visible());
    EXPECT_EQ(closed, 1);
    Dialog().Show();
    EXPECT_TRUE(Dialog().Visible());
    EXPECT_EQ(Dialog().UserNick(), "typed");
    View().Events.CloseClick.raise();
    EXPECT_FALSE(Dialog().Visible());
    EXPECT_EQ(closed, 2);
}

TEST_F(DialogFixture, DeleteWritesTheKeysInOrderOnceAndLetsTheFormGo)
{
    Start();
    Dialog().Server("");
    Dialog().UserNick("joe");
    Dialog().UserName("joe_u");
    Dialog().UserDescription("Joe Doe");
    Dialog().UserInvisible(false);
    Dialog().UserWallOp(true);
    // The form is unloaded by the program, and a Delete asked again meanwhile does nothing.
    bool unloaded = false;
    Subscription again = View().Events.QueryUnload.connect([&](bool&, std::int32_t mode) {
        unloaded = mode == 1;
        Dialog().Delete();
    });
    Dialog().Delete();
    EXPECT_TRUE(unloaded);
    EXPECT_EQ(toolkit.settings.written,
              (std::vector<std::string>{
                  "Default Server=irc.libera.chat", "Default User Nick=joe", "Default User Name=joe_u",
                  "Default User Description=Joe Doe", "Default User Invisible=0", "Default User WallOp=1",
                  "Default Server Port=6697", "Default Server TLS=1", "Default Account Name=",
                  "Default Client Certificate=", "Default Reconnect=0", "Default Continue Unidentified=0"}));
    EXPECT_EQ(Dialog().Window(), nullptr);
    EXPECT_EQ(Dialog().Parent(), nullptr);
    // What was saved comes back on the next start.
    auto stored = toolkit.settings.values;
    app.reset();
    toolkit.settings.written.clear();
    toolkit.settings.values = stored;
    app = std::make_unique<Application>(toolkit, sockets);
    EXPECT_EQ(Dialog().UserNick(), "joe");
    EXPECT_EQ(Dialog().UserName(), "joe_u");
    EXPECT_EQ(Dialog().UserWallOp(), true);
    EXPECT_EQ(Dialog().UserInvisible(), false);
}

std::string StatusText(Application& app)
{
    return static_cast<RecordingChildView*>(app.Childs()->Item(1)->Window())->text;
}

TEST_F(DialogFixture, TheConnectionFieldsFollowTheStoredKeysOrTheirDefaults)
{
    struct Row {
        std::map<std::string, std::string> stored;
        std::string port;
        bool tls;
        std::string account;
        std::string certificate;
        bool reconnect;
        bool continueUnidentified;
    };
    const std::vector<Row> rows = {
        {{}, "6697", true, "", "", false, false}, // a new user
        {{{"Default Server TLS", "0"}}, "6667", false, "", "", false, false},
        {{{"Default Server Port", "7000"}, {"Default Server TLS", "1"}}, "7000", true, "", "", false, false},
        {{{"Default Server Port", "70000"}}, "6697", true, "", "", false, false},
        {{{"Default Server Port", "six"}, {"Default Server TLS", "false"}}, "6667", false, "", "", false, false},
        {{{"Default Account Name", "anna"}, {"Default Client Certificate", "/home/anna/anna.pem"}},
         "6697",
         true,
         "anna",
         "/home/anna/anna.pem",
         false,
         false},
        {{{"Default Reconnect", "1"}, {"Default Continue Unidentified", "TRUE"}},
         "6697",
         true,
         "",
         "",
         true,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port + " " + row.account);
        app.reset(); // writes the last row's fields
        toolkit.settings.values.clear();
        Start(row.stored);
        const ConnectFields fields = View().fields;
        EXPECT_EQ(fields.port, row.port);
        EXPECT_EQ(fields.tls, row.tls);
        EXPECT_EQ(fields.account, row.account);
        EXPECT_EQ(fields.clientCertificate, row.certificate);
        EXPECT_EQ(fields.reconnect, row.reconnect);
        EXPECT_EQ(fields.continueUnidentified, row.continueUnidentified);
        EXPECT_EQ(fields.serverPassword, "");
        EXPECT_EQ(fields.accountPassword, "");
    }
}

TEST_F(DialogFixture, UseTlsSwitchesOnlyTheUsualPorts)
{
    Start();
    struct Row {
        std::string port;
        bool tls;
        std::string after;
    };
    for (const Row& row : std::vector<Row>{
             {"6697", false, "6667"}, {"6667", true, "6697"}, {"7000", false, "7000"}, {"", true, "6697"}}) {
        SCOPED_TRACE(row.port);
        View().fields.port = row.port;
        View().fields.tls = row.tls;
        View().Events.TlsClick.raise();
        EXPECT_EQ(View().fields.port, row.after);
        EXPECT_EQ(View().fields.tls, row.tls);
    }
}

TEST_F(DialogFixture, TheServerBoxMayNameThePortAndTheFieldsBecomeTheConnectionsOptions)
{
    Start();
    Dialog().UserNick("joe");
    ConnectFields& fields = View().fields;
    fields.port = "6697";
    fields.serverPassword = "bouncer-secret";
    fields.account = "joe";
    fields.accountPassword = "account-secret";
    fields.clientCertificate = "/tmp/joe.pem";
    fields.reconnect = true;
    struct Row {
        std::string server;
        std::string host;
        std::int32_t port;
    };
    for (const Row& row : std::vector<Row>{{"irc.test", "irc.test", 6697},
                                           {"irc.test:7000", "irc.test", 7000},
                                           {"[2001:db8::1]:6900", "2001:db8::1", 6900},
                                           {"2001:db8::1", "2001:db8::1", 6697}}) {
        SCOPED_TRACE(row.server);
        Dialog().Server(row.server);
        View().Events.ConnectClick.raise();
        EXPECT_EQ(Socket()->host, row.host);
        EXPECT_EQ(Socket()->port, row.port);
        EXPECT_TRUE(Socket()->Tls().enabled);
        EXPECT_EQ(Socket()->Tls().clientCertificate, "/tmp/joe.pem");
    }
    const ConnectOptions options = Connection().Options();
    EXPECT_TRUE(options.tls);
    EXPECT_EQ(options.serverPassword, "bouncer-secret");
    EXPECT_EQ(options.account, "joe");
    EXPECT_EQ(options.accountPassword, "account-secret");
    EXPECT_TRUE(options.reconnect);
    EXPECT_FALSE(options.continueUnidentified);

    // A port out of range connects nowhere and says so.
    const int connects = Socket()->connectCalls;
    Dialog().Server("irc.test:99999");
    View().Events.ConnectClick.raise();
    EXPECT_EQ(Socket()->connectCalls, connects);
    EXPECT_NE(StatusText(*app).find("*** Cannot connect to \"irc.test:99999\""), std::string::npos);

    // The passwords stay for the session only.
    Dialog().Delete();
    for (const std::string& written : toolkit.settings.written) {
        EXPECT_EQ(written.find("secret"), std::string::npos) << written;
    }
}

TEST_F(DialogFixture, AFailedConnectNamesHostAndPortAndARefusedCertificateCanBeTrusted)
{
    Start();
    Dialog().Server("irc.test:7000");
    View().Events.ConnectClick.raise();
    Socket()->Fails(10061, "Connection is forcefully rejected");
    EXPECT_NE(StatusText(*app).find("Could not connect to Server irc.test, Port 7000"), std::string::npos)
        << StatusText(*app);

    const std::string fingerprint =
        "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
    View().Events.ConnectClick.raise();
    EXPECT_EQ(Socket()->Tls().pinnedSha256, "");
    CertificateRefusal refusal{"The certificate is self-signed, and untrusted",
                               fingerprint,
                               "CN=irc.test",
                               "CN=irc.test",
                               "2026-01-01T00:00:00Z",
                               "2027-01-01T00:00:00Z",
                               false};
    Socket()->CertificateRefused.raise(refusal);
    EXPECT_NE(StatusText(*app).find("*** Certificate of Server irc.test, Port 7000 refused: The certificate is "
                                    "self-signed, and untrusted; SHA-256 fingerprint " +
                                    fingerprint),
              std::string::npos)
        << StatusText(*app);
    ASSERT_EQ(toolkit.trustOffers.size(), 1U);
    EXPECT_EQ(toolkit.trustOffers[0].refusal.subject, "CN=irc.test");
    const int connects = Socket()->connectCalls;
    toolkit.trustOffers[0].trust();
    EXPECT_EQ((toolkit.settings.values[{SettingsAppName(), "Main", "Trusted Certificate irc.test, Port 7000"}]),
              fingerprint);
    EXPECT_EQ(Socket()->connectCalls, connects + 1);
    EXPECT_EQ(Socket()->Tls().pinnedSha256, fingerprint);

    // Another certificate where one is trusted: said plainly.
    refusal.pinMismatch = true;
    Socket()->CertificateRefused.raise(refusal);
    EXPECT_NE(StatusText(*app).find("refused: it is not the one trusted for this server and port"),
              std::string::npos);
}

// The terminal has no password boxes and no secret store: the settings file may hold them, and
// what is typed is never written there.
TEST_F(DialogFixture, WithoutASecretStorePasswordsComeFromTheSettingsFileAndNoneIsWritten)
{
    Start({{"Default Server Password", "file-secret"}});
    EXPECT_EQ(View().fields.serverPassword, "file-secret");
    View().fields.accountPassword = "typed-secret";
    View().Events.ConnectClick.raise();
    EXPECT_EQ(Connection().Options().serverPassword, "file-secret");
    EXPECT_EQ(Connection().Options().accountPassword, "typed-secret");
    Dialog().Delete();
    for (const std::string& written : toolkit.settings.written) {
        EXPECT_EQ(written.find("secret"), std::string::npos) << written;
    }
}

TEST_F(DialogFixture, PasswordsLiveInTheSecretStoreOrWhereNoneAnswersInTheSettingsFile)
{
    HeldSecretStore store;
    store.entries = {{"Default Server Password", "kept-secret"}};
    toolkit.secrets = &store;
    const std::string inFile = "only-in-file";
    Start({{"Default Account Password", inFile}});
    EXPECT_EQ(View().fields.accountPassword, inFile);

    // Connected before the store answers: the empty box erases nothing.
    View().Events.ConnectClick.raise();
    store.Answer();
    EXPECT_EQ(View().fields.serverPassword, "kept-secret");
    store.Answer();
    EXPECT_EQ(store.entries["Default Server Password"], "kept-secret");
    EXPECT_EQ(store.entries["Default Account Password"], inFile) << "a running store takes what was in the file";
    const auto inSettings = [&] {
        return toolkit.settings.values[{SettingsAppName(), "Main", "Default Account Password"}];
    };
    EXPECT_EQ(inSettings(), "");

    // Emptied by the user: removed. Changed: rewritten.
    View().fields.serverPassword = "";
    View().fields.accountPassword = "new-secret";
    View().Events.ConnectClick.raise();
    store.Answer();
    EXPECT_EQ(store.entries, (std::map<std::string, std::string>{{"Default Account Password", "new-secret"}}));

    // No store answers: the file keeps it, and the status window says so once.
    store.running = false;
    const std::string kLine = "*** No secret store answered: passwords are kept in the settings file";
    for (const std::string secret : {"file-secret", "file-secret-2"}) {
        View().fields.accountPassword = secret;
        View().Events.ConnectClick.raise();
        store.Answer();
        EXPECT_EQ(inSettings(), secret);
    }
    const std::string status = StatusText(*app);
    EXPECT_NE(status.find(kLine), std::string::npos);
    EXPECT_EQ(status.find(kLine), status.rfind(kLine));
    EXPECT_EQ(status.find("file-secret"), std::string::npos);

    // An answer after the dialog is gone touches nothing.
    View().fields.serverPassword = "late-secret";
    View().Events.ConnectClick.raise();
    app.reset();
    store.Answer();
}

} // namespace
} // namespace tellix::test
