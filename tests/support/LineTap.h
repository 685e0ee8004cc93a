#pragma once

#include <QTcpServer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {

// A loopback relay between the client and a real server that keeps every line the client
// sends, one list per connection made through it; both ways pass unchanged. It runs in the
// Qt event loop.
class LineTap {
public:
    explicit LineTap(std::uint16_t serverPort);
    ~LineTap();
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;

    std::uint16_t Port() const { return listener_.serverPort(); }
    // The client's lines without their CR LF.
    const std::vector<std::vector<std::string>>& Sessions() const { return sessions_; }

private:
    struct Pair;
    void Accept();

    std::uint16_t serverPort_;
    QTcpServer listener_;
    std::vector<std::unique_ptr<Pair>> pairs_;
    std::vector<std::vector<std::string>> sessions_;
};

} // namespace tellix::test
