// The Qt socket's TLS settings that fail before any byte is sent, and the trust in a
// certificate, which holds for one session and never leaks into the next.
#include "platform/qtcore/QtTcpSocket.h"

#include "net/ServerTrust.h"

#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/TestCertificate.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;

namespace {

TEST(QtSocketTls, AClientCertificateThatCannotBeUsedFailsFromTheEventLoopNotFromConnect)
{
    EnsureQtApplication();
    const QTemporaryDir folder;
    const TestCertificate made = MakeSelfSigned(folder.path().toStdString(), "client");
    const struct {
        std::string file;
        std::string said;
    } rows[] = {
        {folder.path().toStdString() + "/missing.pem", "cannot read the client certificate"},
        {made.certificate.string(), "does not hold a PEM certificate and its unencrypted key"}, // no key in it
        {CombinedPem(made).string(), ""},                                                       // usable
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        QtTcpSocket socket;
        std::vector<std::string> errors;
        Subscription watch =
            socket.Error.connect([&](std::int16_t, std::string& description, std::int32_t, const std::string&,
                                     const std::string&, std::int32_t, bool&) { errors.push_back(description); });
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(FreeLoopbackPort()); // nobody listens: a usable file fails as refused
        TlsSettings tls;
        tls.enabled = true;
        tls.clientCertificate = row.file;
        socket.SetTls(tls);
        socket.Connect();
        EXPECT_TRUE(errors.empty()) << "raised inside Connect";
        ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
        if (row.said.empty()) {
            EXPECT_EQ(errors[0].find("client certificate"), std::string::npos) << errors[0];
        } else {
            EXPECT_NE(errors[0].find(row.said), std::string::npos) << errors[0];
        }
    }
}

TEST(QtSocketTls, AFailureLeftOverFromAnEarlierConnectIsNotTold)
{
    EnsureQtApplication();
    QtTcpSocket socket;
    int errors = 0;
    Subscription watch = socket.Error.connect([&](std::int16_t, std::string&, std::int32_t, const std::string&,
                                                  const std::string&, std::int32_t, bool&) { ++errors; });
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(FreeLoopbackPort());
    TlsSettings tls;
    tls.enabled = true;
    tls.clientCertificate = "/nonexistent/tellix.pem";
    socket.SetTls(tls);
    socket.Connect();
    socket.Close();
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_EQ(errors, 0);
}

// What one session of a socket told its listeners.
struct Told {
    int connected = 0;
    int refused = 0;
    int errors = 0;
    std::string data; // every byte read
    bool pinMismatch = false;
};

std::vector<Subscription> Tell(QtTcpSocket& socket, Told& told)
{
    std::vector<Subscription> subs;
    subs.push_back(socket.Connected.connect([&told] { ++told.connected; }));
    subs.push_back(socket.DataArrival.connect([&socket, &told](std::int32_t) { told.data += socket.GetData(); }));
    subs.push_back(socket.CertificateRefused.connect([&told](const CertificateRefusal& refusal) {
        ++told.refused;
        told.pinMismatch = refusal.pinMismatch;
    }));
    subs.push_back(socket.Error.connect([&told](std::int16_t, std::string&, std::int32_t, const std::string&,
                                                const std::string&, std::int32_t, bool&) { ++told.errors; }));
    return subs;
}

// One socket object, first on a server whose self-signed certificate the user trusts there, then
// on another server: what was trusted for the first is not trusted for the second, the refusal
// ends the connection before its handshake does, and not one of its bytes is read.
TEST(QtSocketTls, ACertificateTrustedForOneServerIsRefusedOnAnotherBySameSocket)
{
    EnsureQtApplication();
    const QTemporaryDir folder;
    const TestCertificate trusted = MakeSelfSigned(folder.path().toStdString(), "trusted");
    const TestCertificate other = MakeSelfSigned(folder.path().toStdString(), "other");
    const struct {
        const char* name;
        const TestCertificate& second; // what the other server shows
        std::string secondPin;         // trusted there
        bool pinMismatch;
    } rows[] = {
        {"the same certificate, trusted nowhere else", trusted, "", false},
        {"another certificate, trusted nowhere", other, "", false},
        {"the same certificate, another one trusted there", trusted, NormaliseFingerprint(other.fingerprint),
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TlsListener first(trusted, ":first.test NOTICE * :first");
        TlsListener second(row.second, ":second.test NOTICE * :not for you");
        QtTcpSocket socket;
        socket.SetRemoteHost("127.0.0.1");

        Told one;
        {
            const auto subs = Tell(socket, one);
            TlsSettings tls;
            tls.enabled = true;
            tls.pinnedSha256 = NormaliseFingerprint(trusted.fingerprint);
            socket.SetTls(tls);
            socket.SetRemotePort(first.Port());
            socket.Connect();
            ASSERT_TRUE(PumpUntil([&] { return one.data.find("first") != std::string::npos; }));
            EXPECT_EQ(one.connected, 1);
            EXPECT_EQ(one.refused, 0);
            socket.Close();
        }

        Told two;
        const auto subs = Tell(socket, two);
        TlsSettings tls;
        tls.enabled = true;
        tls.pinnedSha256 = row.secondPin;
        socket.SetTls(tls);
        socket.SetRemotePort(second.Port());
        socket.Connect();
        ASSERT_TRUE(PumpUntil([&] { return two.refused > 0 || two.connected > 0; }));
        EXPECT_EQ(two.refused, 1);
        EXPECT_EQ(two.pinMismatch, row.pinMismatch);
        // Cut at once: the socket is down as soon as the refusal has been told.
        EXPECT_NE(socket.State(), TcpSocket::StateConnected);
        EXPECT_NE(socket.State(), TcpSocket::StateConnecting);
        PumpFor(std::chrono::milliseconds(300));
        EXPECT_EQ(two.connected, 0);
        EXPECT_EQ(two.errors, 0) << "the refusal says why";
        EXPECT_EQ(two.data, "");
        EXPECT_EQ(socket.GetData(), "");
        EXPECT_EQ(second.Sessions(), 0) << "the handshake with the refused server finished";
    }
}

} // namespace
