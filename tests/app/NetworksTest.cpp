// The saved networks: their store and its text forms, the connect dialog's data taken over at the
// first start, and the passwords in the secret store or the settings file.
#include "app/Networks.h"
#include "app/Settings.h"
#include "support/HeldSecretStore.h"
#include "support/RecordingToolkit.h"
#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tellix::test {
namespace {

using Texts = std::vector<std::string>;

std::string& Stored(MemorySettingsStore& store, const std::string& section, const std::string& key)
{
    return store.values[{SettingsAppName(), section, key}];
}

bool Holds(const MemorySettingsStore& store, const std::string& section, const std::string& key)
{
    return store.values.contains({SettingsAppName(), section, key});
}

Network Full(std::string name)
{
    Network network;
    network.name = std::move(name);
    network.servers = {
        {"irc.example.net", 6697, true}, {"2001:db8::7", 6667, false}, {"irc2.example.net", 7000, true}};
    network.nick = "ann";
    network.altNicks = {"ann_", "ann__"};
    network.user = "annie";
    network.realName = "Ann  Example; \x02bold\x02";
    network.login = NetworkLogin::NickServ;
    network.account = "annacct";
    network.clientCertificate = "/home/ann/my certs/ann.pem";
    network.autojoin = {{"#plain", ""}, {"#keyed", "k1"}, {"&local", ""}, {"#also", "k;2"}};
    network.commands = {"/mode $nick +i", "/msg bob a;b", "/echo 1 back\\slash\\;", ";", "\\"};
    network.autoconnect = true;
    network.reconnect = false;
    return network;
}

TEST(Networks, ASavedListReadsBackTheSameInAFreshStore)
{
    MemorySettingsStore store;
    {
        Networks networks(store, nullptr);
        EXPECT_EQ(networks.Count(), 0);
        Network first = Full("Libera.Chat");
        first.password = "fake-secret-one";
        ASSERT_EQ(networks.Add(first), "");
        Network second = Full("home");
        second.login = NetworkLogin::Pass;
        second.autojoin = {};
        second.commands = {};
        ASSERT_EQ(networks.Add(second), "");
        ASSERT_EQ(networks.Add(*networks.FromPreset("quakenet")), "");
        ASSERT_EQ(networks.Move("QUAKENET", 1), "");
        ASSERT_EQ(networks.Rename("HOME", "house"), "");
        ASSERT_EQ(networks.SetPassword("house", "fake-secret-two"), "");
    }
    EXPECT_EQ(Stored(store, "Main", "Networks"), "QuakeNet Libera.Chat house");
    EXPECT_EQ(Stored(store, "Network Libera.Chat", "Servers"),
              "irc.example.net/6697/tls 2001:db8::7/6667 irc2.example.net/7000/tls");
    EXPECT_EQ(Stored(store, "Network Libera.Chat", "Autojoin"), "#plain,#keyed,&local,#also ,k1,,k;2");
    EXPECT_EQ(Stored(store, "Network Libera.Chat", "Commands"),
              "/mode $nick +i;/msg bob a\\;b;/echo 1 back\\\\slash\\\\\\;;\\;;\\\\");
    EXPECT_EQ(Stored(store, "Network Libera.Chat", "Login"), "nickserv");
    EXPECT_FALSE(Holds(store, "Network home", "Nick")) << "the old name's section goes with a rename";

    Networks again(store, nullptr);
    ASSERT_EQ(again.Count(), 3);
    Network first = Full("Libera.Chat");
    first.password = "fake-secret-one";
    EXPECT_EQ(again.Item(2), first);
    EXPECT_EQ(again.Item(3).name, "house");
    EXPECT_EQ(again.Item(3).login, NetworkLogin::Pass);
    EXPECT_EQ(again.Item(3).password, "fake-secret-two");
    EXPECT_EQ(again.Item(3).servers, Full("x").servers);
    const Network quakenet = *again.FromPreset("QuakeNet");
    EXPECT_EQ(again.Item(1), quakenet);
    EXPECT_EQ(quakenet.servers, (std::vector<ServerPlace>{{"irc.quakenet.org", 6667, false}}));
    EXPECT_EQ(quakenet.nick, "user|Tellix") << "a preset takes the connect dialog's identity";
    EXPECT_THROW(static_cast<void>(again.Item(4)), CoreError);
}

TEST(Networks, TextFormsReadBackOrSayWhyNot)
{
    struct Autojoin {
        std::string typed;
        std::vector<AutojoinChannel> channels;
        std::string problem;
    };
    const std::vector<Autojoin> autojoins = {
        {"", {}, ""},
        {"#a", {{"#a", ""}}, ""},
        {"  #a,#b   key1 ", {{"#a", "key1"}, {"#b", ""}}, ""},
        {"#a,#b ,key2", {{"#a", ""}, {"#b", "key2"}}, ""},
        {"#a,,#b", {{"#a", ""}, {"#b", ""}}, ""},
        {"tellix", {}, "a channel to join starts with #, &, + or ! and holds no control bytes"},
        {"#a\x07", {}, "a channel to join starts with #, &, + or ! and holds no control bytes"},
        {"#a k1,k2", {}, "there are more keys than channels"},
        {"#a k\x01", {}, "a channel key holds no control bytes"},
        {"#a k1 extra", {}, "autojoin is channels and their keys as /join takes them: #a,#b key1"},
    };
    for (const Autojoin& row : autojoins) {
        SCOPED_TRACE(row.typed);
        std::string problem;
        const auto channels = ParseAutojoin(row.typed, problem);
        EXPECT_EQ(problem, row.problem);
        EXPECT_EQ(channels.has_value(), row.problem.empty());
        if (channels) {
            EXPECT_EQ(*channels, row.channels);
            EXPECT_EQ(ParseAutojoin(AutojoinText(*channels), problem), channels);
        }
    }

    struct Commands {
        std::string typed;
        std::vector<std::string> lines;
    };
    const std::vector<Commands> commands = {
        {"", {}},
        {"/a; /b ;;  ", {"/a", "/b"}},
        {"/msg x a\\;b", {"/msg x a;b"}},
        {"a\\\\;b", {"a\\", "b"}},
        {"keep \\n and \\", {"keep \\n and \\"}},
    };
    for (const Commands& row : commands) {
        SCOPED_TRACE(row.typed);
        EXPECT_EQ(ReadCommands(row.typed), row.lines);
        EXPECT_EQ(ReadCommands(CommandsText(row.lines)), row.lines);
    }

    // A hand-edited file: what names no server is passed over.
    EXPECT_EQ(ReadServers(" a.example/6697/tls  b/0 c/7000/ssl d/x e/6667 /6667 f/1/tls/x g/65535 "),
              (std::vector<ServerPlace>{{"a.example", 6697, true}, {"e", 6667, false}, {"g", 65535, false}}));

    const std::string refused = "a network name holds letters, digits, \".\", \"-\" and \"_\" only (no blanks, "
                                "commas or control bytes)";
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Libera.Chat", ""},
        {"my_net-2", ""},
        {"R\xC3\xA9seau", ""},
        {"", "a network needs a name"},
        {std::string(51, 'x'), "a network name is at most 50 bytes"},
        {"two words", refused},
        {"a,b", refused},
        {"a/b", refused},
        {"tab\t", refused},
        {"nul" + std::string(1, '\0'), refused},
        {"bad\xC3", refused},
    };
    for (const auto& [name, problem] : names) {
        EXPECT_EQ(Networks::NameProblem(name), problem) << name;
    }
}

