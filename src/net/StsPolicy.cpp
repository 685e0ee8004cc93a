#include "net/StsPolicy.h"

#include <charconv>
#include <limits>
#include <utility>

namespace tellix {

namespace {

constexpr std::int64_t kLongest = std::numeric_limits<std::int64_t>::max();

std::string Lower(std::string_view host)
{
    std::string lower(host);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool AllDigits(std::string_view text)
{
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

// Decimal digits only: no sign, no blank. A number too large to hold is the largest there is.
std::optional<std::int64_t> Number(std::string_view text)
{
    if (!AllDigits(text)) {
        return std::nullopt;
    }
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error == std::errc::result_out_of_range) {
        return kLongest;
    }
    return error == std::errc() && end == text.data() + text.size() ? std::optional(number) : std::nullopt;
}

std::optional<std::int32_t> PortNumber(std::string_view text)
{
    const std::optional<std::int64_t> number = Number(text);
    if (!number || *number < 1 || *number > 65535) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*number);
}

} // namespace

StsPolicy::Value StsPolicy::Parse(std::string_view value)
{
    Value parsed;
    bool portSeen = false;
    bool durationSeen = false;
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string_view token = value.substr(0, comma);
        const std::size_t equals = token.find('=');
        const std::string_view key = token.substr(0, equals);
        const std::string_view given =
            equals == std::string_view::npos ? std::string_view() : token.substr(equals + 1);
        if (key == "port" && !std::exchange(portSeen, true)) {
            parsed.port = PortNumber(given);
        } else if (key == "duration" && !std::exchange(durationSeen, true)) {
            parsed.duration = Number(given);
        }
        if (comma == std::string_view::npos) {
            return parsed;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<std::string_view> StsPolicy::FindIn(std::string_view capabilities)
{
    while (!capabilities.empty()) {
        const std::size_t blank = capabilities.find(' ');
        const std::string_view word = capabilities.substr(0, blank);
        if (word == "sts" || word.starts_with("sts=")) {
            return word.substr(word.size() > 3 ? 4 : 3);
        }
        if (blank == std::string_view::npos) {
            break;
        }
        capabilities.remove_prefix(blank + 1);
    }
    return std::nullopt;
}

StsPolicy::StsPolicy(Store store, Clock now) : store_(std::move(store)), now_(std::move(now)) {}

void StsPolicy::Heard(std::string_view host, std::int32_t port, std::string_view value)
{
    const std::optional<std::int64_t> duration = Parse(value).duration;
    if (!duration || host.empty() || port < 1 || port > 65535 || !store_.write) {
        return;
    }
    if (*duration == 0) {
        store_.write(Lower(host), "");
        return;
    }
    const std::int64_t now = now_();
    const std::int64_t expiry = now > kLongest - *duration ? kLongest : now + *duration;
    store_.write(Lower(host), std::to_string(port) + " " + std::to_string(expiry));
}

std::optional<std::int32_t> StsPolicy::SecurePort(std::string_view host) const
{
    if (host.empty() || !store_.read) {
        return std::nullopt;
    }
    // "<port> <expiry>", as Heard writes it; anything else, as a hand-edited file may hold, is none.
    const std::string stored = store_.read(Lower(host));
    const std::size_t blank = stored.find(' ');
    if (blank == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view text(stored);
    const std::optional<std::int32_t> port = PortNumber(text.substr(0, blank));
    const std::optional<std::int64_t> expiry = Number(text.substr(blank + 1));
    if (!port || !expiry || *expiry <= now_()) {
        return std::nullopt;
    }
    return port;
}

bool StsPolicy::Route(ServerPlace& place) const
{
    if (place.tls) {
        return false;
    }
    const std::optional<std::int32_t> port = SecurePort(place.host);
    if (!port) {
        return false;
    }
    place.port = *port;
    place.tls = true;
    return true;
}

} // namespace tellix
