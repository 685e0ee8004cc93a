#include "app/Networks.h"

#include "app/Settings.h"
#include "net/ServerTrust.h"
#include "platform/SecretStore.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "util/Utf8.h"
#include "util/Utility.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace tellix {

namespace {

// No stored value is this: a name list is printable.
const std::string kAbsent = "\x01";

constexpr std::size_t kMaxName = 50;
constexpr std::size_t kMaxField = 1024;
constexpr std::size_t kMaxCommands = 8192;
constexpr std::size_t kMaxServers = 50;
constexpr std::size_t kMaxChannels = 500;
constexpr std::int32_t kMaxNetworks = 200;

constexpr std::string_view kPasswordsInFile = "*** No secret store answered: passwords are kept in the settings "
                                              "file, where programs run as you can read them";

bool IsControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), IsControl);
}

// What no settings line and no IRC line can carry.
bool HasLineBreak(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A word that must be one word on the wire: a nick, a user name, an account, a key.
bool IsWord(std::string_view text)
{
    return !text.empty() && text.size() <= kMaxField && !HasControl(text) &&
           text.find_first_of(" ,") == std::string_view::npos;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separators)
{
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while ((start = text.find_first_not_of(separators, start)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        words.push_back(text.substr(start, end - start));
        start = end;
    }
    return words;
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<std::int32_t> ReadPort(std::string_view text)
{
    std::int32_t port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::string NickProblem(std::string_view nick, std::string_view what)
{
    if (nick.empty()) {
        return Concat("a network needs a ", what);
    }
    if (!IsWord(nick)) {
        return Concat("a ", what, " is one word without commas or control bytes");
    }
    return {};
}

void Normalise(Network& network)
{
    std::vector<std::string> lines;
    for (const std::string& line : network.commands) {
        if (const std::string_view kept = Trimmed(line); !kept.empty()) {
            lines.emplace_back(kept);
        }
    }
    network.commands = std::move(lines);
}

// The host of the connect dialog's server as a name: bytes a name cannot hold become "-".
std::string NameFromHost(std::string_view host)
{
    std::string name;
    for (const char c : host.substr(0, kMaxName)) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '-' || c == '_';
        name.push_back(kept ? c : '-');
    }
    return name.empty() ? std::string("Network") : name;
}

} // namespace

std::string ServersText(const std::vector<ServerPlace>& servers)
{
    std::string text;
    for (const ServerPlace& server : servers) {
        AppendTo(text, text.empty() ? "" : " ", server.host, "/", server.port, server.tls ? "/tls" : "");
    }
    return text;
}

std::vector<ServerPlace> ReadServers(std::string_view text)
{
    std::vector<ServerPlace> servers;
    for (const std::string_view item : Split(text, " ")) {
        const std::vector<std::string_view> parts = Split(item, "/");
        if (parts.size() < 2 || parts.size() > 3 || !HostProblem(parts[0]).empty() ||
            (parts.size() == 3 && parts[2] != "tls") || servers.size() == kMaxServers) {
            continue; // a hand-edited entry that names no server
        }
        if (const auto port = ReadPort(parts[1])) {
            servers.push_back({std::string(parts[0]), *port, parts.size() == 3});
        }
    }
    return servers;
}

std::string HostProblem(std::string_view host)
{
    if (host.empty()) {
        return "a server needs a host";
    }
    if (host.size() > 255 || HasControl(host) || host.find_first_of(" ,/") != std::string_view::npos) {
        return "a host is a name or an address, without blanks, commas, \"/\" or control bytes";
    }
    return {};
}

std::string AutojoinText(const std::vector<AutojoinChannel>& channels)
{
    std::string names;
    std::string keys;
    std::size_t keyed = 0;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        AppendTo(names, i == 0 ? "" : ",", channels[i].name);
        if (!channels[i].key.empty()) {
            keyed = i + 1;
        }
    }
    for (std::size_t i = 0; i < keyed; ++i) {
        AppendTo(keys, i == 0 ? "" : ",", channels[i].key);
    }
    return keyed == 0 ? names : Concat(names, " ", keys);
}

std::optional<std::vector<AutojoinChannel>> ParseAutojoin(std::string_view text, std::string& problem)
{
    const std::vector<std::string_view> words = Split(text, " ");
    if (words.size() > 2) {
        problem = "autojoin is channels and their keys as /join takes them: #a,#b key1";
        return std::nullopt;
    }
    std::vector<AutojoinChannel> channels;
    if (words.empty()) {
        return channels;
    }
    for (const std::string_view name : Split(words[0], ",")) {
        if (name.size() > kMaxField || HasControl(name) ||
            std::string_view("#&+!").find(name[0]) == std::string_view::npos) {
            problem = "a channel to join starts with #, &, + or ! and holds no control bytes";
            return std::nullopt;
        }
        if (channels.size() == kMaxChannels) {
            problem = Concat("at most ", kMaxChannels, " channels are joined");
            return std::nullopt;
        }
        channels.push_back({std::string(name), {}});
    }
    if (words.size() == 2) {
        // Positional, as /join reads them: ",key2" keys the second channel only.
        std::size_t i = 0;
        std::size_t start = 0;
        const std::string_view keys = words[1];
        while (start <= keys.size()) {
            const std::size_t end = std::min(keys.find(',', start), keys.size());
            const std::string_view key = keys.substr(start, end - start);
            if (i == channels.size()) {
                problem = "there are more keys than channels";
                return std::nullopt;
            }
            if (!key.empty() && !IsWord(key)) {
                problem = "a channel key holds no control bytes";
                return std::nullopt;
            }
            channels[i++].key = key;
            start = end + 1;
        }
    }
    return channels;
}

std::string CommandsText(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text.push_back(';');
        }
        for (const char c : lines[i]) {
            if (c == ';' || c == '\\') {
                text.push_back('\\');
            }
            text.push_back(c);
        }
    }
    return text;
}

