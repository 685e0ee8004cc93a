// Answers to CTCP requests: what each request gets, the limit of one answer every two seconds,
// and hostile requests; on the fake clock's milliseconds.
#include "net/CtcpReplies.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/FakeTimers.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tellix;

namespace {

struct AnswerCase {
    const char* name;
    std::string request;
    std::string answer;
};

class CtcpAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(CtcpAnswer, IsExactlyThis)
{
    CtcpReplies replies([] { return std::string("Tue Dec 08 01:02:03 2026"); });
    EXPECT_EQ(replies.Answer(GetParam().request, 0), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CtcpAnswer,
    testing::Values(
        AnswerCase{"Version", "\x01VERSION\x01", "\x01VERSION " + CtcpReplies::VersionText() + "\x01"},
        AnswerCase{"VersionWithoutClosingMark", "\x01VERSION",
                   "\x01VERSION " + CtcpReplies::VersionText() + "\x01"},
        AnswerCase{"LowerCaseVersion", "\x01version\x01", "\x01VERSION " + CtcpReplies::VersionText() + "\x01"},
        AnswerCase{"PingEchoesItsArgument", "\x01PING 1733620000 123\x01", "\x01PING 1733620000 123\x01"},
        AnswerCase{"PingWithoutArgument", "\x01PING\x01", "\x01PING\x01"},
        AnswerCase{"PingEchoIsCut", "\x01PING " + std::string(5000, '9') + "\x01",
                   "\x01PING " + std::string(CtcpReplies::kLongestEcho, '9') + "\x01"},
        AnswerCase{"TextAfterTheClosingMarkIsNotEchoed", "\x01PING 1\x01 and more \x01PING 2\x01",
                   "\x01PING 1\x01"},
        AnswerCase{"Time", "\x01TIME\x01", "\x01TIME Tue Dec 08 01:02:03 2026\x01"},
        AnswerCase{"ClientInfo",
                   "\x01"
                   "CLIENTINFO\x01",
                   "\x01"
                   "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION\x01"},
        AnswerCase{"ActionIsNoRequest",
                   "\x01"
                   "ACTION waves\x01",
                   ""},
        AnswerCase{"UnknownGetsNothing",
                   "\x01"
                   "DCC SEND x 1 2 3\x01",
                   ""},
        AnswerCase{"PlainTextGetsNothing", "VERSION", ""}, AnswerCase{"LoneMark", "\x01", ""},
        AnswerCase{"EmptyRequest", "\x01\x01", ""}, AnswerCase{"BlankCommand", "\x01 VERSION\x01", ""},
        AnswerCase{"VersionAsAPrefixOnly", "\x01VERSIONS\x01", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CtcpReplies, NamesTellixAndItsVersionNotTheSystem)
{
    EXPECT_EQ(CtcpReplies::VersionText(), "Tellix " + std::to_string(TELLIX_VERSION_MAJOR) + "." +
                                              std::to_string(TELLIX_VERSION_MINOR) + "." +
                                              std::to_string(TELLIX_VERSION_PATCH));
    EXPECT_FALSE(CtcpReplies::LocalTime().empty());
}

struct LimitStep {
    std::int64_t atMs;
    std::string request;
    bool answered;
};

// One answer every two seconds at most; what is not answered does not move the limit on.
TEST(CtcpReplies, AnswersAtMostOnceEveryTwoSeconds)
{
    const std::vector<LimitStep> steps = {
        {0, "\x01VERSION\x01", true},
        {0, "\x01PING 1\x01", false},
        {1999, "\x01TIME\x01", false},
        {1999,
         "\x01"
         "ACTION x\x01",
         false},
        {2000, "\x01PING 2\x01", true},
        {2500, "\x01VERSION\x01", false},
        {3999,
         "\x01"
         "CLIENTINFO\x01",
         false},
        {4000,
         "\x01"
         "CLIENTINFO\x01",
         true},
        {100000, "\x01PING 3\x01", true},
    };
    CtcpReplies replies;
    for (const LimitStep& step : steps) {
        EXPECT_EQ(!replies.Answer(step.request, step.atMs).empty(), step.answered)
            << step.atMs << " " << step.request.substr(1);
    }
}

TEST(CtcpReplies, AFloodGetsOneAnswerPerTwoSeconds)
{
    CtcpReplies replies;
    int answers = 0;
    for (std::int64_t ms = 0; ms < 60000; ms += 10) {
        answers += replies.Answer("\x01PING " + std::string(600, 'x'), ms).empty() ? 0 : 1;
    }
    EXPECT_EQ(answers, 30);
}

// Through the connection: a request in a private line is answered by NOTICE, still shown, and
// the setting switches answers off.
TEST(CtcpReplies, TheConnectionAnswersByNoticeUnlessSwitchedOff)
{
    test::FakeTimers timers;
    test::RecordingSocketFactory factory;
    IRCConnections connections{factory};
    connections.SetProtocolTimers(&timers);
    const auto connection = connections.Add();
    test::RecordingSocket& socket = *factory.created.back();
    std::vector<std::string> shown;
    const Subscription sub = connections.Events.UserPrivMsg.connect(
        [&](const auto&, const auto&, const std::string& text) { shown.push_back(text); });
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    socket.PeerSends(":irc.test 001 me :Welcome\r\n");
    timers.Advance(60000);
    socket.sent.clear();

    socket.PeerSends(":bob!b@h PRIVMSG me :\x01VERSION\x01\r\n:bob!b@h PRIVMSG me :\x01VERSION\x01\r\n");
    ASSERT_EQ(socket.sent.size(), 1u);
    EXPECT_EQ(socket.sent[0], "NOTICE bob :\x01VERSION " + CtcpReplies::VersionText() + "\x01\r\n");
    EXPECT_EQ(shown.size(), 2u);

    socket.PeerSends(":bob!b@h PRIVMSG #room :\x01VERSION\x01\r\n:bob!b@h NOTICE me :\x01VERSION x\x01\r\n");
    timers.Advance(2000);
    EXPECT_EQ(socket.sent.size(), 1u) << "neither a channel's line nor a notice is a request to us";

    connections.SetCtcpReplies(false);
    socket.PeerSends(":bob!b@h PRIVMSG me :\x01PING 5\x01\r\n");
    EXPECT_EQ(socket.sent.size(), 1u);
    connections.SetCtcpReplies(true);
    socket.PeerSends(":bob!b@h PRIVMSG me :\x01PING 5\x01\r\n");
    ASSERT_EQ(socket.sent.size(), 2u);
    EXPECT_EQ(socket.sent[1], "NOTICE bob :\x01PING 5\x01\r\n");
}

} // namespace
