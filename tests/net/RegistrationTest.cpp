// Registration beyond NICK and USER, played line by line at the socket: capabilities, the
// SASL login, the server password and the nicks tried when ours is refused.
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/SaslLogin.h"
#include "net/StsPolicy.h"

#include "support/EventRecorder.h"
#include "support/FakeTimers.h"
#include "support/RecordingSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace tellix;
using test::FakeTimers;
using test::Recorder;
using test::RecordingSocket;
using test::RecordingSocketFactory;

namespace {

using Lines = std::vector<std::string>;

struct Session {
    FakeTimers timers; // outlives the connection, whose timer points at it
    RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    RecordingSocket& socket = *factory.created.back();
    Recorder recorder;

    Session() { connections.SetProtocolTimers(&timers); }

    void Start(const ConnectOptions& options, const std::string& nick = "me")
    {
        recorder.Watch("c", *connection);
        connection->InitialNick(nick);
        connection->InitialUserParams("me 8 * :Me");
        connection->Options(options);
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
    }

    // What was sent since the last call, without CR LF.
    Lines Sent()
    {
        Lines lines;
        for (const std::string& line : socket.sent) {
            lines.push_back(line.substr(0, line.size() - 2));
        }
        socket.sent.clear();
        return lines;
    }

    Lines Errors()
    {
        Lines errors;
        for (const std::string& entry : recorder.log) {
            if (entry.starts_with("c.Error ")) {
                errors.push_back(entry.substr(8));
            }
        }
        return errors;
    }
};

struct Registering : testing::Test, Session {};

ConnectOptions Plain()
{
    return {};
}

ConnectOptions WithAccount(bool goOn = false)
{
    ConnectOptions options;
    options.account = "anna";
    options.accountPassword = "s3cret-pw";
    options.continueUnidentified = goOn;
    return options;
}

ConnectOptions WithCertificate()
{
    ConnectOptions options;
    options.clientCertificate = "/nonexistent/anna.pem";
    return options;
}

ConnectOptions WithServerPassword()
{
    ConnectOptions options;
    options.serverPassword = "bouncer-pw";
    return options;
}

struct Exchange {
    std::string server; // one line from the server
    Lines sent;         // what the client answers to it
};

struct Road {
    const char* name;
    ConnectOptions options;
    Lines onConnect;
    std::vector<Exchange> exchanges;
    Lines errors;
    bool connectedAtEnd;
};

const Lines kRegister{"CAP LS 302", "NICK me", "USER me 8 * :Me"};

const std::vector<Road>& Roads()
{
    static const std::vector<Road> roads{
        {"ServerWithoutCap",
         Plain(),
         kRegister,
         {{":irc.test 421 me CAP :Unknown command", {}}, {":irc.test 001 me :Welcome", {}}},
         {},
         true},
        {"MultiLineListing",
         Plain(),
         kRegister,
         {{":irc.test CAP * LS * :multi-prefix sasl=PLAIN,EXTERNAL unknown-cap", {}},
          {":irc.test CAP * LS :server-time echo-message=x", {"CAP REQ :multi-prefix server-time echo-message"}},
          {":irc.test CAP * ACK :multi-prefix server-time echo-message", {"CAP END"}},
          {":irc.test 001 me :Welcome", {}}},
         {},
         true},
        {"BouncerOffersItsOwn",
         Plain(),
         kRegister,
         {{":irc.znc.in CAP unknown-nick LS :batch server-time znc.in/batch znc.in/self-message "
           "znc.in/server-time-iso",
           {"CAP REQ :batch server-time znc.in/self-message"}},
          {":irc.znc.in CAP unknown-nick ACK :batch server-time znc.in/self-message", {"CAP END"}}},
         {},
         true},
        {"PlainTextStsWithoutAValidPortBindsNothing",
         Plain(),
         kRegister,
         {{":irc.test CAP * LS :sts=port=0,duration=300 away-notify", {"CAP REQ :away-notify"}},
          {":irc.test CAP * ACK :away-notify", {"CAP END"}}},
         {},
         true},
        {"RefusedRequest",
         Plain(),
         kRegister,
         {{":irc.test CAP * LS :away-notify", {"CAP REQ :away-notify"}},
          {":irc.test CAP * NAK :away-notify", {"CAP END"}}},
         {},
         true},
        {"NothingWanted",
         Plain(),
         kRegister,
         {{":irc.test CAP * LS :foo bar=baz", {"CAP END"}}, {":irc.test CAP * LS :multi-prefix", {}}},
         {},
         true},
        {"ServerPasswordFirst",
         WithServerPassword(),
         {"PASS bouncer-pw", "CAP LS 302", "NICK me", "USER me 8 * :Me"},
         {{":irc.test CAP * LS :", {"CAP END"}}},
         {},
         true},
        {"PlainLogin",
         WithAccount(),
         kRegister,
         {{":irc.test CAP * LS :sasl=PLAIN,EXTERNAL multi-prefix", {"CAP REQ :sasl multi-prefix"}},
          {":irc.test CAP me ACK :multi-prefix sasl", {"AUTHENTICATE PLAIN"}},
          {"AUTHENTICATE +", {"AUTHENTICATE " + SaslPlainPayload("anna", "anna", "s3cret-pw")}},
          {":irc.test 900 me me!u@h anna :You are now logged in as anna", {}},
          {":irc.test 903 me :SASL authentication successful", {"CAP END"}},
          {":irc.test 001 me :Welcome", {}}},
         {},
         true},
        {"GoAheadWithAColonAsInspircdSendsIt",
         WithAccount(),
         kRegister,
         {{":irc.test CAP * LS :sasl=PLAIN,EXTERNAL", {"CAP REQ :sasl"}},
          {":irc.test CAP me ACK :sasl", {"AUTHENTICATE PLAIN"}},
          {"AUTHENTICATE :+", {"AUTHENTICATE " + SaslPlainPayload("anna", "anna", "s3cret-pw")}},
          {":irc.test 900 me me!u@h anna :You are now logged in as anna", {}},
          {":irc.test 903 me :SASL authentication successful", {"CAP END"}}},
         {},
         true},
        {"PrefixedGoAheadWithAColon",
         WithCertificate(),
         kRegister,
         {{":irc.test CAP * LS :sasl", {"CAP REQ :sasl"}},
          {":irc.test CAP * ACK :sasl", {"AUTHENTICATE EXTERNAL"}},
          {":irc.test AUTHENTICATE :+", {"AUTHENTICATE +"}},
          {":irc.test 903 me :SASL authentication successful", {"CAP END"}}},
         {},
         true},
        {"ExternalLogin",
         WithCertificate(),
         kRegister,
         {{":irc.test CAP * LS :sasl", {"CAP REQ :sasl"}},
          {":irc.test CAP * ACK sasl", {"AUTHENTICATE EXTERNAL"}},
          {":irc.test AUTHENTICATE +", {"AUTHENTICATE +"}},
          {":irc.test 903 me :SASL authentication successful", {"CAP END"}}},
         {},
         true},
        {"FailedLoginDisconnects",
         WithAccount(),
         kRegister,
         {{":irc.test CAP * LS :sasl", {"CAP REQ :sasl"}},
          {":irc.test CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
          {"AUTHENTICATE +", {"AUTHENTICATE " + SaslPlainPayload("anna", "anna", "s3cret-pw")}},
          {":irc.test 904 me :SASL authentication failed", {}}},
         {"'SASL login as anna failed (904: SASL authentication failed); disconnecting'"},
         false},
        {"FailedLoginGoesOnWhenAsked",
         WithAccount(true),
         kRegister,
         {{":irc.test CAP * LS :sasl", {"CAP REQ :sasl"}},
          {":irc.test CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
          {":irc.test 908 me PLAIN :are available SASL mechanisms", {}},
          {":irc.test 904 me :SASL authentication failed", {"CAP END"}},
          {":irc.test 001 me :Welcome", {}}},
         {"'SASL login as anna failed (904: SASL authentication failed); going on unidentified'"},
         true},
        {"AbortedLogin",
         WithCertificate(),
         kRegister,
         {{":irc.test CAP * LS :sasl", {"CAP REQ :sasl"}},
          {":irc.test CAP * ACK :sasl", {"AUTHENTICATE EXTERNAL"}},
          {":irc.test 906 me :SASL authentication aborted", {}}},
         {"'SASL login as the client certificate failed (906: SASL authentication aborted); disconnecting'"},
         false},
        {"NoSaslOffered",
         WithAccount(),
         kRegister,
         {{":irc.test CAP * LS :multi-prefix", {"CAP REQ :multi-prefix"}},
          {":irc.test CAP * ACK :multi-prefix", {}}},
         {"'SASL login as anna failed (the server offers no SASL login); disconnecting'"},
         false},
        {"MalformedLinesChangeNothing",
         Plain(),
         kRegister,
         {{":irc.test CAP", {}},
          {":irc.test CAP *", {}},
          {":irc.test CAP * ACK", {}},
          {":irc.test CAP * NAK :", {}},
          {":irc.test CAP * BOGUS :multi-prefix", {}},
          {":irc.test CAP * LS *", {}},
          {"AUTHENTICATE", {}},
          {"AUTHENTICATE +", {}}, // no login asked for
          {":irc.test 904 me :not ours", {}},
          {"@bad\\tags;;= :irc.test CAP * LS * :  multi-prefix  ", {}},
          {":irc.test CAP * LS :chghost", {"CAP REQ :multi-prefix chghost"}},
          {":irc.test CAP * ACK :-multi-prefix chghost", {"CAP END"}}},
         {},
         true},
    };
    return roads;
}

} // namespace

TEST(Registration, EachRoadSendsItsLinesInTurn)
{
    for (const Road& road : Roads()) {
        SCOPED_TRACE(road.name);
        Session fresh;
        fresh.Start(road.options);
        EXPECT_EQ(fresh.Sent(), road.onConnect);
        for (const Exchange& exchange : road.exchanges) {
            fresh.socket.PeerSends(exchange.server + "\r\n");
            EXPECT_EQ(fresh.Sent(), exchange.sent) << exchange.server;
        }
        EXPECT_EQ(fresh.Errors(), road.errors);
        EXPECT_EQ(fresh.connection->Connected(), road.connectedAtEnd);
    }
}

TEST_F(Registering, GrantedCapabilitiesFollowAckNewAndDel)
{
    Start(Plain());
    socket.PeerSends(":irc.test CAP * LS :multi-prefix cap-notify\r\n"
                     ":irc.test CAP * ACK :multi-prefix cap-notify\r\n"
                     ":irc.test 001 me :Welcome\r\n");
    const CapNegotiation& caps = connection->Capabilities();
    EXPECT_TRUE(caps.Enabled("multi-prefix"));
    EXPECT_TRUE(caps.Enabled("cap-notify"));
    EXPECT_FALSE(caps.Enabled("away-notify"));
    Sent();

    // Offered later: asked for then, and nothing ends a talk that has ended.
    socket.PeerSends(":irc.test CAP me NEW :away-notify unknown\r\n");
    EXPECT_EQ(Sent(), (Lines{"CAP REQ :away-notify"}));
    socket.PeerSends(":irc.test CAP me ACK :away-notify\r\n");
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_TRUE(caps.Enabled("away-notify"));

    socket.PeerSends(":irc.test CAP me DEL :away-notify multi-prefix\r\n");
    EXPECT_FALSE(caps.Enabled("away-notify"));
    EXPECT_FALSE(caps.Enabled("multi-prefix"));
    EXPECT_TRUE(caps.Enabled("cap-notify"));
    // A listing nobody asked for changes nothing.
    socket.PeerSends(":irc.test CAP me LS :echo-message\r\n");
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_TRUE(Errors().empty());
}

TEST_F(Registering, ASilentServerGetsRegistrationAfterFiveSeconds)
{
    Start(Plain());
    EXPECT_EQ(Sent(), kRegister);
    timers.Advance(4999);
    EXPECT_EQ(Sent(), Lines{});
    timers.Advance(1);
    EXPECT_EQ(Sent(), (Lines{"CAP END"}));
    // A late answer starts nothing.
    socket.PeerSends(":irc.test CAP * LS :multi-prefix\r\n");
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_EQ(timers.Waiting(), 0u);

    // An answer in time: the timer goes with it.
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    Sent();
    socket.PeerSends(":irc.test CAP * LS :multi-prefix\r\n:irc.test CAP * ACK :multi-prefix\r\n");
    EXPECT_EQ(Sent(), (Lines{"CAP REQ :multi-prefix", "CAP END"}));
    timers.Advance(10000);
    EXPECT_EQ(Sent(), Lines{});

    // Closed before the answer: nothing is sent to the next connection later.
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    connection->Disconnect();
    Sent();
    timers.Advance(10000);
    EXPECT_EQ(Sent(), Lines{});
}

TEST(Registration, ALoginTheServerLeavesUnansweredFailsAfterFiveSeconds)
{
    const std::string payload = "AUTHENTICATE " + SaslPlainPayload("anna", "anna", "s3cret-pw");
    struct Row {
        const char* name;
        ConnectOptions options;
        Lines answered;       // the server's lines after the grant; then it falls silent
        std::string lastSent; // what the client sent in answer to the last of them
        Lines onTimeout;      // sent when the five seconds are up
        Lines errors;
        bool connectedAtEnd;
    };
    const Row rows[] = {
        {"SilentAfterTheMechanism",
         WithAccount(),
         {":irc.test CAP * ACK :sasl"},
         "AUTHENTICATE PLAIN",
         {"AUTHENTICATE *"},
         {"'SASL login as anna failed (the server did not answer the login); disconnecting'"},
         false},
        {"SilentAfterThePayloadGoingOn",
         WithAccount(true),
         {":irc.test CAP * ACK :sasl", "AUTHENTICATE +"},
         payload,
         {"AUTHENTICATE *", "CAP END"},
         {"'SASL login as anna failed (the server did not answer the login); going on unidentified'"},
         true},
        {"SilentAfterTheCertificate",
         WithCertificate(),
         {":irc.test CAP * ACK :sasl", "AUTHENTICATE +"},
         "AUTHENTICATE +",
         {"AUTHENTICATE *"},
         {"'SASL login as the client certificate failed (the server did not answer the login); disconnecting'"},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Session session;
        session.Start(row.options);
        session.socket.PeerSends(":irc.test CAP * LS :sasl\r\n");
        session.Sent();
        // Each answer gives the server five seconds more.
        for (const std::string& line : row.answered) {
            session.timers.Advance(4000);
            session.socket.PeerSends(line + "\r\n");
        }
        const Lines answers = session.Sent();
        ASSERT_FALSE(answers.empty());
        EXPECT_EQ(answers.back(), row.lastSent);
        session.timers.Advance(4999);
        EXPECT_EQ(session.Sent(), Lines{});
        EXPECT_EQ(session.Errors(), Lines{});
        session.timers.Advance(1);
        const Lines sent = session.Sent();
        EXPECT_EQ(Lines(sent.begin(), sent.begin() + std::min(sent.size(), row.onTimeout.size())), row.onTimeout);
        EXPECT_EQ(session.Errors(), row.errors);
        EXPECT_EQ(session.connection->Connected(), row.connectedAtEnd);
        if (row.connectedAtEnd) {
            // A late verdict changes nothing and ends no talk twice.
            session.socket.PeerSends(":irc.test 903 me :SASL authentication successful\r\n"
                                     ":irc.test 001 me :Welcome\r\n");
            EXPECT_EQ(session.Sent(), Lines{});
            EXPECT_TRUE(session.connection->Registered());
        }
        EXPECT_EQ(session.timers.Waiting(), 0u);
    }
}

TEST(Registration, AListenerMayDeleteTheConnectionOnTheTimedOutLoginLine)
{
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "going on" : "disconnecting");
        Session session;
        Subscription deleter = session.connections.Events.Error.connect(
            [&](const auto& connection, const std::string&) { connection->Delete(); });
        session.Start(WithAccount(goOn));
        session.socket.PeerSends(":irc.test CAP * LS :sasl\r\n:irc.test CAP * ACK :sasl\r\n");
        const std::weak_ptr<IRCConnection> watched = session.connection;
        session.connection.reset();
        session.Sent();
        session.timers.Advance(5000);
        // The socket went with the connection: the sanitizers watch what is touched after.
        EXPECT_TRUE(watched.expired());
        EXPECT_EQ(session.connections.Count(), 0);
        EXPECT_EQ(session.timers.Waiting(), 0u);
    }
}

TEST_F(Registering, ALoginAnsweredInTimeLeavesNoTimerBehind)
{
    Start(WithAccount());
    socket.PeerSends(":irc.test CAP * LS :sasl\r\n:irc.test CAP * ACK :sasl\r\nAUTHENTICATE +\r\n");
    Sent();
    timers.Advance(4999);
    socket.PeerSends(":irc.test 903 me :SASL authentication successful\r\n");
    EXPECT_EQ(Sent(), (Lines{"CAP END"}));
    timers.Advance(10000);
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_EQ(Errors(), Lines{});
    EXPECT_TRUE(connection->Connected());
}

TEST_F(Registering, RefusedNicksClimbTheLadderThenStop)
{
    Start(Plain());
    socket.PeerSends(":irc.test 421 me CAP :Unknown command\r\n");
    Sent();
    const Lines tried{"me_", "me1", "me2", "me3", "me4", "me5", "me6", "me7", "me8"};
    const char* const refusals[] = {"433", "432", "437"};
    for (std::size_t i = 0; i < tried.size(); ++i) {
        socket.PeerSends(std::string(":irc.test ") + refusals[i % 3] + " * x :Nickname is already in use\r\n");
        EXPECT_EQ(Sent(), (Lines{"NICK " + tried[i]}));
    }
    EXPECT_TRUE(connection->Connected());
    socket.PeerSends(":irc.test 433 * me8 :Nickname is already in use\r\n");
    EXPECT_EQ(Sent(), Lines{});
    EXPECT_EQ(Errors(), (Lines{"'No nick from me to me8 was accepted; registration stopped'"}));
    EXPECT_FALSE(connection->Connected());
}

// A nick found erroneous for its length: the ladder goes on with its tries cut to nine bytes
// (whole UTF-8 characters), and still stops after ten; a short nick found erroneous is not cut.
TEST_F(Registering, ANickTooLongForTheServerIsCutToNineBytes)
{
    struct Case {
        std::string nick;
        std::vector<std::string> refusals; // the server's answers to the tries, in order
        Lines tried;
    };
    const Case cases[] = {
        {"user|Tellix", {"432", "433", "433"}, {"NICK user|Tel_", "NICK user|Tel1", "NICK user|Tel2"}},
        {"abcdefg\xc3\xbcxyz", {"432", "433"}, {"NICK abcdefg_", "NICK abcdefg1"}},
        {"short", {"432"}, {"NICK short_"}},
        {"user|Tellix", {"433", "432"}, {"NICK user|Tellix_", "NICK user|Tel1"}},
        {"user|Tellix",
         {"432", "432", "432", "432", "432", "432", "432", "432", "432", "432"},
         {"NICK user|Tel_", "NICK user|Tel1", "NICK user|Tel2", "NICK user|Tel3", "NICK user|Tel4",
          "NICK user|Tel5", "NICK user|Tel6", "NICK user|Tel7", "NICK user|Tel8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nick + " refused as " + c.refusals.front());
        connection->Disconnect();
        Start(Plain(), c.nick);
        Sent();
        Lines sent;
        std::string refused = c.nick;
        for (const std::string& refusal : c.refusals) {
            socket.PeerSends(":irc.test " + refusal + " * " + refused + " :Erroneous nickname\r\n");
            for (const std::string& line : Sent()) {
                sent.push_back(line);
                refused = line.substr(5);
            }
        }
        EXPECT_EQ(sent, c.tried);
    }
    EXPECT_EQ(Errors().back(), "'No nick from user|Tellix to user|Tel8 was accepted; registration stopped'");
    EXPECT_FALSE(connection->Connected());
}

TEST_F(Registering, ARefusedNickOnceRegisteredOnlyShowsTheReason)
{
    Start(Plain());
    socket.PeerSends(":irc.test 433 * me :Nickname is already in use\r\n:irc.test 001 me_ :Welcome\r\n");
    EXPECT_EQ(Sent(), (Lines{"CAP LS 302", "NICK me", "USER me 8 * :Me", "NICK me_"}));
    EXPECT_EQ(connection->User()->Nick(), "me_");
    recorder.log.clear();
    socket.PeerSends(":irc.test 433 me_ bob :Nickname is already in use\r\n");
    EXPECT_EQ(Sent(), Lines{});
    ASSERT_FALSE(recorder.log.empty());
    EXPECT_EQ(recorder.log.back(), "c.MessageNotProcessed ':irc.test 433 me_ bob :Nickname is already in use'");
    EXPECT_EQ(Errors(), Lines{});
    // A new connection climbs from the start again.
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    Sent();
    socket.PeerSends(":irc.test 433 * me :Nickname is already in use\r\n");
    EXPECT_EQ(Sent(), (Lines{"NICK me_"}));
}

TEST_F(Registering, AServerPasswordWithABlankGoesWhole)
{
    ConnectOptions options;
    options.serverPassword = "user/net:pass word";
    Start(options);
    EXPECT_EQ(Sent().front(), "PASS :user/net:pass word");
}

TEST_F(Registering, ThePasswordsReachNoEventText)
{
    ConnectOptions options = WithAccount();
    options.serverPassword = "bouncer-pw";
    Start(options);
    socket.PeerSends(":irc.test CAP * LS :sasl\r\n:irc.test CAP * ACK :sasl\r\nAUTHENTICATE +\r\n"
                     ":irc.test 904 me :SASL authentication failed\r\n");
    ASSERT_FALSE(recorder.log.empty());
    const std::string payload = SaslPlainPayload("anna", "anna", "s3cret-pw");
    for (const std::string& entry : recorder.log) {
        EXPECT_EQ(entry.find("s3cret-pw"), std::string::npos) << entry;
        EXPECT_EQ(entry.find("bouncer-pw"), std::string::npos) << entry;
        EXPECT_EQ(entry.find(payload), std::string::npos) << entry;
    }
}

TEST(SaslPayload, PlainIsBase64OfTheThreePartsAndLongOnesAreCutAt400)
{
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode(std::string("\xff\x00\x80", 3)), "/wCA");
    EXPECT_EQ(SaslPlainPayload("anna", "anna", "pw"), "YW5uYQBhbm5hAHB3");

    struct Row {
        std::size_t length;
        Lines sizes; // the payload length of each AUTHENTICATE line, "+" for the closing one
    };
    const Row rows[] = {
        {0, {"+"}},
        {1, {"1"}},
        {399, {"399"}},
        {400, {"400", "+"}},
        {401, {"400", "1"}},
        {800, {"400", "400", "+"}},
        {1000, {"400", "400", "200"}},
    };
    for (const Row& row : rows) {
        const std::string payload(row.length, 'A');
        Lines sizes;
        std::string joined;
        for (const std::string& line : AuthenticateLines(payload)) {
            ASSERT_TRUE(line.starts_with("AUTHENTICATE ")) << line;
            const std::string part = line.substr(13);
            sizes.push_back(part == "+" ? "+" : std::to_string(part.size()));
            if (part != "+") {
                joined += part;
            }
        }
        EXPECT_EQ(sizes, row.sizes) << row.length;
        EXPECT_EQ(joined, payload) << row.length;
    }
}

TEST_F(Registering, ALongLoginIsSentIn400ByteLines)
{
    ConnectOptions options = WithAccount();
    options.accountPassword = std::string(296, 'p'); // 4 + 1 + 4 + 1 + 296 bytes: 408 in base64
    Start(options);
    socket.PeerSends(":irc.test CAP * LS :sasl\r\n:irc.test CAP * ACK :sasl\r\n");
    Sent();
    socket.PeerSends("AUTHENTICATE +\r\n");
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), 13u + 400u);
    EXPECT_EQ(sent[1].size(), 13u + 8u);
    EXPECT_EQ(sent[0].substr(13) + sent[1].substr(13), SaslPlainPayload("anna", "anna", options.accountPassword));
}

