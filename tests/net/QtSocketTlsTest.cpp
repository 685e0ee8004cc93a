// The Qt socket's TLS settings that fail before any byte is sent.
#include "platform/qtcore/QtTcpSocket.h"

#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/TestCertificate.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

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

} // namespace