std::vector<std::string> ReadCommands(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    const auto finish = [&] {
        if (const std::string_view kept = Trimmed(line); !kept.empty()) {
            lines.emplace_back(kept);
        }
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == ';' || text[i + 1] == '\\')) {
            line.push_back(text[++i]);
        } else if (c == ';') {
            finish();
        } else {
            line.push_back(c);
        }
    }
    finish();
    return lines;
}

std::optional<std::vector<std::string>> ParseNicks(std::string_view text, std::string& problem)
{
    std::vector<std::string> nicks;
    for (const std::string_view nick : Split(text, " ,")) {
        if (problem = NickProblem(nick, "nick"); !problem.empty()) {
            return std::nullopt;
        }
        nicks.emplace_back(nick);
    }
    return nicks;
}

std::string_view LoginWord(NetworkLogin login)
{
    switch (login) {
    case NetworkLogin::Plain:
        return "plain";
    case NetworkLogin::External:
        return "external";
    case NetworkLogin::Pass:
        return "pass";
    case NetworkLogin::NickServ:
        return "nickserv";
    case NetworkLogin::None:
        break;
    }
    return "none";
}

std::optional<NetworkLogin> ParseLogin(std::string_view word)
{
    for (const NetworkLogin login : {NetworkLogin::None, NetworkLogin::Plain, NetworkLogin::External,
                                     NetworkLogin::Pass, NetworkLogin::NickServ}) {
        if (SameIgnoringCase(word, LoginWord(login))) {
            return login;
        }
    }
    return std::nullopt;
}

LoginFields FieldsOf(NetworkLogin login)
{
    switch (login) {
    case NetworkLogin::Plain:
        return {true, true, false};
    case NetworkLogin::External:
        return {false, false, true};
    case NetworkLogin::Pass:
        return {false, true, false};
    case NetworkLogin::NickServ:
        // IDENTIFY takes an account before the password where the nick is not it.
        return {true, true, false};
    case NetworkLogin::None:
        break;
    }
    return {};
}

std::int32_t PortForTls(std::int32_t port, bool tls)
{
    if (port == (tls ? PlainPort : TlsPort)) {
        return tls ? TlsPort : PlainPort;
    }
    return port;
}

Networks::Networks(SettingsStore& settings, SecretStore* secrets) : settings_(settings), secrets_(secrets)
{
    Load();
}

Networks::Networks(Toolkit& toolkit) : Networks(toolkit.Settings(), toolkit.Secrets()) {}

Networks::~Networks() = default;

const Network& Networks::Item(std::int32_t position) const
{
    if (position < 1 || position > Count()) {
        throw CoreError("subscript out of range", kErrorInvalidIndex);
    }
    return entries_[static_cast<std::size_t>(position - 1)].network;
}

