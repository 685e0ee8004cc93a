#include "RawPeer.h"

#include "QtLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tellix::test {

RawPeer::RawPeer(std::uint16_t port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        throw std::runtime_error("raw peer cannot connect");
    }
}

RawPeer::~RawPeer()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void RawPeer::Register(const std::string& nick)
{
    Send("NICK " + nick);
    Send("USER " + nick + " 0 * :Raw peer " + nick);
    if (!WaitFor(" 001 ")) {
        throw std::runtime_error("raw peer " + nick + " was not welcomed");
    }
}

void RawPeer::Send(std::string_view line)
{
    std::string data(line);
    data += "\r\n";
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error("raw peer send failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

std::optional<std::string> RawPeer::WaitFor(std::string_view text, std::chrono::milliseconds wait)
{
    return WaitUntil([text](const std::string& line) { return line.find(text) != std::string::npos; }, wait);
}

std::optional<std::string> RawPeer::WaitUntil(const std::function<bool(const std::string&)>& match,
                                              std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
        for (; next_ < received_.size(); ++next_) {
            if (match(received_[next_])) {
                return received_[next_++];
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadMore(left)) {
            return std::nullopt;
        }
    }
}

bool RawPeer::WaitClosed(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!closed_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        ReadMore(left);
    }
    return true;
}

bool RawPeer::ReadMore(std::chrono::milliseconds wait)
{
    if (closed_) {
        return false;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = buffer_.find("\r\n")) != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        if (line.starts_with("PING ")) {
            Send("PONG " + line.substr(5));
        }
        received_.push_back(std::move(line));
    }
    return true;
}

bool PumpUntilPeerSees(RawPeer& peer, std::string_view text, std::chrono::milliseconds wait)
{
    // The peer's own wait is short, so the loop keeps turning for the client meanwhile.
    return PumpUntil([&] { return peer.WaitFor(text, std::chrono::milliseconds(20)).has_value(); }, wait);
}

} // namespace tellix::test
