// The scripted bouncer the history tests stand on, held to the specifications it speaks:
// draft/chathistory's selectors and limits, draft/read-marker told to every device, and
// soju.im/bouncer-networks with its notifications. Its devices are raw sockets.
#include "support/ScriptedBouncer.h"
#include "support/QtLoop.h"
#include "support/RawPeer.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

using Texts = std::vector<std::string>;

constexpr std::int64_t kBase = 1704164640000; // 2024-01-02T03:04:00.000Z

std::string At(std::int64_t second)
{
    return ScriptedBouncer::Time(kBase + second * 1000);
}

// One of the user's devices, speaking raw IRC to the bouncer.
struct Device {
    explicit Device(const ScriptedBouncer& bouncer) : peer(bouncer.Port()) {}

    // The next line holding `text`, the bouncer answering meanwhile.
    std::optional<std::string> Sees(std::string_view text)
    {
        std::optional<std::string> found;
        PumpUntil([&] {
            found = peer.WaitFor(text, 20ms);
            return found.has_value();
        });
        return found;
    }
    // Logged in by SASL PLAIN with `caps` besides, bound to `network` when one is named.
    bool LogIn(const std::string& caps, const std::string& network = {},
               const std::string& password = "bouncer-secret")
    {
        peer.Send("CAP LS 302");
        peer.Send("NICK dev");
        peer.Send("USER dev 0 * :Device");
        peer.Send("CAP REQ :sasl " + caps);
        if (!Sees(" ACK ")) {
            return false;
        }
        peer.Send("AUTHENTICATE PLAIN");
        if (!Sees("AUTHENTICATE +")) {
            return false;
        }
        std::string plain;
        plain.append(1, '\0').append("tellix").append(1, '\0').append(password);
        peer.Send("AUTHENTICATE " + QByteArray::fromStdString(plain).toBase64().toStdString());
        if (!Sees(" 90")) {
            return false;
        }
        if (!network.empty()) {
            peer.Send("BOUNCER BIND " + network);
        }
        peer.Send("CAP END");
        return Sees(" 001 ").has_value();
    }
    // What the bouncer answers to `request`: the lines up to a batch's end or a failure.
    Texts Answer(const std::string& request)
    {
        const std::size_t from = peer.Received().size();
        peer.Send(request);
        PumpUntil([&] {
            return peer
                .WaitUntil(
                    [](const std::string& line) {
                        return line.find(" BATCH -") != std::string::npos ||
                               line.find(" FAIL ") != std::string::npos;
                    },
                    20ms)
                .has_value();
        });
        return Texts(peer.Received().begin() + static_cast<std::ptrdiff_t>(from), peer.Received().end());
    }
    // The msgids of the lines of a chathistory batch, in order; "FAIL <code>" for a failure.
    Texts Msgids(const std::string& request)
    {
        Texts ids;
        for (const std::string& line : Answer(request)) {
            if (const std::size_t fail = line.find(" FAIL "); fail != std::string::npos) {
                const std::size_t code = line.find(' ', fail + 18);
                return {"FAIL " + line.substr(fail + 18, code - fail - 18)};
            }
            const std::size_t at = line.find("msgid=");
            if (line.starts_with('@') && at != std::string::npos) {
                ids.push_back(line.substr(at + 6, line.find_first_of("; ", at) - at - 6));
            }
        }
        return ids;
    }

    RawPeer peer;
};

} // namespace

