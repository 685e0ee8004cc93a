#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace tellix {

// An irc:// address as browsers hand it over: irc://host[:port][/channel], the channel with
// or without its "#", or with "%23" for it; ircs:// the same over TLS, on port 6697 unless
// another is given.
struct IrcAddress {
    std::string host;
    std::int32_t port = 0; // 0: the usual port
    bool tls = false;
    std::string channel; // empty: connect only
    // Why the text is not a usable address; empty when it is.
    std::string error;
};

IrcAddress ParseIrcAddress(const QString& text);

} // namespace tellix