const Network* Networks::Find(std::string_view name) const
{
    const Entry* entry = ByName(name);
    return entry != nullptr ? &entry->network : nullptr;
}

std::int32_t Networks::Position(std::string_view name) const
{
    const Entry* entry = ByName(name);
    return entry != nullptr ? static_cast<std::int32_t>(entry - entries_.data()) + 1 : 0;
}

std::string Networks::NameProblem(std::string_view name)
{
    if (name.empty()) {
        return "a network needs a name";
    }
    if (name.size() > kMaxName) {
        return Concat("a network name is at most ", kMaxName, " bytes");
    }
    // The name list is blank-separated, and the settings file nests sections at "/".
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    });
    if (!plain || !IsUtf8(name)) {
        return "a network name holds letters, digits, \".\", \"-\" and \"_\" only (no blanks, commas or "
               "control bytes)";
    }
    return {};
}

std::string Networks::Check(const Network& network) const
{
    if (std::string problem = NameProblem(network.name); !problem.empty()) {
        return problem;
    }
    if (network.servers.empty()) {
        return "a network needs a server";
    }
    if (network.servers.size() > kMaxServers) {
        return Concat("a network has at most ", kMaxServers, " servers");
    }
    for (const ServerPlace& server : network.servers) {
        if (std::string problem = HostProblem(server.host); !problem.empty()) {
            return problem;
        }
        if (server.port < 1 || server.port > 65535) {
            return "a port is a whole number from 1 to 65535";
        }
    }
    if (std::string problem = NickProblem(network.nick, "nick"); !problem.empty()) {
        return problem;
    }
    for (const std::string& nick : network.altNicks) {
        if (std::string problem = NickProblem(nick, "nick"); !problem.empty()) {
            return problem;
        }
    }
    if (std::string problem = NickProblem(network.user, "user name"); !problem.empty()) {
        return problem;
    }
    if (network.realName.size() > kMaxField || HasLineBreak(network.realName)) {
        return "a real name is one line";
    }
    if (!network.account.empty() && !IsWord(network.account)) {
        return "an account is one word without commas or control bytes";
    }
    if (network.clientCertificate.size() > kMaxField || HasControl(network.clientCertificate)) {
        return "a certificate's file name holds no control bytes";
    }
    if (network.password.size() > kMaxField || HasLineBreak(network.password)) {
        return Concat("a password is one line of at most ", kMaxField, " bytes");
    }
    // Written as /join takes it, each channel and key must read back as itself.
    std::string problem;
    const auto autojoin = ParseAutojoin(AutojoinText(network.autojoin), problem);
    if (!autojoin) {
        return problem;
    }
    if (*autojoin != network.autojoin) {
        return "a channel to join or its key holds no blanks or commas";
    }
    std::size_t size = 0;
    for (const std::string& line : network.commands) {
        if (HasLineBreak(line)) {
            return "a command is one line";
        }
        size += line.size() + 1;
    }
    if (size > kMaxCommands) {
        return Concat("the commands are at most ", kMaxCommands, " bytes");
    }
    return {};
}

const std::vector<Network>& Networks::Presets()
{
    // TLS on its usual port where the network offers it. QuakeNet has no TLS; IRCnet's open
    // servers are known on the plain port.
    static const std::vector<Network> presets = [] {
        const auto preset = [](std::string name, std::string host, bool tls) {
            Network network;
            network.name = std::move(name);
            network.servers.push_back({std::move(host), tls ? TlsPort : PlainPort, tls});
            return network;
        };
        return std::vector<Network>{
            preset("Libera.Chat", "irc.libera.chat", true), preset("OFTC", "irc.oftc.net", true),
            preset("EFnet", "irc.efnet.org", true),         preset("IRCnet", "open.ircnet.net", false),
            preset("Rizon", "irc.rizon.net", true),         preset("QuakeNet", "irc.quakenet.org", false),
            preset("Undernet", "irc.undernet.org", true),   preset("DALnet", "irc.dal.net", true),
            preset("hackint", "irc.hackint.org", true),     preset("Snoonet", "irc.snoonet.org", true),
        };
    }();
    return presets;
}

std::optional<Network> Networks::FromPreset(std::string_view name) const
{
    for (const Network& preset : Presets()) {
        if (SameIgnoringCase(preset.name, name)) {
            Network network = Blank(preset.name, {});
            network.servers = preset.servers;
            return network;
        }
    }
    return std::nullopt;
}

