#include "net/frmContainer.h"

#include "support/RecordingSocket.h"
#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tellix::CoreError;
using tellix::frmContainer;
using tellix::test::RecordingSocket;
using tellix::test::RecordingSocketFactory;

namespace {

RecordingSocket& Socket(frmContainer& host, std::int16_t slot)
{
    return static_cast<RecordingSocket&>(*host.wsConnection(slot));
}

} // namespace

TEST(frmContainer, TemplateSlotZeroAndNewSlotsCopyIt)
{
    RecordingSocketFactory factory;
    frmContainer host(factory);
    EXPECT_TRUE(host.SlotExists(0));
    EXPECT_EQ(host.HighestSlot(), 0);
    EXPECT_EQ(host.wsConnection(0)->RemotePort(), 6667);
    EXPECT_EQ(host.wsConnection(0)->RemoteHost(), "");
    EXPECT_EQ(host.FreeSlot(), 1);

    auto& socket = host.CreateSlot(host.FreeSlot());
    EXPECT_EQ(socket.RemotePort(), 6667);
    EXPECT_EQ(socket.RemoteHost(), "");
    EXPECT_EQ(socket.State(), 0);
    EXPECT_THROW(host.CreateSlot(1), CoreError);
}

TEST(frmContainer, LowestFreeSlotNumberIsReused)
{
    RecordingSocketFactory factory;
    frmContainer host(factory);
    for (int i = 0; i < 3; ++i) {
        host.CreateSlot(host.FreeSlot());
    }
    EXPECT_EQ(host.HighestSlot(), 3);
    host.DestroySlot(2);
    EXPECT_FALSE(host.SlotExists(2));
    EXPECT_EQ(host.FreeSlot(), 2);
    host.CreateSlot(host.FreeSlot());
    EXPECT_EQ(host.FreeSlot(), 4);
    host.DestroySlot(1);
    host.DestroySlot(3);
    EXPECT_EQ(host.FreeSlot(), 1);
    host.DestroySlot(0); // the template stays
    EXPECT_TRUE(host.SlotExists(0));
}

TEST(frmContainer, EverySocketEventIsRaisedOnceWithItsSlotNumberFirst)
{
    RecordingSocketFactory factory;
    frmContainer host(factory);
    host.CreateSlot(1);
    host.CreateSlot(2);
    std::vector<std::string> events;
    auto s1 = host.WSConnect.connect([&](std::int16_t& i) { events.push_back("connect " + std::to_string(i)); });
    auto s2 = host.WSDataArrival.connect([&](std::int16_t& i, std::int32_t total) {
        events.push_back("data " + std::to_string(i) + " " + std::to_string(total));
    });
    auto s3 = host.WSClose.connect([&](std::int16_t& i) { events.push_back("close " + std::to_string(i)); });
    auto s4 =
        host.WSError.connect([&](std::int16_t& i, std::int16_t number, std::string& description, std::int32_t,
                                 const std::string&, const std::string&, std::int32_t, bool& cancel) {
            events.push_back("error " + std::to_string(i) + " " + std::to_string(number) + " " + description);
            description = "changed";
            cancel = true;
        });
    auto s5 = host.WSSendProgress.connect([&](std::int16_t& i, std::int32_t sent, std::int32_t left) {
        events.push_back("progress " + std::to_string(i) + " " + std::to_string(sent) + " " +
                         std::to_string(left));
    });
    auto s6 = host.WSSendComplete.connect([&](std::int16_t& i) { events.push_back("sent " + std::to_string(i)); });

    Socket(host, 2).PeerConnects();
    Socket(host, 1).PeerSends("abc");
    Socket(host, 2).PeerCloses();
    Socket(host, 2).SendProgress.raise(10, 5);
    Socket(host, 2).SendComplete.raise();
    std::string description = "refused";
    bool cancel = false;
    Socket(host, 1).Error.raise(10061, description, 0, "wsConnection", "", 0, cancel);

    EXPECT_EQ(events, (std::vector<std::string>{"connect 2", "data 1 3", "close 2", "progress 2 10 5", "sent 2",
                                                "error 1 10061 refused"}));
    // By-reference arguments travel back to the socket.
    EXPECT_EQ(description, "changed");
    EXPECT_TRUE(cancel);
}

TEST(frmContainer, DestroyedSlotRaisesNothingMoreEvenFromItsOwnEvent)
{
    RecordingSocketFactory factory;
    frmContainer host(factory);
    host.CreateSlot(1);
    RecordingSocket& socket = Socket(host, 1);
    int closes = 0;
    auto sub = host.WSClose.connect([&](std::int16_t& i) {
        ++closes;
        host.DestroySlot(i);
    });
    socket.PeerCloses();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(host.SlotExists(1));
}
