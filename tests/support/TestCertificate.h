#pragma once

#include <QSslServer>

#include <cstdint>
#include <filesystem>
#include <string>

namespace tellix::test {

// A certificate made with openssl for the test's own servers: its PEM files and its
// SHA-256 fingerprint as openssl prints it (upper-case pairs joined by colons).
struct TestCertificate {
    std::filesystem::path certificate;
    std::filesystem::path key;
    std::string fingerprint;
};

// A self-signed certificate for 127.0.0.1, written into `folder` under `name`.
TestCertificate MakeSelfSigned(const std::filesystem::path& folder, const std::string& name);

// A certificate for 127.0.0.1 and `host`, issued by a test certificate authority made with it
// (`name`-ca.pem), as a server of a real network would hold.
TestCertificate MakeIssued(const std::filesystem::path& folder, const std::string& name, const std::string& host);

// The certificate and key in one PEM file, as a client certificate is chosen.
std::filesystem::path CombinedPem(const TestCertificate& certificate);

// A TLS listener on a free loopback port presenting `certificate`, for what a real server will
// not do on demand. Each client whose handshake it finishes is sent `greeting` (CR LF added).
// It runs in the Qt event loop.
class TlsListener {
public:
    TlsListener(const TestCertificate& certificate, std::string greeting);
    std::uint16_t Port() const { return server_.serverPort(); }
    // Clients whose handshake finished.
    int Sessions() const { return sessions_; }

private:
    QSslServer server_;
    std::string greeting_;
    int sessions_ = 0;
};

} // namespace tellix::test
