#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace tellix::test {

// A real IRC server (Debian's ngircd or InspIRCd) on a free loopback port, with a
// configuration generated into a temporary folder; started in the foreground and
// stopped, by its process id, when the object goes away.
class IrcServer {
public:
    enum class Kind { Ngircd, InspIRCd };
    struct Options {
        Kind kind = Kind::Ngircd;
        int pingSeconds = 120;     // how often the server pings an idle client
        int pongSeconds = 20;      // how long ngircd waits for the answer
        bool capabilities = false; // InspIRCd: load the capability modules (CAP, server-time, ...)
        bool tls = false;          // InspIRCd only: the port speaks TLS with a certificate a test CA issued
        // InspIRCd only: a loopback port where services named ServicesName() link with this
        // password; 0 for no link. Needs `capabilities` for the SASL login they serve.
        std::uint16_t servicesPort = 0;
        std::string servicesPassword;
    };

    IrcServer() : IrcServer(Options{}) {}
    explicit IrcServer(const Options& options);
    ~IrcServer();
    IrcServer(const IrcServer&) = delete;
    IrcServer& operator=(const IrcServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // A port without TLS, for raw peers: beside the TLS one when there is one.
    std::uint16_t PlainPort() const { return plainPort_ != 0 ? plainPort_ : port_; }
    std::string Host() const { return "127.0.0.1"; }
    std::string Name() const { return "irc.tellix.test"; }
    static std::string ServicesName() { return "services.tellix.test"; }
    std::string Log() const;
    // With TLS: the server certificate's SHA-256 fingerprint, as openssl prints it.
    const std::string& Fingerprint() const { return fingerprint_; }
    // Stops the server abruptly, as a crash would.
    void Kill();

private:
    void Stop(int signal);
    std::filesystem::path WriteNgircdConfig(const Options& options) const;
    std::filesystem::path WriteInspircdConfig(const Options& options);

    Kind kind_;
    std::filesystem::path dir_;
    std::uint16_t port_ = 0;
    std::uint16_t plainPort_ = 0;
    pid_t pid_ = -1;
    std::string fingerprint_;
};

// Ends process `pid` with `signal`, then with SIGKILL if it is still there after five seconds,
// and reaps it.
void StopProcess(pid_t pid, int signal);

// A loopback port nobody listens on right now.
std::uint16_t FreeLoopbackPort();

} // namespace tellix::test
