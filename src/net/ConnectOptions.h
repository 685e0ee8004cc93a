#pragma once

#include <string>

namespace tellix {

// What a connection is asked to do beyond host and port: how it is carried, how it logs in,
// and whether it comes back by itself. A plain connection leaves everything as it is.
struct ConnectOptions {
    bool tls = false;
    std::string serverPassword; // sent as PASS before anything else, for bouncers
    std::string account;        // SASL PLAIN with accountPassword when both are set
    std::string accountPassword;
    std::string clientCertificate;     // a PEM file with certificate and key; SASL EXTERNAL without a password
    bool continueUnidentified = false; // a failed login goes on instead of disconnecting
    bool reconnect = false;
    // A bouncer's network this connection is bound to (BOUNCER BIND), by its id; empty for none.
    std::string bouncerNetwork;
};

} // namespace tellix
