#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class ServerLine;

// The capability talk before and after registration: what the server offers, what we ask
// for, what it granted. It only reads CAP lines and says what to send; the connection sends
// it and runs the login when SASL was granted.
class CapNegotiation {
public:
    enum class Step {
        Off,        // not negotiating: never started, given up, or finished
        Listing,    // CAP LS sent, reading the offer
        Requesting, // CAP REQ sent, waiting for ACK or NAK
        Granted,    // the answer is in: the caller logs in or ends the talk
    };

    // Starts over for a new connection; `wantSasl` asks for sasl when offered.
    void Begin(bool wantSasl);
    // Stops negotiating (unknown command, no answer, registered meanwhile); what was granted stays.
    void Stop() { step_ = Step::Off; }
    void Reset();
    Step Current() const { return step_; }

    // Reads one CAP line; lines to send are appended to `send`.
    void Receive(const ServerLine& line, std::vector<std::string>& send);

    bool Enabled(std::string_view name) const;
    bool Offered(std::string_view name) const;
    // The value the server gave with an offered capability ("PLAIN,EXTERNAL" for sasl=...).
    std::string_view OfferedValue(std::string_view name) const;

    // The capabilities the client uses, in the order they are asked for.
    static const std::vector<std::string_view>& Wanted();

private:
    struct Offer {
        std::string name;
        std::string value;
    };
    bool Wants(std::string_view name) const;
    const Offer* FindOffer(std::string_view name) const;
    void AddOffers(std::string_view list);
    void RequestWanted(std::string_view among, std::vector<std::string>& send);

    Step step_ = Step::Off;
    bool wantSasl_ = false;
    std::int32_t pendingRequests_ = 0;
    // A handful of entries each; a server cannot grow them past the names it lists, and the
    // offer list is capped.
    std::vector<Offer> offered_;
    std::vector<std::string> enabled_;
};

} // namespace tellix
