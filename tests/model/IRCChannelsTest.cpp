#include "ModelFixture.h"

#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

using tellix::CoreError;
using tellix::IRCChannel;
using tellix::IRCChannels;
using tellix::IRCConnection;
using tellix::kErrorInvalidIndex;
using tellix::TcpSocket;
using tellix::test::ModelFixture;
using tellix::test::Recorder;
using Log = std::vector<std::string>;
using ChannelPtr = std::shared_ptr<IRCChannel>;

namespace {

// A connected socket that lets a test look at the model at the moment a line goes out.

Log Names(const IRCChannels& channels)
{
    Log names;
    for (const ChannelPtr& channel : channels) {
        names.push_back(channel->Name() + "@" + std::to_string(channel->Index()));
    }
    return names;
}

} // namespace

TEST(IRCChannels, ItemByNameComparesWholeNamesInAsciiUpperCase)
{
    ModelFixture m;
    auto room = m.Channels().Add("#room");
    auto cafe = m.Channels().Add("#caf\xc3\xa9");
    EXPECT_EQ(m.Channels().Item("#ROOM"), room);
    EXPECT_EQ(m.Channels().Item("#Room"), room);
    EXPECT_EQ(m.Channels().Item("#room "), nullptr);
    EXPECT_EQ(m.Channels().Item("room"), nullptr);
    EXPECT_EQ(m.Channels().Item("#CAF\xc3\xa9"), cafe);
    EXPECT_EQ(m.Channels().Item("#CAF\xc3\x89"), nullptr);
    EXPECT_EQ(m.Channels().Item(2), cafe);
    for (std::int32_t bad : {0, 3}) {
        try {
            (void)m.Channels().Item(bad);
            ADD_FAILURE() << "no error";
        } catch (const CoreError& error) {
            EXPECT_EQ(error.Number(), kErrorInvalidIndex);
        }
    }
}

TEST(IRCChannels, SameNameTwiceGivesTwoChannelsAndTheLowerPositionWins)
{
    ModelFixture m;
    Recorder r;
    r.Watch("channels", m.Channels());
    auto first = m.Channels().Add("#dup");
    auto middle = m.Channels().Add("#x");
    auto second = m.Channels().Add("#DUP");
    EXPECT_EQ(r.Take(), (Log{"channels.Add #dup", "channels.Add #x", "channels.Add #DUP"}));
    EXPECT_EQ(m.Channels().Item("#Dup"), first);
    EXPECT_EQ(m.Channels().GetChannel("#dup"), first);

    first->Delete();
    EXPECT_EQ(m.Channels().Item("#dup"), second);
    EXPECT_EQ(Names(m.Channels()), (Log{"#x@1", "#DUP@2"}));
    second->Delete();
    EXPECT_EQ(m.Channels().Item("#dup"), nullptr);
    EXPECT_EQ(m.Channels().GetChannel("#dup")->Index(), 2);
    EXPECT_EQ(r.Take(), (Log{"channels.Add #dup"}));
}

TEST(IRCChannels, JoinSendsBeforeTheNewChannelIsListedOrAnnounced)
{
    ModelFixture m;
    Log seen;
    m.socket.onSend = [&](std::string_view bytes) {
        seen.push_back("sent " + std::string(bytes) + " count " + std::to_string(m.Channels().Count()));
    };
    auto onAdd = m.Channels().Events.Add.connect([&](const ChannelPtr& channel) {
        seen.push_back("add " + channel->Name() + " at " + std::to_string(channel->Index()) + " found " +
                       std::to_string(m.Channels().Item("#new") == channel));
    });

    auto channel = m.Channels().Join("#new");
    EXPECT_EQ(seen, (Log{"sent JOIN :#new\r\n count 0", "add #new at 1 found 1"}));
    EXPECT_FALSE(channel->Joined());
    EXPECT_EQ(channel->Parent(), &m.Channels());
}

TEST(IRCChannels, JoinOfAListedChannelSendsOnlyWhenNotJoined)
{
    ModelFixture m;
    auto room = m.Channels().Join("#room");
    room->ProcessJoin(m.me);
    m.Sent();
    Recorder r;
    r.Watch("channels", m.Channels());

    EXPECT_EQ(m.Channels().Join("#ROOM"), room);
    EXPECT_EQ(m.Sent(), Log{});

    room->SetJoined(false); // the connection closed
    EXPECT_EQ(m.Channels().Join("#room"), room);
    EXPECT_EQ(m.Sent(), (Log{"JOIN :#room\r\n"}));
    EXPECT_EQ(r.Take(), Log{});
    EXPECT_EQ(m.Channels().Count(), 1);
}

