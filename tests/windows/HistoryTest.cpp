// History a bouncer keeps, as the windows show it: missed lines fetched after a welcome, page by
// page, each once and in time order; hostile batches; lines played back twice; read markers
// moved on another device and told when the user looks; older lines above the oldest.
#include "util/LineTime.h"

#include "WindowsFixture.h"

#include <algorithm>
#include <cstdio>
#include <set>

using namespace tellix;
using namespace tellix::test;

namespace {

constexpr std::int64_t kBase = 1704164640000; // 2024-01-02T03:04:00.000Z

std::string At(std::int64_t second)
{
    return FormatServerTime(kBase + second * 1000);
}

// "03:04:ss" as a window stamps a line said `second` seconds after kBase, in local time.
std::string Shown(RecordingToolkit& toolkit, std::int64_t second)
{
    return toolkit.SystemClock().LongTimeAt(kBase + second * 1000);
}

// A message as the server keeps it, tags first (no "@").
std::string Said(std::int64_t second, const std::string& msgid, const std::string& from, const std::string& to,
                 const std::string& text)
{
    std::string tags = "time=" + At(second);
    if (!msgid.empty()) {
        tags += ";msgid=" + msgid;
    }
    return tags + " :" + from + "!u@h PRIVMSG " + to + " :" + text;
}

struct History : WindowsFixture {
    // Welcomed by a bouncer that keeps history (pages of `limit`), in #room (window 2).
    void Bouncer(const std::string& caps = "batch server-time message-tags draft/chathistory draft/read-marker",
                 std::int32_t limit = 3)
    {
        connection->InitialNick("me");
        connection->Connect("bnc.test", 6667);
        socket.PeerConnects();
        Welcome(caps, limit);
        Receive(":me!u@h JOIN :#room");
        ASSERT_EQ(childs.Count(), 2);
    }
    void Welcome(const std::string& caps, std::int32_t limit)
    {
        Receive(":bnc.test CAP * LS :" + caps);
        Receive(":bnc.test CAP * ACK :" + caps);
        Receive(":bnc.test 001 me :Welcome");
        Receive(":bnc.test 005 me NETWORK=Net CHATHISTORY=" + std::to_string(limit) + " :are supported");
        Receive(":bnc.test 422 me :MOTD File is missing");
    }
    // A batch of history for `target`.
    void Page(const std::string& target, const Texts& lines)
    {
        const std::string id = "h" + std::to_string(++batches_);
        Receive(":bnc.test BATCH +" + id + " chathistory " + target);
        for (const std::string& line : lines) {
            Receive("@batch=" + id + ";" + line);
        }
        Receive(":bnc.test BATCH -" + id);
    }
    // The history requests sent since the last call; nothing paced is waited for.
    Texts Asked()
    {
        Texts asked;
        for (const std::string& line : Sent(0)) {
            if (line.starts_with("CHATHISTORY") || line.starts_with("MARKREAD")) {
                asked.push_back(line);
            }
        }
        return asked;
    }
    // The window's lines with their stamps, since the last call.
    Texts Stamped(std::int32_t index)
    {
        const Texts lines = View(index).Lines();
        std::size_t& seen = stamped_[index];
        Texts fresh(lines.begin() + static_cast<std::ptrdiff_t>(std::min(seen, lines.size())), lines.end());
        seen = lines.size();
        return fresh;
    }
    std::string Line(std::int64_t second, const std::string& text)
    {
        return "[" + Shown(toolkit, second) + "] " + text;
    }

private:
    std::int32_t batches_ = 0;
    std::map<std::int32_t, std::size_t> stamped_;
};

// A client of its own for one row of a table, connected to the bouncer and not yet welcomed.
struct RowClient {
    RecordingToolkit toolkit;
    RecordingSocketFactory sockets;
    Application app{toolkit, sockets};
    std::shared_ptr<IRCConnection> connection = app.Connections().Item(1);
    RecordingSocket& socket = *sockets.created.back();

    RowClient()
    {
        connection->InitialNick("me");
        connection->Connect("bnc.test", 6667);
        socket.PeerConnects();
    }
    void Receive(const std::string& line) { socket.PeerSends(line + "\r\n"); }
};

} // namespace

