#pragma once

#include "platform/TcpSocket.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tellix::test {

// A TcpSocket at the platform boundary that records what is sent and lets a test
// play the network's side: connect, data, close by the peer, errors.
class RecordingSocket final : public TcpSocket {
public:
    std::string RemoteHost() const override { return host; }
    void SetRemoteHost(const std::string& value) override { host = value; }
    std::int32_t RemotePort() const override { return port; }
    void SetRemotePort(std::int32_t value) override { port = value; }
    std::int16_t State() const override { return state; }

    void Connect() override
    {
        ++connectCalls;
        state = StateConnecting;
    }
    void SendData(std::string_view bytes) override
    {
        if (onSend) {
            onSend(bytes);
        }
        sent.emplace_back(bytes);
    }
    std::string GetData() override
    {
        if (failReceive) {
            throw std::runtime_error("receive failed");
        }
        std::string data;
        data.swap(waiting);
        return data;
    }
    void Close() override
    {
        ++closeCalls;
        state = StateClosed;
    }

    // The network's side.
    void PeerConnects()
    {
        state = StateConnected;
        Connected.raise();
    }
    void PeerSends(const std::string& bytes)
    {
        waiting += bytes;
        DataArrival.raise(static_cast<std::int32_t>(bytes.size()));
    }
    void PeerCloses()
    {
        state = StateClosing;
        Closed.raise();
    }
    void Fails(std::int16_t number, std::string description)
    {
        state = StateError;
        bool cancel = false;
        Error.raise(number, description, 0, "wsConnection", "", 0, cancel);
    }

    std::string host;
    std::int32_t port = 0;
    std::int16_t state = StateClosed;
    std::string waiting;
    bool failReceive = false;
    int connectCalls = 0;
    int closeCalls = 0;
    std::vector<std::string> sent;
    std::function<void(std::string_view)> onSend; // sees each send as it happens
};

class RecordingSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<TcpSocket> CreateSocket() override
    {
        auto socket = std::make_unique<RecordingSocket>();
        created.push_back(socket.get());
        return socket;
    }
    // Every socket made, in order of creation; entries of destroyed slots dangle.
    std::vector<RecordingSocket*> created;
};

} // namespace tellix::test