Network Networks::Blank(std::string name, std::string host) const
{
    const std::string main(settings::Section);
    Network network;
    network.name = std::move(name);
    network.servers.push_back({std::move(host), TlsPort, true});
    network.nick = Get(main, settings::DefaultUserNick, std::string(settings::DefaultUserNickDefault));
    network.user = Get(main, settings::DefaultUserName, std::string(settings::DefaultUserNameDefault));
    network.realName =
        Get(main, settings::DefaultUserDescription, std::string(settings::DefaultUserDescriptionDefault));
    return network;
}

std::string Networks::Add(Network network)
{
    Normalise(network);
    if (std::string problem = Check(network); !problem.empty()) {
        return problem;
    }
    if (const Entry* other = ByName(network.name); other != nullptr) {
        return Concat("a network \"", other->network.name, "\" exists already");
    }
    if (Count() >= kMaxNetworks) {
        return Concat("at most ", kMaxNetworks, " networks are saved");
    }
    const std::uint64_t id = nextId_++;
    entries_.push_back({id, std::move(network), true, {}});
    SaveFields(entries_.back().network);
    SaveList();
    if (!entries_.back().network.password.empty()) {
        StorePassword(id, {});
    }
    RaiseChanged();
    return {};
}

std::string Networks::Update(std::string_view name, const Network& network)
{
    Entry* entry = ByName(name);
    if (entry == nullptr) {
        return Concat("no network \"", name, "\"");
    }
    Network updated = network;
    updated.password = entry->network.password;
    Normalise(updated);
    if (std::string problem = Check(updated); !problem.empty()) {
        return problem;
    }
    const Entry* other = ByName(updated.name);
    if (other != nullptr && other != entry) {
        return Concat("a network \"", other->network.name, "\" exists already");
    }
    const std::string oldName = entry->network.name;
    const std::uint64_t id = entry->id;
    entry->network = std::move(updated);
    if (entry->network.name == oldName) {
        SaveFields(entry->network);
        RaiseChanged();
        return {};
    }
    // Renamed: the old section goes first, for a store that reads names in any case.
    settings_.RemoveSection(SettingsAppName(), settings::NetworkSection(oldName));
    SaveFields(entry->network);
    SaveList();
    if (secrets_ == nullptr) {
        if (!entry->network.password.empty()) {
            Put(settings::NetworkSection(entry->network.name), settings::NetworkPassword, entry->network.password);
        }
    } else {
        // Moved once it is known: a read of the old entry may still be on its way.
        WhenPasswordKnown(entry->network.name,
                          [this, id, oldKey = settings::NetworkPasswordKey(oldName)](const Network* moved) {
                              secrets_->Write(oldKey, {}, [](bool) {});
                              if (moved != nullptr && !moved->password.empty()) {
                                  StorePassword(id, {});
                              }
                          });
    }
    RaiseChanged();
    return {};
}

std::string Networks::Rename(std::string_view name, std::string_view newName)
{
    const Network* network = Find(name);
    if (network == nullptr) {
        return Concat("no network \"", name, "\"");
    }
    Network renamed = *network;
    renamed.name = newName;
    return Update(name, renamed);
}

std::string Networks::Remove(std::string_view name)
{
    Entry* entry = ByName(name);
    if (entry == nullptr) {
        return Concat("no network \"", name, "\"");
    }
    const std::string removed = entry->network.name;
    auto waiting = std::move(entry->waiting);
    entries_.erase(entries_.begin() + (entry - entries_.data()));
    ForgetPassword(removed);
    settings_.RemoveSection(SettingsAppName(), settings::NetworkSection(removed));
    SaveList();
    const std::weak_ptr<char> alive = alive_;
    RaiseChanged();
    for (auto& ready : waiting) {
        if (alive.expired()) {
            return {};
        }
        ready(nullptr);
    }
    return {};
}

std::string Networks::Move(std::string_view name, std::int32_t position)
{
    Entry* entry = ByName(name);
    if (entry == nullptr) {
        return Concat("no network \"", name, "\"");
    }
    const auto from = entry - entries_.data();
    const auto to =
        std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(position) - 1, 0, std::ssize(entries_) - 1);
    if (from == to) {
        return {};
    }
    if (from < to) {
        std::rotate(entries_.begin() + from, entries_.begin() + from + 1, entries_.begin() + to + 1);
    } else {
        std::rotate(entries_.begin() + to, entries_.begin() + from, entries_.begin() + from + 1);
    }
    SaveList();
    RaiseChanged();
    return {};
}

