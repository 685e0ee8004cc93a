// How each received line changes the model and which events it raises.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tellix;
using test::RecordingSocket;
using test::RecordingSocketFactory;

namespace {

std::string Nick(const std::shared_ptr<IRCUser>& user)
{
    return user ? user->Nick() : "-";
}

struct Dispatcher : testing::Test {
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    RecordingSocket& socket = *factory.created.back();
    std::vector<std::string> log;
    std::vector<Subscription> subs;

    Dispatcher()
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n:me!u@h JOIN :#room\r\n");
        socket.sent.clear();
        auto& e = connections.Events;
        subs.push_back(e.ChannelAdd.connect(
            [this](const auto&, const auto& c) { log.push_back("ChannelAdd " + c->Name()); }));
        subs.push_back(e.ChannelJoin.connect([this](const auto&, const auto& c, const auto& u) {
            log.push_back("ChannelJoin " + c->Name() + " " + Nick(u));
        }));
        subs.push_back(
            e.ChannelPart.connect([this](const auto&, const auto& c, const auto& u, const std::string& t) {
                log.push_back("ChannelPart " + c->Name() + " " + Nick(u) + " [" + t + "]");
            }));
        subs.push_back(e.ChannelKick.connect(
            [this](const auto&, const auto& c, const auto& u, const auto& d, const std::string& t) {
                log.push_back("ChannelKick " + c->Name() + " " + Nick(u) + " " + Nick(d) + " [" + t + "]");
            }));
        subs.push_back(
            e.ChannelPrivMsg.connect([this](const auto&, const auto& c, const auto& u, const std::string& t) {
                log.push_back("ChannelPrivMsg " + c->Name() + " " + Nick(u) + " [" + t + "]");
            }));
        subs.push_back(
            e.ChannelNotice.connect([this](const auto&, const auto& c, const auto& u, const std::string& t) {
                log.push_back("ChannelNotice " + c->Name() + " " + Nick(u) + " [" + t + "]");
            }));
        subs.push_back(
            e.ChannelTopicChange.connect([this](const auto&, const auto& c, const auto& u, const std::string& t) {
                log.push_back("ChannelTopicChange " + c->Name() + " " + Nick(u) + " [" + t + "] -> [" +
                              c->Topic() + "]");
            }));
        subs.push_back(
            e.ChannelQuit.connect([this](const auto&, const auto& c, const auto& u, const std::string& t) {
                log.push_back("ChannelQuit " + c->Name() + " " + Nick(u) + " [" + t + "]");
            }));
        subs.push_back(
            e.UserAdd.connect([this](const auto&, const auto& u) { log.push_back("UserAdd " + Nick(u)); }));
        subs.push_back(e.UserNickChange.connect([this](const auto&, const auto& u, const std::string& t) {
            log.push_back("UserNickChange " + t + " -> " + Nick(u));
        }));
        subs.push_back(e.UserPrivMsg.connect([this](const auto&, const auto& u, const std::string& t) {
            log.push_back("UserPrivMsg " + Nick(u) + " [" + t + "]");
        }));
        subs.push_back(e.UserNotice.connect([this](const auto&, const auto& u, const std::string& t) {
            log.push_back("UserNotice " + Nick(u) + " [" + t + "]");
        }));
        subs.push_back(e.UserQuit.connect([this](const auto&, const auto& u, const std::string& t) {
            log.push_back("UserQuit " + Nick(u) + " [" + t + "]");
        }));
        subs.push_back(
            e.Error.connect([this](const auto&, const std::string& t) { log.push_back("Error [" + t + "]"); }));
        subs.push_back(e.ServerChange.connect(
            [this](const auto&, const std::string& t) { log.push_back("ServerChange " + t); }));
        subs.push_back(e.MessageNotProcessed.connect(
            [this](const auto&, const std::string& t) { log.push_back("NotProcessed [" + t + "]"); }));
    }

    // Feeds one line and returns what it logged.
    std::vector<std::string> Line(const std::string& line)
    {
        log.clear();
        socket.PeerSends(line + "\r\n");
        return log;
    }
    using Log = std::vector<std::string>;
    std::shared_ptr<IRCChannel> Channel(const std::string& name) { return connection->Channels()->Item(name); }
    std::vector<std::string> Members(const std::string& name)
    {
        std::vector<std::string> nicks;
        for (const auto& user : *Channel(name)->Users()) {
            nicks.push_back(user->Nick());
        }
        return nicks;
    }
};

} // namespace

