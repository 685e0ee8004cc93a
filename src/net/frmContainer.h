#pragma once

#include "platform/TcpSocket.h"
#include "util/Event.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tellix {

// The hidden socket host: numbered socket slots, and one event of its own for every
// socket event, carrying the slot number first. Slot 0 is the template every new
// slot copies (port 6667, no host) and never connects.
class frmContainer {
public:
    static constexpr std::int32_t DefaultPort = 6667;

    explicit frmContainer(SocketFactory& factory);
    ~frmContainer();
    frmContainer(const frmContainer&) = delete;
    frmContainer& operator=(const frmContainer&) = delete;

    std::int16_t HighestSlot() const;
    bool SlotExists(std::int16_t index) const;
    // The lowest slot number from 1 that holds no socket.
    std::int16_t FreeSlot() const;
    // Creates slot `index` with the template's settings; an existing slot fails.
    TcpSocket& CreateSlot(std::int16_t index);
    void DestroySlot(std::int16_t index);
    // The socket of slot `index`, or null.
    TcpSocket* wsConnection(std::int16_t index) const;

    Event<std::int16_t&> WSClose;
    Event<std::int16_t&> WSConnect;
    Event<std::int16_t&, std::int32_t> WSConnectionRequest;
    Event<std::int16_t&, std::int32_t> WSDataArrival;
    Event<std::int16_t&, std::int16_t, std::string&, std::int32_t, const std::string&, const std::string&,
          std::int32_t, bool&>
        WSError;
    Event<std::int16_t&> WSSendComplete;
    Event<std::int16_t&, std::int32_t, std::int32_t> WSSendProgress;
    Event<std::int16_t&, const CertificateRefusal&> WSCertificateRefused;

private:
    struct SlotEntry {
        std::unique_ptr<TcpSocket> socket;
        std::vector<Subscription> subscriptions;
    };
    void Bind(std::int16_t index, SlotEntry& entry);

    SocketFactory& factory_;
    std::map<std::int16_t, SlotEntry> slots_;
};

} // namespace tellix