std::string Networks::SetPassword(std::string_view name, const std::string& password,
                                  std::function<void(const std::string&)> tell)
{
    Entry* entry = ByName(name);
    if (entry == nullptr) {
        return Concat("no network \"", name, "\"");
    }
    if (HasLineBreak(password) || password.size() > kMaxField) {
        return Concat("a password is one line of at most ", kMaxField, " bytes");
    }
    const std::uint64_t id = entry->id;
    const bool known = entry->passwordKnown;
    entry->network.password = password;
    // A store may answer at once, and its word run anything.
    StorePassword(id, std::move(tell));
    if (!known) {
        PasswordArrived(id, password);
    } else {
        RaiseChanged();
    }
    return {};
}

bool Networks::PasswordKnown(std::string_view name) const
{
    const Entry* entry = ByName(name);
    return entry != nullptr && entry->passwordKnown;
}

void Networks::WhenPasswordKnown(std::string_view name, std::function<void(const Network*)> ready)
{
    Entry* entry = ByName(name);
    if (entry == nullptr) {
        ready(nullptr);
    } else if (entry->passwordKnown) {
        ready(&entry->network);
    } else {
        entry->waiting.push_back(std::move(ready));
    }
}

void Networks::Load()
{
    const std::string list = Get(std::string(settings::Section), settings::NetworkList, kAbsent);
    if (list == kAbsent) {
        Migrate();
        return;
    }
    for (const std::string_view name : Split(list, " ")) {
        if (NameProblem(name).empty() && ByName(name) == nullptr && Count() < kMaxNetworks) {
            entries_.push_back({nextId_++, LoadOne(std::string(name)), false, {}});
        }
    }
    std::vector<std::uint64_t> ids;
    for (const Entry& entry : entries_) {
        ids.push_back(entry.id);
    }
    for (const std::uint64_t id : ids) {
        if (Entry* entry = ById(id)) {
            LoadPassword(*entry);
        }
    }
}

Network Networks::LoadOne(const std::string& name) const
{
    const std::string section = settings::NetworkSection(name);
    const auto get = [&](std::string_view key) { return Get(section, key, ""); };
    Network network;
    network.name = name;
    network.servers = ReadServers(get(settings::NetworkServers));
    network.nick = get(settings::NetworkNick);
    const std::string altNicks = get(settings::NetworkAltNicks);
    for (const std::string_view nick : Split(altNicks, " ,")) {
        if (IsWord(nick)) {
            network.altNicks.emplace_back(nick);
        }
    }
    network.user = get(settings::NetworkUserName);
    network.realName = get(settings::NetworkRealName);
    network.login = ParseLogin(get(settings::NetworkLogin)).value_or(NetworkLogin::None);
    network.account = get(settings::NetworkAccount);
    network.clientCertificate = get(settings::NetworkClientCertificate);
    std::string problem;
    network.autojoin =
        ParseAutojoin(get(settings::NetworkAutojoin), problem).value_or(std::vector<AutojoinChannel>{});
    network.commands = ReadCommands(get(settings::NetworkCommands));
    network.autoconnect = settings::ReadCheckBox(get(settings::NetworkAutoconnect), false);
    network.reconnect = settings::ReadCheckBox(get(settings::NetworkReconnect), true);
    return network;
}

void Networks::LoadPassword(Entry& entry)
{
    const std::uint64_t id = entry.id;
    const std::string inFile = Get(settings::NetworkSection(entry.network.name), settings::NetworkPassword, "");
    if (!inFile.empty() || secrets_ == nullptr) {
        entry.network.password = inFile;
        entry.passwordKnown = true;
        if (!inFile.empty() && secrets_ != nullptr) {
            // Where the user put it, or where no store took it last time: offered again, as the
            // store may be running now.
            StorePassword(id, {});
        }
        return;
    }
    secrets_->Read(settings::NetworkPasswordKey(entry.network.name),
                   [this, alive = std::weak_ptr<char>(alive_), id](std::optional<std::string> secret) {
                       if (!alive.expired()) {
                           PasswordArrived(id, secret.value_or(""));
                       }
                   });
}