TEST_F(Dispatcher, PingIsAnsweredWithItsTokenOnlyWhileAutomaticPongIsOn)
{
    EXPECT_EQ(Line("PING :irc.test"), Log{});
    EXPECT_EQ(Line("PING :a:b"), Log{});
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PONG :irc.test\r\n", "PONG :a:b\r\n"}));

    socket.sent.clear();
    EXPECT_EQ(Line("PING token"), Log{"NotProcessed [PING token]"});
    EXPECT_EQ(Line("PING :tok\ren:x"), Log{}); // a lone CR is part of the line, but never sent on
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PONG :tok\r\n"}));

    socket.sent.clear();
    connection->Automation(0);
    EXPECT_EQ(Line("PING :irc.test"), Log{"NotProcessed [PING :irc.test]"});
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_FALSE(connection->ProcessServerMessage("PING :direct"));
}

TEST_F(Dispatcher, ErrorCarriesEverythingAfterTheFirstColon)
{
    EXPECT_EQ(Line("ERROR :Closing Link: me[host] (Quit: bye)"),
              Log{"Error [Closing Link: me[host] (Quit: bye)]"});
    EXPECT_TRUE(connection->ProcessServerMessage("ERROR :x"));
}

TEST_F(Dispatcher, WelcomeIsActedOnAndStillReportedAsNotProcessed)
{
    connection->User()->SetNick("");
    EXPECT_EQ(Line(":irc.other 001 newnick :Welcome home"),
              (Log{"ServerChange irc.other", "UserNickChange * -> newnick",
                   "NotProcessed [:irc.other 001 newnick :Welcome home]"}));
    EXPECT_EQ(connection->Server(), "irc.other");
    EXPECT_EQ(connection->User()->Nick(), "newnick");
}

TEST_F(Dispatcher, MessagesAndNoticesGoToAKnownChannelOrElseToTheSender)
{
    EXPECT_EQ(Line(":anna!a@host PRIVMSG #ROOM :hi: there :)"),
              (Log{"UserAdd anna", "ChannelPrivMsg #room anna [hi: there :)]"}));
    EXPECT_EQ(Line(":anna!a@host NOTICE #room :note"), Log{"ChannelNotice #room anna [note]"});
    EXPECT_EQ(Line(":anna!a@host PRIVMSG me :\x01VERSION\x01"), Log{"UserPrivMsg anna [\x01VERSION\x01]"});
    EXPECT_EQ(Line(":anna!a@host PRIVMSG #elsewhere :hi"), Log{"UserPrivMsg anna [hi]"});
    EXPECT_EQ(Line(":anna!a@host NOTICE me :psst"), Log{"UserNotice anna [psst]"});
    EXPECT_FALSE(Channel("#elsewhere"));
    EXPECT_EQ(Line(":anna!a@host privmsg #room :hi"), Log{"NotProcessed [:anna!a@host privmsg #room :hi]"});
    EXPECT_EQ(connection->Users()->Item("anna")->Host(), "host");
}

TEST_F(Dispatcher, JoinPartKickAndTheirEffectOnTheMemberList)
{
    EXPECT_EQ(Line(":anna!a@h JOIN :#room"), (Log{"UserAdd anna", "ChannelJoin #room anna"}));
    EXPECT_EQ(Line(":anna!a@h JOIN :#new"), (Log{"ChannelAdd #new", "ChannelJoin #new anna"}));
    EXPECT_FALSE(Channel("#new")->Joined());
    EXPECT_EQ(Line(":bob!b@h JOIN :#room"), (Log{"UserAdd bob", "ChannelJoin #room bob"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "anna", "bob"}));

    EXPECT_EQ(Line(":anna!a@h PART #room :later: maybe"), Log{"ChannelPart #room anna [later: maybe]"});
    EXPECT_EQ(Line(":me!u@h KICK #room bob :behave"), Log{"ChannelKick #room me bob [behave]"});
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me"}));

    EXPECT_EQ(Line(":op!o@h KICK #room me :bye"), (Log{"UserAdd op", "ChannelKick #room op me [bye]"}));
    EXPECT_FALSE(Channel("#room")->Joined());
    EXPECT_EQ(Line(":me!u@h PART #gone :x"), (Log{"ChannelAdd #gone", "ChannelPart #gone me [x]"}));
}

