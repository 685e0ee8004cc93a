// SASL logins against real services: Atheme linked to InspIRCd, an account registered with
// NickServ, PLAIN with the right and a wrong password, and EXTERNAL with a client certificate
// NickServ was told about.
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/SaslLogin.h"
#include "net/ServerTrust.h"
#include "platform/qtcore/QtTcpSocket.h"

#include "support/FakeTimers.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"
#include "support/Services.h"
#include "support/TestCertificate.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

const std::string kPassword = "tellix-test-pw";

struct Client {
    FakeTimers timers; // the protocol's time, used only where a test asks for it
    QtSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection;
    std::vector<std::string> shown; // server lines left to the status window as text
    std::vector<std::string> notices;
    std::vector<std::string> errors;
    std::vector<Subscription> subs;

    Client(const std::string& nick, const ConnectOptions& options, const std::string& trusted = "")
    {
        EnsureQtApplication();
        connections.TrustedFingerprint = [trusted](const std::string&, std::int32_t) {
            return NormaliseFingerprint(trusted);
        };
        connection = connections.Add();
        connection->InitialNick(nick);
        connection->InitialUserParams(nick + " 8 * :Tellix " + nick);
        connection->Options(options);
        auto& e = connections.Events;
        subs.push_back(e.MessageNotProcessed.connect(
            [this](const auto&, const std::string& line) { shown.push_back(line); }));
        subs.push_back(e.UserNotice.connect(
            [this](const auto&, const auto&, const std::string& text) { notices.push_back(text); }));
        subs.push_back(e.Error.connect(
            [this](const auto&, const std::string& description) { errors.push_back(description); }));
    }

    void UseFakeTime() { connections.SetProtocolTimers(&timers); }

    bool Shown(const std::string& part)
    {
        return PumpUntil([&] {
            return std::any_of(shown.begin(), shown.end(),
                               [&](const std::string& line) { return line.find(part) != std::string::npos; });
        });
    }

    bool Noticed(const std::string& part)
    {
        return PumpUntil([&] {
            return std::any_of(notices.begin(), notices.end(),
                               [&](const std::string& line) { return line.find(part) != std::string::npos; });
        });
    }
};

ConnectOptions WithAccount(const std::string& password, bool goOn = false)
{
    ConnectOptions options;
    options.account = "anna";
    options.accountPassword = password;
    options.continueUnidentified = goOn;
    return options;
}

// What the server itself says of the nick: the account it is logged in as, or nothing.
std::string AccountOf(Services& services, const std::string& nick)
{
    RawPeer asker(services.Server().PlainPort());
    asker.Register("asker");
    asker.Send("WHOIS " + nick);
    const auto line = asker.WaitUntil([](const std::string& received) {
        return received.find(" 330 ") != std::string::npos || received.find(" 318 ") != std::string::npos;
    });
    if (!line || line->find(" 330 ") == std::string::npos) {
        return "";
    }
    // ":server 330 asker nick account :is logged in as"
    const std::size_t end = line->find(" :");
    const std::size_t start = line->rfind(' ', end - 1) + 1;
    return line->substr(start, end - start);
}

} // namespace

TEST(ServicesServer, PlainWithTheRightPasswordRegistersLoggedIn)
{
    Services services;
    services.RegisterAccount("anna", kPassword);

    Client client("annas", WithAccount(kPassword));
    client.connection->Connect(services.Server().Host(), services.Server().Port());
    ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); })) << services.Log();
    EXPECT_TRUE(client.connection->Capabilities().Enabled("sasl"));
    EXPECT_TRUE(client.Shown(" 900 annas annas!annas@127.0.0.1 anna :You are now logged in as anna"));
    EXPECT_TRUE(client.Shown(" 903 annas :SASL authentication successful"));
    EXPECT_TRUE(client.errors.empty()) << client.errors.front();
    EXPECT_EQ(AccountOf(services, "annas"), "anna");
}

TEST(ServicesServer, ALoginOfTwoAuthenticateLinesIsJoinedAgainByTheServices)
{
    Services services;
    // Atheme checks passwords of up to 250 bytes or so, and InspIRCd takes nicks of up to 30:
    // enough for a payload of 416 bytes, a full line and a short one.
    const std::string account = "anna" + std::string(26, 'y');
    const std::string password(250, 'p');
    ASSERT_EQ(SaslPlainPayload(account, account, password).size(), 416u);
    services.RegisterAccount(account, password);
    ConnectOptions options;
    options.account = account;
    options.accountPassword = password;
    Client client("annas", options);
    client.connection->Connect(services.Server().Host(), services.Server().Port());
    ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); }))
        << testing::PrintToString(client.errors);
    EXPECT_TRUE(client.Shown(" 903 annas :SASL authentication successful"));
    EXPECT_TRUE(client.errors.empty()) << client.errors.front();
    EXPECT_EQ(AccountOf(services, "annas"), account);
}