// The connect dialog's saved data, when the user saved any of their own: a profile that only
// ever held the defaults starts with no network.
void Networks::Migrate()
{
    const std::string main(settings::Section);
    const std::string server = Get(main, settings::DefaultServer, kAbsent);
    if (server == kAbsent) {
        return;
    }
    const auto check = [&](std::string_view key, bool fallback) {
        return settings::ReadCheckBox(Get(main, key, settings::WriteCheckBox(fallback)), fallback);
    };
    const bool tls = check(settings::DefaultServerTls, settings::DefaultServerTlsDefault);
    const auto address = SplitServerAddress(server);
    if (!address) {
        return;
    }
    std::int32_t port = address->port;
    if (port == 0) {
        const auto typed = SplitServerAddress("x:" + Get(main, settings::DefaultServerPort, ""));
        port = typed ? typed->port : tls ? TlsPort : PlainPort;
    }
    Network network = Blank(NameFromHost(address->host), address->host);
    network.servers = {{address->host, port, tls}};
    network.account = Get(main, settings::DefaultAccountName, "");
    network.clientCertificate = Get(main, settings::DefaultClientCertificate, "");
    network.reconnect = check(settings::DefaultReconnect, settings::DefaultReconnectDefault);
    network.login = !network.account.empty()             ? NetworkLogin::Plain
                    : !network.clientCertificate.empty() ? NetworkLogin::External
                                                         : NetworkLogin::None;
    const std::string serverPassword = Get(main, settings::DefaultServerPassword, "");
    const std::string accountPassword = Get(main, settings::DefaultAccountPassword, "");
    const bool own = network.nick != settings::DefaultUserNickDefault ||
                     address->host != settings::DefaultServerDefault ||
                     port != settings::DefaultServerPortDefault || tls != settings::DefaultServerTlsDefault ||
                     !network.account.empty() || !network.clientCertificate.empty() || !serverPassword.empty() ||
                     !accountPassword.empty();
    if (!own || !Check(network).empty()) {
        return;
    }
    const std::uint64_t id = nextId_++;
    entries_.push_back({id, std::move(network), false, {}});
    SaveFields(entries_.back().network);
    SaveList();

    // Each password from the file where it is there, else from the store; the login follows
    // what they hold once both are known.
    struct Found {
        std::optional<std::string> server, account;
    };
    const auto found = std::make_shared<Found>();
    const auto settle = [this, alive = std::weak_ptr<char>(alive_), id, found] {
        if (alive.expired() || !found->server || !found->account) {
            return;
        }
        Entry* entry = ById(id);
        if (entry == nullptr || entry->passwordKnown) {
            return; // the user gave one meanwhile
        }
        Network& migrated = entry->network;
        std::string password;
        if (migrated.login == NetworkLogin::Plain && !found->account->empty()) {
            password = *found->account;
        } else if (!found->server->empty() &&
                   (migrated.login == NetworkLogin::None || migrated.login == NetworkLogin::Plain)) {
            migrated.login = NetworkLogin::Pass;
            password = *found->server;
            SaveFields(migrated);
        }
        migrated.password = password;
        if (!password.empty()) {
            StorePassword(id, {});
        }
        PasswordArrived(id, password);
    };
    const auto read = [&](std::string_view key, const std::string& inFile,
                          std::optional<std::string> Found::*slot) {
        if (!inFile.empty() || secrets_ == nullptr) {
            (*found).*slot = inFile;
            return;
        }
        secrets_->Read(std::string(key), [found, slot, settle](std::optional<std::string> secret) {
            (*found).*slot = secret.value_or("");
            settle();
        });
    };
    read(settings::DefaultServerPassword, serverPassword, &Found::server);
    read(settings::DefaultAccountPassword, accountPassword, &Found::account);
    settle();
}

void Networks::SaveFields(const Network& network)
{
    const std::string section = settings::NetworkSection(network.name);
    std::string altNicks;
    for (const std::string& nick : network.altNicks) {
        AppendTo(altNicks, altNicks.empty() ? "" : " ", nick);
    }
    Put(section, settings::NetworkServers, ServersText(network.servers));
    Put(section, settings::NetworkNick, network.nick);
    Put(section, settings::NetworkAltNicks, altNicks);
    Put(section, settings::NetworkUserName, network.user);
    Put(section, settings::NetworkRealName, network.realName);
    Put(section, settings::NetworkLogin, std::string(LoginWord(network.login)));
    Put(section, settings::NetworkAccount, network.account);
    Put(section, settings::NetworkClientCertificate, network.clientCertificate);
    Put(section, settings::NetworkAutojoin, AutojoinText(network.autojoin));
    Put(section, settings::NetworkCommands, CommandsText(network.commands));
    Put(section, settings::NetworkAutoconnect, settings::WriteCheckBox(network.autoconnect));
    Put(section, settings::NetworkReconnect, settings::WriteCheckBox(network.reconnect));
}

