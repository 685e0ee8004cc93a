#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix::test {

// A plain socket client speaking IRC, to play the other users in a test. It answers
// the server's PING by itself while it waits.
class RawPeer {
public:
    static constexpr std::chrono::milliseconds DefaultWait{5000};

    explicit RawPeer(std::uint16_t port);
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    // Sends NICK and USER and waits for the welcome reply.
    void Register(const std::string& nick);
    void Send(std::string_view line);
    // Waits for the next line containing `text` (lines before it are kept in Received).
    std::optional<std::string> WaitFor(std::string_view text, std::chrono::milliseconds wait = DefaultWait);
    std::optional<std::string> WaitUntil(const std::function<bool(const std::string&)>& match,
                                         std::chrono::milliseconds wait = DefaultWait);
    // True once the server has closed the connection.
    bool WaitClosed(std::chrono::milliseconds wait = DefaultWait);

    const std::vector<std::string>& Received() const { return received_; }

private:
    bool ReadMore(std::chrono::milliseconds wait);

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
    std::vector<std::string> received_;
    std::size_t next_ = 0; // first line of received_ not yet matched
};

// Runs the Qt event loop, for the client under test, until `peer` has received a line holding
// `text` or `wait` has passed; true when it has.
bool PumpUntilPeerSees(RawPeer& peer, std::string_view text,
                       std::chrono::milliseconds wait = std::chrono::seconds(5));

} // namespace tellix::test