// A plain-text server asking for TLS: not a word more there. With nobody to take it up the
// connection goes over TLS itself, leaving the login behind; a listener may delete it instead.
TEST(StrictTransportRegistering, AServerAskingForTlsInPlainTextIsLeftForItsPort)
{
    for (const bool hostile : {false, true}) {
        SCOPED_TRACE(hostile ? "deleted by a listener" : "nobody listens");
        Session session;
        const Subscription deletes = session.connections.Events.TlsUpgrade.connect(
            [hostile](const auto& connection, const std::string&, std::int32_t) {
                if (hostile) {
                    connection->Delete();
                }
            });
        session.Start(WithAccount());
        session.Sent();
        const int connects = session.socket.connectCalls;
        session.socket.PeerSends(":irc.test CAP * LS * :multi-prefix sts=port=6697\r\n:irc.test 001 me :Hi\r\n");
        EXPECT_EQ(session.Sent(), Lines{});
        // Raised through the collection first: a connection deleted there raises no more.
        EXPECT_EQ(std::ranges::count(session.recorder.log, "c.TlsUpgrade 'irc.test' 6697"), hostile ? 0 : 1);
        EXPECT_EQ(std::ranges::count(session.recorder.log, "c.ServerChange 'irc.test'"), 0)
            << "the welcome after it";
        if (hostile) {
            EXPECT_EQ(session.socket.connectCalls, connects);
            continue;
        }
        EXPECT_EQ(session.socket.connectCalls, connects + 1);
        EXPECT_EQ(session.socket.port, 6697);
        EXPECT_TRUE(session.socket.Tls().enabled);
        EXPECT_EQ(session.connection->Options().accountPassword, "");
    }
}

// Over TLS the policy is kept for the host and port, heard again in a capability added later,
// and counted once more from the moment the link ends.
TEST_F(Registering, APolicyHeardOverTlsIsKeptAndCountedAgainAsTheLinkEnds)
{
    std::map<std::string, std::string> file;
    std::int64_t now = 100;
    StsPolicy policy({[&](const std::string& host) { return file[host]; },
                      [&](const std::string& host, const std::string& value) { file[host] = value; }},
                     [&] { return now; });
    connections.SetStrictTransport(&policy);
    ConnectOptions tls;
    tls.tls = true;
    Start(tls);
    socket.PeerSends(":irc.test CAP * LS :sts=duration=50,port=1 multi-prefix\r\n");
    EXPECT_EQ(file["irc.test"], "6667 150");
    EXPECT_EQ(Sent().back(), "CAP REQ :multi-prefix");
    now = 130;
    socket.PeerSends(":irc.test CAP me NEW :sts=duration=50\r\n");
    EXPECT_EQ(file["irc.test"], "6667 180");
    now = 200;
    socket.PeerCloses();
    EXPECT_EQ(file["irc.test"], "6667 250");
    connections.SetStrictTransport(nullptr);
}
