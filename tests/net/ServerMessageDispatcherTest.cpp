// How each received line changes the model and which events it raises.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/EventRecorder.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace tellix;
using test::Recorder;
using test::RecordingSocket;
using test::RecordingSocketFactory;

namespace {

struct Dispatcher : testing::Test {
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    RecordingSocket& socket = *factory.created.back();
    Recorder recorder;

    Dispatcher()
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n:me!u@h JOIN :#room\r\n");
        socket.sent.clear();
        recorder.Watch("all", connections);
    }

    // Feeds one line and returns what it logged. Every line is offered raw first; that part is not what these
    // tests look at.
    std::vector<std::string> Line(const std::string& line)
    {
        recorder.Take();
        socket.PeerSends(line + "\r\n");
        std::vector<std::string> logged = recorder.Take();
        std::erase_if(logged, [](const std::string& entry) { return entry.starts_with("all.GetRawMessage "); });
        return logged;
    }
    using Log = std::vector<std::string>;
    std::shared_ptr<IRCChannel> Channel(const std::string& name) { return connection->Channels()->Item(name); }
    std::vector<std::string> Members(const std::string& name)
    {
        std::vector<std::string> nicks;
        for (const auto& user : *Channel(name)->Users()) {
            nicks.emplace_back(user->Nick());
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
    EXPECT_EQ(Line("PING :tok\ren:x"), Log{}); // a lone CR is part of the line, but never sent on
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PONG :tok\r\n"}));

    // Servers write PING in every form IRC allows; each unanswered one would cost the link.
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"PING 12345", "PONG 12345"},
        {"PING tok4 :x", "PONG tok4 :x"},
        {":irc.test PING :abc", "PONG :abc"},
        {":irc.test PING irc.test", "PONG irc.test"},
        {"@time=2026-12-09T10:00:00.000Z PING :tagged", "PONG :tagged"},
    };
    for (const auto& [ping, pong] : forms) {
        SCOPED_TRACE(ping);
        socket.sent.clear();
        EXPECT_EQ(Line(ping), Log{});
        EXPECT_EQ(socket.sent, (std::vector<std::string>{pong + "\r\n"}));
    }
    socket.sent.clear();
    EXPECT_EQ(Line(":irc.test PING"), Log{"all.MessageNotProcessed c1 ':irc.test PING'"});
    EXPECT_TRUE(socket.sent.empty());

    socket.sent.clear();
    connection->Automation(0);
    EXPECT_EQ(Line("PING :irc.test"), Log{"all.MessageNotProcessed c1 'PING :irc.test'"});
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_FALSE(connection->ProcessServerMessage("PING :direct"));
}

TEST_F(Dispatcher, ErrorCarriesEverythingAfterTheFirstColon)
{
    EXPECT_EQ(Line("ERROR :Closing Link: me[host] (Quit: bye)"),
              Log{"all.Error c1 'Closing Link: me[host] (Quit: bye)'"});
    EXPECT_TRUE(connection->ProcessServerMessage("ERROR :x"));
}

TEST_F(Dispatcher, WelcomeIsActedOnAndStillReportedAsNotProcessed)
{
    connection->User()->SetNick("");
    EXPECT_EQ(Line(":irc.other 001 newnick :Welcome home"),
              (Log{"all.ServerChange c1 'irc.other'", "all.UserNickChange c1 newnick '*'",
                   "all.ChannelNickChange c1 #room newnick '*'",
                   "all.MessageNotProcessed c1 ':irc.other 001 newnick :Welcome home'"}));
    EXPECT_EQ(connection->Server(), "irc.other");
    EXPECT_EQ(connection->User()->Nick(), "newnick");
}

