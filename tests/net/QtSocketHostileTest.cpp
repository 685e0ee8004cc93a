// Listeners of the socket host that destroy their own slot or throw, on real loopback sockets.
#include "net/frmContainer.h"
#include "platform/qt/QtTcpSocket.h"
#include "util/CoreError.h"

#include "support/IrcServer.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

// The far end: accepts one connection on 127.0.0.1 and acts on it when told.
class LoopbackPeer {
public:
    LoopbackPeer()
    {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* next = server_.nextPendingConnection()) {
                accepted_ = next;
            }
        });
    }

    std::int32_t Port() const { return server_.serverPort(); }
    bool WaitAccepted(std::chrono::milliseconds wait = 5s)
    {
        return PumpUntil([this] { return accepted_ != nullptr; }, wait);
    }
    void Write(const std::string& bytes) { accepted_->write(bytes.data(), static_cast<qint64>(bytes.size())); }
    void Close() { accepted_->disconnectFromHost(); }

private:
    QTcpServer server_;
    QTcpSocket* accepted_ = nullptr; // a child of server_
};

// Every event the host raises, as "name slot".
struct HostLog {
    std::vector<std::string> events;
    std::vector<Subscription> subs;

    explicit HostLog(frmContainer& host)
    {
        auto note = [this](const char* name, std::int16_t slot) {
            events.push_back(std::string(name) + " " + std::to_string(slot));
        };
        subs.push_back(host.WSConnect.connect([note](std::int16_t& i) { note("connect", i); }));
        subs.push_back(host.WSDataArrival.connect([note](std::int16_t& i, std::int32_t) { note("data", i); }));
        subs.push_back(host.WSClose.connect([note](std::int16_t& i) { note("close", i); }));
        subs.push_back(host.WSError.connect([note](std::int16_t& i, std::int16_t, std::string&, std::int32_t,
                                                   const std::string&, const std::string&, std::int32_t,
                                                   bool&) { note("error", i); }));
        subs.push_back(host.WSSendProgress.connect(
            [note](std::int16_t& i, std::int32_t, std::int32_t) { note("progress", i); }));
        subs.push_back(host.WSSendComplete.connect([note](std::int16_t& i) { note("complete", i); }));
        subs.push_back(
            host.WSConnectionRequest.connect([note](std::int16_t& i, std::int32_t) { note("request", i); }));
    }

    bool Has(const std::string& event) const { return std::ranges::count(events, event) > 0; }
};

enum class Kind { Connect, DataArrival, PeerClose, Error, SendProgress, SendComplete };

// Connects `handler` to the host event of `kind`, whatever that event's arguments.
Subscription ListenTo(frmContainer& host, Kind kind, std::function<void(std::int16_t)> handler)
{
    switch (kind) {
    case Kind::Connect:
        return host.WSConnect.connect([handler](std::int16_t& i) { handler(i); });
    case Kind::DataArrival:
        return host.WSDataArrival.connect([handler](std::int16_t& i, std::int32_t) { handler(i); });
    case Kind::PeerClose:
        return host.WSClose.connect([handler](std::int16_t& i) { handler(i); });
    case Kind::Error:
        return host.WSError.connect([handler](std::int16_t& i, std::int16_t, std::string&, std::int32_t,
                                              const std::string&, const std::string&, std::int32_t,
                                              bool&) { handler(i); });
    case Kind::SendProgress:
        return host.WSSendProgress.connect([handler](std::int16_t& i, std::int32_t, std::int32_t) { handler(i); });
    case Kind::SendComplete:
        return host.WSSendComplete.connect([handler](std::int16_t& i) { handler(i); });
    }
    return {};
}

struct HostileCase {
    const char* name;
    Kind kind;
    std::vector<std::string> expected; // the whole event log of slot 1
};

struct QtApplication {
    QtApplication() { EnsureQtApplication(); }
};

// One Qt socket slot of a socket host, with a loopback peer to talk to and its events logged.
struct SlotRig : QtApplication {
    LoopbackPeer peer;
    QtSocketFactory factory;
    frmContainer host{factory};
    const std::int16_t slot = host.FreeSlot();
    TcpSocket& socket = host.CreateSlot(slot);
    HostLog log{host};
};

class SlotDestroyedInItsOwnEvent : public testing::TestWithParam<HostileCase>, protected SlotRig {};

} // namespace

