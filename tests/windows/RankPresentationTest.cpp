// A channel window's ranked nick list and its mode lines, from recorded server lines.
#include "WindowsFixture.h"

#include "model/NickRanks.h"

namespace tellix::test {
namespace {

using Ranking = WindowsFixture;

TEST(NickRanks, CaseMappingsFoldAsTheServerSays)
{
    struct Row {
        std::string a, b;
        CaseMapping mapping;
        int order; // of a against b
    };
    const std::vector<Row> rows = {
        {"Anna", "anna", CaseMapping::Ascii, -1}, // equal when folded: still a fixed order
        {"Bob", "anna", CaseMapping::Ascii, 1},
        {"bob", "ANNA", CaseMapping::Rfc1459, 1},
        {"[x]", "{x}", CaseMapping::Rfc1459, -1},
        {"[x]", "{x}", CaseMapping::Ascii, -1},
        {"a\\", "a|", CaseMapping::StrictRfc1459, -1},
        {"a~", "a^", CaseMapping::Rfc1459, 1},
        {"a~", "a|", CaseMapping::StrictRfc1459, 1},
        {"[z", "a", CaseMapping::Ascii, -1},  // '[' below the letters
        {"[z", "a", CaseMapping::Rfc1459, 1}, // '{' above them
        {"ab", "a", CaseMapping::Ascii, 1},
        {"a", "a", CaseMapping::Ascii, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.a + " " + row.b);
        const int order = CompareNicks(row.a, row.b, row.mapping);
        EXPECT_EQ((order > 0) - (order < 0), row.order);
        EXPECT_EQ(CompareNicks(row.b, row.a, row.mapping), -order);
    }
    EXPECT_EQ(ParseCaseMapping("ascii"), CaseMapping::Ascii);
    EXPECT_EQ(ParseCaseMapping("strict-rfc1459"), CaseMapping::StrictRfc1459);
    EXPECT_EQ(ParseCaseMapping("rfc7613"), CaseMapping::Rfc1459);
}

TEST(NickRanks, PrefixTablesAndModeLinesPairModesWithTheirParameters)
{
    RankTable ranks;
    EXPECT_EQ(ranks.Symbols(), "@+");
    EXPECT_FALSE(ranks.Parse("(ov)@"));
    EXPECT_FALSE(ranks.Parse("ov@+"));
    EXPECT_FALSE(ranks.Parse("(abcdefghijklmnopq)!\"#$%&'()*+,-./01"));
    EXPECT_EQ(ranks.Symbols(), "@+");
    ASSERT_TRUE(ranks.Parse("(qaohv)~&@%+"));
    std::string_view name = "@+bob";
    const std::uint32_t mask = ranks.TakePrefixes(name);
    EXPECT_EQ(name, "bob");
    EXPECT_EQ(ranks.Highest(mask), 2);
    EXPECT_EQ(ranks.Symbol(mask), '@');
    EXPECT_TRUE(ranks.IsOp(mask));
    EXPECT_FALSE(ranks.IsOp(std::uint32_t{1} << 3)); // halfop
    EXPECT_TRUE(ranks.IsOp(1));                      // owner
    EXPECT_EQ(ranks.Highest(0), 5);
    EXPECT_EQ(ranks.Symbol(0), '\0');

    ChannelModeKinds kinds;
    kinds.Parse("beI,k,l,imnpst");
    struct Row {
        std::string modes, parameters;
        std::string changes; // sign, mode, '=' parameter, each change
    };
    const std::vector<Row> rows = {
        {"+o", "bob", "+o=bob"},
        {"+ov-h", "a b c", "+o=a +v=b -h=c"},
        {"+lk-l", "10 key", "+l=10 +k=key -l="},
        {"+mb-k", "*!*@x key", "+m= +b=*!*@x -k=key"},
        {"+oo", "a", "+o=a +o="}, // short of a parameter
        {"-nt+i", "", "-n= -t= +i="},
        {"+v", "  a ", "+v=a"},
        {"+ov", "a b", "+o=a +v=b"},
        {"-o", "a", "-o=a"},
        {"+XYo", "a", "+X= +Y= +o=a"}, // unknown modes take nothing
        {"+-+-o", "a", "-o=a"},
        {"++", "a", ""},
        {"o", "a", "+o=a"}, // no sign: adding
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.modes);
        std::string changes;
        ForEachModeChange(row.modes, row.parameters, ranks, kinds, [&](const ModeChange& change) {
            if (!changes.empty()) {
                changes += ' ';
            }
            changes += change.adding ? '+' : '-';
            changes += change.mode;
            changes += '=';
            changes += change.parameter;
        });
        EXPECT_EQ(changes, row.changes);
    }
}

TEST_F(Ranking, NamesAndModeChangesRankTheListAndModeLinesAreShown)
{
    Online();
    Receive(":irc.test 005 me PREFIX=(qaohv)~&@%+ CASEMAPPING=rfc1459 CHANMODES=beI,k,l,imnpst :are supported");
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :me @Zed +bob ~[boss] %half carl @+Anna {x}");
    Receive(":irc.test 366 me #room :End of NAMES list");
    NewLines(2);
    NewLines(1);
    EXPECT_EQ(View(2).Ranked(),
              (Texts{"~[boss]", "@Anna", "@Zed", "%half", "+bob", "carl", "me", "{x}", "8 users, 3 ops"}));
    // The window keeps its entries as received; only the drawing ranks them.
    EXPECT_EQ(Nicks(2), (Texts{"me", "Zed", "bob", "[boss]", "half", "carl", "Anna", "{x}"}));

    struct Row {
        std::string received;
        Texts channelWindow;
        Texts ranked;
    };
    const std::vector<Row> rows = {
        {":Zed!z@h MODE #room +o carl",
         {"*** Zed sets mode +o carl"},
         {"~[boss]", "@Anna", "@carl", "@Zed", "%half", "+bob", "me", "{x}", "8 users, 4 ops"}},
        {":Zed!z@h MODE #room -o+v Anna me",
         {"*** Zed sets mode -o+v Anna me"},
         {"~[boss]", "@carl", "@Zed", "%half", "+Anna", "+bob", "+me", "{x}", "8 users, 3 ops"}},
        {":Zed!z@h MODE #room -v Anna",
         {"*** Zed sets mode -v Anna"},
         {"~[boss]", "@carl", "@Zed", "%half", "+bob", "+me", "Anna", "{x}", "8 users, 3 ops"}},
        {":irc.test MODE #room +bl *!*@spam 10",
         {"*** irc.test sets mode +bl *!*@spam 10"},
         {"~[boss]", "@carl", "@Zed", "%half", "+bob", "+me", "Anna", "{x}", "8 users, 3 ops"}},
        {":Zed!z@h MODE #room +v :nobody", {"*** Zed sets mode +v nobody"}, {}},
        {":Zed!z@h NICK :aaron",
         {"*** Zed changed nick to aaron"},
         {"~[boss]", "@aaron", "@carl", "%half", "+bob", "+me", "Anna", "{x}", "8 users, 3 ops"}},
        {":aaron!z@h KICK #room carl :out",
         {"*** carl was kicked from channel #room by aaron (out)"},
         {"~[boss]", "@aaron", "%half", "+bob", "+me", "Anna", "{x}", "7 users, 2 ops"}},
        // Back without a rank: the one held before the kick went with it.
        {":carl!c@h JOIN #room",
         {"*** carl (c@h) joined channel #room"},
         {"~[boss]", "@aaron", "%half", "+bob", "+me", "Anna", "carl", "{x}", "8 users, 2 ops"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.received);
        Receive(row.received);
        EXPECT_EQ(NewLines(2), row.channelWindow);
        if (!row.ranked.empty()) {
            EXPECT_EQ(View(2).Ranked(), row.ranked);
        }
    }
    // A user mode is no channel's business: server text, as before.
    NewLines(1);
    Receive(":me!u@h MODE me :+i");
    EXPECT_EQ(NewLines(2), Texts{});
    EXPECT_EQ(NewLines(1), Texts{"<- Server(irc.test): [:me!u@h MODE me :+i]"});
}

TEST_F(Ranking, WithoutPrefixTokenTheUsualRanksAndAsciiNamesAreDrawn)
{
    Online();
    Receive(":irc.test 005 me CASEMAPPING=ascii :are supported");
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :me +[v] @b {a} A [z");
    // In ascii '[' sorts before the letters; folded to '{' it would come last.
    EXPECT_EQ(View(2).Ranked(), (Texts{"@b", "+[v]", "[z", "A", "me", "{a}", "6 users, 1 op"}));
}

TEST_F(Ranking, TheLogsNickColoursFollowTheServersCaseMapping)
{
    Online();
    View(1).Events.NickChosen.raise(NickAction::Query, "bob");
    Receive(":bob!b@h PRIVMSG me :hi");
    EXPECT_EQ(View(2).logCaseMapping, CaseMapping::Rfc1459);
    // Told after the window opened: the next line with a nick follows it.
    Receive(":irc.test 005 me CASEMAPPING=strict-rfc1459 :are supported");
    Receive(":bob!b@h PRIVMSG me :again");
    EXPECT_EQ(View(2).logCaseMapping, CaseMapping::StrictRfc1459);
    Receive(":irc.test 005 me CASEMAPPING=ascii :are supported");
    Receive(":me!u@h JOIN :#room");
    Receive(":bob!b@h PRIVMSG #room :hello");
    EXPECT_EQ(View(3).logCaseMapping, CaseMapping::Ascii);
}

TEST_F(Ranking, NickActionsSendTheirCommandsAndHostileNamesSendNothing)
{
    Online();
    Receive(":me!u@h JOIN :#room");
    Receive(":irc.test 353 me = #room :@me bob carl");
    Receive(":bob!~b@bob.example JOIN :#room"); // listed already: only the host is learned
    Sent();
    struct Row {
        NickAction action;
        std::string nick;
        Texts sent;
    };
    const std::vector<Row> rows = {
        {NickAction::Whois, "bob", {"WHOIS bob"}},
        {NickAction::Op, "bob", {"MODE #room +o bob"}},
        {NickAction::Deop, "bob", {"MODE #room -o bob"}},
        {NickAction::Voice, "carl", {"MODE #room +v carl"}},
        {NickAction::Devoice, "carl", {"MODE #room -v carl"}},
        {NickAction::Ban, "bob", {"MODE #room +b *!*@bob.example"}},
        {NickAction::Ban, "carl", {"MODE #room +b carl!*@*"}}, // no host known
        {NickAction::Kick, "carl", {"KICK #room carl"}},
        {NickAction::Op, "", {}},
        {NickAction::Op, "a b", {}},
        {NickAction::Kick, "x\r\nQUIT", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nick);
        View(2).Events.NickChosen.raise(row.action, row.nick);
        EXPECT_EQ(Sent(), row.sent);
    }
    // The status window's list has no channel: only Query and Whois do anything there.
    View(1).Events.NickChosen.raise(NickAction::Op, "bob");
    EXPECT_EQ(Sent(), Texts{});
    View(1).Events.NickChosen.raise(NickAction::Query, "bob");
    ASSERT_EQ(app.Childs()->Count(), 3);
    EXPECT_FALSE(View(3).usersShown);
    EXPECT_EQ(View(3).header, "bob (~b@bob.example)");
    EXPECT_TRUE(View(2).usersShown);
    EXPECT_EQ(View(2).header, "");
}

TEST_F(Ranking, AQueryHeaderLearnsTheHostFromThePartnersLines)
{
    Online();
    Receive(":irc.test 353 me = #x :dora"); // no window, nothing known of dora yet
    View(1).Events.NickChosen.raise(NickAction::Query, "dora");
    ASSERT_EQ(app.Childs()->Count(), 2);
    EXPECT_EQ(View(2).header, "dora");
    EXPECT_FALSE(View(2).usersShown);
    Receive(":dora!d@d.example PRIVMSG me :hi");
    EXPECT_EQ(View(2).header, "dora (d@d.example)");
    Receive(":dora!d@d.example NICK :dorothy");
    EXPECT_EQ(View(2).header, "dorothy (d@d.example)");
}

TEST_F(Ranking, AQueryHeaderLearnsTheHostFromWhois)
{
    Online();
    View(1).Events.NickChosen.raise(NickAction::Query, "dora"); // known by nick alone
    ASSERT_EQ(app.Childs()->Count(), 2);
    EXPECT_EQ(View(2).header, "dora");
    Receive(":irc.test 311 me dora d ~d.example * :Dora D");
    EXPECT_EQ(View(2).header, "dora (d@~d.example)");
    EXPECT_EQ(NewLines(1).back(), "*** dora is d@~d.example (Dora D)"); // still told where asked

    // A reply with no usable user@host, or about someone unknown, changes nothing and opens
    // nothing.
    for (const char* line : {":irc.test 311 me dora x!y h * :r", ":irc.test 311 me dora x h@h * :r",
                             ":irc.test 311 me dora", ":irc.test 311 me zed z z.example * :Zed"}) {
        SCOPED_TRACE(line);
        Receive(line);
        EXPECT_EQ(View(2).header, "dora (d@~d.example)");
    }
    EXPECT_EQ(app.Childs()->Count(), 2);
    EXPECT_EQ(connection->Users()->Item("zed"), nullptr);
}

} // namespace
} // namespace tellix::test