TEST_F(Dispatcher, MessagesAndNoticesGoToAKnownChannelOrElseToTheSender)
{
    // Said from outside the channel: shown there, and the sender, in no channel we share and
    // shown by no window, is forgotten again.
    EXPECT_EQ(
        Line(":anna!a@host PRIVMSG #ROOM :hi: there :)"),
        (Log{"all.UserAdd c1 anna", "all.ChannelPrivMsg c1 #room anna 'hi: there :)'", "all.UserRemove c1 anna"}));
    EXPECT_EQ(Line(":anna!a@host NOTICE #room :note"),
              (Log{"all.UserAdd c1 anna", "all.ChannelNotice c1 #room anna 'note'", "all.UserRemove c1 anna"}));
    EXPECT_EQ(Line(":anna!a@host PRIVMSG me :\x01VERSION\x01"),
              (Log{"all.UserAdd c1 anna", "all.UserPrivMsg c1 anna '\x01VERSION\x01'"}));
    EXPECT_EQ(Line(":anna!a@host PRIVMSG #elsewhere :hi"), Log{"all.UserPrivMsg c1 anna 'hi'"});
    EXPECT_EQ(Line(":anna!a@host NOTICE me :psst"), Log{"all.UserNotice c1 anna 'psst'"});
    EXPECT_FALSE(Channel("#elsewhere"));
    EXPECT_EQ(Line(":anna!a@host privmsg #room :hi"),
              Log{"all.MessageNotProcessed c1 ':anna!a@host privmsg #room :hi'"});
    EXPECT_EQ(connection->Users()->Item("anna")->Host(), "host");
}

TEST_F(Dispatcher, JoinPartKickAndTheirEffectOnTheMemberList)
{
    EXPECT_EQ(Line(":anna!a@h JOIN :#room"), (Log{"all.UserAdd c1 anna", "all.ChannelJoin c1 #room anna"}));
    // Someone else's join makes no channel: only our own does.
    EXPECT_EQ(Line(":anna!a@h JOIN :#new"), Log{});
    EXPECT_FALSE(Channel("#new"));
    EXPECT_EQ(Line(":me!u@h JOIN :#new"), (Log{"all.ChannelAdd c1 #new", "all.ChannelJoin c1 #new me"}));
    EXPECT_EQ(Line(":anna!a@h JOIN :#new"), Log{"all.ChannelJoin c1 #new anna"});
    EXPECT_EQ(Line(":bob!b@h JOIN :#room"), (Log{"all.UserAdd c1 bob", "all.ChannelJoin c1 #room bob"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "anna", "bob"}));

    EXPECT_EQ(Line(":anna!a@h PART #room :later: maybe"), Log{"all.ChannelPart c1 #room anna 'later: maybe'"});
    // Gone from every channel we share and shown by no window, bob is forgotten; anna is still
    // in #new.
    EXPECT_EQ(Line(":me!u@h KICK #room bob :behave"),
              (Log{"all.ChannelKick c1 #room me bob 'behave'", "all.UserRemove c1 bob"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me"}));
    EXPECT_TRUE(connection->Users()->Item("anna"));
    EXPECT_FALSE(connection->Users()->Item("bob"));

    // A kicker in no channel of ours is forgotten too; we never are.
    EXPECT_EQ(Line(":op!o@h KICK #room me :bye"),
              (Log{"all.UserAdd c1 op", "all.ChannelKick c1 #room op me 'bye'", "all.UserRemove c1 op"}));
    EXPECT_TRUE(connection->Users()->Item("me"));
    EXPECT_FALSE(Channel("#room")->Joined());
    // Parts and kicks of a channel we are not in make nothing.
    for (const std::string line : {":me!u@h PART #gone :x", ":bob!b@h PART #gone", ":op!o@h KICK #gone bob :x"}) {
        EXPECT_EQ(Line(line), Log{}) << line;
    }
    EXPECT_FALSE(Channel("#gone"));
    EXPECT_FALSE(connection->Users()->Item("bob"));
    EXPECT_FALSE(connection->Users()->Item("op"));
}

// A /join makes the channel before the server's JOIN comes back; the names that follow fill it.
TEST_F(Dispatcher, OurOwnJoinMakesTheChannelAndItsNamesFillIt)
{
    const auto typed = connection->Channels()->Join("#new");
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"JOIN :#new\r\n"}));
    EXPECT_EQ(Line(":me!u@h JOIN :#NEW"), Log{"all.ChannelJoin c1 #new me"});
    EXPECT_EQ(Channel("#new"), typed);
    EXPECT_TRUE(typed->Joined());
    EXPECT_EQ(Line(":irc.test 353 me = #new :@me anna"), Log{"all.UserAdd c1 anna"});
    EXPECT_EQ(Members("#new"), (std::vector<std::string>{"me", "anna"}));
}

