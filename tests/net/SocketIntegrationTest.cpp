// A slot of the socket host against a real IRC server, through Qt's sockets.
#include "net/LineFraming.h"
#include "net/frmContainer.h"
#include "platform/qtcore/QtTcpSocket.h"

#include "support/IrcServer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;

namespace {

struct Client {
    QtSocketFactory factory;
    frmContainer host{factory};
    std::int16_t slot = host.FreeSlot();
    TcpSocket& socket = host.CreateSlot(slot);
    LineFraming framing;
    std::vector<std::string> lines;
    std::vector<std::string> events;
    std::vector<Subscription> subs;

    Client()
    {
        subs.push_back(
            host.WSConnect.connect([this](std::int16_t& i) { events.push_back("connect " + std::to_string(i)); }));
        subs.push_back(
            host.WSClose.connect([this](std::int16_t& i) { events.push_back("close " + std::to_string(i)); }));
        subs.push_back(
            host.WSError.connect([this](std::int16_t& i, std::int16_t number, std::string&, std::int32_t,
                                        const std::string&, const std::string&, std::int32_t, bool&) {
                events.push_back("error " + std::to_string(i) + " " + std::to_string(number));
            }));
        subs.push_back(host.WSDataArrival.connect([this](std::int16_t& i, std::int32_t) {
            framing.Receive(host.wsConnection(i)->GetData(),
                            [this](const std::string& line) { lines.push_back(line); });
        }));
    }

    bool Has(const std::string& text) const
    {
        for (const auto& line : lines) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST(SocketIntegration, RegistersWithARealServerAndReceivesTheWelcomeLinesWholeAndInOrder)
{
    EnsureQtApplication();
    IrcServer server;
    Client client;
    client.socket.SetRemoteHost(server.Host());
    client.socket.SetRemotePort(server.Port());

    SendLine(client.socket, "NICK early"); // not connected yet: dropped
    client.socket.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !client.events.empty(); }));
    ASSERT_EQ(client.events, (std::vector<std::string>{"connect 1"}));
    EXPECT_EQ(client.socket.State(), TcpSocket::StateConnected);

    SendLine(client.socket, "NICK tester");
    SendLine(client.socket, "USER tester 8 * :Tellix tester");
    ASSERT_TRUE(PumpUntil([&] { return client.Has(" 376 ") || client.Has(" 422 "); })) << server.Log();

    std::vector<std::string> numerics;
    for (const auto& line : client.lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        if (line.starts_with(":" + server.Name() + " 00")) {
            numerics.push_back(line.substr(server.Name().size() + 2, 3));
        }
    }
    ASSERT_GE(client.lines.size(), 4u);
    EXPECT_EQ(client.lines[0].rfind(":" + server.Name() + " 001 tester :Welcome", 0), 0u) << client.lines[0];
    EXPECT_EQ(numerics, (std::vector<std::string>{"001", "002", "003", "004", "005", "005"}));
}

TEST(SocketIntegration, PeerCloseLeavesTheSlotClosingUntilWeCloseAndOurCloseRaisesNothing)
{
    EnsureQtApplication();
    IrcServer server;
    Client client;
    client.socket.SetRemoteHost(server.Host());
    client.socket.SetRemotePort(server.Port());
    client.socket.Connect();
    ASSERT_TRUE(PumpUntil([&] { return !client.events.empty(); }));

    SendLine(client.socket, "QUIT :bye");
    ASSERT_TRUE(PumpUntil([&] { return client.events.size() == 2; }));
    EXPECT_EQ(client.events[1], "close 1");
    EXPECT_NE(client.socket.State(), TcpSocket::StateClosed);
    SendLine(client.socket, "NICK late"); // not connected: dropped silently

    client.socket.Close();
    EXPECT_EQ(client.socket.State(), TcpSocket::StateClosed);
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(client.events.size(), 2u);

    // Connecting again and closing from our side: still no close event.
    client.socket.Connect();
    ASSERT_TRUE(PumpUntil([&] { return client.events.size() == 3; }));
    client.socket.Close();
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(client.events, (std::vector<std::string>{"connect 1", "close 1", "connect 1"}));
}

TEST(SocketIntegration, RefusedConnectionIsAnErrorEventNotAnException)
{
    EnsureQtApplication();
    Client client;
    client.socket.SetRemoteHost("127.0.0.1");
    client.socket.SetRemotePort(FreeLoopbackPort());
    EXPECT_NO_THROW(client.socket.Connect());
    ASSERT_TRUE(PumpUntil([&] { return !client.events.empty(); }));
    EXPECT_EQ(client.events, (std::vector<std::string>{"error 1 10061"}));
}

TEST(SocketIntegration, TwoSlotsCarryTheirOwnTraffic)
{
    EnsureQtApplication();
    IrcServer server;
    QtSocketFactory factory;
    frmContainer host(factory);
    TcpSocket& first = host.CreateSlot(host.FreeSlot());
    TcpSocket& second = host.CreateSlot(host.FreeSlot());
    std::vector<std::int16_t> dataSlots;
    auto sub = host.WSDataArrival.connect([&](std::int16_t& i, std::int32_t) {
        dataSlots.push_back(i);
        host.wsConnection(i)->GetData();
    });
    for (TcpSocket* socket : {&first, &second}) {
        socket->SetRemoteHost(server.Host());
        socket->SetRemotePort(server.Port());
    }
    second.Connect();
    ASSERT_TRUE(PumpUntil([&] { return second.State() == TcpSocket::StateConnected; }));
    SendLine(second, "PING :x");
    ASSERT_TRUE(PumpUntil([&] { return !dataSlots.empty(); }));
    for (auto slot : dataSlots) {
        EXPECT_EQ(slot, 2);
    }
}
