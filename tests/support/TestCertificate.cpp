#include "TestCertificate.h"

#include "QtLoop.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tellix::test {

namespace {

void Run(const std::string& command)
{
    // openssl talks on stderr even when all goes well; only a failure matters.
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

std::string Quote(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

std::string Fingerprint(const std::filesystem::path& certificate)
{
    const std::string command = "openssl x509 -noout -fingerprint -sha256 -in " + Quote(certificate);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run openssl");
    }
    std::array<char, 256> buffer{};
    std::string out;
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        out += buffer.data();
    }
    ::pclose(pipe);
    const std::size_t equals = out.find('=');
    if (equals == std::string::npos) {
        throw std::runtime_error("openssl printed no fingerprint");
    }
    std::string fingerprint = out.substr(equals + 1);
    while (!fingerprint.empty() && (fingerprint.back() == '\n' || fingerprint.back() == '\r')) {
        fingerprint.pop_back();
    }
    return fingerprint;
}

// Elliptic-curve keys: made in milliseconds, where RSA keys would slow every test down.
const std::string kNewKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

} // namespace

TestCertificate MakeSelfSigned(const std::filesystem::path& folder, const std::string& name)
{
    TestCertificate made{folder / (name + ".pem"), folder / (name + ".key"), {}};
    Run("openssl req -x509 " + kNewKey + " -days 2 -subj '/CN=" + name + "' -addext subjectAltName=IP:127.0.0.1" +
        " -keyout " + Quote(made.key) + " -out " + Quote(made.certificate));
    made.fingerprint = Fingerprint(made.certificate);
    return made;
}

TestCertificate MakeIssued(const std::filesystem::path& folder, const std::string& name, const std::string& host)
{
    const auto caKey = folder / (name + "-ca.key");
    const auto caPem = folder / (name + "-ca.pem");
    Run("openssl req -x509 " + kNewKey + " -days 2 -subj '/CN=Tellix Test CA' -keyout " + Quote(caKey) + " -out " +
        Quote(caPem));
    TestCertificate made{folder / (name + ".pem"), folder / (name + ".key"), {}};
    const auto request = folder / (name + ".csr");
    const auto extensions = folder / (name + ".ext");
    std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1,DNS:" << host << "\n";
    Run("openssl req " + kNewKey + " -subj '/CN=" + host + "' -keyout " + Quote(made.key) + " -out " +
        Quote(request));
    Run("openssl x509 -req -days 2 -in " + Quote(request) + " -CA " + Quote(caPem) + " -CAkey " + Quote(caKey) +
        " -CAcreateserial -extfile " + Quote(extensions) + " -out " + Quote(made.certificate));
    made.fingerprint = Fingerprint(made.certificate);
    return made;
}

std::filesystem::path CombinedPem(const TestCertificate& certificate)
{
    auto combined = certificate.certificate;
    combined.replace_extension(".combined.pem");
    std::ofstream out(combined);
    out << std::ifstream(certificate.certificate).rdbuf() << std::ifstream(certificate.key).rdbuf();
    return combined;
}

TlsListener::TlsListener(const TestCertificate& certificate, std::string greeting) : greeting_(std::move(greeting))
{
    EnsureQtApplication();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(
        QSslCertificate::fromPath(QString::fromStdString(certificate.certificate.string())).value(0));
    QFile key(QString::fromStdString(certificate.key.string()));
    if (!key.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + certificate.key.string());
    }
    configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server_.setSslConfiguration(configuration);
    // Handed out only once the handshake is through.
    QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, &server_, [this] {
        while (QTcpSocket* const client = server_.nextPendingConnection()) {
            ++sessions_;
            client->write(QByteArray::fromStdString(greeting_ + "\r\n"));
        }
    });
    if (!server_.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("the TLS listener found no loopback port");
    }
}

} // namespace tellix::test
