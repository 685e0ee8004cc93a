#include "net/frmContainer.h"

#include "util/CoreError.h"

namespace tellix {

frmContainer::frmContainer(SocketFactory& factory) : factory_(factory)
{
    SlotEntry& templateSlot = slots_[0];
    templateSlot.socket = factory_.CreateSocket();
    templateSlot.socket->SetRemotePort(DefaultPort);
    templateSlot.socket->SetRemoteHost("");
}

frmContainer::~frmContainer()
{
    for (auto& [index, entry] : slots_) {
        entry.subscriptions.clear();
        entry.socket->Close();
    }
}

std::int16_t frmContainer::HighestSlot() const
{
    return slots_.rbegin()->first;
}

bool frmContainer::SlotExists(std::int16_t index) const
{
    return slots_.contains(index);
}

std::int16_t frmContainer::FreeSlot() const
{
    std::int16_t candidate = static_cast<std::int16_t>(HighestSlot() + 1);
    for (std::int16_t n = 1; n < HighestSlot(); ++n) {
        if (!slots_.contains(n)) {
            candidate = n;
            break;
        }
    }
    return candidate;
}

TcpSocket& frmContainer::CreateSlot(std::int16_t index)
{
    if (index < 1 || slots_.contains(index)) {
        throw CoreError("object already loaded", 360);
    }
    const TcpSocket& model = *slots_.at(0).socket;
    SlotEntry entry;
    entry.socket = factory_.CreateSocket();
    entry.socket->SetRemoteHost(model.RemoteHost());
    entry.socket->SetRemotePort(model.RemotePort());
    SlotEntry& stored = slots_[index] = std::move(entry);
    Bind(index, stored);
    return *stored.socket;
}

void frmContainer::DestroySlot(std::int16_t index)
{
    if (index == 0) {
        return;
    }
    auto it = slots_.find(index);
    if (it == slots_.end()) {
        return;
    }
    // Detach first: a slot destroyed from inside one of its own events must raise nothing more.
    SlotEntry entry = std::move(it->second);
    slots_.erase(it);
    entry.subscriptions.clear();
    entry.socket->Close();
}

TcpSocket* frmContainer::wsConnection(std::int16_t index) const
{
    auto it = slots_.find(index);
    return it == slots_.end() ? nullptr : it->second.socket.get();
}

void frmContainer::Bind(std::int16_t index, SlotEntry& entry)
{
    TcpSocket& socket = *entry.socket;
    auto& subs = entry.subscriptions;
    subs.push_back(socket.Closed.connect([this, index] {
        std::int16_t slot = index;
        WSClose.raise(slot);
    }));
    subs.push_back(socket.Connected.connect([this, index] {
        std::int16_t slot = index;
        WSConnect.raise(slot);
    }));
    subs.push_back(socket.ConnectionRequest.connect([this, index](std::int32_t requestId) {
        std::int16_t slot = index;
        WSConnectionRequest.raise(slot, requestId);
    }));
    subs.push_back(socket.DataArrival.connect([this, index](std::int32_t bytesTotal) {
        std::int16_t slot = index;
        WSDataArrival.raise(slot, bytesTotal);
    }));
    subs.push_back(socket.Error.connect(
        [this, index](std::int16_t number, std::string& description, std::int32_t scode, const std::string& source,
                      const std::string& helpFile, std::int32_t helpContext, bool& cancelDisplay) {
            std::int16_t slot = index;
            WSError.raise(slot, number, description, scode, source, helpFile, helpContext, cancelDisplay);
        }));
    subs.push_back(socket.SendComplete.connect([this, index] {
        std::int16_t slot = index;
        WSSendComplete.raise(slot);
    }));
    subs.push_back(socket.SendProgress.connect([this, index](std::int32_t sent, std::int32_t remaining) {
        std::int16_t slot = index;
        WSSendProgress.raise(slot, sent, remaining);
    }));
    subs.push_back(socket.CertificateRefused.connect([this, index](const CertificateRefusal& refusal) {
        std::int16_t slot = index;
        WSCertificateRefused.raise(slot, refusal);
    }));
}

} // namespace tellix