TEST(IRCChannels, RemoveByPositionOrKeyRenumbersAndBadIndexesChangeNothing)
{
    ModelFixture m;
    auto a = m.Channels().Add("#a");
    auto b = m.Channels().Add("#b");
    auto c = m.Channels().Add("#c");
    auto d = m.Channels().Add("#d");

    m.Channels().Remove(2);
    EXPECT_EQ(Names(m.Channels()), (Log{"#a@1", "#c@2", "#d@3"}));
    EXPECT_EQ(b->Index(), -1);
    EXPECT_EQ(b->Parent(), nullptr);

    m.Channels().Remove(c->Key());
    EXPECT_EQ(Names(m.Channels()), (Log{"#a@1", "#d@2"}));

    EXPECT_THROW(m.Channels().Remove(0), CoreError);
    EXPECT_THROW(m.Channels().Remove(3), CoreError);
    EXPECT_THROW(m.Channels().Remove(c->Key()), CoreError);
    EXPECT_THROW(m.Channels().Remove(std::string_view("#a")), CoreError);
    EXPECT_EQ(Names(m.Channels()), (Log{"#a@1", "#d@2"}));
}

TEST(IRCChannels, ClearPartsJoinedChannelsLastFirst)
{
    ModelFixture m;
    m.Channels().Clear();
    EXPECT_EQ(m.Sent(), Log{});

    auto a = m.Channels().Add("#a");
    auto b = m.Channels().Add("#b");
    auto c = m.Channels().Add("#c");
    a->ProcessJoin(m.me);
    c->ProcessJoin(m.me);
    m.Channels().Clear();
    EXPECT_EQ(m.Sent(), (Log{"PART #c :\r\n", "PART #a :\r\n"}));
    EXPECT_EQ(m.Channels().Count(), 0);
    for (const auto& channel : {a, b, c}) {
        EXPECT_EQ(channel->Index(), -1);
        EXPECT_EQ(channel->Parent(), nullptr);
    }
}

TEST(IRCChannels, ClearGoesOnWhenPartingOneChannelDeletesAnother)
{
    ModelFixture m;
    for (const char* name : {"#a", "#b", "#c", "#d"}) {
        m.Channels().Add(name)->ProcessJoin(m.me);
    }
    m.socket.onSend = [&](std::string_view line) {
        if (line == "PART #d :\r\n") {
            m.Channels().Item("#c")->Delete();
        }
    };
    EXPECT_NO_THROW(m.Channels().Clear());
    EXPECT_EQ(m.Channels().Count(), 0);
    EXPECT_EQ(m.Sent(), (Log{"PART #c :\r\n", "PART #d :\r\n", "PART #b :\r\n", "PART #a :\r\n"}));
}

TEST(IRCChannels, DeleteClearsAndForgetsTheConnectionWhichIsSetOnlyOnce)
{
    ModelFixture m;
    auto other = IRCConnection::Create();
    m.Channels().SetParent(other.get());
    EXPECT_EQ(m.Channels().Parent(), m.connection.get());

    auto room = m.Channels().Add("#room");
    room->ProcessJoin(m.me);
    m.Channels().Delete();
    EXPECT_EQ(m.Sent(), (Log{"PART #room :\r\n"}));
    EXPECT_EQ(m.Channels().Parent(), nullptr);
    EXPECT_EQ(m.Channels().Count(), 0);
}

TEST(IRCConnectionCreation, WiresTheCollectionsAndSendsOnlyThroughAConnectedSocket)
{
    auto connection = IRCConnection::Create();
    EXPECT_EQ(connection->Index(), -1);
    EXPECT_EQ(connection->Automation(), 4);
    EXPECT_EQ(connection->User(), nullptr);
    EXPECT_EQ(connection->Users()->Parent(), connection.get());
    EXPECT_EQ(connection->Channels()->Parent(), connection.get());
    const std::set<std::string> keys{connection->Key(), connection->Users()->Key(), connection->Channels()->Key(),
                                     connection->Channels()->Add("#a")->Key(),
                                     connection->Users()->Add("")->Key()};
    EXPECT_EQ(keys.size(), 5U);

    // No socket yet: nothing to send through, and nothing fails.
    connection->SendMessage("PING :x");
    connection->Channels()->Join("#b");

    ModelFixture m;
    m.socket.state = TcpSocket::StateClosing;
    m.connection->SendMessage("PING :x");
    m.Channels().Join("#c");
    EXPECT_EQ(m.Sent(), Log{});
}

TEST(IRCConnectionLifetime, ObjectsKeptByWindowsOutliveTheConnectionSafely)
{
    auto m = std::make_unique<ModelFixture>();
    auto room = m->JoinedChannel("#room", {"bob"});
    auto bob = m->Users().Item("bob");
    m.reset();

    EXPECT_EQ(room->Parent(), nullptr);
    EXPECT_EQ(bob->Parent(), nullptr);
    EXPECT_THROW(room->SendPrivMsg("x"), CoreError);
    room->Part("");
    bob->SetNick("robert");
    EXPECT_EQ(room->Users()->Item("robert"), bob);
    room->Users()->Clear();
    EXPECT_TRUE(bob->Membership().empty());
}
