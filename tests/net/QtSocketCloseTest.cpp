// A close of ours returns at once; the goodbye (what was still queued, then a clean end of the
// session) goes on from the event loop, and ends by itself.
#include "platform/qtcore/QtTcpSocket.h"

#include "support/QtLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

// The far end, on a thread of its own so that it reads while the test runs the event loop: it
// accepts one connection with a small receive buffer and reads nothing until told to.
class SlowPeer {
public:
    SlowPeer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096; // little room in the kernel: the rest stays queued in the client
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowPeer()
    {
        stop_ = true;
        read_ = true;
        thread_.join();
        ::close(listener_);
    }
    SlowPeer(const SlowPeer&) = delete;
    SlowPeer& operator=(const SlowPeer&) = delete;

    std::int32_t Port() const { return port_; }
    void StartReading() { read_ = true; }
    bool Done() const { return done_; }
    // Valid once Done.
    const std::string& Received() const { return received_; }
    bool EndedCleanly() const { return endedCleanly_; }

private:
    // Waits until `fd` can be read or the test is over; false when it is over.
    bool Readable(int fd)
    {
        pollfd ready{fd, POLLIN, 0};
        while (!stop_) {
            if (::poll(&ready, 1, 20) > 0) {
                return true;
            }
        }
        return false;
    }

    void Run()
    {
        const int peer = Readable(listener_) ? ::accept(listener_, nullptr, nullptr) : -1;
        while (!read_) {
            std::this_thread::sleep_for(5ms);
        }
        char buffer[65536];
        while (peer >= 0 && Readable(peer)) {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
            if (n > 0) {
                received_.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            endedCleanly_ = n == 0; // end of stream, not a reset
            break;
        }
        if (peer >= 0) {
            ::close(peer);
        }
        done_ = true;
    }

    int listener_ = -1;
    std::int32_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> read_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::string received_;
    bool endedCleanly_ = false;
};

struct QtApplication {
    QtApplication() { EnsureQtApplication(); }
};

struct Connected : QtApplication {
    SlowPeer peer;
    QtTcpSocket socket;
    int events = 0;
    bool sendComplete = false;
    std::vector<Subscription> subs;

    Connected()
    {
        subs.push_back(socket.Connected.connect([this] { ++events; }));
        subs.push_back(socket.Closed.connect([this] { ++events; }));
        subs.push_back(socket.DataArrival.connect([this](std::int32_t) { ++events; }));
        subs.push_back(socket.SendComplete.connect([this] { sendComplete = true; }));
        subs.push_back(socket.Error.connect([this](std::int16_t, std::string&, std::int32_t, const std::string&,
                                                   const std::string&, std::int32_t, bool&) { ++events; }));
        socket.SetRemoteHost("127.0.0.1");
        socket.SetRemotePort(peer.Port());
        socket.Connect();
        EXPECT_TRUE(PumpUntil([this] { return events > 0; }));
        EXPECT_EQ(socket.State(), TcpSocket::StateConnected);
    }

    // Closes with megabytes still queued behind a QUIT, and tells how long Close took.
    std::chrono::steady_clock::duration CloseWithMuchQueued(std::string& sent)
    {
        sent.assign(16 << 20, 'x');
        for (std::size_t i = 0; i < sent.size(); i += 4096) {
            sent[i] = static_cast<char>('a' + (i / 4096) % 26); // so a lost or doubled block shows
        }
        sent += "QUIT :bye\r\n";
        socket.SendData(sent);
        PumpFor(20ms);
        EXPECT_FALSE(sendComplete) << "nothing was left queued";
        const int before = events;
        const auto start = std::chrono::steady_clock::now();
        socket.Close();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(socket.State(), TcpSocket::StateClosed);
        EXPECT_EQ(QtTcpSocket::PendingCloses(), 1);
        events -= before; // from here on, events after our own close
        return took;
    }
};

TEST(QtSocketClose, ReturnsAtOnceAndTheServerStillGetsEveryByteThenACleanEnd)
{
    Connected client;
    std::string sent;
    const auto took = client.CloseWithMuchQueued(sent);
    EXPECT_LT(took, 100ms) << "Close waited for the peer";

    client.peer.StartReading();
    ASSERT_TRUE(PumpUntil([&] { return client.peer.Done() && QtTcpSocket::PendingCloses() == 0; }, 10s));
    EXPECT_TRUE(client.peer.EndedCleanly()) << "the connection was reset";
    EXPECT_EQ(client.peer.Received().size(), sent.size());
    EXPECT_TRUE(client.peer.Received() == sent) << "the bytes arrived changed";
    EXPECT_EQ(client.events, 0) << "our own close raised events";
}

// A server that neither reads nor ends the session: the goodbye gives up after its time, cuts
// the connection and is gone, and waiting for it at the end of the program ends by itself.
TEST(QtSocketClose, AGoodbyeNobodyAnswersEndsByItselfAndTheWaitAtExitWithIt)
{
    Connected client;
    std::string sent;
    EXPECT_LT(client.CloseWithMuchQueued(sent), 100ms);

    const auto start = std::chrono::steady_clock::now();
    QtTcpSocket::WaitForPendingCloses();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(QtTcpSocket::PendingCloses(), 0);
    EXPECT_LT(waited, std::chrono::milliseconds(QtTcpSocket::kGoodbyeMilliseconds + 400));
    EXPECT_EQ(client.events, 0);

    // With none under way, the wait returns at once.
    const auto again = std::chrono::steady_clock::now();
    QtTcpSocket::WaitForPendingCloses();
    EXPECT_LT(std::chrono::steady_clock::now() - again, 50ms);
}

} // namespace
