// A server's strict transport policy end to end, as the terminal front-end lives it: a plain-text
// server that asks for TLS, the policy the TLS server sets kept in the settings file, and the
// next start keeping to it.
#include "app/Settings.h"
#include "support/ConsoleTerminal.h"
#include "support/QtLoop.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificate.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace tellix::test {
namespace {

// Registers whoever asks, with `caps` in its listing.
ScriptedServer::Script Offering(const std::string& caps)
{
    return [caps](ScriptedServer::Session& session, const std::string& line) {
        if (line.starts_with("CAP LS")) {
            session.Send(":irc.test CAP * LS :multi-prefix " + caps);
        } else if (line.starts_with("CAP REQ")) {
            session.Send(":irc.test CAP * ACK :multi-prefix");
        } else if (line == "CAP END") {
            session.Send(":irc.test 001 con :Welcome");
        }
    };
}

bool Registered(const ScriptedServer& server, std::size_t sessions)
{
    return PumpUntil([&] {
        return server.Sessions().size() == sessions &&
               std::ranges::count(server.Sessions().back()->Received(), "CAP END") == 1;
    });
}

TEST(StrictTransport, APlainServerAskingForTlsIsLeftForItAndItsPolicyOutlivesTheProgram)
{
    const QTemporaryDir folder;
    const TestCertificate certificate = MakeSelfSigned(folder.path().toStdString(), "sts");
    ScriptedServer secure(Offering("sts=duration=3600"), certificate.certificate, certificate.key);
    const std::string port = std::to_string(secure.Port());
    ScriptedServer plain(Offering("sts=port=" + port));
    const std::string plainPort = std::to_string(plain.Port());
    const QTemporaryDir config;
    const auto stored = [&](const QString& home) {
        QSettings store(home + "/Tellix/" + QString::fromStdString(SettingsAppName()) + ".ini",
                        QSettings::IniFormat);
        store.setValue("Main/First Use", "0");
        store.setValue("Main/Default User Nick", "con");
        store.setValue("Main/Default User Name", "cons");
        store.setValue(
            QString::fromStdString("Main/" + settings::TrustedCertificateKey("127.0.0.1", secure.Port())),
            QString::fromStdString(certificate.fingerprint));
    };
    {
        ConsoleTerminal terminal(stored, {}, config.path());
        terminal.Type("/server 127.0.0.1 " + plainPort);
        EXPECT_TRUE(terminal.Prints(R"(\[1\] .*\*\*\* 127\.0\.0\.1 asks for TLS: reconnecting on port )" + port))
            << terminal.Out();
        ASSERT_TRUE(Registered(secure, 1)) << terminal.Out();
        ASSERT_EQ(plain.Sessions().size(), 1U);
        EXPECT_EQ(std::ranges::count_if(
                      plain.Sessions()[0]->Received(),
                      [](const std::string& line) { return line.starts_with("CAP REQ") || line == "CAP END"; }),
                  0)
            << "registration goes no further in plain text";

        const QString policy =
            QSettings(terminal.SettingsFile(), QSettings::IniFormat).value("Main/STS 127.0.0.1").toString();
        const std::int64_t now =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        ASSERT_TRUE(policy.startsWith(QString::fromStdString(port + " "))) << policy.toStdString();
        EXPECT_NEAR(static_cast<double>(policy.mid(static_cast<qsizetype>(port.size()) + 1).toLongLong()),
                    static_cast<double>(now + 3600), 10.0);
    }
    // The next start, asked for plain text, goes over TLS.
    ConsoleTerminal terminal({}, {}, config.path());
    terminal.Type("/server 127.0.0.1 " + plainPort);
    EXPECT_TRUE(terminal.Prints(R"(\[1\] .*\*\*\* 127\.0\.0\.1 requires TLS \(its strict transport policy\): )"
                                "connecting with TLS on port " +
                                port + ", not in plain text on port " + plainPort))
        << terminal.Out();
    EXPECT_TRUE(Registered(secure, 2)) << terminal.Out();
    EXPECT_EQ(plain.Sessions().size(), 1U);
}

} // namespace
} // namespace tellix::test
