// What the user sees of a link that comes back by itself, and the CTCP Replies setting, with
// the application on recording views and the protocol's time on the fake clock.
#include "app/Settings.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "net/CtcpReplies.h"

#include "WindowsFixture.h"

#include <gtest/gtest.h>

using namespace tellix;
using namespace tellix::test;

namespace {

struct LinkPresentation : WindowsFixture {};

TEST_F(LinkPresentation, AComebackIsAnnouncedAsAutomaticAndTheChannelWindowIsJoinedAgain)
{
    ConnectOptions options;
    options.reconnect = true;
    connection->Options(options);
    Online();
    Receive(":me!u@h JOIN :#room");
    ASSERT_TRUE(connection->Channels()->Item("#room")->Joined());
    NewLines(1);

    socket.PeerCloses();
    EXPECT_EQ(NewLines(1), Texts{"Occassionally disconnected from Server irc.test, Port 6667!!!"});
    toolkit.timers.Advance(10'000);
    socket.host = "irc.test";
    socket.PeerConnects();
    EXPECT_EQ(NewLines(1), Texts{"Auto-reconnected to Server irc.test, Port 6667"});
    Receive(":irc.test 001 me :Welcome");
    const auto sent = Sent();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "JOIN #room"), sent.end());
}

TEST(CtcpRepliesSetting, ZeroOrFalseSwitchesAnswersOff)
{
    const struct {
        const char* stored; // null: never written
        std::size_t answers;
    } rows[] = {{nullptr, 1}, {"1", 1}, {"0", 0}, {"false", 0}, {"nonsense", 1}};
    for (const auto& row : rows) {
        RecordingToolkit toolkit;
        if (row.stored != nullptr) {
            toolkit.settings.SaveSetting(SettingsAppName(), std::string(settings::Section),
                                         std::string(settings::CtcpReplies), row.stored);
        }
        RecordingSocketFactory sockets;
        Application app{toolkit, sockets};
        RecordingSocket& socket = *sockets.created.back();
        const auto connection = app.Connections().Item(1);
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n");
        socket.sent.clear();
        socket.PeerSends(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
        EXPECT_EQ(socket.sent.size(), row.answers) << (row.stored ? row.stored : "(none)");
        EXPECT_EQ(app.Connections().CtcpReplies(), row.answers == 1);
    }
}

} // namespace
