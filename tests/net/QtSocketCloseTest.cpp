// A close of ours returns at once; the goodbye (what was still queued, then a clean end of the
// session) goes on from the event loop, and ends by itself.
#include "platform/qtcore/QtTcpSocket.h"

#include "support/QtLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

// The far end: one connection on a small receive buffer, read only when the test says so.
class SlowPeer {
public:
    SlowPeer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int small = 4096; // little room in the kernel: the rest stays queued in the client
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(listener_, reinterpret_cast<const sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~SlowPeer()
    {
        ::close(peer_);
        ::close(listener_);
    }
    SlowPeer(const SlowPeer&) = delete;
    SlowPeer& operator=(const SlowPeer&) = delete;

    std::int32_t Port() const { return port_; }
    void Accept() { peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC); }
    // Reads what is there; once the stream has ended (cleanly or by a reset), ends its side too
    // and answers true.
    bool ReadToEnd()
    {
        char buffer[65536];
        ssize_t n = 0;
        while (peer_ >= 0 && (n = ::recv(peer_, buffer, sizeof buffer, 0)) > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
        if (peer_ >= 0 && (n == 0 || errno != EAGAIN)) {
            endedCleanly = n == 0;
            ::close(std::exchange(peer_, -1));
        }
        return peer_ < 0;
    }

    std::string received;
    bool endedCleanly = false; // an end of stream, not a reset

private:
    int listener_;
    int peer_ = -1;
    std::int32_t port_ = 0;
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
        peer.Accept();
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

    ASSERT_TRUE(PumpUntil([&] { return client.peer.ReadToEnd() && QtTcpSocket::PendingCloses() == 0; }, 10s));
    EXPECT_TRUE(client.peer.endedCleanly) << "the connection was reset";
    EXPECT_EQ(client.peer.received.size(), sent.size());
    EXPECT_TRUE(client.peer.received == sent) << "the bytes arrived changed";
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