TEST_F(History, AFirstWelcomeShowsTheLatestPageOfEachChannelJoined)
{
    Bouncer();
    EXPECT_EQ(Asked(), (Texts{"CHATHISTORY LATEST #room * 3"}));
    Stamped(2);
    Page("#room", {Said(1, "a", "bob", "#room", "one"), Said(2, "b", "carl", "#room", "two"),
                   Said(3, "c", "bob", "#room", "three")});
    EXPECT_EQ(Stamped(2), (Texts{Line(1, "<bob> one"), Line(2, "<carl> two"), Line(3, "<bob> three")}));
    // One page, with nothing to reach back to.
    EXPECT_EQ(Asked(), Texts{});
}

TEST_F(History, AfterALostLinkMissedLinesComePageByPageBackToTheNewestShownAndQueriesOpen)
{
    Bouncer();
    Asked();
    Page("#room", {});
    Receive("@time=" + At(10) + ";msgid=m10 :bob!u@h PRIVMSG #room :before the link went");
    socket.PeerCloses();
    Stamped(2);

    connection->Connect("bnc.test", 6667);
    RecordingSocket& again = *sockets.created.back();
    again.PeerConnects();
    const auto receive = [&](const std::string& line) { again.PeerSends(line + "\r\n"); };
    receive(":bnc.test CAP * LS :batch server-time message-tags draft/chathistory draft/read-marker");
    receive(":bnc.test CAP * ACK :batch server-time message-tags draft/chathistory draft/read-marker");
    receive(":bnc.test 001 me :Welcome");
    receive(":bnc.test 005 me NETWORK=Net CHATHISTORY=3 :are supported");
    toolkit.timers.Advance(0);
    again.sent.clear();
    receive(":bnc.test 422 me :MOTD File is missing");
    // Since the newest line shown, to past the client's clock.
    ASSERT_FALSE(again.sent.empty());
    const std::string targets = again.sent.back();
    EXPECT_TRUE(targets.starts_with("CHATHISTORY TARGETS timestamp=")) << targets;
    EXPECT_TRUE(targets.ends_with(" timestamp=" + At(10) + " 3\r\n")) << targets;
    receive(":me!u@h JOIN :#room");
    again.sent.clear();
    receive(":bnc.test BATCH +t draft/chathistory-targets");
    for (const char* target : {"#room", "anna", "#left", "me"}) {
        receive("@batch=t :bnc.test CHATHISTORY TARGETS " + std::string(target) + " " + At(20));
    }
    receive(":bnc.test BATCH -t");
    // A channel left and the talk with oneself are not fetched; a partner's marker comes first.
    Texts asked;
    for (const std::string& line : again.sent) {
        asked.push_back(line.substr(0, line.size() - 2));
    }
    again.sent.clear();
    EXPECT_EQ(asked, (Texts{"CHATHISTORY LATEST #room timestamp=" + At(10) + " 3", "MARKREAD anna",
                            "CHATHISTORY LATEST anna timestamp=" + At(10) + " 3"}));

    const auto page = [&](const std::string& target, const Texts& lines) {
        receive(":bnc.test BATCH +p chathistory " + target);
        for (const std::string& line : lines) {
            receive("@batch=p;" + line);
        }
        receive(":bnc.test BATCH -p");
    };
    const auto sent = [&] {
        Texts lines;
        for (const std::string& line : again.sent) {
            lines.push_back(line.substr(0, line.size() - 2));
        }
        again.sent.clear();
        return lines;
    };
    page("#room", {Said(14, "m14", "bob", "#room", "d"), Said(15, "m15", "carl", "#room", "e"),
                   Said(16, "m16", "bob", "#room", "f")});
    EXPECT_EQ(sent(), (Texts{"CHATHISTORY BEFORE #room msgid=m14 3"}));
    page("#room", {Said(11, "m11", "bob", "#room", "a"), Said(12, "m12", "carl", "#room", "b"),
                   Said(13, "m13", "bob", "#room", "c")});
    EXPECT_EQ(sent(), (Texts{"CHATHISTORY BEFORE #room msgid=m11 3"}));
    page("#room",
         {Said(9, "m9", "carl", "#room", "long before"), Said(10, "m10", "bob", "#room", "before the link went")});
    EXPECT_EQ(sent(), Texts{});
    const Texts missed = Stamped(2);
    // Once each, in time order, the line shown before the link went not again.
    ASSERT_GE(missed.size(), 6U) << ::testing::PrintToString(missed);
    EXPECT_EQ(Texts(missed.end() - 6, missed.end()),
              (Texts{Line(11, "<bob> a"), Line(12, "<carl> b"), Line(13, "<bob> c"), Line(14, "<bob> d"),
                     Line(15, "<carl> e"), Line(16, "<bob> f")}));
    const Texts all = View(2).Lines();
    EXPECT_EQ(std::count(all.begin(), all.end(), Line(10, "<bob> before the link went")), 1);

    receive(":bnc.test MARKREAD anna *");
    page("anna",
         {Said(17, "m17", "anna", "me", "are you there?"), Said(18, "m18", "me", "anna", "from my phone")});
    ASSERT_EQ(childs.Count(), 3);
    EXPECT_EQ(childs.Item(3)->Query(), connection->Users()->Item("anna"));
    EXPECT_EQ(View(3).state, WindowState::Minimized);
    EXPECT_EQ(childs.Item(3)->ActivityLevel(), Activity::Highlight);
    const Texts query = Stamped(3);
    ASSERT_GE(query.size(), 2U);
    EXPECT_EQ(Texts(query.end() - 2, query.end()),
              (Texts{Line(17, "# <anna> are you there?"), Line(18, "# <me> from my phone")}));
}