// A channel leaving the connection parts it, unless a PART since the last join is on its way.
TEST_F(Dispatcher, AChannelIsPartedOnceAfterEachJoin)
{
    Line(":me!u@h JOIN :#x");
    const auto channel = Channel("#x");
    channel->Part("bye");
    socket.sent.clear();
    channel->Delete();
    EXPECT_TRUE(socket.sent.empty()) << testing::PrintToString(socket.sent);

    Line(":me!u@h JOIN :#y");
    Line(":me!u@h PART #y");
    Line(":me!u@h JOIN :#y");
    Channel("#y")->Part("");
    Line(":me!u@h PART #y");
    Line(":me!u@h JOIN :#y");
    socket.sent.clear();
    Channel("#y")->Delete();
    EXPECT_EQ(socket.sent, (std::vector<std::string>{"PART #y :\r\n"}));
}

TEST_F(Dispatcher, NamesReplyStripsEveryLeadingPrefixAndSkipsEmptyNames)
{
    EXPECT_EQ(Line(":irc.test 353 me = #room :@a +b %c d @ "),
              (Log{"all.UserAdd c1 a", "all.UserAdd c1 b", "all.UserAdd c1 c", "all.UserAdd c1 d"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "a", "b", "c", "d"}));
    // Every prefix goes, so a multi-prefix name is the member it names, not a new user.
    EXPECT_EQ(Line(":irc.test 353 me = #room :@+b ~&e @@host"), (Log{"all.UserAdd c1 e", "all.UserAdd c1 host"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "a", "b", "c", "d", "e", "host"}));
    // The names of a channel we are not in make neither the channel nor its users.
    EXPECT_EQ(Line(":irc.test 353 me = #fresh :x"), Log{});
    EXPECT_FALSE(Channel("#fresh"));
    EXPECT_FALSE(connection->Users()->Item("x"));
    EXPECT_EQ(Line(":irc.test 366 me #room :End of NAMES list"),
              Log{"all.MessageNotProcessed c1 ':irc.test 366 me #room :End of NAMES list'"});
}

// The server's PREFIX token says which characters are prefixes; reading it changes nothing
// else, the line is shown as ever.
TEST_F(Dispatcher, NamesReplyPrefixesAreTheOnesTheServerAnnounced)
{
    struct Row {
        const char* isupport; // the 005 tokens, or null for none since connecting
        const char* names;
        std::vector<std::string> members;
    };
    const std::vector<Row> rows{
        {nullptr, "~q &a @o %h +v *x", {"q", "a", "o", "h", "v", "*x"}},
        {"PREFIX=(ov)@+ CHANTYPES=#", "@o +v %h ~q @+ov", {"o", "v", "%h", "~q", "ov"}},
        {"PREFIX=(Yqaohv)!~&@%+", "!y ~q @+o", {"y", "q", "o"}},
        {"PREFIX=(ov)@+ -PREFIX", "~q %h", {"q", "h"}},
        {"PREFIX=", "@o %h", {"o", "h"}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.names);
        // A fresh connection each time: a new server's own announcement counts.
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n");
        if (row.isupport != nullptr) {
            const std::string line = std::string(":irc.test 005 me ") + row.isupport + " :are supported";
            EXPECT_EQ(Line(line), Log{"all.MessageNotProcessed c1 '" + line + "'"});
        }
        const std::string channel = "#c" + std::to_string(++n);
        connection->Channels()->Join(channel);
        Line(":irc.test 353 me = " + channel + " :" + row.names);
        EXPECT_EQ(Members(channel), row.members);
    }
}

TEST_F(Dispatcher, TopicsFromTheReplyAndFromUsers)
{
    EXPECT_EQ(Line(":irc.test 332 me #room :the: topic"), Log{"all.ChannelTopicChange c1 #room - ''"});
    EXPECT_EQ(Channel("#room")->Topic(), "the: topic");
    // Set from outside the channel (by a service, say): the setter is forgotten as after a part.
    EXPECT_EQ(Line(":anna!a@h TOPIC #room :new"),
              (Log{"all.UserAdd c1 anna", "all.ChannelTopicChange c1 #room anna 'the: topic'",
                   "all.UserRemove c1 anna"}));
    EXPECT_EQ(Channel("#room")->Topic(), "new");
    Line(":anna!a@h JOIN #room");
    EXPECT_EQ(Line(":anna!a@h TOPIC #room no:colon"), Log{"all.ChannelTopicChange c1 #room anna 'new'"});
    EXPECT_EQ(Channel("#room")->Topic(), "no:colon");
    // Joined again (on a new server after a reconnect, say), the channel has no topic until the
    // server tells one: the old one is not shown as the channel's.
    Line(":me!u@h PART #room");
    Line(":me!u@h JOIN :#room");
    EXPECT_EQ(Channel("#room")->Topic(), "");
    EXPECT_EQ(Channel("#room")->TopicSetter(), "");
    EXPECT_EQ(Channel("#room")->TopicTime(), 0);
    EXPECT_EQ(Line(":irc.test 332 me #room :fresh"), Log{"all.ChannelTopicChange c1 #room - ''"});
    EXPECT_EQ(Line(":bob!b@h TOPIC #unknown :x"), Log{});
    EXPECT_FALSE(Channel("#unknown"));
    EXPECT_EQ(Line(":irc.test 332 me #unknown :x"), Log{});
}