TEST(ServicesServer, PlainWithAWrongPasswordFailsInOneLineThenDisconnectsOrGoesOnAsAsked)
{
    Services services;
    services.RegisterAccount("anna", kPassword);
    const struct {
        bool goOn;
        std::string error;
    } rows[] = {
        {false, "SASL login as anna failed (904: SASL authentication failed); disconnecting"},
        {true, "SASL login as anna failed (904: SASL authentication failed); going on unidentified"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.goOn ? "going on" : "disconnecting");
        Client client("annas", WithAccount("wrong-" + kPassword, row.goOn));
        client.connection->Connect(services.Server().Host(), services.Server().Port());
        ASSERT_TRUE(PumpUntil([&] { return !client.errors.empty(); })) << services.Log();
        EXPECT_EQ(client.errors, std::vector<std::string>{row.error});
        if (row.goOn) {
            ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); })) << services.Log();
            EXPECT_EQ(AccountOf(services, "annas"), "");
        } else {
            PumpFor(300ms);
            EXPECT_FALSE(client.connection->Connected());
            EXPECT_FALSE(client.connection->Registered());
        }
    }
}

TEST(ServicesServer, ExternalLogsInWithACertificateNickServWasGiven)
{
    Services services(Services::Options{.tls = true});
    services.RegisterAccount("anna", kPassword);
    const QTemporaryDir folder;
    const TestCertificate made = MakeSelfSigned(folder.path().toStdString(), "anna");
    const std::string pem = CombinedPem(made).string();
    const std::string& trusted = services.Server().Fingerprint();
    ConnectOptions external;
    external.tls = true;
    external.clientCertificate = pem;

    {
        // A certificate NickServ does not know logs nobody in.
        Client client("annas", external, trusted);
        client.connection->Connect(services.Server().Host(), services.Server().Port());
        ASSERT_TRUE(PumpUntil([&] { return !client.errors.empty(); })) << services.Log();
        EXPECT_EQ(client.errors, std::vector<std::string>{"SASL login as the client certificate failed (904: SASL "
                                                          "authentication failed); disconnecting"});
        PumpFor(300ms);
        EXPECT_FALSE(client.connection->Connected());
    }
    {
        // Once with the password, to tell NickServ the certificate this connection shows.
        ConnectOptions options = WithAccount(kPassword);
        options.tls = true;
        options.clientCertificate = pem;
        Client client("annas", options, trusted);
        client.connection->Connect(services.Server().Host(), services.Server().Port());
        ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); })) << services.Log();
        ASSERT_TRUE(client.Shown(" 903 annas ")) << services.Log();
        client.connection->SendMessage("PRIVMSG NickServ :CERT ADD");
        // Atheme names the fingerprint as the server saw it: lower-case hex of the certificate's SHA-256.
        std::string seen;
        for (const char c : made.fingerprint) {
            if (c != ':') {
                seen += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        ASSERT_TRUE(client.Noticed("Added fingerprint \x02" + seen + "\x02 to your fingerprint list."))
            << testing::PrintToString(client.notices);
        client.connection->Disconnect();
    }

    Client client("annas", external, trusted);
    client.connection->Connect(services.Server().Host(), services.Server().Port());
    ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); })) << services.Log();
    EXPECT_TRUE(client.Shown(" 900 annas annas!annas@127.0.0.1 anna :You are now logged in as anna"));
    EXPECT_TRUE(client.Shown(" 903 annas :SASL authentication successful"));
    EXPECT_TRUE(client.errors.empty()) << client.errors.front();
    EXPECT_EQ(AccountOf(services, "annas"), "anna");
}

TEST(ServicesServer, ServicesThatHangLeaveTheLoginFailedAfterFiveSeconds)
{
    Services services;
    services.RegisterAccount("anna", kPassword);
    services.Freeze(); // still linked, so the server offers sasl and passes the login on
    const struct {
        bool goOn;
        std::string error;
    } rows[] = {
        {false, "SASL login as anna failed (the server did not answer the login); disconnecting"},
        {true, "SASL login as anna failed (the server did not answer the login); going on unidentified"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.goOn ? "going on" : "disconnecting");
        Client client("annas", WithAccount(kPassword, row.goOn));
        client.UseFakeTime();
        client.connection->Connect(services.Server().Host(), services.Server().Port());
        ASSERT_TRUE(PumpUntil([&] { return client.connection->Capabilities().Enabled("sasl"); }))
            << services.Log();
        PumpFor(300ms);
        EXPECT_FALSE(client.connection->Registered());
        EXPECT_TRUE(client.errors.empty());
        client.timers.Advance(5000);
        EXPECT_EQ(client.errors, std::vector<std::string>{row.error});
        if (row.goOn) {
            ASSERT_TRUE(PumpUntil([&] { return client.connection->Registered(); })) << services.Log();
        } else {
            EXPECT_FALSE(client.connection->Connected());
        }
    }
}
