#pragma once

#include "net/ConnectOptions.h"

#include <cstdint>
#include <string>

namespace tellix {

// Where a connection goes: the host as the user typed it, the port, and whether TLS carries it.
struct ServerPlace {
    std::string host;
    std::int32_t port = 0;
    bool tls = false;
    bool operator==(const ServerPlace&) const = default;
};

// A login (server password, SASL account and password, client certificate) and the one server
// it was saved for. It goes to that server only: the same host in any letter case, the same
// port, the same TLS. A link anyone can hand us names any host, so every other connection is
// made without it.
class SavedLogin {
public:
    SavedLogin() = default;
    SavedLogin(ServerPlace owner, ConnectOptions options);

    const ServerPlace& Owner() const { return owner_; }
    bool BelongsTo(const ServerPlace& place) const;
    // What a connection to `place` is made with: everything saved where it belongs, elsewhere
    // the same without the login.
    ConnectOptions OptionsFor(const ServerPlace& place) const;
    // The status window's word on a connection to `place` that goes without a saved login; empty
    // where nothing is held back.
    std::string WithheldNotice(const ServerPlace& place) const;

private:
    bool HasLogin() const;

    ServerPlace owner_;
    ConnectOptions options_;
};

} // namespace tellix
