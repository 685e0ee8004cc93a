// /network typed into the status window: each line's reply and what the settings store holds
// after it, bad input included; a password never shows.
#include "app/Networks.h"
#include "app/Settings.h"
#include "commands/CommandRun.h"
#include "windows/WindowsFixture.h"

#include <utility>

namespace tellix::test {
namespace {

struct NetworkCommands : WindowsFixture {
    NetworkCommands() { NewLines(1); }

    // "(none)" where the store holds no such key.
    std::string Stored(const std::string& section, const std::string& key)
    {
        const auto found = toolkit.settings.values.find({SettingsAppName(), section, key});
        return found == toolkit.settings.values.end() ? "(none)" : found->second;
    }
};

TEST_F(NetworkCommands, EachLineIsAnsweredAndTheStoreHoldsWhatItSays)
{
    const std::string presets =
        "Libera.Chat, OFTC, EFnet, IRCnet, Rizon, QuakeNet, Undernet, DALnet, hackint, Snoonet";
    const std::string usage = "NETWORK: list, add NAME [HOST [PORT]] [-tls], set NAME FIELD VALUE, remove NAME, "
                              "rename NAME NEW or move NAME PLACE";
    const std::string badName = "NETWORK: a network name holds letters, digits, \".\", \"-\" and \"_\" only (no "
                                "blanks, commas or control bytes)";
    const std::string idle = "; nick user|Tellix; no autojoin; autoconnect off";
    struct Row {
        std::string typed;
        Texts shown;
        // "section|key" and the value stored after the line; "(none)" for no such key.
        std::vector<std::pair<std::string, std::string>> stored;
    };
    const std::vector<Row> rows = {
        {"network",
         {"*** no saved networks; /network add NAME HOST saves one, and NAME alone one of " + presets},
         {}},
        {"network add Libera.Chat",
         {"*** added Libera.Chat: irc.libera.chat:6697 TLS" + idle},
         {{"Main|Networks", "Libera.Chat"},
          {"Network Libera.Chat|Servers", "irc.libera.chat/6697/tls"},
          {"Network Libera.Chat|Nick", "user|Tellix"}}},
        {"NETWORK ADD home 127.0.0.1 6667",
         {"*** added home: 127.0.0.1:6667" + idle},
         {{"Network home|Servers", "127.0.0.1/6667"}}},
        {"network add work irc.work.example -tls", {"*** added work: irc.work.example:6697 TLS" + idle}, {}},
        {"network add work2 [2001:db8::1]:7000",
         {"*** added work2: [2001:db8::1]:7000" + idle},
         {{"Main|Networks", "Libera.Chat home work work2"}, {"Network work2|Servers", "2001:db8::1/7000"}}},
        {"network add LIBERA.CHAT irc.example.net", {"NETWORK: a network \"Libera.Chat\" exists already"}, {}},
        {"network add nowhere",
         {"NETWORK: add nowhere HOST [PORT] [-tls]; without a host, NAME is one of " + presets},
         {}},
        {"network add bad,name irc.example.net", {badName}, {}},
        {"network add \x03"
         "4evil\x01 irc.example.net",
         {badName},
         {}},
        {"network add x irc.example.net 70000",
         {"NETWORK: the port is a whole number from 1 to 65535, given once"},
         {}},
        {"network add x irc.example.net:7000 7001",
         {"NETWORK: the port is a whole number from 1 to 65535, given once"},
         {}},
        {"network add x irc/x",
         {"NETWORK: a host is a name or an address, without blanks, commas, \"/\" or control bytes"},
         {{"Network x|Servers", "(none)"}}},
        {"network add", {usage}, {}},
        {"network set Libera.Chat nick ann", {"*** Libera.Chat: nick ann"}, {{"Network Libera.Chat|Nick", "ann"}}},
        {"network set libera.chat ALTNICKS ann_, ann__",
         {"*** Libera.Chat: alternative nicks ann_ ann__"},
         {{"Network Libera.Chat|Alternative Nicks", "ann_ ann__"}}},
        {"network set Libera.Chat nick two words",
         {"NETWORK: a nick is one word without commas or control bytes"},
         {{"Network Libera.Chat|Nick", "ann"}}},
        {"network set Libera.Chat user ann", {"*** Libera.Chat: user name ann"}, {}},
        {"network set Libera.Chat realname Ann  Example",
         {"*** Libera.Chat: real name Ann  Example"},
         {{"Network Libera.Chat|Real Name", "Ann  Example"}}},
        {"network set Libera.Chat autojoin #tellix,#secret ,fake-key",
         {"*** Libera.Chat: autojoin #tellix,#secret (with keys)"},
         {{"Network Libera.Chat|Autojoin", "#tellix,#secret ,fake-key"}}},
        {"network set Libera.Chat autojoin tellix",
         {"NETWORK: a channel to join starts with #, &, + or ! and holds no control bytes"},
         {{"Network Libera.Chat|Autojoin", "#tellix,#secret ,fake-key"}}},
        {"network set Libera.Chat commands /mode $nick +i; /msg NickServ IDENTIFY fake-cmd-secret ;/msg bob a\\;b",
         {"*** Libera.Chat: 3 commands after the welcome"},
         {{"Network Libera.Chat|Commands",
           "/mode $nick +i;/msg NickServ IDENTIFY fake-cmd-secret;/msg bob a\\;b"}}},
        {"network set Libera.Chat login PLAIN",
         {"*** Libera.Chat: login plain"},
         {{"Network Libera.Chat|Login", "plain"}}},
        {"network set Libera.Chat login sasl", {"NETWORK: login is none, plain, external, pass or nickserv"}, {}},
        {"network set Libera.Chat account ann", {"*** Libera.Chat: account ann"}, {}},
        // No secret store here: the settings file keeps it, and the status window says so once.
        {"network set Libera.Chat password fake-pass word",
         {"*** No secret store answered: passwords are kept in the settings file, where programs run as you can "
          "read them",
          "*** Libera.Chat: password set"},
         {{"Network Libera.Chat|Password", "fake-pass word"}}},
        {"network set Libera.Chat password fake-second",
         {"*** Libera.Chat: password set"},
         {{"Network Libera.Chat|Password", "fake-second"}}},
        {"network set Libera.Chat pasword fake-typo-secret",
         {"NETWORK: the fields are server, port, tls, nick, altnicks, user, realname, login, account, password, "
          "certificate, autojoin, commands, autoconnect or reconnect"},
         {}},
        {"network set nowhere password fake-third", {"NETWORK: no network \"nowhere\""}, {}},
        {"network set Libera.Chat", {usage}, {}},
        {"network set \x01x nick x", {badName}, {}},
        {"network set home server irc.home.example:7000,irc2.home.example",
         {"*** home: servers irc.home.example:7000, irc2.home.example:6667"},
         {{"Network home|Servers", "irc.home.example/7000 irc2.home.example/6667"}}},
        {"network set home server irc.home.example 6697", {"*** home: server irc.home.example:6697"}, {}},
        {"network set home tls on", {"*** home: server irc.home.example:6697 TLS"}, {}},
        {"network set home tls off",
         {"*** home: server irc.home.example:6667"},
         {{"Network home|Servers", "irc.home.example/6667"}}},
        {"network set home port 99999", {"NETWORK: the port is a whole number from 1 to 65535"}, {}},
        {"network set home port 6668", {"*** home: server irc.home.example:6668"}, {}},
        {"network set home autoconnect on", {"*** home: autoconnect on"}, {{"Network home|Autoconnect", "1"}}},
        {"network set home reconnect maybe",
         {"NETWORK: reconnect is on or off"},
         {{"Network home|Reconnect", "1"}}},
        {"network rename HOME house",
         {"*** home is now house"},
         {{"Main|Networks", "Libera.Chat house work work2"},
          {"Network home|Servers", "(none)"},
          {"Network house|Servers", "irc.home.example/6668"}}},
        {"network rename house Libera.Chat", {"NETWORK: a network \"Libera.Chat\" exists already"}, {}},
        {"network move work2 1",
         {"*** work2 is network 1 of 4"},
         {{"Main|Networks", "work2 Libera.Chat house work"}}},
        {"network move work2 99",
         {"*** work2 is network 4 of 4"},
         {{"Main|Networks", "Libera.Chat house work work2"}}},
        {"network move work2 x", {"NETWORK: a place in the list is a number from 1"}, {}},
        {"network list",
         {"*** 1. Libera.Chat: irc.libera.chat:6697 TLS; nick ann (then ann_, ann__); autojoin #tellix,#secret "
          "(with keys); autoconnect off; login plain as ann, password set; 3 commands after the welcome",
          "*** 2. house: irc.home.example:6668; nick user|Tellix; no autojoin; autoconnect on",
          "*** 3. work: irc.work.example:6697 TLS" + idle, "*** 4. work2: [2001:db8::1]:7000" + idle},
         {}},
        {"network remove HOUSE",
         {"*** house removed"},
         {{"Main|Networks", "Libera.Chat work work2"}, {"Network house|Nick", "(none)"}}},
        {"network remove house", {"NETWORK: no network \"house\""}, {}},
        {"network frobnicate fake-secret", {usage}, {}},
        {"help network",
         {"*** /NETWORK [list|add|set|remove|rename|move ...]: keeps the networks you connect to: add NAME [HOST "
          "[PORT]] [-tls], set NAME FIELD VALUE, remove NAME",
          "*** for example: /network add Libera.Chat"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        EXPECT_TRUE(app.ProcessCommand(row.typed, true, 1));
        EXPECT_EQ(NewLines(1), row.shown);
        for (const auto& [where, value] : row.stored) {
            const std::size_t bar = where.find('|');
            EXPECT_EQ(Stored(where.substr(0, bar), where.substr(bar + 1)), value) << where;
        }
    }
    EXPECT_EQ(Sent(), Texts{});
    for (const std::string& line : Lines(1)) {
        EXPECT_EQ(line.find("fake-pass"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-second"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-third"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-typo"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-secret"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-cmd"), std::string::npos) << line;
        EXPECT_EQ(line.find("fake-key"), std::string::npos) << line;
    }
    // What the list holds now is what a fresh list reads from the store.
    Networks reread(toolkit.settings, nullptr);
    ASSERT_EQ(reread.Count(), app.SavedNetworks().Count());
    for (std::int32_t i = 1; i <= reread.Count(); ++i) {
        EXPECT_EQ(reread.Item(i), app.SavedNetworks().Item(i));
    }
}

} // namespace
} // namespace tellix::test

namespace tellix::test {
namespace {

// A listener of the list (the Networks dialog, say) may change it while /network runs.
TEST_F(NetworkCommands, AListenerThatRemovesTheNetworkMeanwhileLeavesTheCommandStanding)
{
    Networks& networks = app.SavedNetworks();
    ASSERT_TRUE(app.ProcessCommand("network add other 192.0.2.2", true, 1));
    NewLines(1);
    bool armed = false;
    const Subscription removing = networks.Changed.connect([&networks, &armed] {
        if (std::exchange(armed, false)) {
            static_cast<void>(networks.Remove("doomed"));
        }
    });
    for (const std::string typed : {"network set doomed nick x", "network move doomed 1"}) {
        SCOPED_TRACE(typed);
        ASSERT_EQ(networks.Add(networks.Blank("doomed", "192.0.2.1")), "");
        NewLines(1);
        armed = true;
        EXPECT_TRUE(app.ProcessCommand(typed, true, 1));
        EXPECT_EQ(NewLines(1), Texts{});
        EXPECT_EQ(networks.Find("doomed"), nullptr);
    }
    EXPECT_EQ(networks.Count(), 1);
}

} // namespace
} // namespace tellix::test
