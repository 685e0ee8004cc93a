#include "net/SavedLogin.h"

#include "util/Concat.h"

#include <algorithm>
#include <utility>

namespace tellix {

namespace {

bool SameHost(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// "host:port", a v6 address in brackets so that its port stays apart.
std::string PlaceText(const ServerPlace& place)
{
    return place.host.find(':') != std::string::npos ? Concat("[", place.host, "]:", place.port)
                                                     : Concat(place.host, ":", place.port);
}

} // namespace

SavedLogin::SavedLogin(ServerPlace owner, ConnectOptions options)
    : owner_(std::move(owner)), options_(std::move(options))
{
}

bool SavedLogin::BelongsTo(const ServerPlace& place) const
{
    return !owner_.host.empty() && SameHost(owner_.host, place.host) && owner_.port == place.port &&
           owner_.tls == place.tls;
}

bool SavedLogin::HasLogin() const
{
    return !options_.serverPassword.empty() || !options_.account.empty() || !options_.accountPassword.empty() ||
           !options_.clientCertificate.empty();
}

ConnectOptions SavedLogin::OptionsFor(const ServerPlace& place) const
{
    ConnectOptions options = options_;
    options.tls = place.tls;
    if (!BelongsTo(place)) {
        options.serverPassword.clear();
        options.account.clear();
        options.accountPassword.clear();
        options.clientCertificate.clear();
    }
    return options;
}

std::string SavedLogin::WithheldNotice(const ServerPlace& place) const
{
    if (!HasLogin() || BelongsTo(place)) {
        return {};
    }
    return Concat("Connecting to ", place.host, " without the saved login (it belongs to ", PlaceText(owner_),
                  ")");
}

} // namespace tellix
