#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

inline constexpr std::int32_t PlainPort = 6667;
inline constexpr std::int32_t TlsPort = 6697;

// A SHA-256 fingerprint as the user may type or paste it (hex digits in any case, with or
// without colons or blanks between the bytes) in the one form the client keeps and shows:
// upper-case pairs joined by colons. Empty when it is not 32 bytes of hex.
std::string NormaliseFingerprint(std::string_view text);

// A server as typed in the server box: "host", "host:port", "[v6 address]" or
// "[v6 address]:port". A bare v6 address (more than one colon) is a host without a port.
struct ServerAddress {
    std::string host;
    std::int32_t port = 0; // 0: none given
};
// Nothing when the text names no host or its port is not a number from 1 to 65535.
std::optional<ServerAddress> SplitServerAddress(std::string_view text);

} // namespace tellix
