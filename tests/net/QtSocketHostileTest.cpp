// Listeners of the socket host that destroy their own slot or throw, on real loopback sockets.
#include "net/frmContainer.h"
#include "platform/qtcore/QtTcpSocket.h"
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

// Connects `handler` to every event of the host, called with the event's name and slot.
std::vector<Subscription> OnEveryEvent(frmContainer& host, std::function<void(const char*, std::int16_t)> handler)
{
    std::vector<Subscription> subs;
    subs.push_back(host.WSConnect.connect([handler](std::int16_t& i) { handler("connect", i); }));
    subs.push_back(host.WSDataArrival.connect([handler](std::int16_t& i, std::int32_t) { handler("data", i); }));
    subs.push_back(host.WSClose.connect([handler](std::int16_t& i) { handler("close", i); }));
    subs.push_back(host.WSError.connect([handler](std::int16_t& i, std::int16_t, std::string&, std::int32_t,
                                                  const std::string&, const std::string&, std::int32_t,
                                                  bool&) { handler("error", i); }));
    subs.push_back(host.WSSendProgress.connect(
        [handler](std::int16_t& i, std::int32_t, std::int32_t) { handler("progress", i); }));
    subs.push_back(host.WSSendComplete.connect([handler](std::int16_t& i) { handler("complete", i); }));
    subs.push_back(
        host.WSConnectionRequest.connect([handler](std::int16_t& i, std::int32_t) { handler("request", i); }));
    return subs;
}

// Connects `handler` to the host's event of that name.
std::vector<Subscription> ListenTo(frmContainer& host, const std::string& event,
                                   std::function<void(std::int16_t)> handler)
{
    return OnEveryEvent(host, [event, handler](const char* name, std::int16_t slot) {
        if (name == event) {
            handler(slot);
        }
    });
}

// Every event the host raises, as "name slot".
struct HostLog {
    std::vector<std::string> events;
    std::vector<Subscription> subs;

    explicit HostLog(frmContainer& host)
        : subs(OnEveryEvent(host, [this](const char* name, std::int16_t slot) {
              events.push_back(std::string(name) + " " + std::to_string(slot));
          }))
    {
    }

    bool Has(const std::string& event) const { return std::ranges::count(events, event) > 0; }
};

struct HostileCase {
    const char* name;
    std::string event;                 // the one whose listener destroys the slot
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
    auto destroyer = ListenTo(host, c.event, [&](std::int16_t i) {
        ++ran;
        host.DestroySlot(i);
    });

    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(c.event == "error" ? FreeLoopbackPort() : peer.Port());
    socket.Connect();
    if (c.event != "connect" && c.event != "error") {
        ASSERT_TRUE(PumpUntil([&] { return log.Has("connect 1"); }));
        ASSERT_TRUE(peer.WaitAccepted());
        if (c.event == "data") {
            peer.Write("hello\r\n");
        } else if (c.event == "close") {
            peer.Close();
        } else {
            socket.SendData("PING :x\r\n");
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
    testing::Values(HostileCase{"Connect", "connect", {"connect 1"}},
                    HostileCase{"DataArrival", "data", {"connect 1", "data 1"}},
                    HostileCase{"PeerClose", "close", {"connect 1", "close 1"}},
                    HostileCase{"ConnectionRefused", "error", {"error 1"}},
                    HostileCase{"SendProgress", "progress", {"connect 1", "progress 1"}},
                    HostileCase{"SendComplete", "complete", {"connect 1", "progress 1", "complete 1"}}),
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
    std::vector<std::vector<Subscription>> throwers;
    for (const std::string what : {"connect", "data", "progress", "complete"}) {
        throwers.push_back(
            ListenTo(host, what, [what](std::int16_t) { throw CoreError("no " + what, kErrorInvalidIndex); }));
    }
    throwers.push_back(ListenTo(host, "close", [](std::int16_t) { throw 42; }));

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