TEST_P(SlotDestroyedInItsOwnEvent, NothingMoreIsRaisedOrTouched)
{
    const HostileCase& c = GetParam();
    int ran = 0;
    auto destroyer = ListenTo(host, c.kind, [&](std::int16_t i) {
        ++ran;
        host.DestroySlot(i);
    });

    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(c.kind == Kind::Error ? FreeLoopbackPort() : peer.Port());
    socket.Connect();
    if (c.kind != Kind::Connect && c.kind != Kind::Error) {
        ASSERT_TRUE(PumpUntil([&] { return log.Has("connect 1"); }));
        ASSERT_TRUE(peer.WaitAccepted());
        switch (c.kind) {
        case Kind::DataArrival:
            peer.Write("hello\r\n");
            break;
        case Kind::PeerClose:
            peer.Close();
            break;
        default:
            socket.SendData("PING :x\r\n");
            break;
        }
    }
    ASSERT_TRUE(PumpUntil([&] { return ran > 0; })) << c.name;

    // Give the dead slot every reason to speak again, and deferred deletions time to run.
    if (peer.WaitAccepted(200ms)) {
        peer.Write("late\r\n");
        peer.Close();
    }
    PumpFor(200ms);

    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(host.SlotExists(slot));
    EXPECT_EQ(host.wsConnection(slot), nullptr);
    EXPECT_EQ(log.events, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    QtSocketHostile, SlotDestroyedInItsOwnEvent,
    testing::Values(HostileCase{"Connect", Kind::Connect, {"connect 1"}},
                    HostileCase{"DataArrival", Kind::DataArrival, {"connect 1", "data 1"}},
                    HostileCase{"PeerClose", Kind::PeerClose, {"connect 1", "close 1"}},
                    HostileCase{"ConnectionRefused", Kind::Error, {"error 1"}},
                    HostileCase{"SendProgress", Kind::SendProgress, {"connect 1", "progress 1"}},
                    HostileCase{"SendComplete", Kind::SendComplete, {"connect 1", "progress 1", "complete 1"}}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

namespace {

// Stops capturing even when an assertion leaves the test early.
class StderrCapture {
public:
    StderrCapture() { testing::internal::CaptureStderr(); }
    ~StderrCapture()
    {
        if (!taken_) {
            Take();
        }
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::vector<std::string> TakeLines(const std::string& prefix)
    {
        std::istringstream in(Take());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with(prefix)) {
                lines.push_back(line);
            }
        }
        return lines;
    }

private:
    std::string Take()
    {
        taken_ = true;
        return testing::internal::GetCapturedStderr();
    }

    bool taken_ = false;
};

} // namespace

class QtSocketHostile : public testing::Test, protected SlotRig {};

TEST_F(QtSocketHostile, ThrowingListenersAreReportedOnStandardErrorAndTheSocketGoesOn)
{
    std::vector<Subscription> throwers;
    for (auto [kind, what] :
         {std::pair{Kind::Connect, "connect"}, std::pair{Kind::DataArrival, "data"},
          std::pair{Kind::SendProgress, "progress"}, std::pair{Kind::SendComplete, "complete"}}) {
        throwers.push_back(ListenTo(
            host, kind, [what](std::int16_t) { throw CoreError(std::string("no ") + what, kErrorInvalidIndex); }));
    }
    throwers.push_back(ListenTo(host, Kind::PeerClose, [](std::int16_t) { throw 42; }));

    StderrCapture captured;
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(peer.Port());
    socket.Connect();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("connect 1"); }));
    ASSERT_TRUE(peer.WaitAccepted());
    socket.SendData("PING :x\r\n");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("complete 1"); }));
    peer.Write("hello\r\n");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("data 1"); }));
    peer.Close();
    ASSERT_TRUE(PumpUntil([&] { return log.Has("close 1"); }));
    PumpFor(50ms);
    const auto lines = captured.TakeLines("tellix: ");

    EXPECT_EQ(log.events,
              (std::vector<std::string>{"connect 1", "progress 1", "complete 1", "data 1", "close 1"}));
    EXPECT_TRUE(host.SlotExists(slot));
    EXPECT_EQ(socket.State(), TcpSocket::StateClosing);
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<std::string> endings{": no connect", ": no progress", ": no complete", ": no data",
                                           ": unknown exception"};
    for (std::size_t n = 0; n < endings.size(); ++n) {
        EXPECT_TRUE(lines[n].ends_with(endings[n])) << lines[n];
    }
}
