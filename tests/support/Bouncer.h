#pragma once

#include "support/IrcServer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace tellix::test {

// Debian's ZNC on a free loopback port speaking TLS with a self-signed certificate, with one
// user whose one network is `upstream` and who sits in one channel there. Its buffers keep
// what is said while no client is attached, to be played back to the next one. It runs in a
// temporary folder (ZNC writes its settings back on exit) and is stopped by its process id.
class Bouncer {
public:
    struct Options {
        std::string user = "tellix";
        std::string network = "net";
        std::string password = "bouncer-secret";
        std::string nick = "bnc";
        std::string channel = "#room";
    };

    explicit Bouncer(const IrcServer& upstream) : Bouncer(upstream, Options{}) {}
    // Returns once the bouncer is in its channel upstream and takes clients.
    Bouncer(const IrcServer& upstream, const Options& options);
    ~Bouncer();
    Bouncer(const Bouncer&) = delete;
    Bouncer& operator=(const Bouncer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Host() const { return "127.0.0.1"; }
    const std::string& Nick() const { return options_.nick; }
    const std::string& Channel() const { return options_.channel; }
    // What a client sends as PASS to reach the network: "user/network:password".
    std::string ServerPassword() const { return options_.user + "/" + options_.network + ":" + options_.password; }
    // The certificate's SHA-256 fingerprint, as openssl prints it.
    const std::string& Fingerprint() const { return fingerprint_; }
    std::string Log() const;

private:
    void WriteConfig(std::uint16_t upstreamPort) const;
    void Stop();

    Options options_;
    std::filesystem::path dir_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
    std::string fingerprint_;
};

} // namespace tellix::test