void Networks::SaveList()
{
    std::string names;
    for (const Entry& entry : entries_) {
        AppendTo(names, names.empty() ? "" : " ", entry.network.name);
    }
    Put(std::string(settings::Section), settings::NetworkList, names);
}

void Networks::StorePassword(std::uint64_t id, std::function<void(const std::string&)> tell)
{
    const Entry* entry = ById(id);
    if (entry == nullptr) {
        return;
    }
    const std::string name = entry->network.name;
    const std::string secret = entry->network.password;
    const std::string section = settings::NetworkSection(name);
    const auto inFile = [this, section](const std::string& value) {
        if (!value.empty() || !Get(section, settings::NetworkPassword, "").empty()) {
            Put(section, settings::NetworkPassword, value);
        }
    };
    const auto told = [this](const std::function<void(const std::string&)>& tellOnce) {
        if (tellOnce && !toldPasswordsInFile_) {
            toldPasswordsInFile_ = true;
            tellOnce(std::string(kPasswordsInFile));
        }
    };
    if (secrets_ == nullptr) {
        inFile(secret);
        if (!secret.empty()) {
            told(tell);
        }
        return;
    }
    secrets_->Write(settings::NetworkPasswordKey(name), secret,
                    [this, alive = std::weak_ptr<char>(alive_), id, name, secret, inFile, told,
                     tell = std::move(tell)](bool stored) {
                        if (alive.expired()) {
                            return;
                        }
                        const Entry* now = ById(id);
                        if (now == nullptr) {
                            // Removed meanwhile: what the store took goes again.
                            if (stored && !secret.empty()) {
                                secrets_->Write(settings::NetworkPasswordKey(name), {}, [](bool) {});
                            }
                            return;
                        }
                        if (now->network.name != name || now->network.password != secret) {
                            return; // renamed or changed meanwhile: a later write keeps it
                        }
                        inFile(stored ? std::string() : secret);
                        if (!stored && !secret.empty()) {
                            told(tell);
                        }
                    });
}

void Networks::PasswordArrived(std::uint64_t id, const std::string& password)
{
    Entry* entry = ById(id);
    if (entry == nullptr || entry->passwordKnown) {
        return;
    }
    entry->network.password = password;
    entry->passwordKnown = true;
    auto waiting = std::move(entry->waiting);
    const std::weak_ptr<char> alive = alive_;
    RaiseChanged();
    for (auto& ready : waiting) {
        if (alive.expired()) {
            return;
        }
        const Entry* now = ById(id);
        ready(now != nullptr ? &now->network : nullptr);
    }
}

void Networks::ForgetPassword(const std::string& name)
{
    const std::string section = settings::NetworkSection(name);
    if (!Get(section, settings::NetworkPassword, "").empty()) {
        Put(section, settings::NetworkPassword, {});
    }
    if (secrets_ != nullptr) {
        secrets_->Write(settings::NetworkPasswordKey(name), {}, [](bool) {});
    }
}

Networks::Entry* Networks::ById(std::uint64_t id)
{
    const auto found = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
    return found != entries_.end() ? &*found : nullptr;
}

Networks::Entry* Networks::ByName(std::string_view name)
{
    return const_cast<Entry*>(std::as_const(*this).ByName(name));
}

const Networks::Entry* Networks::ByName(std::string_view name) const
{
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [name](const Entry& e) { return SameIgnoringCase(e.network.name, name); });
    return found != entries_.end() ? &*found : nullptr;
}

std::string Networks::Get(const std::string& section, std::string_view key, const std::string& fallback) const
{
    return settings_.GetSetting(SettingsAppName(), section, std::string(key), fallback);
}

void Networks::Put(const std::string& section, std::string_view key, const std::string& value)
{
    settings_.SaveSetting(SettingsAppName(), section, std::string(key), value);
}

void Networks::RaiseChanged()
{
    Changed.raise();
}

} // namespace tellix
