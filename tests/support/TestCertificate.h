#pragma once

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

} // namespace tellix::test