TEST(Networks, ANetworkThatCannotBeSavedChangesNothing)
{
    MemorySettingsStore store;
    Networks networks(store, nullptr);
    ASSERT_EQ(networks.Add(Full("one")), "");
    ASSERT_EQ(networks.Add(Full("two")), "");
    store.written.clear();
    struct Row {
        std::string what;
        void (*change)(Network&);
        std::string problem;
    };
    const std::vector<Row> rows = {
        {"no server", [](Network& n) { n.servers.clear(); }, "a network needs a server"},
        {"port", [](Network& n) { n.servers[1].port = 70000; }, "a port is a whole number from 1 to 65535"},
        {"host", [](Network& n) { n.servers[0].host = "a b"; },
         "a host is a name or an address, without blanks, commas, \"/\" or control bytes"},
        {"nick", [](Network& n) { n.nick = ""; }, "a network needs a nick"},
        {"alt nick", [](Network& n) { n.altNicks.push_back("x\r"); },
         "a nick is one word without commas or control bytes"},
        {"user", [](Network& n) { n.user = "a b"; }, "a user name is one word without commas or control bytes"},
        {"real name", [](Network& n) { n.realName = "a\nPRIVMSG x :y"; }, "a real name is one line"},
        {"channel",
         [](Network& n) {
             n.autojoin.push_back({"#a,#b", ""});
         },
         "a channel to join or its key holds no blanks or commas"},
        {"command", [](Network& n) { n.commands.push_back("/a\r\nQUIT"); }, "a command is one line"},
        {"taken name", [](Network& n) { n.name = "TWO"; }, "a network \"two\" exists already"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Network changed = *networks.Find("one");
        row.change(changed);
        EXPECT_EQ(networks.Update("one", changed), row.problem);
        EXPECT_EQ(*networks.Find("one"), Full("one"));
        if (row.what != "taken name") {
            changed.name = "three";
            EXPECT_EQ(networks.Add(changed), row.problem);
        }
    }
    EXPECT_EQ(networks.Count(), 2);
    EXPECT_EQ(store.written, Texts{});
    EXPECT_EQ(networks.Update("nowhere", Full("x")), "no network \"nowhere\"");
    EXPECT_EQ(networks.Remove("nowhere"), "no network \"nowhere\"");
    EXPECT_EQ(networks.Move("nowhere", 1), "no network \"nowhere\"");
}

// The connect dialog's keys become the first network at the first start that has no list, and
// stay as they were; a profile that only ever held the defaults starts with none.
TEST(Networks, TheConnectDialogsSavedDataBecomesTheFirstNetworkOnce)
{
    struct Row {
        std::string what;
        std::map<std::string, std::string> main;
        std::map<std::string, std::string> inStore;
        std::optional<Network> network; // password as it ends up
    };
    const auto made = [](std::string name, ServerPlace server, std::string nick, NetworkLogin login,
                         std::string account, std::string password) {
        Network network;
        network.name = std::move(name);
        network.servers = {std::move(server)};
        network.nick = std::move(nick);
        network.user = "Tellix_user";
        network.realName = "Tellix user";
        network.login = login;
        network.account = std::move(account);
        network.password = std::move(password);
        network.reconnect = false;
        return network;
    };
    const std::map<std::string, std::string> defaults = {
        {"Default Server", "irc.libera.chat"},
        {"Default User Nick", "user|Tellix"},
        {"Default Server Port", "6697"},
        {"Default Server TLS", "1"},
        {"Default Reconnect", "0"},
        {"Default Account Name", ""},
    };
    const std::vector<Row> rows = {
        {"a new profile", {}, {}, std::nullopt},
        {"the defaults only", defaults, {}, std::nullopt},
        {"a nick of one's own",
         {{"Default Server", "irc.libera.chat"}, {"Default User Nick", "ann"}},
         {},
         made("irc.libera.chat", {"irc.libera.chat", 6697, true}, "ann", NetworkLogin::None, "", "")},
        {"a host with its port, plain",
         {{"Default Server", "irc.example.net:7000"}, {"Default Server TLS", "0"}, {"Default Reconnect", "1"}},
         {},
         [&] {
             Network n = made("irc.example.net", {"irc.example.net", 7000, false}, "user|Tellix",
                              NetworkLogin::None, "", "");
             n.reconnect = true;
             return n;
         }()},
        {"an account, its password in the file",
         {{"Default Server", "127.0.0.1"},
          {"Default Server Port", "6667"},
          {"Default Server TLS", "0"},
          {"Default Account Name", "ann"},
          {"Default Account Password", "fake-file-secret"}},
         {},
         made("127.0.0.1", {"127.0.0.1", 6667, false}, "user|Tellix", NetworkLogin::Plain, "ann",
              "fake-file-secret")},
        {"a server password in the store",
         {{"Default Server", "[::1]:6697"}},
         {{"Default Server Password", "fake-store-secret"}},
         made("--1", {"::1", 6697, true}, "user|Tellix", NetworkLogin::Pass, "", "fake-store-secret")},
        {"an account with only a server password",
         {{"Default Server", "bnc.example"}, {"Default Account Name", "ann"}},
         {{"Default Server Password", "fake-bouncer-secret"}},
         made("bnc.example", {"bnc.example", 6697, true}, "user|Tellix", NetworkLogin::Pass, "ann",
              "fake-bouncer-secret")},
        {"both: the account's login",
         {{"Default Server", "irc.example.net"}, {"Default Account Name", "ann"}},
         {{"Default Server Password", "fake-one"}, {"Default Account Password", "fake-two"}},
         made("irc.example.net", {"irc.example.net", 6697, true}, "user|Tellix", NetworkLogin::Plain, "ann",
              "fake-two")},
    };
    for (const Row& row : rows) {
        for (const bool withStore : {false, true}) {
            if (!row.inStore.empty() && !withStore) {
                continue;
            }
            SCOPED_TRACE(row.what + (withStore ? ", a store" : ", no store"));
            MemorySettingsStore store;
            for (const auto& [key, value] : row.main) {
                Stored(store, "Main", key) = value;
            }
            const auto before = store.values;
            HeldSecretStore secrets;
            secrets.entries.insert(row.inStore.begin(), row.inStore.end());
            auto networks = std::make_unique<Networks>(store, withStore ? &secrets : nullptr);
            secrets.AnswerAll();
            if (!row.network) {
                EXPECT_EQ(networks->Count(), 0);
                EXPECT_EQ(store.written, Texts{});
                continue;
            }
            ASSERT_EQ(networks->Count(), 1);
            EXPECT_TRUE(networks->PasswordKnown(row.network->name));
            EXPECT_EQ(networks->Item(1), *row.network);
            for (const auto& [address, value] : before) {
                EXPECT_EQ(store.values[address], value) << std::get<2>(address) << " is the dialog's still";
            }
            if (withStore && !row.network->password.empty()) {
                EXPECT_EQ(secrets.entries[settings::NetworkPasswordKey(row.network->name)], row.network->password);
                EXPECT_FALSE(Holds(store, settings::NetworkSection(row.network->name), "Password"));
            }
            // Read again, as the next start does: the same network, taken over no second time.
            networks.reset();
            store.written.clear();
            secrets.entries.erase("Default Server Password");
            Networks again(store, withStore ? &secrets : nullptr);
            secrets.AnswerAll();
            ASSERT_EQ(again.Count(), 1);
            EXPECT_EQ(again.Item(1), *row.network);
            EXPECT_EQ(store.written, Texts{});
        }
    }
}

// Passwords: read from the secret store as it answers, kept there, or where none answers in the
// settings file (said once); moved with a rename, gone with a remove.
TEST(Networks, PasswordsLiveInTheSecretStoreOrWhereNoneAnswersInTheSettingsFile)
{
    MemorySettingsStore store;
    HeldSecretStore secrets;
    {
        Networks setup(store, nullptr);
        ASSERT_EQ(setup.Add(Full("one")), "");
        ASSERT_EQ(setup.Add(Full("two")), "");
    }
    secrets.entries = {{"Network one Password", "fake-secret-1"}};
    Stored(store, "Network two", "Password") = "fake-typed-into-the-file";
    Networks networks(store, &secrets);
    EXPECT_FALSE(networks.PasswordKnown("one"));
    EXPECT_TRUE(networks.PasswordKnown("two")) << "the file's is known at once";
    std::vector<std::string> ready;
    const auto record = [&ready](const Network* network) {
        ready.push_back(network != nullptr ? network->name + "=" + network->password : "gone");
    };
    networks.WhenPasswordKnown("ONE", record);
    networks.WhenPasswordKnown("two", record);
    networks.WhenPasswordKnown("nowhere", record);
    EXPECT_EQ(ready, (Texts{"two=fake-typed-into-the-file", "gone"}));
    int changes = 0;
    const Subscription counting = networks.Changed.connect([&changes] { ++changes; });
    secrets.Answer();
    EXPECT_EQ(ready, (Texts{"two=fake-typed-into-the-file", "gone", "one=fake-secret-1"}));
    EXPECT_EQ(changes, 1);
    // The running store took the file's password, and the file lets it go.
    EXPECT_EQ(secrets.entries["Network two Password"], "fake-typed-into-the-file");
    EXPECT_EQ(Stored(store, "Network two", "Password"), "");

    std::vector<std::string> told;
    const auto tell = [&told](const std::string& line) { told.push_back(line); };
    ASSERT_EQ(networks.SetPassword("one", "fake-secret-new", tell), "");
    secrets.Answer();
    EXPECT_EQ(secrets.entries["Network one Password"], "fake-secret-new");
    EXPECT_FALSE(Holds(store, "Network one", "Password"));

    secrets.running = false;
    for (const std::string secret : {"fake-secret-file-1", "fake-secret-file-2"}) {
        ASSERT_EQ(networks.SetPassword("one", secret, tell), "");
        secrets.Answer();
        EXPECT_EQ(Stored(store, "Network one", "Password"), secret);
    }
    EXPECT_EQ(told, (Texts{"*** No secret store answered: passwords are kept in the settings file, where "
                           "programs run as you can read them"}));
    EXPECT_EQ(networks.SetPassword("one", "two\nlines", tell), "a password is one line of at most 1024 bytes");
    EXPECT_EQ(networks.Find("one")->password, "fake-secret-file-2");

    secrets.running = true;
    ASSERT_EQ(networks.Rename("one", "uno"), "");
    secrets.AnswerAll();
    EXPECT_EQ(secrets.entries.count("Network one Password"), 0u);
    EXPECT_EQ(secrets.entries["Network uno Password"], "fake-secret-file-2");
    EXPECT_FALSE(Holds(store, "Network one", "Password")) << "the old section is gone, password and all";
    EXPECT_FALSE(Holds(store, "Network uno", "Password"));

    ASSERT_EQ(networks.Remove("uno"), "");
    ASSERT_EQ(networks.Remove("two"), "");
    secrets.AnswerAll();
    EXPECT_EQ(secrets.entries, (std::map<std::string, std::string>{}));
    for (const std::string& written : store.written) {
        EXPECT_EQ(written.find("fake-secret-1"), std::string::npos) << written;
        EXPECT_EQ(written.find("fake-secret-new"), std::string::npos) << written;
    }
}

// A rename or a remove while the store has not answered yet: the answer lands where the network
// is now, or nowhere.
TEST(Networks, AnAnswerForANetworkRenamedOrRemovedMeanwhileLandsWhereItIsNow)
{
    MemorySettingsStore store;
    HeldSecretStore secrets;
    {
        Networks setup(store, nullptr);
        ASSERT_EQ(setup.Add(Full("one")), "");
        ASSERT_EQ(setup.Add(Full("two")), "");
    }
    secrets.entries = {{"Network one Password", "fake-secret-1"}, {"Network two Password", "fake-secret-2"}};
    auto networks = std::make_unique<Networks>(store, &secrets);
    ASSERT_EQ(networks->Rename("one", "uno"), "");
    std::vector<std::string> ready;
    networks->WhenPasswordKnown("two", [&](const Network* network) { ready.push_back(network ? "two" : "gone"); });
    ASSERT_EQ(networks->Remove("two"), "");
    EXPECT_EQ(ready, Texts{"gone"});
    secrets.AnswerAll();
    EXPECT_EQ(networks->Find("uno")->password, "fake-secret-1");
    EXPECT_EQ(secrets.entries, (std::map<std::string, std::string>{{"Network uno Password", "fake-secret-1"}}));

    // Answers after the list is gone touch nothing.
    ASSERT_EQ(networks->SetPassword("uno", "fake-late"), "");
    networks.reset();
    secrets.AnswerAll();
}

// Any listener may change the list, or end it, while it is being told.
TEST(Networks, ListenersMayRemoveWhatTheyAreToldAboutOrEndTheList)
{
    MemorySettingsStore store;
    HeldSecretStore secrets;
    {
        Networks setup(store, nullptr);
        ASSERT_EQ(setup.Add(Full("one")), "");
        ASSERT_EQ(setup.Add(Full("two")), "");
    }
    auto networks = std::make_unique<Networks>(store, &secrets);
    std::vector<std::string> heard;
    networks->WhenPasswordKnown("one", [&](const Network* network) {
        heard.push_back(network != nullptr ? "first" : "first: gone");
        EXPECT_EQ(networks->Remove("one"), "");
    });
    networks->WhenPasswordKnown(
        "one", [&](const Network* network) { heard.push_back(network != nullptr ? "second" : "second: gone"); });
    networks->WhenPasswordKnown("two", [&](const Network*) {
        heard.push_back("ends the list");
        networks.reset();
    });
    networks->WhenPasswordKnown("two", [&](const Network*) { heard.push_back("never"); });
    const Subscription removing = networks->Changed.connect([&] {
        if (networks && networks->Find("two") != nullptr && networks->Find("one") == nullptr) {
            heard.push_back("changed");
        }
    });
    secrets.AnswerAll();
    EXPECT_EQ(heard, (Texts{"first", "changed", "second: gone", "changed", "ends the list"}));
    EXPECT_EQ(networks, nullptr);
}

} // namespace
} // namespace tellix::test