TEST_F(History, LinesSaidWhileMissedLinesComeWaitForThem)
{
    Bouncer();
    Asked();
    Stamped(2);
    // Live, while the page is on its way: shown after it, and once though the page has it too.
    Receive("@time=" + At(5) + ";msgid=x5 :bob!u@h PRIVMSG #room :live");
    Receive("@time=" + At(6) + " :carl!u@h PRIVMSG #elsewhere :not held");
    EXPECT_EQ(Stamped(2), Texts{});
    Page("#room", {Said(3, "x3", "bob", "#room", "missed"), Said(5, "x5", "bob", "#room", "live")});
    EXPECT_EQ(Stamped(2), (Texts{Line(3, "<bob> missed"), Line(5, "<bob> live")}));
}

// What a server may send instead of a page: each costs what was asked for at most, and what
// does not belong goes.
TEST_F(History, HostileBatchesShowOnlyTheConversationsOwnLinesOnceInTimeOrder)
{
    struct Row {
        const char* name;
        Texts batch;
        bool end; // the batch ends
        Texts shown;
    };
    const auto said = [](std::int64_t second, const std::string& msgid, const std::string& text) {
        return Said(second, msgid, "bob", "#room", text);
    };
    const std::vector<Row> rows = {
        {"out of order",
         {said(3, "c", "three"), said(1, "a", "one"), said(2, "b", "two")},
         true,
         {"<bob> one", "<bob> two", "<bob> three"}},
        {"one msgid twice",
         {said(1, "a", "one"), said(1, "a", "one"), said(2, "a", "one again")},
         true,
         {"<bob> one"}},
        {"other conversations",
         {said(1, "a", "one"), Said(2, "b", "bob", "#other", "elsewhere"),
          Said(3, "c", "bob", "carl", "between others"), Said(4, "d", "bob", "me", "to me")},
         true,
         {"<bob> one"}},
        {"events without event-playback",
         {"time=" + At(1) + " :bob!u@h KICK #room me :gone", "time=" + At(2) + " :bob!u@h PART #room",
          said(3, "c", "still here")},
         true,
         {"<bob> still here"}},
        {"longer than asked",
         {said(1, "a", "1"), said(2, "b", "2"), said(3, "c", "3"), said(4, "d", "4")},
         true,
         {"<bob> 1", "<bob> 2", "<bob> 3"}},
        {"never ends", {said(1, "a", "one"), said(2, "b", "two")}, false, {"<bob> one", "<bob> two"}},
        {"huge",
         Texts(100'000, said(1, "", "again and again")),
         true,
         {"<bob> again and again", "<bob> again and again", "<bob> again and again"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RowClient client;
        const auto receive = [&client](const std::string& line) { client.Receive(line); };
        for (const char* line :
             {":bnc.test CAP * LS :batch server-time message-tags draft/chathistory",
              ":bnc.test CAP * ACK :batch server-time message-tags draft/chathistory", ":bnc.test 001 me :Welcome",
              ":bnc.test 005 me CHATHISTORY=3 :are supported", ":bnc.test 422 me :none", ":me!u@h JOIN :#room",
              ":bnc.test BATCH +x chathistory #room"}) {
            receive(line);
        }
        for (const std::string& line : row.batch) {
            receive("@batch=x;" + line);
        }
        if (row.end) {
            receive(":bnc.test BATCH -x");
        } else {
            client.toolkit.timers.Advance(60'000); // the server is given up on
        }
        const auto& view = *static_cast<RecordingChildView*>(client.app.Childs()->Item(2)->Window());
        Texts shown;
        for (const std::string& line : view.Lines()) {
            if (line.find("> ") != std::string::npos) {
                shown.push_back(line.substr(line.find("] ") + 2));
            }
        }
        EXPECT_EQ(shown, row.shown);
        // Still in the channel: no line of history changed who is there.
        EXPECT_TRUE(client.connection->Channels()->Item("#room")->Joined());
        // And no request left waiting: live lines show again as they come.
        receive("@time=" + At(9) + " :bob!u@h PRIVMSG #room :live");
        EXPECT_EQ(view.Lines().back().substr(view.Lines().back().find("] ") + 2), "<bob> live");
    }
}

TEST_F(History, ARequestPlayedBackIsNotAnsweredAgain)
{
    Bouncer();
    Asked();
    Page("#room", {});
    socket.sent.clear();
    // A query page with a CTCP request in it.
    ASSERT_TRUE(connection->FetchOlder("anna", kBase + 60'000, ""));
    EXPECT_EQ(Asked(), (Texts{"CHATHISTORY BEFORE anna timestamp=" + At(60) + " 3"}));
    Page("anna", {"time=" + At(1) + " :anna!u@h PRIVMSG me :\x01VERSION\x01", Said(2, "", "anna", "me", "hi")});
    for (const std::string& line : Sent(0)) {
        EXPECT_FALSE(line.starts_with("NOTICE anna")) << line;
    }
}

// A line a window shows already is not shown again when played back: by msgid where it has
// one, otherwise by its second, sender and text, each line of the window matching once.
TEST_F(History, LinesPlayedBackAgainShowOnce)
{
    struct Row {
        const char* name;
        Texts live;        // received as said
        Texts replay;      // then played back in one batch
        std::size_t times; // how often "<bob> hi" shows in the end
    };
    const std::string hi = "time=" + At(1) + " :bob!u@h PRIVMSG #room :hi";
    const std::string hiId = "time=" + At(1) + ";msgid=m1 :bob!u@h PRIVMSG #room :hi";
    const std::vector<Row> rows = {
        {"same msgid", {hiId}, {hiId}, 1},
        {"msgid given only by the playback", {hi}, {hiId}, 1},
        {"same second, sender and text", {hi}, {hi}, 1},
        {"said twice in a second, played back twice", {hi, hi}, {hi, hi}, 2},
        {"said once, played back twice", {hi}, {hi, hi}, 2},
        {"another second", {hi}, {"time=" + At(2) + " :bob!u@h PRIVMSG #room :hi"}, 2},
        {"another sender", {hi}, {"time=" + At(1) + " :carl!u@h PRIVMSG #room :hi"}, 1},
        {"a msgid of its own in the same second",
         {hiId},
         {"time=" + At(1) + ";msgid=m2 :bob!u@h PRIVMSG #room :hi"},
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RowClient client;
        const auto receive = [&client](const std::string& line) { client.Receive(line); };
        for (const char* line : {":bnc.test CAP * LS :batch server-time message-tags",
                                 ":bnc.test CAP * ACK :batch server-time message-tags",
                                 ":bnc.test 001 me :Welcome", ":me!u@h JOIN :#room"}) {
            receive(line);
        }
        for (const std::string& line : row.live) {
            receive("@" + line);
        }
        // Played back twice: the second time adds nothing.
        for (const char* id : {"p1", "p2"}) {
            receive(":znc.in BATCH +" + std::string(id) + " znc.in/playback #room");
            for (const std::string& line : row.replay) {
                receive("@batch=" + std::string(id) + ";" + line);
            }
            receive(":znc.in BATCH -" + std::string(id));
        }
        const auto& view = *static_cast<RecordingChildView*>(client.app.Childs()->Item(2)->Window());
        const Texts lines = view.Lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.ends_with("] <bob> hi"); }),
                  static_cast<std::ptrdiff_t>(row.times));
    }
}

TEST_F(History, AMarkerMovedElsewhereClearsWhatWasReadThereAndPlaysBackNoNews)
{
    Bouncer();
    Asked();
    // Read on another device up to the second line of the page: here, nothing is unread yet.
    Receive(":bnc.test MARKREAD #room timestamp=" + At(2));
    EXPECT_EQ(View(2).markedRead, (std::vector<std::int64_t>{0}));
    Page("#room", {Said(1, "a", "bob", "#room", "read"), Said(2, "b", "bob", "#room", "read too"),
                   Said(3, "c", "bob", "#room", "new")});
    const auto room = childs.Item(2);
    EXPECT_EQ(room->ActivityLevel(), Activity::Messages);
    EXPECT_EQ(room->Unread(), 1);
    Receive("@time=" + At(4) + " :bob!u@h PRIVMSG #room :me: are you there?");
    EXPECT_EQ(room->ActivityLevel(), Activity::Highlight);
    EXPECT_EQ(View(2).told.size(), 1U);

    // Read elsewhere up to the line before the last: the marker goes under it, the news stays.
    Receive(":bnc.test MARKREAD #room timestamp=" + At(3));
    EXPECT_EQ(View(2).markedRead, (std::vector<std::int64_t>{0, 1}));
    EXPECT_EQ(room->ActivityLevel(), Activity::Highlight);
    // A marker that goes back is none.
    Receive(":bnc.test MARKREAD #room timestamp=" + At(1));
    EXPECT_EQ(View(2).markedRead.size(), 2U);
    // Read to the end elsewhere: nothing is news here, and the notification goes.
    Receive(":bnc.test MARKREAD #room timestamp=" + At(4));
    EXPECT_EQ(View(2).markedRead, (std::vector<std::int64_t>{0, 1, 0}));
    EXPECT_EQ(room->ActivityLevel(), Activity::None);
    EXPECT_EQ(room->Unread(), 0);
    EXPECT_EQ(View(2).untold, 2);
}

TEST_F(History, AWindowTheUserLooksAtTellsTheServerHowFarItIsReadOnlyForward)
{
    Bouncer();
    Asked();
    Page("#room", {Said(1, "a", "bob", "#room", "one"), Said(2, "b", "bob", "#room", "two")});
    EXPECT_EQ(Sent(0), Texts{}); // not looked at: nothing is read
    View(2).Look(true);
    EXPECT_EQ(Sent(), (Texts{"MARKREAD #room timestamp=" + At(2)}));
    // Lines coming while the user looks: told once they are in.
    Receive("@time=" + At(3) + " :bob!u@h PRIVMSG #room :three");
    Receive("@time=" + At(4) + " :bob!u@h PRIVMSG #room :four");
    toolkit.RunPosted();
    EXPECT_EQ(Sent(), (Texts{"MARKREAD #room timestamp=" + At(4)}));
    // Read further on another device: looking here tells nothing older.
    Receive(":bnc.test MARKREAD #room timestamp=" + At(9));
    Receive("@time=" + At(5) + " :bob!u@h PRIVMSG #room :five");
    toolkit.RunPosted();
    View(2).Look(false);
    View(2).Look(true);
    EXPECT_EQ(Sent(), Texts{});
    // Not looked at: nothing said.
    View(2).Look(false);
    Receive("@time=" + At(10) + " :bob!u@h PRIVMSG #room :ten");
    toolkit.RunPosted();
    EXPECT_EQ(Sent(), Texts{});
}

TEST_F(History, WithoutReadMarkersNothingIsToldAndTheMarkerStaysLocal)
{
    Bouncer("batch server-time message-tags draft/chathistory");
    Asked();
    Page("#room", {Said(1, "a", "bob", "#room", "one")});
    View(2).Look(true);
    EXPECT_EQ(Sent(), Texts{});
    Receive(":bnc.test MARKREAD #room timestamp=" + At(1)); // not asked for: still read as a marker
    EXPECT_EQ(childs.Item(2)->ActivityLevel(), Activity::None);
}

TEST_F(History, ScrollingUpFetchesOlderLinesAboveUntilTheServerHasNone)
{
    Bouncer();
    Asked();
    Page("#room", {Said(10, "m10", "bob", "#room", "ten"), Said(11, "m11", "carl", "#room", "eleven")});
    View(2).Events.WantOlder.raise();
    EXPECT_EQ(Asked(), (Texts{"CHATHISTORY BEFORE #room msgid=m10 3"}));
    View(2).Events.WantOlder.raise(); // asked already
    EXPECT_EQ(Asked(), Texts{});
    const Texts before = View(2).Lines();
    Page("#room", {Said(7, "m7", "bob", "#room", "seven"), Said(8, "m8", "carl", "#room", "eight"),
                   Said(9, "m9", "bob", "#room", "nine")});
    const Texts after = View(2).Lines();
    ASSERT_EQ(after.size(), before.size() + 3);
    EXPECT_EQ(Texts(after.begin(), after.begin() + 3),
              (Texts{Line(7, "<bob> seven"), Line(8, "<carl> eight"), Line(9, "<bob> nine")}));
    EXPECT_EQ(Texts(after.begin() + 3, after.end()), before);
    EXPECT_EQ(childs.Item(2)->ActivityLevel(), Activity::Messages) << "older lines are no news";
    View(2).Events.WantOlder.raise();
    EXPECT_EQ(Asked(), (Texts{"CHATHISTORY BEFORE #room msgid=m7 3"}));
    Page("#room", {});
    View(2).Events.WantOlder.raise();
    EXPECT_EQ(Asked(), Texts{}) << "the server has none before";
    EXPECT_EQ(View(2).prepends, (std::vector<std::size_t>{3}));
}

// A TARGETS answer naming a conversation many times, in other letter cases, or far more
// conversations than anyone has: each fetched once, a thousand at most, a few at a time.
TEST_F(History, ATargetsFloodFetchesEachConversationOnceAndNoMoreThanAThousand)
{
    app.Connections().HistorySince = [](const IRCConnection&) { return std::optional<std::int64_t>(kBase); };
    connection->InitialNick("me");
    connection->Connect("bnc.test", 6667);
    socket.PeerConnects();
    Welcome("batch server-time message-tags draft/chathistory", 3);
    Receive(":me!u@h JOIN :#room");
    Asked();
    std::string flood = ":bnc.test BATCH +t draft/chathistory-targets\r\n";
    for (int i = 0; i < 2000; ++i) {
        flood += "@batch=t :bnc.test CHATHISTORY TARGETS #room " + At(5) + "\r\n";
    }
    for (const char* nick : {"anna", "ANNA", "bob"}) {
        flood += "@batch=t :bnc.test CHATHISTORY TARGETS " + std::string(nick) + " " + At(5) + "\r\n";
    }
    for (int i = 0; i < 5000; ++i) {
        flood += "@batch=t :bnc.test CHATHISTORY TARGETS n" + std::to_string(i) + " " + At(5) + "\r\n";
    }
    flood += ":bnc.test BATCH -t\r\n";
    socket.PeerSends(flood);
    Texts asked = Asked();
    EXPECT_EQ(asked, (Texts{"CHATHISTORY LATEST #room timestamp=" + At(0) + " 3",
                            "CHATHISTORY LATEST anna timestamp=" + At(0) + " 3",
                            "CHATHISTORY LATEST bob timestamp=" + At(0) + " 3",
                            "CHATHISTORY LATEST n0 timestamp=" + At(0) + " 3"}));
    // Each answered with nothing: the next goes out, until all are through, each once.
    std::set<std::string> fetched;
    while (!asked.empty()) {
        const std::string target = asked.front().substr(19, asked.front().find(' ', 19) - 19);
        asked.erase(asked.begin());
        EXPECT_TRUE(fetched.insert(target).second) << target;
        Page(target, {});
        for (const std::string& line : Asked()) {
            asked.push_back(line);
        }
    }
    EXPECT_EQ(fetched.size(), ChatHistory::kMostTargets);
}