TEST_F(Dispatcher, NickChangesAndQuitsReachEverySharedChannelOnce)
{
    Line(":me!u@h JOIN :#two");
    Line(":anna!a@h JOIN :#room");
    Line(":anna!a@h JOIN :#two");
    EXPECT_EQ(Line(":anna!a@h NICK :Anna"),
              (Log{"all.UserNickChange c1 Anna 'anna'", "all.ChannelNickChange c1 #room Anna 'anna'",
                   "all.ChannelNickChange c1 #two Anna 'anna'"}));
    EXPECT_EQ(Line(":Anna!a@h QUIT :Quit: bye"),
              (Log{"all.UserQuit c1 Anna 'Quit: bye'", "all.ChannelQuit c1 #room Anna 'Quit: bye'",
                   "all.ChannelQuit c1 #two Anna 'Quit: bye'", "all.UserRemove c1 Anna"}));
    EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me"}));
    // Gone from every channel and shown nowhere: the connection forgets her, last of all.
    EXPECT_FALSE(connection->Users()->Item("Anna"));
}

TEST_F(Dispatcher, ParametersWrittenWithoutTheirColon)
{
    EXPECT_EQ(Line(":anna!a@h JOIN #room"), (Log{"all.UserAdd c1 anna", "all.ChannelJoin c1 #room anna"}));
    EXPECT_EQ(Line(":anna!a@h PRIVMSG #room hi"), Log{"all.ChannelPrivMsg c1 #room anna 'hi'"});
    EXPECT_EQ(Line(":anna!a@h PRIVMSG #room hi:there"), Log{"all.ChannelPrivMsg c1 #room anna 'hi:there'"});
    EXPECT_EQ(Line(":anna!a@h NICK new"),
              (Log{"all.UserNickChange c1 new 'anna'", "all.ChannelNickChange c1 #room new 'anna'"}));
    EXPECT_EQ(Line(":me!u@h KICK #room new"),
              (Log{"all.ChannelKick c1 #room me new ''", "all.UserRemove c1 new"}));
    EXPECT_EQ(Line(":bob!b@h JOIN #room"), (Log{"all.UserAdd c1 bob", "all.ChannelJoin c1 #room bob"}));
    EXPECT_EQ(Line(":bob!b@h PART :#room"), (Log{"all.ChannelPart c1 #room bob ''", "all.UserRemove c1 bob"}));
    EXPECT_EQ(Line(":bob!b@h PART #room"),
              (Log{"all.UserAdd c1 bob", "all.ChannelPart c1 #room bob ''", "all.UserRemove c1 bob"}));
    EXPECT_EQ(Line(":bob!b@h QUIT bye"),
              (Log{"all.UserAdd c1 bob", "all.UserQuit c1 bob 'bye'", "all.UserRemove c1 bob"}));
    EXPECT_EQ(Line(":bob!b@h QUIT"),
              (Log{"all.UserAdd c1 bob", "all.UserQuit c1 bob ''", "all.UserRemove c1 bob"}));
    EXPECT_EQ(Line(":anna!a@2001:db8::1 PRIVMSG #room :v6"),
              (Log{"all.UserAdd c1 anna", "all.ChannelPrivMsg c1 #room anna 'v6'", "all.UserRemove c1 anna"}));
}