TEST_F(Dispatcher, NamesReplyStripsOnePrefixAndSkipsEmptyNames)
{
    EXPECT_EQ(Line(":irc.test 353 me = #room :@a +b %c d @ "),
              (Log{"UserAdd a", "UserAdd b", "UserAdd c", "UserAdd d"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "a", "b", "c", "d"}));
    // Only one prefix goes; what is left is read as a mask, like every name.
    EXPECT_EQ(Line(":irc.test 353 me = #room :@@host"), (Log{"UserAdd "}));
    EXPECT_EQ(connection->Users()->Item(connection->Users()->Count())->Host(), "host");
    EXPECT_EQ(Line(":irc.test 353 me = #fresh :x"), (Log{"ChannelAdd #fresh", "UserAdd x"}));
    EXPECT_EQ(Members("#fresh"), (std::vector<std::string>{"x"}));
    EXPECT_EQ(Line(":irc.test 366 me #room :End of NAMES list"),
              Log{"NotProcessed [:irc.test 366 me #room :End of NAMES list]"});
}

TEST_F(Dispatcher, TopicsFromTheReplyAndFromUsers)
{
    EXPECT_EQ(Line(":irc.test 332 me #room :the: topic"), Log{"ChannelTopicChange #room - [] -> [the: topic]"});
    EXPECT_EQ(Line(":anna!a@h TOPIC #room :new"),
              (Log{"UserAdd anna", "ChannelTopicChange #room anna [the: topic] -> [new]"}));
    EXPECT_EQ(Line(":bob!b@h TOPIC #unknown :x"), Log{"UserAdd bob"});
    EXPECT_FALSE(Channel("#unknown"));
    EXPECT_EQ(Line(":irc.test 332 me #unknown :x"), Log{});
}

TEST_F(Dispatcher, NickChangesAndQuitsReachEverySharedChannelOnce)
{
    Line(":me!u@h JOIN :#two");
    Line(":anna!a@h JOIN :#room");
    Line(":anna!a@h JOIN :#two");
    EXPECT_EQ(Line(":anna!a@h NICK :Anna"), (Log{"UserNickChange anna -> Anna"}));
    EXPECT_EQ(Line(":Anna!a@h QUIT :Quit: bye"),
              (Log{"UserQuit Anna [Quit: bye]", "ChannelQuit #room Anna [Quit: bye]",
                   "ChannelQuit #two Anna [Quit: bye]"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me"}));
    EXPECT_TRUE(connection->Users()->Item("Anna"));
}

TEST_F(Dispatcher, ParametersWrittenWithoutTheirColon)
{
    EXPECT_EQ(Line(":anna!a@h JOIN #room"), (Log{"UserAdd anna", "ChannelJoin #room anna"}));
    EXPECT_EQ(Line(":anna!a@h PRIVMSG #room hi"), Log{"ChannelPrivMsg #room anna [hi]"});
    EXPECT_EQ(Line(":anna!a@h PRIVMSG #room hi:there"), Log{"ChannelPrivMsg #room anna [hi:there]"});
    EXPECT_EQ(Line(":anna!a@h NICK new"), Log{"UserNickChange anna -> new"});
    EXPECT_EQ(Line(":me!u@h KICK #room new"), Log{"ChannelKick #room me new []"});
    EXPECT_EQ(Line(":bob!b@h JOIN #room"), (Log{"UserAdd bob", "ChannelJoin #room bob"}));
    EXPECT_EQ(Line(":bob!b@h PART :#room"), Log{"ChannelPart #room bob []"});
    EXPECT_EQ(Line(":bob!b@h PART #room"), Log{"ChannelPart #room bob []"});
    EXPECT_EQ(Line(":bob!b@h QUIT bye"), Log{"UserQuit bob [bye]"});
    EXPECT_EQ(Line(":bob!b@h QUIT"), Log{"UserQuit bob []"});
    EXPECT_EQ(Line(":anna!a@2001:db8::1 PRIVMSG #room :v6"),
              (Log{"UserAdd anna", "ChannelPrivMsg #room anna [v6]"}));
}

TEST_F(Dispatcher, ShiftedWordsAndDegenerateLines)
{
    // Two blanks make the command word empty: nothing matches.
    EXPECT_EQ(Line(":anna!a@h  PRIVMSG #room :x"), Log{"NotProcessed [:anna!a@h  PRIVMSG #room :x]"});
    for (const std::string line : {"", ":", ":prefixonly", "::", "NOTICE AUTH :hello", "PING", "ERROR"}) {
        EXPECT_EQ(Line(line), Log{"NotProcessed [" + line + "]"});
    }
    // Fields beyond the end read as empty text: odd, but never a failure.
    for (const std::string line : {":x JOIN", ":x KICK", ":x 353", ":x 332", ":x PART :", ":x NICK", ":x TOPIC"}) {
        EXPECT_NO_THROW(Line(line)) << line;
    }
    EXPECT_NO_THROW(Line(std::string(3, '\0')));
    EXPECT_EQ(Line(":irc.test 999 me :unknown numeric"), Log{"NotProcessed [:irc.test 999 me :unknown numeric]"});
}
