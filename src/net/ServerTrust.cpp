#include "net/ServerTrust.h"

#include <charconv>

namespace tellix {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::int32_t> ParsePort(std::string_view text)
{
    std::int32_t port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace

std::string NormaliseFingerprint(std::string_view text)
{
    constexpr std::size_t kBytes = 32;
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    for (const char c : text) {
        if (c == ':' || c == ' ') {
            continue;
        }
        const int value = HexValue(c);
        if (value < 0 || digits.size() == kBytes * 2) {
            return {};
        }
        digits.push_back(kDigits[value]);
    }
    if (digits.size() != kBytes * 2) {
        return {};
    }
    std::string out;
    out.reserve(kBytes * 3 - 1);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i != 0) {
            out.push_back(':');
        }
        out.append(digits, i, 2);
    }
    return out;
}

std::optional<ServerAddress> SplitServerAddress(std::string_view text)
{
    ServerAddress address;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) {
            return std::nullopt;
        }
        address.host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (rest.empty()) {
            return address;
        }
        if (rest.front() != ':') {
            return std::nullopt;
        }
        const auto port = ParsePort(rest.substr(1));
        if (!port) {
            return std::nullopt;
        }
        address.port = *port;
        return address;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
        if (text.empty()) {
            return std::nullopt;
        }
        address.host = std::string(text);
        return address;
    }
    const auto port = ParsePort(text.substr(colon + 1));
    if (colon == 0 || !port) {
        return std::nullopt;
    }
    address.host = std::string(text.substr(0, colon));
    address.port = *port;
    return address;
}

} // namespace tellix