TEST_F(Dispatcher, ShiftedWordsAndDegenerateLines)
{
    // Two blanks make the command word empty: nothing matches.
    EXPECT_EQ(Line(":anna!a@h  PRIVMSG #room :x"),
              Log{"all.MessageNotProcessed c1 ':anna!a@h  PRIVMSG #room :x'"});
    for (const std::string line : {"", ":", ":prefixonly", "::", "NOTICE AUTH :hello", "PING", "ERROR"}) {
        EXPECT_EQ(Line(line), Log{"all.MessageNotProcessed c1 '" + line + "'"});
    }
    // Fields beyond the end read as empty text: odd, but never a failure.
    for (const std::string line : {":x JOIN", ":x KICK", ":x 353", ":x 332", ":x PART :", ":x NICK", ":x TOPIC"}) {
        EXPECT_NO_THROW(Line(line)) << line;
    }
    EXPECT_NO_THROW(Line(std::string(3, '\0')));
    // A sender or a kicked user without a nick is nobody: nothing is made, shown or answered.
    for (const std::string line : {":!x@y PRIVMSG me :hi", ":!x@y PRIVMSG me :\x01VERSION\x01",
                                   ":@y NOTICE me :hi", ":!@ PRIVMSG #room :hi", ":x!y@z KICK #room",
                                   ":x!y@z KICK #room :", ":!x@y JOIN #room", ":!x@y QUIT :bye"}) {
        SCOPED_TRACE(line);
        socket.sent.clear();
        const Log log = Line(line);
        EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& event) {
            return event.find("Kick") != std::string::npos || event.find("PrivMsg") != std::string::npos ||
                   event.find("Notice") != std::string::npos || event.find("Join") != std::string::npos;
        })) << testing::PrintToString(log);
        EXPECT_TRUE(socket.sent.empty());
        EXPECT_FALSE(connection->Users()->Item(""));
    }
    EXPECT_EQ(Line(":irc.test 999 me :unknown numeric"),
              Log{"all.MessageNotProcessed c1 ':irc.test 999 me :unknown numeric'"});
}

// Lines about strangers and channels we are not in only look up: ten thousand of each kind,
// every one with a new name, leave as many users and channels as there were.
TEST_F(Dispatcher, StrangersLeaveNoUserOrChannelBehind)
{
    Line(":anna!a@h JOIN :#room");
    const std::int32_t users = connection->Users()->Count();
    const std::int32_t channels = connection->Channels()->Count();
    struct Row {
        const char* kind;
        std::string (*line)(const std::string& n);
    };
    const std::vector<Row> rows = {
        {"CHGHOST", [](const std::string& n) { return ":n" + n + "!u@h CHGHOST user" + n + " host" + n; }},
        {"NICK", [](const std::string& n) { return ":n" + n + "!u@h NICK :m" + n; }},
        {"TOPIC elsewhere", [](const std::string& n) { return ":n" + n + "!u@h TOPIC #x" + n + " :t"; }},
        {"TOPIC by a non-member", [](const std::string& n) { return ":n" + n + "!u@h TOPIC #room :t" + n; }},
        {"channel NOTICE", [](const std::string& n) { return ":n" + n + "!u@h NOTICE #room :hi"; }},
        {"channel PRIVMSG", [](const std::string& n) { return ":n" + n + "!u@h PRIVMSG @#room :hi"; }},
        {"JOIN elsewhere", [](const std::string& n) { return ":n" + n + "!u@h JOIN :#x" + n; }},
        {"PART elsewhere", [](const std::string& n) { return ":n" + n + "!u@h PART #x" + n + " :bye"; }},
        {"own PART elsewhere", [](const std::string& n) { return ":me!u@h PART #x" + n; }},
        {"KICK elsewhere", [](const std::string& n) { return ":n" + n + "!u@h KICK #x" + n + " k" + n + " :x"; }},
        {"names elsewhere",
         [](const std::string& n) { return ":irc.test 353 me = #x" + n + " :a" + n + " @b" + n; }},
        {"server NOTICE to a channel", [](const std::string& n) { return ":irc" + n + ".test NOTICE #room :x"; }},
        {"QUIT", [](const std::string& n) { return ":n" + n + "!u@h QUIT :bye"; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        std::string flood;
        for (int i = 0; i < 10000; ++i) {
            flood += row.line(std::to_string(i)) + "\r\n";
        }
        socket.PeerSends(flood);
        recorder.Take();
        EXPECT_EQ(connection->Users()->Count(), users);
        EXPECT_EQ(connection->Channels()->Count(), channels);
        EXPECT_EQ(Members("#room"), (std::vector<std::string>{"me", "anna"}));
    }
    // Those we know still change as they say.
    EXPECT_EQ(Line(":anna!a@h CHGHOST ann new.host"), Log{});
    EXPECT_EQ(connection->Users()->Item("anna")->UserMask(), "anna!ann@new.host");
    EXPECT_EQ(Line(":anna!a@h NICK :Anna"),
              (Log{"all.UserNickChange c1 Anna 'anna'", "all.ChannelNickChange c1 #room Anna 'anna'"}));
}
