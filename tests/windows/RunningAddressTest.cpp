// An irc:// address opened while the client runs: joined on the server it is on, asked about
// anywhere else.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

using RunningAddress = WindowsFixture;

TEST_F(RunningAddress, JoinsOnTheSameServerAndAsksBeforeGoingElsewhere)
{
    Online();
    struct Row {
        std::string host;
        std::int32_t port;
        std::string channel;
        bool answer;
        Texts questions; // asked over the status window
        Texts sent;
        std::string connectedTo; // host the connection tries next, empty for none
    };
    const std::vector<Row> rows = {
        {"irc.test", 0, "#room", true, {}, {"JOIN :#room"}, ""},
        {"IRC.Test", 6667, "#other", true, {}, {"JOIN :#other"}, ""},
        {"irc.test", 6667, "", true, {}, {}, ""},
        {"irc.test", 7000, "#room", false, {"Connect to irc.test:7000 instead of irc.test?"}, {}, ""},
        {"else.test", 0, "#x", false, {"Connect to else.test instead of irc.test?"}, {}, ""},
        {"else.test", 0, "#x", true, {"Connect to else.test instead of irc.test?"}, {}, "else.test"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host + ":" + std::to_string(row.port) + row.channel);
        View(1).answer = row.answer;
        View(1).questions.clear();
        const std::int32_t connects = socket.connectCalls;
        app.OpenRunningAddress(row.host, row.port, row.channel);
        EXPECT_EQ(View(1).questions, row.questions);
        EXPECT_EQ(Sent(), row.sent);
        EXPECT_EQ(socket.connectCalls - connects, row.connectedTo.empty() ? 0 : 1);
        if (!row.connectedTo.empty()) {
            EXPECT_EQ(socket.host, row.connectedTo);
        }
    }
    // Once there, the channel is joined after the welcome, as a started address is.
    socket.PeerConnects();
    Receive(":else.test 001 me :Welcome");
    EXPECT_EQ(Sent().back(), "JOIN :#x");

    // Not connected at all: still asked first.
    connection->Disconnect();
    View(1).questions.clear();
    View(1).answer = false;
    app.OpenRunningAddress("irc.test", 0, "#room");
    EXPECT_EQ(View(1).questions, Texts{"Connect to irc.test?"});
}

} // namespace
} // namespace tellix::test
