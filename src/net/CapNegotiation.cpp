#include "net/CapNegotiation.h"

#include "net/ServerLine.h"

#include <algorithm>

namespace tellix {

namespace {

// More than any server offers; a hostile one gets no further.
constexpr std::size_t kMostOffers = 256;
// A REQ line stays well inside the 512 bytes a server reads.
constexpr std::size_t kRequestRoom = 400;

// "-name" takes a capability back; "~" and "=" are older servers' marks.
std::string_view BareName(std::string_view name)
{
    while (!name.empty() && (name.front() == '-' || name.front() == '~' || name.front() == '=')) {
        name.remove_prefix(1);
    }
    return name.substr(0, name.find('='));
}

} // namespace

const std::vector<std::string_view>& CapNegotiation::Wanted()
{
    // znc.in/self-message: a bouncer's lines the user said from another client or before its playback.
    // draft/chathistory and draft/read-marker: what was said while the client was away, and
    // how far the user read it on another device. soju.im/bouncer-networks: the networks one
    // bouncer login holds, each reached by a connection bound to it.
    static const std::vector<std::string_view> wanted{"multi-prefix",
                                                      "userhost-in-names",
                                                      "server-time",
                                                      "away-notify",
                                                      "account-notify",
                                                      "extended-join",
                                                      "chghost",
                                                      "cap-notify",
                                                      "message-tags",
                                                      "batch",
                                                      "labeled-response",
                                                      "echo-message",
                                                      "sasl",
                                                      "znc.in/self-message",
                                                      "draft/chathistory",
                                                      "draft/read-marker",
                                                      "soju.im/bouncer-networks",
                                                      "soju.im/bouncer-networks-notify"};
    return wanted;
}

void CapNegotiation::Reset()
{
    step_ = Step::Off;
    wantSasl_ = false;
    pendingRequests_ = 0;
    offered_.clear();
    enabled_.clear();
}

void CapNegotiation::Begin(bool wantSasl)
{
    Reset();
    wantSasl_ = wantSasl;
    step_ = Step::Listing;
}

bool CapNegotiation::Wants(std::string_view name) const
{
    if (name == "sasl") {
        return wantSasl_;
    }
    const auto& wanted = Wanted();
    return std::find(wanted.begin(), wanted.end(), name) != wanted.end();
}

const CapNegotiation::Offer* CapNegotiation::FindOffer(std::string_view name) const
{
    const auto found =
        std::find_if(offered_.begin(), offered_.end(), [&](const Offer& o) { return o.name == name; });
    return found == offered_.end() ? nullptr : &*found;
}

bool CapNegotiation::Offered(std::string_view name) const
{
    return FindOffer(name) != nullptr;
}

std::string_view CapNegotiation::OfferedValue(std::string_view name) const
{
    const Offer* offer = FindOffer(name);
    return offer == nullptr ? std::string_view() : std::string_view(offer->value);
}

bool CapNegotiation::Enabled(std::string_view name) const
{
    return std::find(enabled_.begin(), enabled_.end(), name) != enabled_.end();
}

void CapNegotiation::AddOffers(std::string_view list)
{
    ForEachWord(list, [this](std::string_view token) {
        if (token.empty() || offered_.size() >= kMostOffers) {
            return;
        }
        const std::size_t equals = token.find('=');
        const std::string_view name = token.substr(0, equals);
        if (Offered(name)) {
            return;
        }
        offered_.push_back({std::string(name), equals == std::string_view::npos
                                                   ? std::string()
                                                   : std::string(token.substr(equals + 1))});
    });
}

void CapNegotiation::RequestWanted(std::string_view among, std::vector<std::string>& send)
{
    std::string request;
    ForEachWord(among, [&](std::string_view token) {
        const std::string_view name = token.substr(0, token.find('='));
        if (name.empty() || !Wants(name) || Enabled(name) || !Offered(name) ||
            request.find(std::string(name) + ' ') != std::string::npos) {
            return;
        }
        if (request.size() + name.size() + 1 > kRequestRoom) {
            return;
        }
        request.append(name).push_back(' ');
    });
    if (request.empty()) {
        return;
    }
    request.pop_back();
    send.push_back("CAP REQ :" + request);
    ++pendingRequests_;
}

void CapNegotiation::Receive(const ServerLine& line, std::vector<std::string>& send)
{
    // ":server CAP nick SUB [*] :list", the list also without its colon.
    const std::string_view sub = line.Word(4);
    const bool more = line.Word(5) == "*"; // no capability is called "*"
    const std::string_view list = line.LastParam(more ? 6 : 5);

    if (sub == "LS") {
        if (step_ != Step::Listing) {
            return; // a listing we did not ask for changes nothing
        }
        AddOffers(list);
        if (more) {
            return;
        }
        std::string all;
        for (const Offer& offer : offered_) {
            all.append(offer.name).push_back(' ');
        }
        if (!all.empty()) {
            all.pop_back();
        }
        RequestWanted(all, send);
        step_ = pendingRequests_ > 0 ? Step::Requesting : Step::Granted;
    } else if (sub == "ACK" || sub == "NAK") {
        if (sub == "ACK") {
            ForEachWord(list, [this](std::string_view token) {
                const std::string_view name = BareName(token);
                if (name.empty()) {
                    return;
                }
                const auto at = std::find(enabled_.begin(), enabled_.end(), name);
                if (token.starts_with('-')) {
                    if (at != enabled_.end()) {
                        enabled_.erase(at);
                    }
                } else if (at == enabled_.end() && Wants(name)) {
                    enabled_.emplace_back(name);
                }
            });
        }
        if (pendingRequests_ > 0 && --pendingRequests_ == 0 && step_ == Step::Requesting) {
            step_ = Step::Granted;
        }
    } else if (sub == "NEW") {
        AddOffers(list);
        if (step_ == Step::Off || step_ == Step::Granted) {
            RequestWanted(list, send);
        }
    } else if (sub == "DEL") {
        ForEachWord(list, [this](std::string_view token) {
            const std::string_view name = BareName(token);
            std::erase(enabled_, name);
            std::erase_if(offered_, [&](const Offer& o) { return o.name == name; });
        });
    }
}

} // namespace tellix
