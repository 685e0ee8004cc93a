// NETWORK: the saved networks from the input line. A reply never shows a password, nor what
// the commands after the welcome say (they may log in), nor a name's control bytes.
#include "app/Application.h"
#include "app/Networks.h"
#include "commands/CommandRun.h"
#include "net/ServerTrust.h"
#include "util/Concat.h"

#include <algorithm>

namespace tellix {

namespace {

constexpr std::int32_t kStatusWindow = Application::kStatusWindow;

constexpr std::string_view kUsage = "NETWORK: list, add NAME [HOST [PORT]] [-tls], set NAME FIELD VALUE, "
                                    "remove NAME, rename NAME NEW or move NAME PLACE";
constexpr std::string_view kFields = "server, port, tls, nick, altnicks, user, realname, login, account, "
                                     "password, certificate, autojoin, commands, autoconnect or reconnect";

std::string Place(const ServerPlace& server)
{
    const bool v6 = server.host.find(':') != std::string::npos;
    return Concat(v6 ? "[" : "", server.host, v6 ? "]" : "", ":", server.port, server.tls ? " TLS" : "");
}

std::string ServersShown(const Network& network)
{
    std::string shown;
    for (const ServerPlace& server : network.servers) {
        AppendTo(shown, shown.empty() ? "" : ", ", Place(server));
    }
    return shown;
}

std::string AutojoinShown(const Network& network)
{
    if (network.autojoin.empty()) {
        return "no autojoin";
    }
    std::string shown = "autojoin ";
    bool keys = false;
    for (std::size_t i = 0; i < network.autojoin.size(); ++i) {
        AppendTo(shown, i == 0 ? "" : ",", network.autojoin[i].name);
        keys = keys || !network.autojoin[i].key.empty();
    }
    // Keys are the channels' passwords.
    return keys ? shown + " (with keys)" : shown;
}

std::string CommandsShown(const Network& network)
{
    const std::size_t count = network.commands.size();
    return Concat(count, count == 1 ? " command" : " commands", " after the welcome");
}

std::string Described(const Network& network, bool passwordKnown)
{
    std::string line = Concat(network.name, ": ", ServersShown(network), "; nick ", network.nick);
    if (!network.altNicks.empty()) {
        std::string alternatives;
        for (const std::string& nick : network.altNicks) {
            AppendTo(alternatives, alternatives.empty() ? "" : ", ", nick);
        }
        AppendTo(line, " (then ", alternatives, ")");
    }
    AppendTo(line, "; ", AutojoinShown(network), "; autoconnect ", network.autoconnect ? "on" : "off");
    if (network.login != NetworkLogin::None) {
        AppendTo(line, "; login ", LoginWord(network.login));
        if (!network.account.empty()) {
            AppendTo(line, " as ", network.account);
        }
        AppendTo(line, ", ",
                 !passwordKnown             ? "password not read yet"
                 : network.password.empty() ? "no password"
                                            : "password set");
    } else if (passwordKnown && !network.password.empty()) {
        AppendTo(line, "; password set");
    }
    if (!network.commands.empty()) {
        AppendTo(line, "; ", CommandsShown(network));
    }
    return line;
}

std::optional<bool> OnOff(std::string_view word)
{
    const std::string upper = UpperCase(word);
    if (upper == "ON" || upper == "YES" || upper == "TRUE" || upper == "1") {
        return true;
    }
    if (upper == "OFF" || upper == "NO" || upper == "FALSE" || upper == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<std::int32_t> Port(std::string_view text)
{
    const std::optional<std::int64_t> port = ParseWindowNumber(text);
    if (!port || *port < 1 || *port > 65535 || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*port);
}

std::string PresetNames()
{
    std::string names;
    for (const Network& preset : Networks::Presets()) {
        AppendTo(names, names.empty() ? "" : ", ", preset.name);
    }
    return names;
}

// A name as a reply may show it: one that could never be saved is not repeated.
std::string Unknown(std::string_view name)
{
    const std::string problem = Networks::NameProblem(name);
    return problem.empty() ? Concat("NETWORK: no network \"", name, "\"") : Concat("NETWORK: ", problem);
}

} // namespace

bool CommandRun::NetworkCommand()
{
    // Every form is answered here: an unknown one must not come back as an "Unknown command"
    // line that repeats what was typed, password and all.
    const std::string sub = n_ >= 1 ? UpperCase(Word(1)) : std::string("LIST");
    if (sub == "LIST" && n_ <= 1) {
        NetworkList();
    } else if (sub == "ADD" && n_ >= 2) {
        NetworkAdd();
    } else if (sub == "SET" && n_ >= 3) {
        NetworkSet();
    } else if (sub == "REMOVE" && n_ == 2) {
        Networks& networks = app_.SavedNetworks();
        const Network* network = networks.Find(Word(2));
        const std::string name = network != nullptr ? network->name : std::string();
        if (network == nullptr) {
            EchoInto(window_, Unknown(Word(2)));
        } else if (const std::string problem = networks.Remove(name); !problem.empty()) {
            EchoInto(window_, Concat("NETWORK: ", problem));
        } else {
            EchoInto(window_, Concat("*** ", name, " removed"));
        }
    } else if (sub == "RENAME" && n_ == 3) {
        Networks& networks = app_.SavedNetworks();
        const Network* network = networks.Find(Word(2));
        const std::string name = network != nullptr ? network->name : std::string();
        if (network == nullptr) {
            EchoInto(window_, Unknown(Word(2)));
        } else if (const std::string problem = networks.Rename(name, Word(3)); !problem.empty()) {
            EchoInto(window_, Concat("NETWORK: ", problem));
        } else {
            EchoInto(window_, Concat("*** ", name, " is now ", Word(3)));
        }
    } else if (sub == "MOVE" && n_ == 3) {
        Networks& networks = app_.SavedNetworks();
        const std::optional<std::int64_t> place = ParseWindowNumber(Word(3));
        if (networks.Find(Word(2)) == nullptr) {
            EchoInto(window_, Unknown(Word(2)));
        } else if (!place) {
            EchoInto(window_, "NETWORK: a place in the list is a number from 1");
        } else {
            const std::string name = networks.Find(Word(2))->name;
            networks.Move(name, static_cast<std::int32_t>(std::clamp<std::int64_t>(*place, 1, networks.Count())));
            if (const std::int32_t position = networks.Position(name); position > 0) {
                EchoInto(window_, Concat("*** ", name, " is network ", position, " of ", networks.Count()));
            }
        }
    } else {
        EchoInto(window_, kUsage);
    }
    return true;
}

void CommandRun::NetworkList()
{
    const Networks& networks = app_.SavedNetworks();
    if (networks.Count() == 0) {
        EchoInto(window_, Concat("*** no saved networks; /network add NAME HOST saves one, and NAME alone one of ",
                                 PresetNames()));
        return;
    }
    for (std::int32_t i = 1; i <= networks.Count(); ++i) {
        const tellix::Network& network = networks.Item(i);
        EchoInto(window_, Concat("*** ", i, ". ", Described(network, networks.PasswordKnown(network.name))));
    }
}

// add NAME [HOST[:PORT] [PORT]] [-tls]; NAME alone for a preset.
void CommandRun::NetworkAdd()
{
    Networks& networks = app_.SavedNetworks();
    bool tls = false;
    std::vector<std::string> words;
    for (std::int32_t i = 2; i <= n_; ++i) {
        if (Word(i) == "-tls") {
            tls = true;
        } else if (!Word(i).empty()) {
            words.push_back(Word(i));
        }
    }
    if (words.empty() || words.size() > 3) {
        EchoInto(window_, "NETWORK: add NAME [HOST [PORT]] [-tls]");
        return;
    }
    if (const std::string problem = Networks::NameProblem(words[0]); !problem.empty()) {
        EchoInto(window_, Concat("NETWORK: ", problem));
        return;
    }
    std::optional<tellix::Network> network;
    if (words.size() == 1) {
        network = networks.FromPreset(words[0]);
        if (!network) {
            EchoInto(window_, Concat("NETWORK: add ", words[0],
                                     " HOST [PORT] [-tls]; without a host, NAME is one of ", PresetNames()));
            return;
        }
    } else {
        const std::optional<ServerAddress> address = SplitServerAddress(words[1]);
        const std::optional<std::int32_t> port =
            words.size() == 3 ? Port(words[2]) : std::optional<std::int32_t>(address ? address->port : 0);
        if (!address || !HostProblem(address->host).empty()) {
            EchoInto(window_, Concat("NETWORK: ", address ? HostProblem(address->host) : "that is no host"));
            return;
        }
        if (!port || (words.size() == 3 && address->port != 0)) {
            EchoInto(window_, "NETWORK: the port is a whole number from 1 to 65535, given once");
            return;
        }
        network = networks.Blank(words[0], address->host);
        network->servers = {{address->host, *port != 0 ? *port : tls ? TlsPort : PlainPort, tls}};
    }
    if (const std::string problem = networks.Add(*network); !problem.empty()) {
        EchoInto(window_, Concat("NETWORK: ", problem));
        return;
    }
    EchoInto(window_, Concat("*** added ", Described(*network, true)));
}

// set NAME FIELD VALUE: the value is the rest of the line as typed.
void CommandRun::NetworkSet()
{
    Networks& networks = app_.SavedNetworks();
    const tellix::Network* found = networks.Find(Word(2));
    if (found == nullptr) {
        EchoInto(window_, Unknown(Word(2)));
        return;
    }
    tellix::Network network = *found;
    const std::string field = UpperCase(Word(3));
    const std::string value = Rest(4, false);
    const auto fail = [this](std::string_view problem) { EchoInto(window_, Concat("NETWORK: ", problem)); };
    std::string shown; // what the reply says the field is now
    std::string problem;
    if (field == "PASSWORD") {
        Application& app = app_;
        problem = networks.SetPassword(network.name, value,
                                       [&app](const std::string& line) { app.Echo(kStatusWindow, line); });
        if (!problem.empty()) {
            fail(problem);
        } else {
            EchoInto(window_, Concat("*** ", network.name, ": password ", value.empty() ? "removed" : "set"));
        }
        return;
    }
    if (field == "SERVER") {
        // HOST PORT, or HOST[:PORT] with more after commas; TLS stays as it was.
        const bool tls = network.servers.empty() || network.servers.front().tls;
        std::vector<std::string> items;
        for (const std::string& word : SplitQuoted(value, ",", "", "").Words) {
            for (const std::string& part : SplitQuoted(word, " ", "", "").Words) {
                if (!part.empty()) {
                    items.push_back(part);
                }
            }
        }
        std::optional<std::int32_t> port;
        if (items.size() == 2 && value.find(',') == std::string::npos && (port = Port(items[1]))) {
            items.pop_back();
        }
        if (items.empty()) {
            return fail("set NAME server HOST[:PORT][,HOST[:PORT]...]");
        }
        network.servers.clear();
        for (const std::string& item : items) {
            const std::optional<ServerAddress> address = SplitServerAddress(item);
            if (!address || (port && address->port != 0)) {
                return fail("a server is HOST or HOST:PORT, the port a whole number from 1 to 65535");
            }
            const std::int32_t chosen = port ? *port : address->port;
            network.servers.push_back({address->host, chosen != 0 ? chosen : tls ? TlsPort : PlainPort, tls});
        }
    } else if (field == "PORT") {
        const std::optional<std::int32_t> port = Port(value);
        if (!port) {
            return fail("the port is a whole number from 1 to 65535");
        }
        for (ServerPlace& server : network.servers) {
            server.port = *port;
        }
    } else if (field == "TLS") {
        const std::optional<bool> on = OnOff(value);
        if (!on) {
            return fail("tls is on or off");
        }
        for (ServerPlace& server : network.servers) {
            server.port = PortForTls(server.port, *on);
            server.tls = *on;
        }
    } else if (field == "NICK") {
        network.nick = value;
    } else if (field == "ALTNICKS") {
        const auto nicks = ParseNicks(value, problem);
        if (!nicks) {
            return fail(problem);
        }
        network.altNicks = *nicks;
        shown = "alternative nicks";
        for (const std::string& nick : *nicks) {
            AppendTo(shown, " ", nick);
        }
        if (nicks->empty()) {
            shown = "no alternative nicks";
        }
    } else if (field == "USER") {
        network.user = value;
    } else if (field == "REALNAME") {
        network.realName = value;
    } else if (field == "LOGIN") {
        const std::optional<NetworkLogin> login = ParseLogin(value);
        if (!login) {
            return fail("login is none, plain, external, pass or nickserv");
        }
        network.login = *login;
    } else if (field == "ACCOUNT") {
        network.account = value;
    } else if (field == "CERTIFICATE") {
        network.clientCertificate = value;
    } else if (field == "AUTOJOIN") {
        const auto channels = ParseAutojoin(value, problem);
        if (!channels) {
            return fail(problem);
        }
        network.autojoin = *channels;
    } else if (field == "COMMANDS") {
        network.commands = ReadCommands(value);
    } else if (field == "AUTOCONNECT" || field == "RECONNECT") {
        const std::optional<bool> on = OnOff(value);
        if (!on) {
            return fail(Concat(field == "RECONNECT" ? "reconnect" : "autoconnect", " is on or off"));
        }
        (field == "RECONNECT" ? network.reconnect : network.autoconnect) = *on;
    } else {
        return fail(Concat("the fields are ", kFields));
    }
    if (problem = networks.Update(network.name, network); !problem.empty()) {
        return fail(problem);
    }
    // A listener of the change may have removed it again.
    const tellix::Network* changed = networks.Find(network.name);
    if (changed == nullptr) {
        return;
    }
    const tellix::Network& now = *changed;
    if (shown.empty()) {
        if (field == "SERVER" || field == "PORT" || field == "TLS") {
            shown = Concat("server", now.servers.size() == 1 ? " " : "s ", ServersShown(now));
        } else if (field == "AUTOJOIN") {
            shown = AutojoinShown(now);
        } else if (field == "COMMANDS") {
            shown = CommandsShown(now);
        } else if (field == "LOGIN") {
            shown = Concat("login ", LoginWord(now.login));
        } else if (field == "AUTOCONNECT") {
            shown = Concat("autoconnect ", now.autoconnect ? "on" : "off");
        } else if (field == "RECONNECT") {
            shown = Concat("reconnect ", now.reconnect ? "on" : "off");
        } else {
            const std::string_view word = field == "REALNAME"  ? "real name"
                                          : field == "USER"    ? "user name"
                                          : field == "NICK"    ? "nick"
                                          : field == "ACCOUNT" ? "account"
                                                               : "certificate";
            shown = value.empty() ? Concat("no ", word) : Concat(word, " ", value);
        }
    }
    EchoInto(window_, Concat("*** ", now.name, ": ", shown));
}

} // namespace tellix