TEST(ScriptedBouncer, ChathistoryAnswersEachSelectorInTimeOrderWithinTheLimit)
{
    ScriptedBouncer::Options options;
    options.historyLimit = 4;
    ScriptedBouncer bouncer(options);
    std::vector<std::string> ids;
    for (int second = 1; second <= 6; ++second) {
        ids.push_back(bouncer.Store("bob", "#room", "line " + std::to_string(second), kBase + second * 1000));
    }
    Device device(bouncer);
    ASSERT_TRUE(device.LogIn("batch server-time message-tags draft/chathistory"));
    const auto m = [&](int second) { return ids[static_cast<std::size_t>(second - 1)]; };
    struct Row {
        std::string request;
        Texts msgids;
    };
    const std::vector<Row> rows = {
        {"CHATHISTORY LATEST #room * 3", {m(4), m(5), m(6)}},
        {"CHATHISTORY LATEST #room * 50", {m(3), m(4), m(5), m(6)}}, // the server's limit
        {"CHATHISTORY LATEST #room timestamp=" + At(4) + " 10", {m(5), m(6)}},
        {"CHATHISTORY LATEST #ROOM msgid=" + m(1) + " 2", {m(5), m(6)}},
        {"CHATHISTORY BEFORE #room msgid=" + m(4) + " 2", {m(2), m(3)}},
        {"CHATHISTORY BEFORE #room timestamp=" + At(2) + " 10", {m(1)}},
        {"CHATHISTORY AFTER #room msgid=" + m(2) + " 2", {m(3), m(4)}},
        {"CHATHISTORY AFTER #room timestamp=" + At(5) + " 2", {m(6)}},
        {"CHATHISTORY BETWEEN #room msgid=" + m(1) + " msgid=" + m(6) + " 2", {m(2), m(3)}},
        {"CHATHISTORY BETWEEN #room msgid=" + m(6) + " timestamp=" + At(1) + " 2", {m(4), m(5)}},
        {"CHATHISTORY LATEST #nowhere * 5", {}},
        {"CHATHISTORY LATEST #room", {"FAIL NEED_MORE_PARAMS"}},
        {"CHATHISTORY AROUND #room msgid=" + m(3) + " 2", {"FAIL UNKNOWN_COMMAND"}},
        {"CHATHISTORY LATEST #room msgid=nosuch 3", {"FAIL INVALID_PARAMS"}},
        {"CHATHISTORY LATEST #room * 0", {"FAIL INVALID_PARAMS"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(device.Msgids(row.request), row.msgids) << row.request;
    }
    // Each line as it was said, in a batch naming its conversation.
    const Texts answer = device.Answer("CHATHISTORY LATEST #room * 1");
    ASSERT_EQ(answer.size(), 3U);
    EXPECT_TRUE(answer[0].ends_with(" chathistory #room")) << answer[0];
    const std::string id = answer[0].substr(answer[0].find('+') + 1,
                                            answer[0].find(' ', answer[0].find('+')) - answer[0].find('+') - 1);
    EXPECT_EQ(answer[1], "@batch=" + id + ";time=" + At(6) + ";msgid=" + m(6) +
                             " :bob!bob@upstream.test PRIVMSG #room :line 6");
    EXPECT_EQ(answer[2], ":bnc.test BATCH -" + id);
}

TEST(ScriptedBouncer, TargetsNameEachConversationWithItsLatestLineInTheRange)
{
    ScriptedBouncer bouncer;
    bouncer.Store("bob", "#room", "early", kBase + 1000);
    bouncer.Store("anna", "me", "private", kBase + 5000);
    bouncer.Store("me", "carl", "said to carl", kBase + 3000);
    bouncer.Store("bob", "#room", "later", kBase + 7000);
    bouncer.Store("bob", "#old", "long ago", kBase - 60'000);
    Device device(bouncer);
    ASSERT_TRUE(device.LogIn("batch server-time message-tags draft/chathistory"));
    Texts named;
    for (const std::string& line :
         device.Answer("CHATHISTORY TARGETS timestamp=" + At(100) + " timestamp=" + At(0) + " 10")) {
        if (const std::size_t at = line.find("CHATHISTORY TARGETS "); at != std::string::npos) {
            named.push_back(line.substr(at + 20));
        }
    }
    EXPECT_EQ(named, (Texts{"carl " + At(3), "anna " + At(5), "#room " + At(7)}));
    EXPECT_EQ(bouncer.History("carl").size(), 1U) << "a query is kept under the partner";
}

TEST(ScriptedBouncer, AReadMarkerGoesOnlyForwardAndEveryDeviceHearsIt)
{
    ScriptedBouncer bouncer;
    bouncer.Join("#room", {"bob"});
    Device phone(bouncer);
    Device laptop(bouncer);
    ASSERT_TRUE(phone.LogIn("draft/read-marker"));
    // Told with the join, before the end of its names.
    ASSERT_TRUE(phone.Sees("MARKREAD #room *"));
    ASSERT_TRUE(phone.Sees(" 366 "));
    ASSERT_TRUE(laptop.LogIn("draft/read-marker"));
    ASSERT_TRUE(laptop.Sees(" 366 "));

    phone.peer.Send("MARKREAD #room timestamp=" + At(5));
    EXPECT_TRUE(phone.Sees("MARKREAD #room timestamp=" + At(5)));
    EXPECT_TRUE(laptop.Sees("MARKREAD #room timestamp=" + At(5)));
    EXPECT_EQ(bouncer.ReadMarker("#room"), kBase + 5000);
    // Back in time: the asker hears the marker as it stands, nobody else anything.
    laptop.peer.Send("MARKREAD #room timestamp=" + At(2));
    EXPECT_TRUE(laptop.Sees("MARKREAD #room timestamp=" + At(5)));
    laptop.peer.Send("MARKREAD anna");
    EXPECT_TRUE(laptop.Sees("MARKREAD anna *"));
    laptop.peer.Send("MARKREAD #room bogus");
    EXPECT_TRUE(laptop.Sees("FAIL MARKREAD INVALID_PARAMS"));
    phone.peer.Send("PING :after");
    ASSERT_TRUE(phone.Sees("PONG"));
    for (const std::string& line : phone.peer.Received()) {
        EXPECT_EQ(line.find(At(2)), std::string::npos) << line;
    }
}

TEST(ScriptedBouncer, NetworksAreListedBoundChangedAndEveryNotifiedDeviceHearsOfIt)
{
    ScriptedBouncer bouncer;
    Device manager(bouncer);
    ASSERT_TRUE(manager.LogIn("batch soju.im/bouncer-networks soju.im/bouncer-networks-notify"));
    // Knowing of networks, it is bound to none, and hears them all at once.
    EXPECT_TRUE(manager.Sees(" 005 me ")->find("BOUNCER_NETID ") != std::string::npos);
    EXPECT_TRUE(manager.Sees("BOUNCER NETWORK 1 ")->find("name=net") != std::string::npos);
    ASSERT_TRUE(manager.Sees(" BATCH -"));

    const Texts listed = manager.Answer("BOUNCER LISTNETWORKS");
    ASSERT_EQ(listed.size(), 3U);
    EXPECT_TRUE(listed[0].ends_with(" soju.im/bouncer-networks")) << listed[0];
    EXPECT_NE(listed[1].find(" BOUNCER NETWORK 1 host=irc.upstream.test;name=net;"), std::string::npos)
        << listed[1];

    manager.peer.Send("BOUNCER ADDNETWORK name=My\\sNet;host=irc.other.test;tls=0");
    const auto added = manager.Sees("BOUNCER NETWORK 2 ");
    ASSERT_TRUE(added);
    EXPECT_NE(added->find("name=My\\sNet"), std::string::npos) << *added;
    EXPECT_NE(added->find("port=6667"), std::string::npos) << *added;
    EXPECT_TRUE(manager.Sees("BOUNCER ADDNETWORK 2"));
    EXPECT_EQ(bouncer.Network("2")->at("name"), "My Net");

    // A second device binds to it before registering.
    Device phone(bouncer);
    ASSERT_TRUE(phone.LogIn("batch soju.im/bouncer-networks soju.im/bouncer-networks-notify", "2"));
    // A name with a blank, escaped as 005 escapes it.
    EXPECT_NE(phone.Sees(" 005 me ")->find(" NETWORK=My\\x20Net BOUNCER_NETID=2 "), std::string::npos);

    struct Row {
        std::string request;
        std::string answer;   // what the asker hears
        std::string notified; // what the other device hears, empty for nothing
    };
    const std::vector<Row> rows = {
        {"BOUNCER CHANGENETWORK 2 realname=Anna", "BOUNCER CHANGENETWORK 2", "BOUNCER NETWORK 2 realname=Anna"},
        {"BOUNCER CHANGENETWORK 2 state=connected", "FAIL BOUNCER READ_ONLY_ATTRIBUTE", ""},
        {"BOUNCER CHANGENETWORK 2 colour=red", "FAIL BOUNCER UNKNOWN_ATTRIBUTE", ""},
        {"BOUNCER CHANGENETWORK 2 port=x", "FAIL BOUNCER INVALID_ATTRIBUTE", ""},
        {"BOUNCER CHANGENETWORK 9 name=x", "FAIL BOUNCER INVALID_NETID", ""},
        {"BOUNCER ADDNETWORK name=nohost", "FAIL BOUNCER NEED_ATTRIBUTE", ""},
        {"BOUNCER BIND 1", "FAIL BOUNCER REGISTRATION_IS_COMPLETED", ""},
        {"BOUNCER FROB", "FAIL BOUNCER UNKNOWN_COMMAND", ""},
    };
    for (const Row& row : rows) {
        manager.peer.Send(row.request);
        EXPECT_TRUE(manager.Sees(row.answer)) << row.request;
        if (!row.notified.empty()) {
            EXPECT_TRUE(phone.Sees(row.notified)) << row.request;
        }
    }
    bouncer.ChangeNetwork("1", "state", "disconnected");
    EXPECT_TRUE(phone.Sees("BOUNCER NETWORK 1 state=disconnected"));

    // Deleted: every notified device hears it, and the device bound to it is let go.
    manager.peer.Send("BOUNCER DELNETWORK 2");
    EXPECT_TRUE(manager.Sees("BOUNCER NETWORK 2 *"));
    EXPECT_TRUE(manager.Sees("BOUNCER DELNETWORK 2"));
    EXPECT_TRUE(phone.Sees("ERROR :Network deleted"));
    EXPECT_FALSE(bouncer.Network("2").has_value());
}

TEST(ScriptedBouncer, AWrongPasswordEndsTheConnectionAndAPlainClientGetsTheFirstNetwork)
{
    ScriptedBouncer bouncer;
    bouncer.Join("#room");
    Device wrong(bouncer);
    wrong.peer.Send("PASS tellix:not-it");
    wrong.peer.Send("NICK dev");
    wrong.peer.Send("USER dev 0 * :Device");
    EXPECT_TRUE(wrong.Sees(" 464 "));
    EXPECT_TRUE(PumpUntil([&] { return wrong.peer.WaitClosed(20ms); }));

    Device plain(bouncer);
    plain.peer.Send("PASS " + bouncer.ServerPassword());
    plain.peer.Send("NICK dev");
    plain.peer.Send("USER dev 0 * :Device");
    EXPECT_NE(plain.Sees(" 005 ")->find("NETWORK=net BOUNCER_NETID=1"), std::string::npos);
    EXPECT_TRUE(plain.Sees(":me!tellix@bnc.test JOIN #room"));
    // What it says is kept and reaches the user's other devices as the user's.
    Device other(bouncer);
    ASSERT_TRUE(other.LogIn("server-time"));
    plain.peer.Send("PRIVMSG #room :from the plain one");
    EXPECT_TRUE(other.Sees(":me!tellix@bnc.test PRIVMSG #room :from the plain one"));
    ASSERT_EQ(bouncer.History("#room").size(), 1U);
}
