// The everyday commands on recording views: /HELP against the dispatch, the MODE packing,
// the ignore list's matching, the readable replies (hostile ones too) and where they go.
#include "commands/CommandRun.h"
#include "commands/ModeLines.h"
#include "model/IgnoreList.h"
#include "net/ServerLine.h"
#include "windows/ReplyTexts.h"
#include "windows/WindowsFixture.h"

#include <set>

namespace tellix::test {
namespace {

// Online as "me", #room joined in window 2 with anna and bob, window 2 the active one.
struct Everyday : WindowsFixture {
    Everyday()
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :@me anna bob");
        Receive(":irc.test 366 me #room :End of /NAMES list.");
        View(2).Events.Activate.raise();
        for (std::int32_t i = 1; i <= childs.Count(); ++i) {
            NewLines(i);
        }
        Sent();
    }
};

TEST_F(Everyday, HelpListsExactlyTheCommandsTheInterpreterDispatches)
{
    ASSERT_TRUE(app.ProcessCommand("help", true, 2));
    std::set<std::string> listed;
    for (const std::string& line : NewLines(2)) {
        ASSERT_TRUE(line.starts_with("*** /")) << line;
        listed.insert(line.substr(5, line.find_first_of(" :", 5) - 5));
    }
    std::set<std::string> known;
    for (const CommandRun::Entry& entry : CommandRun::Table()) {
        known.insert(std::string(entry.name));
    }
    EXPECT_EQ(listed, known);
    // Every one listed is dispatched: its example, typed as shown, is a form it takes.
    for (const CommandRun::Entry& entry : CommandRun::Table()) {
        if (entry.name == "EXIT") {
            continue; // ends the client
        }
        ASSERT_TRUE(entry.example.starts_with("/")) << entry.name;
        const std::string typed(entry.example.substr(1));
        EXPECT_TRUE(app.ProcessCommand(typed, true, 2)) << typed;
        EXPECT_EQ(UpperCase(typed.substr(0, typed.find(' '))), entry.name);
    }
    EXPECT_EQ(CommandRun::Find("HELPS"), nullptr);
    EXPECT_FALSE(app.ProcessCommand("helps", true, 2));
    for (std::int32_t i = 1; i <= childs.Count(); ++i) {
        NewLines(i);
    }
    // Each gives its form and an example.
    for (const std::string& name : listed) {
        ASSERT_TRUE(app.ProcessCommand("help " + name, true, 2));
        const Texts lines = NewLines(2);
        ASSERT_EQ(lines.size(), 2u) << name;
        EXPECT_TRUE(lines[0].starts_with("*** /" + name)) << lines[0];
        EXPECT_TRUE(lines[1].starts_with("*** for example: /")) << lines[1];
    }
    EXPECT_TRUE(app.ProcessCommand("help nothing", true, 2));
    EXPECT_EQ(NewLines(2), Texts{"HELP: no command \"nothing\""});
}

// /search is the core's, in every front-end: the words go to the toolkit as typed, quotes and
// all; where nothing can search, or nothing is there to search for, the window says so.
TEST_F(Everyday, SearchAsksTheToolkitWithTheWordsAsTyped)
{
    ASSERT_TRUE(app.ProcessCommand("help search", true, 2));
    EXPECT_EQ(NewLines(2),
              (Texts{"*** /SEARCH words|\"a phrase\" ...: searches the logs for lines that hold them all",
                     "*** for example: /search harbour lights"}));
    struct Row {
        std::string typed;
        bool searchable;
        std::vector<std::string> searches;
        Texts shown;
    };
    const std::vector<Row> rows = {
        {"search harbour", true, {"harbour"}, {}},
        {"SEARCH  \"quiet harbour\"  rain", true, {"\"quiet harbour\"  rain"}, {}},
        {std::string("search rain\0x", 13), true, {std::string("rain\0x", 6)}, {}},
        {"search", true, {}, {"SEARCH: nothing to search for; type words or \"a phrase\""}},
        {"search \" - *", true, {}, {"SEARCH: nothing to search for; type words or \"a phrase\""}},
        {"search harbour", false, {}, {"SEARCH: the logs cannot be searched here"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        toolkit.searchable = row.searchable;
        toolkit.searches.clear();
        EXPECT_TRUE(app.ProcessCommand(row.typed, true, 2));
        EXPECT_EQ(toolkit.searches, row.searches);
        EXPECT_EQ(NewLines(2), row.shown);
        EXPECT_EQ(Sent(), Texts{});
    }
}

TEST_F(Everyday, FormsTextsAndLinesOfEachCommand)
{
    struct Row {
        std::int32_t window;
        std::string command;
        bool handled;
        Texts shown; // in the window typed into
        Texts sent;
    };
    const std::string unknown = "Unknown command: ";
    const std::vector<Row> rows = {
        {2, "topic", true, {"*** #room has no topic"}, {}},
        {1, "topic news", true, {"TOPIC: no channel set"}, {}},
        {2, "topic big  news", true, {}, {"TOPIC #room :big  news"}},
        {2, "whois", false, {unknown + "\"whois\" [whois]"}, {}},
        {2, "whois bob", true, {}, {"WHOIS bob"}},
        {2, "mode", false, {unknown + "\"mode\" [mode]"}, {}},
        {2, "mode #room +k key", true, {}, {"MODE #room +k key"}},
        {2, "op", false, {unknown + "\"op\" [op]"}, {}},
        {1, "op bob", true, {"OP: no channel set"}, {}},
        {2, "op a b c d", true, {}, {"MODE #room +ooo a b c", "MODE #room +o d"}},
        {2, "DeVoice bob", true, {}, {"MODE #room -v bob"}},
        {2, "ban", true, {}, {"MODE #room +b"}},
        {2, "ban troll *!*@spam.example", true, {}, {"MODE #room +bb troll!*@* *!*@spam.example"}},
        {2, "invite bob", true, {}, {"INVITE bob #room"}},
        {1, "invite bob", true, {"INVITE: no channel set"}, {}},
        {1, "invite bob #else", true, {}, {"INVITE bob #else"}},
        {2, "invite a b c", false, {unknown + "\"invite\" [invite a b c]"}, {}},
        {2, "away out for lunch", true, {}, {"AWAY :out for lunch"}},
        {2, "away", true, {}, {"AWAY"}},
        {2, "names", true, {}, {"NAMES #room"}},
        {1, "names", true, {"NAMES: no channel set"}, {}},
        {1, "list #a*", true, {}, {"LIST #a*"}},
        {1, "list a b", false, {unknown + "\"list\" [list a b]"}, {}},
        {2, "ctcp bob", false, {unknown + "\"ctcp\" [ctcp bob]"}, {}},
        {2, "ctcp bob ping 123", true, {"ctcp -> bob: PING 123"}, {"PRIVMSG bob :\x01PING 123\x01"}},
        {2, "ignore a b", false, {unknown + "\"ignore\" [ignore a b]"}, {}},
        {2, "unignore nobody", true, {"UNIGNORE: not ignoring \"nobody\""}, {}},
        {2, "clear now", false, {unknown + "\"clear\" [clear now]"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("/" + row.command + " in window " + std::to_string(row.window));
        EXPECT_EQ(app.ProcessCommand(row.command, true, row.window), row.handled);
        EXPECT_EQ(NewLines(row.window), row.shown);
        EXPECT_EQ(Sent(), row.sent);
    }
    // A request too long for a line is cut where it still ends as a request, and shown as sent.
    ASSERT_TRUE(app.ProcessCommand("ctcp bob ping " + std::string(600, 'x'), true, 2));
    const Texts sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    const std::string head = "PRIVMSG bob :\x01";
    ASSERT_EQ(sent[0].size(), connection->LineRoom());
    EXPECT_EQ(sent[0].back(), '\x01');
    EXPECT_EQ(NewLines(2), Texts{"ctcp -> bob: " + sent[0].substr(head.size(), sent[0].size() - head.size() - 1)});
}

TEST_F(Everyday, CommandsThatTalkToTheServerRefuseWhileNotConnected)
{
    Receive("ERROR :Closing link");
    socket.PeerCloses();
    NewLines(1);
    NewLines(2);
    for (const std::string command : {"topic news", "whois bob", "mode #room", "op bob", "ban x", "invite bob",
                                      "away lunch", "names", "list", "ctcp bob version"}) {
        SCOPED_TRACE(command);
        std::string name = command.substr(0, command.find(' '));
        for (char& c : name) {
            c = static_cast<char>(c - 'a' + 'A');
        }
        EXPECT_TRUE(app.ProcessCommand(command, true, 2));
        EXPECT_EQ(NewLines(2), Texts{name + ": not connected"});
    }
    EXPECT_EQ(Sent(), Texts{});
}

TEST_F(Everyday, ClearEmptiesTheWindowsLogAndNoOther)
{
    app.ProcessCommand("echo 2 something", true, 2);
    app.ProcessCommand("echo 1 status line", true, 2);
    ASSERT_FALSE(View(2).Lines().empty());
    EXPECT_TRUE(app.ProcessCommand("clear", true, 2));
    EXPECT_TRUE(View(2).Lines().empty());
    EXPECT_FALSE(View(1).Lines().empty());
    app.ProcessCommand("echo 2 after", true, 2);
    EXPECT_EQ(Lines(2), Texts{"after"});
}

TEST_F(Everyday, RepliesShowInTheWindowThatAskedOrTheWindowTheyAreAbout)
{
    const auto query = childs.GetChild(connection->Users()->GetUser("bob"), false);
    const std::int32_t bobs = query->Index();
    app.ProcessCommand("whois bob", true, bobs);
    NewLines(bobs);
    struct Row {
        std::string line;
        std::int32_t window;
        Texts shown;
    };
    const std::vector<Row> rows = {
        {":irc.test 311 me bob b host.example * :Bob Real", bobs, {"*** bob is b@host.example (Bob Real)"}},
        {":irc.test 317 me bob 3725 1700000000 :seconds idle, signon time",
         bobs,
         {"*** bob has been idle 1h 2m 5s, signed on 2023-11-14 22:13:20 UTC"}},
        {":irc.test 318 me bob :End of WHOIS list", bobs, {"*** End of WHOIS for bob"}},
        {":irc.test 482 me #room :You're not channel operator", 2, {"*** #room: you are not a channel operator"}},
        {":irc.test 482 me #other :You're not channel operator",
         bobs,
         {"*** #other: you are not a channel operator"}},
        {":irc.test 301 me bob :on the phone", bobs, {"*** bob is away: on the phone"}},
        // A join's names stay server text; only asked ones read as lines.
        {":irc.test 366 me #room :End of /NAMES list.",
         1,
         {"<- Server(irc.test): [:irc.test 366 me #room :End of /NAMES list.]"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        Receive(row.line);
        EXPECT_EQ(NewLines(row.window), row.shown);
        for (std::int32_t i = 1; i <= childs.Count(); ++i) {
            EXPECT_EQ(NewLines(i), Texts{}) << "window " << i;
        }
    }
    // The window that asked has gone: the status window takes its replies.
    query->CloseWindow(true);
    Receive(":irc.test 401 me nobody :No such nick");
    EXPECT_EQ(NewLines(1), Texts{"*** nobody: no such nick or channel"});
}

TEST_F(Everyday, AskedNamesAreShownOnceAndTheListIsStillRead)
{
    app.ProcessCommand("names", true, 2);
    Receive(":irc.test 353 me = #room :@me anna bob carl");
    Receive(":irc.test 366 me #room :End of /NAMES list.");
    EXPECT_EQ(NewLines(2), (Texts{"*** Names in #room: @me anna bob carl", "*** End of names in #room"}));
    EXPECT_TRUE(connection->Channels()->Item("#room")->Users()->Item("carl"));
    Receive(":irc.test 366 me #room :End of /NAMES list.");
    EXPECT_EQ(NewLines(2), Texts{});
    // Of a channel we are not in: shown, and the model makes no channel of it.
    app.ProcessCommand("names #elsewhere", true, 2);
    Receive(":irc.test 353 me = #elsewhere :dora");
    Receive(":irc.test 366 me #elsewhere :End of /NAMES list.");
    EXPECT_EQ(NewLines(2), (Texts{"*** Names in #elsewhere: dora", "*** End of names in #elsewhere"}));
    EXPECT_FALSE(connection->Channels()->Item("#elsewhere"));
}

TEST_F(Everyday, AwayShowsInEveryCaptionOfTheConnectionUntilTheServerSaysBack)
{
    Receive(":irc.test 306 me :You have been marked as being away");
    EXPECT_EQ(View(1).caption, "1 - irc.test (me) (away) - status");
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) (away) - #room");
    Receive(":irc.test 305 me :You are no longer marked as being away");
    EXPECT_EQ(View(2).caption, "2 - irc.test (me) - #room");
}

TEST(ReadableReplies, EachNumericReadsAsALineAndHostileOnesGiveASoundLineOrNothing)
{
    struct Row {
        std::string line;
        std::string text; // empty: no line
    };
    const std::string bad = "\xEF\xBF\xBD";
    const std::vector<Row> rows = {
        {":s 221 me +iw", "*** Your user modes: +iw"},
        {":s 305 me :back", "*** You are no longer marked as away"},
        {":s 311 me bob b h * :Real Name", "*** bob is b@h (Real Name)"},
        {":s 311 me bob b h", "*** bob is b@h"},
        {":s 311 me bob", ""},
        {":s 312 me bob irc.test :The server", "*** bob is on irc.test (The server)"},
        {":s 313 me bob :is an operator", "*** bob is an IRC operator"},
        {":s 317 me bob 0 :seconds idle", "*** bob has been idle 0s"},
        {":s 317 me bob 90061 x :seconds idle", "*** bob has been idle 1d 1h 1m 1s"},
        {":s 317 me bob 99999999999999999999999 1 :idle", ""},
        {":s 317 me bob -5 1 :idle", ""},
        {":s 317 me bob 5 99999999999999 :idle", "*** bob has been idle 5s"},
        {":s 319 me bob :@#a +#b", "*** bob is in @#a +#b"},
        {":s 322 me #a 12 :a topic", "*** #a (12) a topic"},
        {":s 322 me #a 12", "*** #a (12)"},
        {":s 322 me #a 184467440737095516160 :huge", ""},
        {":s 322 me #a", ""},
        {":s 324 me #a +kl key 10", "*** Modes of #a: +kl key 10"},
        {":s 330 me bob bobby :is logged in as", "*** bob is logged in as bobby"},
        {":s 341 me bob #a", "*** Inviting bob to #a"},
        {":s 367 me #a *!*@h op 1700000000", "*** Ban on #a: *!*@h set by op 2023-11-14 22:13:20 UTC"},
        {":s 367 me #a *!*@h", "*** Ban on #a: *!*@h"},
        {":s 401 me :", ""},
        {":s 401 me bob\x01\x07 :No such nick", "*** bob" + bad + bad + ": no such nick or channel"},
        {":s 301 me bob :gone\x02"
         "bold\x02\x1b[31m",
         "*** bob is away: gone\x02"
         "bold\x02" +
             bad + "[31m"},
        {":s 671 me bob :is using a secure connection", "*** bob is using a secure connection"},
        {":s 276 me bob :has client certificate fingerprint ab12",
         "*** bob has client certificate fingerprint ab12"},
        {":s 307 me bob :is a registered nick", "*** bob is a registered nick"},
        {":s 320 me bob :is identified to services", "*** bob is identified to services"},
        {":s 378 me bob :is connecting from *@h 192.0.2.1", "*** bob is connecting from *@h 192.0.2.1"},
        {":s 379 me bob :is using modes +iw", "*** bob is using modes +iw"},
        {":s 379 me bob", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const auto reply = ReadReply(ServerLine(row.line));
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->text, row.text);
    }
    EXPECT_FALSE(ReadReply(ServerLine(":s 999 me x :unknown")).has_value());
    EXPECT_FALSE(ReadReply(ServerLine(":s 001 me :Welcome")).has_value());
}

// The answer to a CTCP request: what came between the \x01s, and the round trip when the
// connection knows the answer for one of its own pings.
TEST(ReadableReplies, CtcpAnswersReadAsAReplyAndOurPingsAsTheirRoundTrip)
{
    const std::string bad = "\xEF\xBF\xBD";
    struct Row {
        std::string reply;
        std::optional<std::int64_t> roundTripMs;
        std::string text;
    };
    const Row rows[] = {
        {"VERSION HexChat 2.16.1", std::nullopt, "*** CTCP VERSION reply from bob: HexChat 2.16.1"},
        {"version", std::nullopt, "*** CTCP VERSION reply from bob"},
        {"PING 99750", 250, "*** CTCP PING reply from bob: 0.250 s"},
        {"ping 38500", 61500, "*** CTCP PING reply from bob: 61.500 s"},
        {"PING 12", std::nullopt, "*** CTCP PING reply from bob: 12"}, // not one of ours
        {"TIME \x1b]52;c;x\x07noon", std::nullopt,
         "*** CTCP TIME reply from bob: " + bad + "]52;c;x" + bad + "noon"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CtcpReplyText("bob", row.reply, row.roundTripMs), row.text) << row.reply;
    }
}

TEST(ModeLines, NicksArePackedByTheModesALineMayCarryAndByItsLength)
{
    struct Row {
        std::vector<std::string> nicks;
        std::int32_t perLine;
        std::size_t room;
        Texts lines;
    };
    const std::vector<Row> rows = {
        {{}, 3, 510, {}},
        {{"a"}, 3, 510, {"MODE #r +o a"}},
        {{"a", "b", "c"}, 3, 510, {"MODE #r +ooo a b c"}},
        {{"a", "b", "c", "d", "e"}, 2, 510, {"MODE #r +oo a b", "MODE #r +oo c d", "MODE #r +o e"}},
        {{"a", "b"}, 0, 510, {"MODE #r +o a", "MODE #r +o b"}},
        {{"a", "", "b"}, 6, 510, {"MODE #r +oo a b"}},
        // "MODE #r +oo anna bob" is 20 bytes: with room for 19, bob starts a line of his own.
        {{"anna", "bob"}, 6, 19, {"MODE #r +o anna", "MODE #r +o bob"}},
        {{"anna", "bob"}, 6, 20, {"MODE #r +oo anna bob"}},
        // A nick too long for any line still goes, alone.
        {{std::string(40, 'x')}, 6, 10, {"MODE #r +o " + std::string(40, 'x')}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PackModeLines("#r", '+', 'o', row.nicks, row.perLine, row.room), row.lines)
            << row.nicks.size() << " nicks, " << row.perLine << " a line";
    }
    EXPECT_EQ(BanMaskOf("troll"), "troll!*@*");
    EXPECT_EQ(BanMaskOf("*!*@host"), "*!*@host");
    EXPECT_EQ(BanMaskOf("troll!u@h"), "troll!u@h");
}

TEST(Ignoring, MasksMatchSendersInAnyCaseAndOnlyThem)
{
    IgnoreList list;
    ASSERT_TRUE(list.Add("Troll"));
    ASSERT_TRUE(list.Add("*!spam@*"));
    ASSERT_TRUE(list.Add("*!*@*.bad.example"));
    ASSERT_TRUE(list.Add("fl?od*!*@*"));
    EXPECT_FALSE(list.Add("troll!*@*")) << "held already";
    EXPECT_FALSE(list.Add("two words"));
    EXPECT_FALSE(list.Add(""));
    EXPECT_EQ(list.Masks(), (Texts{"Troll!*@*", "*!spam@*", "*!*@*.bad.example", "fl?od*!*@*"}));
    struct Row {
        std::string sender;
        bool ignored;
    };
    const std::vector<Row> rows = {
        {"troll!t@h", true},
        {"TROLL!x@y", true},
        {"trolls!t@h", false},
        {"anna!spam@host", true},
        {"anna!spammer@host", false},
        {"bob!b@a.bad.example", true},
        {"bob!b@A.BAD.EXAMPLE", true},
        {"bob!b@bad.example", false},
        {"flood!f@h", true},
        {"flxodbot!f@h", true},
        {"fld!f@h", false},
        {"troll", true},
        {"anna", false},
        {"", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(list.Matches(row.sender), row.ignored) << row.sender;
    }
    // [ ] \ are { } | in another case.
    IgnoreList brackets;
    brackets.Add("[away]");
    EXPECT_TRUE(brackets.Matches("{AWAY}!u@h"));
    // Kept as one text and read back the same.
    IgnoreList copy;
    copy.SetText(list.Text());
    EXPECT_EQ(copy.Masks(), list.Masks());
    EXPECT_EQ(list.Remove("TROLL"), "Troll!*@*");
    EXPECT_FALSE(list.Matches("troll!t@h"));
    EXPECT_TRUE(list.Matches("anna!spam@host"));
    EXPECT_EQ(list.Remove("troll"), "");
}

TEST(Ignoring, NormalisedMasks)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"bob", "bob!*@*"},     {"u@h", "*!u@h"}, {"bob!u", "bob!u@*"},
        {"bob!u@h", "bob!u@h"}, {"!@", "*!*@*"},  {"bob\r", ""},
    };
    for (const auto& [typed, normal] : rows) {
        EXPECT_EQ(IgnoreList::Normalise(typed), normal) << typed;
    }
}

TEST(Ignoring, WildcardsCostNoMoreThanTheMaskTimesTheText)
{
    // A mask built to make a backtracking matcher explode answers at once.
    const std::string mask = "*a*a*a*a*a*a*a*a*a*a*a*a*b";
    const std::string text(400, 'a');
    EXPECT_FALSE(IgnoreList::WildMatch(mask, text));
    EXPECT_TRUE(IgnoreList::WildMatch(mask, text + "b"));
}

} // namespace
} // namespace tellix::test

namespace tellix::test {
namespace {

TEST_F(Everyday, TheServersModesTokenSetsHowManyNicksAModeLineCarries)
{
    struct Row {
        std::string token;
        Texts sent; // for /op a b c d e
    };
    const std::vector<Row> rows = {
        {"MODES=2", {"MODE #room +oo a b", "MODE #room +oo c d", "MODE #room +o e"}},
        {"MODES=x", {"MODE #room +ooo a b c", "MODE #room +oo d e"}},
        {"MODES=0", {"MODE #room +ooo a b c", "MODE #room +oo d e"}},
        {"MODES=99999999999999999999", {"MODE #room +ooooo a b c d e"}},
        {"MODES", {"MODE #room +ooooo a b c d e"}},
        {"MODES=1",
         {"MODE #room +o a", "MODE #room +o b", "MODE #room +o c", "MODE #room +o d", "MODE #room +o e"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.token);
        Receive(":irc.test 005 me " + row.token + " :are supported by this server");
        Sent();
        app.ProcessCommand("op a b c d e", true, 2);
        EXPECT_EQ(Sent(), row.sent);
    }
}

} // namespace
} // namespace tellix::test
