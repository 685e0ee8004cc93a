#pragma once

#include "IrcServer.h"

#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

namespace tellix::test {

// Debian's Atheme (NickServ and SaslServ) linked to an InspIRCd with its capability modules,
// so that SASL logins meet real services. Both run in the foreground from a temporary folder
// and are stopped by their process ids when the object goes away.
class Services {
public:
    struct Options {
        bool tls = false; // the client port speaks TLS and asks for client certificates
    };

    Services() : Services(Options{}) {}
    explicit Services(const Options& options);
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    IrcServer& Server() { return *server_; }

    // Registers `account` with NickServ from a plain connection of that nick, which then quits.
    void RegisterAccount(const std::string& account, const std::string& password);

    // Stops the services' process where it stands, as a hung one would; the link stays up.
    void Freeze();

    // The IRC server's log, then the services' own.
    std::string Log() const;

private:
    std::filesystem::path WriteConfig(std::uint16_t linkPort, const std::string& linkPassword) const;
    bool Linked() const;
    void Stop();

    std::filesystem::path dir_;
    std::unique_ptr<IrcServer> server_;
    pid_t pid_ = -1;
    bool frozen_ = false;
};

} // namespace tellix::test
