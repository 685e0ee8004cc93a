// A bouncer's networks as the core keeps them, against whatever the bouncer sends: listed once
// the welcome ends and only on an unbound login, each a connection bound to it, deleted with
// it, and a hostile bouncer held to a bounded number of networks and attributes.
#include "WindowsFixture.h"

#include "windows/Child.h"

#include <algorithm>

using namespace tellix;
using namespace tellix::test;

namespace {

struct BouncerNetworks : WindowsFixture {
    // Logged in to a bouncer that lists networks; `netid` as its 005 gives it.
    void LogIn(const std::string& netid = {})
    {
        connection->InitialNick("me");
        connection->Connect("bnc.test", 6667);
        socket.PeerConnects();
        const std::string caps = "batch soju.im/bouncer-networks soju.im/bouncer-networks-notify";
        Receive(":bnc.test CAP * LS :" + caps);
        Receive(":bnc.test CAP * ACK :" + caps);
        Receive(":bnc.test 001 me :Welcome");
        Receive(":bnc.test 005 me BOUNCER_NETID" + (netid.empty() ? "" : "=" + netid) + " :are supported");
        Receive(":bnc.test 422 me :MOTD File is missing");
    }
    bool Listed()
    {
        for (const std::string& line : Sent()) {
            if (line == "BOUNCER LISTNETWORKS") {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(BouncerNetworks, OnlyAnUnboundLoginListsAndEachNetworkIsABoundConnectionTillDeleted)
{
    LogIn();
    EXPECT_TRUE(Listed());
    Receive(":bnc.test BOUNCER NETWORK 7 name=Libera\\sChat;host=irc.libera.test;state=connecting");
    ASSERT_EQ(app.Connections().Count(), 2);
    const auto bound = app.Connections().Item(2);
    EXPECT_EQ(bound->BouncerNetwork(), "7");
    EXPECT_EQ(Child::GroupLabel(*bound), "Libera Chat (connecting)");
    EXPECT_EQ(bound->AttemptHost(), "bnc.test");
    // Told again, partly: the same connection, relabelled; an empty value takes one away.
    Receive(":bnc.test BOUNCER NETWORK 7 state=connected");
    Receive(":bnc.test BOUNCER NETWORK 7 name=");
    EXPECT_EQ(app.Connections().Count(), 2);
    EXPECT_EQ(Child::GroupLabel(*bound), "irc.libera.test");
    Receive(":bnc.test BOUNCER NETWORK 7 *");
    EXPECT_EQ(app.Connections().Count(), 1);
    // A network the bouncer never listed, deleted: nothing to do.
    Receive(":bnc.test BOUNCER NETWORK 8 *");
    EXPECT_EQ(app.Connections().Count(), 1);
}

TEST_F(BouncerNetworks, ALoginBoundAlreadyListsNothingAndHearsNoNetworks)
{
    LogIn("3");
    EXPECT_FALSE(Listed());
    Receive(":bnc.test BOUNCER NETWORK 4 name=other;host=irc.other.test");
    EXPECT_EQ(app.Connections().Count(), 1);
}

TEST_F(BouncerNetworks, AHostileBouncerIsHeldToSixtyFourNetworksAndThirtyTwoAttributes)
{
    LogIn();
    for (int id = 1; id <= 70; ++id) {
        Receive(":bnc.test BOUNCER NETWORK " + std::to_string(id) + " name=n" + std::to_string(id));
    }
    EXPECT_EQ(app.Connections().Count(), 65);
    const Texts status = Lines(1);
    EXPECT_EQ(std::count(status.begin(), status.end(),
                         "*** The bouncer lists more than 64 networks: network 65 is not connected"),
              1);
    for (int key = 1; key <= 100; ++key) {
        Receive(":bnc.test BOUNCER NETWORK 1 k" + std::to_string(key) + "=v");
    }
    const auto networks = app.BouncerNetworks(*connection);
    ASSERT_EQ(networks.count("1"), 1U);
    EXPECT_EQ(networks.at("1").size(), 32U);
    EXPECT_EQ(networks.at("1").at("name"), "n1");
}
