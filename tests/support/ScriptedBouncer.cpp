#include "support/ScriptedBouncer.h"

#include "net/ServerLine.h"
#include "support/QtLoop.h"
#include "util/LineTime.h"

#include <QByteArray>
#include <QTcpSocket>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <stdexcept>

namespace tellix::test {

namespace {

constexpr std::string_view kServer = "bnc.test";

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string EscapeTag(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        switch (c) {
        case ';':
            out += "\\:";
            break;
        case ' ':
            out += "\\s";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Encode(const ScriptedBouncer::Attributes& attributes)
{
    std::string out;
    for (const auto& [key, value] : attributes) {
        if (!out.empty()) {
            out += ';';
        }
        out += key + "=" + EscapeTag(value);
    }
    return out;
}

// "a=1;b=x\sy" as attributes; false for a part without a key.
bool Decode(std::string_view text, ScriptedBouncer::Attributes& out)
{
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        const std::string_view part = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t equals = part.find('=');
        const std::string_view key = part.substr(0, equals);
        if (key.empty()) {
            return false;
        }
        out[std::string(key)] =
            equals == std::string_view::npos ? std::string() : UnescapeTagValue(part.substr(equals + 1));
    }
    return true;
}

std::optional<std::int32_t> Count(std::string_view text)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

const std::vector<std::string_view> kAttributes = {"name",     "state",    "host",     "port", "tls",
                                                   "nickname", "username", "realname", "pass"};

} // namespace

std::string ScriptedBouncer::Time(std::int64_t ms)
{
    return FormatServerTime(ms);
}

std::int64_t ScriptedBouncer::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void ScriptedBouncer::Client::Send(std::string_view line)
{
    if (socket_ != nullptr) {
        socket_->write(line.data(), static_cast<qint64>(line.size()));
        socket_->write("\r\n", 2);
    }
}

void ScriptedBouncer::Client::Close()
{
    if (socket_ != nullptr) {
        socket_->disconnectFromHost();
    }
}

bool ScriptedBouncer::Client::Has(std::string_view capability) const
{
    return std::find(caps_.begin(), caps_.end(), capability) != caps_.end();
}

ScriptedBouncer::ScriptedBouncer() : ScriptedBouncer(Options()) {}

ScriptedBouncer::ScriptedBouncer(Options options) : options_(std::move(options))
{
    EnsureQtApplication();
    NetworkState& first = networks_[std::string(kFirstNetwork)];
    first.attributes = {{"name", options_.network}, {"host", "irc.upstream.test"}, {"port", "6697"}, {"tls", "1"},
                        {"state", "connected"},     {"nickname", options_.nick}};
    nextNetwork_ = 2;
    listener_ = std::make_unique<QTcpServer>();
    if (!listener_->listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("the scripted bouncer found no loopback port");
    }
    QObject::connect(listener_.get(), &QTcpServer::pendingConnectionAvailable, listener_.get(),
                     [this] { Accept(); });
}

ScriptedBouncer::~ScriptedBouncer()
{
    for (const auto& client : clients_) {
        delete client->socket_;
    }
}

void ScriptedBouncer::Accept()
{
    while (QTcpSocket* socket = listener_->nextPendingConnection()) {
        socket->setParent(nullptr);
        clients_.push_back(std::make_unique<Client>());
        Client& client = *clients_.back();
        client.socket_ = socket;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &client] {
            if (client.socket_ == nullptr) {
                return;
            }
            const QByteArray bytes = client.socket_->readAll();
            client.partial_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            for (std::size_t end;
                 client.socket_ != nullptr && (end = client.partial_.find("\r\n")) != std::string::npos;) {
                std::string line = client.partial_.substr(0, end);
                client.partial_.erase(0, end + 2);
                client.received_.push_back(line);
                if (!Intercept || !Intercept(client, line)) {
                    Handle(client, line);
                }
            }
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&client] {
            if (client.socket_ != nullptr) {
                client.socket_->deleteLater();
                client.socket_ = nullptr;
            }
        });
    }
}

ScriptedBouncer::Parsed ScriptedBouncer::Parse(std::string_view line)
{
    Parsed parsed;
    if (line.starts_with('@')) {
        const std::size_t blank = line.find(' ');
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    if (line.starts_with(':')) {
        const std::size_t blank = line.find(' ');
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    bool first = true;
    while (!line.empty()) {
        if (line.starts_with(':') && !first) {
            parsed.params.emplace_back(line.substr(1));
            break;
        }
        const std::size_t blank = line.find(' ');
        const std::string_view word = line.substr(0, blank);
        if (!word.empty()) {
            if (first) {
                parsed.command = Upper(word);
                first = false;
            } else {
                parsed.params.emplace_back(word);
            }
        }
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    }
    return parsed;
}

std::string ScriptedBouncer::Offered() const
{
    std::string caps = "sasl=PLAIN server-time message-tags batch echo-message soju.im/bouncer-networks "
                       "soju.im/bouncer-networks-notify";
    if (options_.chathistory) {
        caps += " draft/chathistory";
    }
    if (options_.readMarker) {
        caps += " draft/read-marker";
    }
    return caps;
}

std::string ScriptedBouncer::Mask() const
{
    return options_.nick + "!" + options_.user + "@" + std::string(kServer);
}

std::string ScriptedBouncer::NewBatch()
{
    return "b" + std::to_string(++nextBatch_);
}

std::string ScriptedBouncer::Folded(std::string_view name) const
{
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

void ScriptedBouncer::Deliver(Client& client, const std::string& line, std::optional<std::int64_t> time,
                              const std::string& msgid, const std::string& batch)
{
    std::string tags;
    const auto add = [&](const std::string& tag) { tags += (tags.empty() ? "@" : ";") + tag; };
    if (!batch.empty() && client.Has("batch")) {
        add("batch=" + batch);
    }
    if (time && client.Has("server-time")) {
        add("time=" + Time(*time));
    }
    if (!msgid.empty() && client.Has("message-tags")) {
        add("msgid=" + msgid);
    }
    client.Send(tags.empty() ? line : tags + " " + line);
}

void ScriptedBouncer::Fail(Client& client, std::string_view command, std::string_view code,
                           std::string_view context, std::string_view text)
{
    std::string line = ":" + std::string(kServer) + " FAIL " + std::string(command) + " " + std::string(code);
    if (!context.empty()) {
        line += " " + std::string(context);
    }
    client.Send(line + " :" + std::string(text));
}

void ScriptedBouncer::Handle(Client& client, const std::string& line)
{
    const Parsed parsed = Parse(line);
    const std::string& command = parsed.command;
    const auto param = [&](std::size_t i) { return i < parsed.params.size() ? parsed.params[i] : std::string(); };
    if (command == "CAP") {
        HandleCap(client, parsed);
    } else if (command == "AUTHENTICATE") {
        HandleAuthenticate(client, parsed);
    } else if (command == "PASS") {
        const std::string pass = param(0);
        const std::size_t colon = pass.find(':');
        if (colon != std::string::npos) {
            LogIn(client, std::string_view(pass).substr(0, colon), std::string_view(pass).substr(colon + 1));
        }
    } else if (command == "NICK") {
        if (!client.registered_) {
            client.nick_ = param(0);
            TryRegister(client);
        }
    } else if (command == "USER") {
        if (!client.registered_) {
            client.userGiven_ = true;
            TryRegister(client);
        }
    } else if (command == "PING") {
        client.Send(":" + std::string(kServer) + " PONG " + std::string(kServer) + " :" + param(0));
    } else if (command == "QUIT") {
        client.Send("ERROR :Closing link");
        client.Close();
    } else if (command == "BOUNCER") {
        HandleBouncer(client, parsed);
    } else if (!client.registered_) {
        client.Send(":" + std::string(kServer) + " 451 * :You have not registered");
    } else if (command == "CHATHISTORY" && options_.chathistory) {
        HandleChatHistory(client, parsed);
    } else if (command == "MARKREAD" && options_.readMarker) {
        HandleMarkRead(client, parsed);
    } else if (command == "PRIVMSG" || command == "NOTICE") {
        HandleMessage(client, parsed);
    } else if (command == "JOIN") {
        if (!client.network_.empty()) {
            const std::string list = param(0);
            std::string_view names = list;
            while (!names.empty()) {
                const std::size_t comma = names.find(',');
                Join(std::string(names.substr(0, comma)), {}, client.network_);
                names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
            }
        }
    } else if (command == "PART" && !client.network_.empty()) {
        NetworkState& network = networks_[client.network_];
        const std::string channel = param(0);
        std::erase_if(network.channels, [&](const std::string& c) { return Folded(c) == Folded(channel); });
        for (const auto& other : clients_) {
            if (other->registered_ && other->network_ == client.network_) {
                Deliver(*other, ":" + Mask() + " PART " + channel, NowMs());
            }
        }
    } else if (command != "TAGMSG" && command != "MODE" && command != "WHO") {
        client.Send(":" + std::string(kServer) + " 421 " + options_.nick + " " + command + " :Unknown command");
    }
}

void ScriptedBouncer::HandleCap(Client& client, const Parsed& parsed)
{
    const std::string sub = parsed.params.empty() ? std::string() : Upper(parsed.params[0]);
    const std::string nick = client.nick_.empty() ? "*" : client.nick_;
    const std::string head = ":" + std::string(kServer) + " CAP " + nick + " ";
    if (sub == "LS") {
        if (!client.registered_) {
            client.negotiating_ = true;
        }
        client.Send(head + "LS :" + Offered());
    } else if (sub == "REQ") {
        const std::string asked = parsed.params.size() > 1 ? parsed.params[1] : std::string();
        std::vector<std::string> names;
        bool known = true;
        std::string_view rest = asked;
        const std::string offered = " " + Offered() + " ";
        while (!rest.empty()) {
            const std::size_t blank = rest.find(' ');
            std::string name(rest.substr(0, blank));
            rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
            if (name.empty()) {
                continue;
            }
            const std::string bare = name.starts_with('-') ? name.substr(1) : name;
            if (offered.find(" " + bare + " ") == std::string::npos &&
                offered.find(" " + bare + "=") == std::string::npos) {
                known = false;
            }
            names.push_back(name);
        }
        if (!known) {
            client.Send(head + "NAK :" + asked);
            return;
        }
        for (const std::string& name : names) {
            if (name.starts_with('-')) {
                std::erase(client.caps_, name.substr(1));
            } else if (!client.Has(name)) {
                client.caps_.push_back(name);
            }
        }
        client.Send(head + "ACK :" + asked);
    } else if (sub == "LIST") {
        std::string list;
        for (const std::string& cap : client.caps_) {
            list += (list.empty() ? "" : " ") + cap;
        }
        client.Send(head + "LIST :" + list);
    } else if (sub == "END") {
        client.negotiating_ = false;
        TryRegister(client);
    }
}

void ScriptedBouncer::HandleAuthenticate(Client& client, const Parsed& parsed)
{
    const std::string argument = parsed.params.empty() ? std::string() : parsed.params[0];
    const std::string nick = client.nick_.empty() ? "*" : client.nick_;
    const std::string head = ":" + std::string(kServer) + " ";
    if (!client.Has("sasl") || client.registered_) {
        client.Send(head + "904 " + nick + " :SASL authentication failed");
        return;
    }
    if (argument == "*") {
        client.saslAsked_ = false;
        client.Send(head + "906 " + nick + " :SASL authentication aborted");
        return;
    }
    if (!client.saslAsked_) {
        if (Upper(argument) != "PLAIN") {
            client.Send(head + "908 " + nick + " PLAIN :are available SASL mechanisms");
            client.Send(head + "904 " + nick + " :SASL authentication failed");
            return;
        }
        client.saslAsked_ = true;
        client.Send("AUTHENTICATE +");
        return;
    }
    client.saslAsked_ = false;
    const QByteArray plain = QByteArray::fromBase64(QByteArray::fromStdString(argument));
    const QList<QByteArray> parts = plain.split('\0');
    if (parts.size() == 3 && LogIn(client, parts[1].toStdString(), parts[2].toStdString())) {
        client.Send(head + "900 " + nick + " " + Mask() + " " + options_.user + " :You are now logged in");
        client.Send(head + "903 " + nick + " :SASL authentication successful");
    } else {
        client.Send(head + "904 " + nick + " :SASL authentication failed");
    }
}

bool ScriptedBouncer::LogIn(Client& client, std::string_view user, std::string_view password)
{
    const std::size_t slash = user.find('/');
    if (user.substr(0, slash) != options_.user || password != options_.password) {
        return false;
    }
    client.authenticated_ = true;
    if (slash != std::string_view::npos) {
        client.networkName_ = user.substr(slash + 1);
    }
    return true;
}

void ScriptedBouncer::TryRegister(Client& client)
{
    if (client.registered_ || client.negotiating_ || client.nick_.empty() || !client.userGiven_) {
        return;
    }
    const std::string head = ":" + std::string(kServer) + " ";
    if (!client.authenticated_) {
        client.Send(head + "464 " + client.nick_ + " :Password incorrect");
        client.Send("ERROR :Authentication required");
        client.Close();
        return;
    }
    // Bound as asked; else to the network the login named; else, for a client that knows
    // nothing of networks, to the first.
    if (!client.bind_.empty()) {
        client.network_ = client.bind_;
    } else if (!client.networkName_.empty()) {
        for (const auto& [id, network] : networks_) {
            if (network.attributes.at("name") == client.networkName_) {
                client.network_ = id;
            }
        }
    } else if (!client.Has("soju.im/bouncer-networks")) {
        client.network_ = std::string(kFirstNetwork);
    }
    client.registered_ = true;
    const std::string& nick = options_.nick;
    client.Send(head + "001 " + nick + " :Welcome to the scripted bouncer, " + nick);
    client.Send(head + "002 " + nick + " :Your host is " + std::string(kServer));
    client.Send(head + "003 " + nick + " :This server was created today");
    client.Send(head + "004 " + nick + " " + std::string(kServer) + " scripted iow ov");
    std::string supported = "CASEMAPPING=ascii CHANTYPES=# PREFIX=(ov)@+";
    if (options_.chathistory) {
        supported += " CHATHISTORY=" + std::to_string(options_.historyLimit) + " MSGREFTYPES=timestamp,msgid";
    }
    if (!client.network_.empty()) {
        const NetworkState& network = networks_[client.network_];
        std::string name;
        for (const char c : network.attributes.at("name")) {
            name += c == ' ' ? std::string("\\x20") : std::string(1, c);
        }
        supported += " NETWORK=" + name + " BOUNCER_NETID=" + client.network_;
    } else {
        supported += " BOUNCER_NETID";
    }
    client.Send(head + "005 " + nick + " " + supported + " :are supported by this server");
    client.Send(head + "422 " + nick + " :MOTD File is missing");
    if (client.Has("soju.im/bouncer-networks-notify")) {
        const std::string batch = NewBatch();
        client.Send(head + "BATCH +" + batch + " soju.im/bouncer-networks");
        for (const auto& [id, network] : networks_) {
            Deliver(client, head + "BOUNCER NETWORK " + id + " " + Encode(network.attributes), std::nullopt, {},
                    batch);
        }
        client.Send(head + "BATCH -" + batch);
    }
    if (!client.network_.empty()) {
        for (const std::string& channel : networks_[client.network_].channels) {
            SendJoin(client, channel);
        }
    }
}

void ScriptedBouncer::SendJoin(Client& client, const std::string& channel)
{
    const std::string head = ":" + std::string(kServer) + " ";
    NetworkState& network = networks_[client.network_];
    Deliver(client, ":" + Mask() + " JOIN " + channel, NowMs());
    if (client.Has("draft/read-marker") && options_.readMarker) {
        MarkerLine(client, channel);
    }
    std::string names = "@" + options_.nick;
    for (const std::string& member : network.members[Folded(channel)]) {
        names += " " + member;
    }
    client.Send(head + "353 " + options_.nick + " = " + channel + " :" + names);
    client.Send(head + "366 " + options_.nick + " " + channel + " :End of /NAMES list.");
}

void ScriptedBouncer::Join(const std::string& channel, const std::vector<std::string>& members,
                           const std::string& network)
{
    NetworkState& state = networks_[network];
    state.members[Folded(channel)] = members;
    if (std::none_of(state.channels.begin(), state.channels.end(),
                     [&](const std::string& c) { return Folded(c) == Folded(channel); })) {
        state.channels.push_back(channel);
    }
    for (const auto& client : clients_) {
        if (client->registered_ && client->network_ == network) {
            SendJoin(*client, channel);
        }
    }
}

std::string ScriptedBouncer::Keep(const std::string& network, const std::string& from, const std::string& to,
                                  const std::string& text, std::optional<std::int64_t> time, bool notice,
                                  std::string& line)
{
    NetworkState& state = networks_[network];
    const std::string mask = from.find('!') == std::string::npos ? from + "!" + from + "@upstream.test" : from;
    const std::string sender = mask.substr(0, mask.find('!'));
    const bool own = Folded(sender) == Folded(options_.nick);
    // A query is kept under the partner's nick, whichever way it went.
    const std::string target = IsChannel(to) ? to : own ? to : sender;
    line = ":" + mask + (notice ? " NOTICE " : " PRIVMSG ") + to + " :" + text;
    Stored stored{time.value_or(NowMs()), "m" + std::to_string(++nextMsgid_), line};
    std::vector<Stored>& kept = state.history[Folded(target)];
    state.names.emplace(Folded(target), target);
    const auto at = std::upper_bound(kept.begin(), kept.end(), stored.time,
                                     [](std::int64_t t, const Stored& s) { return t < s.time; });
    const std::string msgid = stored.msgid;
    kept.insert(at, std::move(stored));
    return msgid;
}

std::string ScriptedBouncer::Store(const std::string& from, const std::string& to, const std::string& text,
                                   std::optional<std::int64_t> time, const std::string& network)
{
    std::string line;
    return Keep(network, from, to, text, time, false, line);
}

std::string ScriptedBouncer::Say(const std::string& from, const std::string& to, const std::string& text,
                                 std::optional<std::int64_t> time, const std::string& network, bool notice)
{
    std::string line;
    const std::int64_t when = time.value_or(NowMs());
    const std::string msgid = Keep(network, from, to, text, when, notice, line);
    for (const auto& client : clients_) {
        if (client->registered_ && client->network_ == network) {
            Deliver(*client, line, when, msgid);
        }
    }
    return msgid;
}

void ScriptedBouncer::HandleMessage(Client& client, const Parsed& parsed)
{
    if (parsed.params.size() < 2 || client.network_.empty()) {
        return;
    }
    std::string line;
    const std::int64_t when = NowMs();
    const std::string msgid =
        Keep(client.network_, Mask(), parsed.params[0], parsed.params[1], when, parsed.command == "NOTICE", line);
    // The user's other devices see it as said by the user; the sender only when it asked.
    for (const auto& other : clients_) {
        if (other->registered_ && other->network_ == client.network_ &&
            (other.get() != &client || client.Has("echo-message"))) {
            Deliver(*other, line, when, msgid);
        }
    }
}

void ScriptedBouncer::HandleChatHistory(Client& client, const Parsed& parsed)
{
    const std::string sub = parsed.params.empty() ? std::string() : Upper(parsed.params[0]);
    if (sub == "TARGETS") {
        HandleTargets(client, parsed);
        return;
    }
    const bool known = sub == "LATEST" || sub == "BEFORE" || sub == "AFTER" || sub == "BETWEEN";
    if (!known) {
        Fail(client, "CHATHISTORY", "UNKNOWN_COMMAND", sub, "Unknown command");
        return;
    }
    const std::size_t needed = sub == "BETWEEN" ? 5 : 4;
    if (parsed.params.size() < needed) {
        Fail(client, "CHATHISTORY", "NEED_MORE_PARAMS", sub, "Missing parameters");
        return;
    }
    const std::string& target = parsed.params[1];
    std::optional<std::int32_t> limit = Count(parsed.params[needed - 1]);
    if (!limit || client.network_.empty()) {
        Fail(client, "CHATHISTORY", "INVALID_PARAMS", sub, "Invalid parameters");
        return;
    }
    if (options_.historyLimit > 0) {
        limit = std::min(*limit, options_.historyLimit);
    }
    NetworkState& network = networks_[client.network_];
    static const std::vector<Stored> none;
    const auto found = network.history.find(Folded(target));
    const std::vector<Stored>& kept = found == network.history.end() ? none : found->second;
    const auto n = static_cast<std::ptrdiff_t>(kept.size());
    // A reference as the lines before it end and the lines after it start: [0, before) and [after, n).
    struct Bounds {
        std::ptrdiff_t before = 0;
        std::ptrdiff_t after = 0;
    };
    const auto resolve = [&](const std::string& reference) -> std::optional<Bounds> {
        if (reference.starts_with("timestamp=")) {
            const std::optional<std::int64_t> ms = ParseServerTime(reference.substr(10));
            if (!ms) {
                return std::nullopt;
            }
            const auto lower = std::lower_bound(kept.begin(), kept.end(), *ms,
                                                [](const Stored& s, std::int64_t t) { return s.time < t; });
            const auto upper = std::upper_bound(kept.begin(), kept.end(), *ms,
                                                [](std::int64_t t, const Stored& s) { return t < s.time; });
            return Bounds{lower - kept.begin(), upper - kept.begin()};
        }
        if (reference.starts_with("msgid=")) {
            const std::string id = reference.substr(6);
            const auto at = std::find_if(kept.begin(), kept.end(), [&](const Stored& s) { return s.msgid == id; });
            if (at == kept.end()) {
                return std::nullopt;
            }
            return Bounds{at - kept.begin(), at - kept.begin() + 1};
        }
        return std::nullopt;
    };
    std::ptrdiff_t from = 0;
    std::ptrdiff_t to = 0;
    bool newest = false; // the last `limit` of [from, to) rather than the first
    if (sub == "LATEST") {
        newest = true;
        to = n;
        if (parsed.params[2] != "*") {
            const auto bounds = resolve(parsed.params[2]);
            if (!bounds) {
                Fail(client, "CHATHISTORY", "INVALID_PARAMS", sub, "Invalid parameters");
                return;
            }
            from = bounds->after;
        }
    } else if (sub == "BETWEEN") {
        const auto a = resolve(parsed.params[2]);
        const auto b = resolve(parsed.params[3]);
        if (!a || !b) {
            Fail(client, "CHATHISTORY", "INVALID_PARAMS", sub, "Invalid parameters");
            return;
        }
        if (a->after <= b->before) {
            from = a->after;
            to = b->before;
        } else {
            from = b->after;
            to = a->before;
            newest = true;
        }
    } else {
        const auto bounds = resolve(parsed.params[2]);
        if (!bounds) {
            Fail(client, "CHATHISTORY", "INVALID_PARAMS", sub, "Invalid parameters");
            return;
        }
        if (sub == "BEFORE") {
            to = bounds->before;
            newest = true;
        } else {
            from = bounds->after;
            to = n;
        }
    }
    to = std::max(from, to);
    if (to - from > *limit) {
        if (newest) {
            from = to - *limit;
        } else {
            to = from + *limit;
        }
    }
    const std::string batch = NewBatch();
    const std::string head = ":" + std::string(kServer) + " ";
    if (client.Has("batch")) {
        client.Send(head + "BATCH +" + batch + " chathistory " + target);
    }
    for (std::ptrdiff_t i = from; i < to; ++i) {
        const Stored& stored = kept[static_cast<std::size_t>(i)];
        Deliver(client, stored.line, stored.time, stored.msgid, batch);
    }
    if (client.Has("batch")) {
        client.Send(head + "BATCH -" + batch);
    }
}

void ScriptedBouncer::HandleTargets(Client& client, const Parsed& parsed)
{
    if (parsed.params.size() < 4) {
        Fail(client, "CHATHISTORY", "NEED_MORE_PARAMS", "TARGETS", "Missing parameters");
        return;
    }
    const auto time = [](const std::string& reference) -> std::optional<std::int64_t> {
        return reference.starts_with("timestamp=") ? ParseServerTime(reference.substr(10)) : std::nullopt;
    };
    const std::optional<std::int64_t> a = time(parsed.params[1]);
    const std::optional<std::int64_t> b = time(parsed.params[2]);
    std::optional<std::int32_t> limit = Count(parsed.params[3]);
    if (!a || !b || !limit || client.network_.empty()) {
        Fail(client, "CHATHISTORY", "INVALID_PARAMS", "TARGETS", "Invalid parameters");
        return;
    }
    if (options_.historyLimit > 0) {
        limit = std::min(*limit, options_.historyLimit);
    }
    const std::int64_t low = std::min(*a, *b);
    const std::int64_t high = std::max(*a, *b);
    // Each target with its latest line inside the range, oldest first.
    std::vector<std::pair<std::int64_t, std::string>> found;
    NetworkState& network = networks_[client.network_];
    for (const auto& [folded, kept] : network.history) {
        for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
            if (it->time > low && it->time < high) {
                found.emplace_back(it->time, network.names[folded]);
                break;
            }
        }
    }
    std::sort(found.begin(), found.end());
    if (static_cast<std::int32_t>(found.size()) > *limit) {
        if (*a <= *b) {
            found.resize(static_cast<std::size_t>(*limit));
        } else {
            found.erase(found.begin(), found.end() - *limit);
        }
    }
    const std::string batch = NewBatch();
    const std::string head = ":" + std::string(kServer) + " ";
    if (client.Has("batch")) {
        client.Send(head + "BATCH +" + batch + " draft/chathistory-targets");
    }
    for (const auto& [at, target] : found) {
        Deliver(client, head + "CHATHISTORY TARGETS " + target + " " + Time(at), std::nullopt, {}, batch);
    }
    if (client.Has("batch")) {
        client.Send(head + "BATCH -" + batch);
    }
}

void ScriptedBouncer::MarkerLine(Client& client, const std::string& target)
{
    const NetworkState& network = networks_[client.network_];
    const auto marker = network.markers.find(Folded(target));
    client.Send(":" + std::string(kServer) + " MARKREAD " + target + " " +
                (marker == network.markers.end() ? std::string("*") : "timestamp=" + Time(marker->second)));
}

void ScriptedBouncer::SetMarker(const std::string& network, const std::string& target, std::int64_t ms)
{
    networks_[network].markers[Folded(target)] = ms;
    for (const auto& client : clients_) {
        if (client->registered_ && client->network_ == network && client->Has("draft/read-marker")) {
            MarkerLine(*client, target);
        }
    }
}

void ScriptedBouncer::HandleMarkRead(Client& client, const Parsed& parsed)
{
    if (parsed.params.empty()) {
        Fail(client, "MARKREAD", "NEED_MORE_PARAMS", {}, "Missing parameters");
        return;
    }
    const std::string& target = parsed.params[0];
    if (client.network_.empty()) {
        Fail(client, "MARKREAD", "INTERNAL_ERROR", target, "No network bound");
        return;
    }
    if (parsed.params.size() < 2) {
        MarkerLine(client, target);
        return;
    }
    const std::string& value = parsed.params[1];
    const std::optional<std::int64_t> ms =
        value.starts_with("timestamp=") ? ParseServerTime(value.substr(10)) : std::nullopt;
    if (!ms) {
        Fail(client, "MARKREAD", "INVALID_PARAMS", value, "Invalid parameters");
        return;
    }
    // Only ever forward, and never past now; every client of the user hears a change.
    const std::optional<std::int64_t> before = ReadMarker(target, client.network_);
    const std::int64_t clamped = std::min(*ms, NowMs());
    if (before && clamped <= *before) {
        MarkerLine(client, target);
        return;
    }
    SetMarker(client.network_, target, clamped);
}

std::optional<std::int64_t> ScriptedBouncer::ReadMarker(const std::string& target,
                                                        const std::string& network) const
{
    const auto state = networks_.find(network);
    if (state == networks_.end()) {
        return std::nullopt;
    }
    const auto marker = state->second.markers.find(Folded(target));
    return marker == state->second.markers.end() ? std::nullopt : std::optional(marker->second);
}

std::vector<ScriptedBouncer::Stored> ScriptedBouncer::History(const std::string& target,
                                                              const std::string& network) const
{
    const auto state = networks_.find(network);
    if (state == networks_.end()) {
        return {};
    }
    const auto found = state->second.history.find(Folded(target));
    return found == state->second.history.end() ? std::vector<Stored>() : found->second;
}

void ScriptedBouncer::NotifyNetwork(const std::string& id, const std::string& attributes)
{
    for (const auto& client : clients_) {
        if (client->registered_ && client->Has("soju.im/bouncer-networks-notify")) {
            client->Send(":" + std::string(kServer) + " BOUNCER NETWORK " + id + " " + attributes);
        }
    }
}

std::optional<ScriptedBouncer::Attributes> ScriptedBouncer::Network(const std::string& id) const
{
    const auto found = networks_.find(id);
    return found == networks_.end() ? std::nullopt : std::optional(found->second.attributes);
}

std::vector<std::string> ScriptedBouncer::NetworkIds() const
{
    std::vector<std::string> ids;
    for (const auto& [id, network] : networks_) {
        ids.push_back(id);
    }
    return ids;
}

std::string ScriptedBouncer::AddNetwork(const Attributes& attributes)
{
    const std::string id = std::to_string(nextNetwork_++);
    NetworkState& network = networks_[id];
    network.attributes = attributes;
    network.attributes.try_emplace("name", attributes.count("host") != 0 ? attributes.at("host") : id);
    network.attributes.try_emplace("tls", "1");
    network.attributes.try_emplace("port", network.attributes["tls"] == "0" ? "6667" : "6697");
    network.attributes["state"] = "connected";
    NotifyNetwork(id, Encode(network.attributes));
    return id;
}

void ScriptedBouncer::ChangeNetwork(const std::string& id, const std::string& key, const std::string& value)
{
    networks_[id].attributes[key] = value;
    NotifyNetwork(id, Encode({{key, value}}));
}

void ScriptedBouncer::HandleBouncer(Client& client, const Parsed& parsed)
{
    const std::string sub = parsed.params.empty() ? std::string() : Upper(parsed.params[0]);
    const std::string head = ":" + std::string(kServer) + " ";
    const auto param = [&](std::size_t i) { return i < parsed.params.size() ? parsed.params[i] : std::string(); };
    if (!client.authenticated_) {
        Fail(client, "BOUNCER", "ACCOUNT_REQUIRED", sub, "Authentication required");
        return;
    }
    // Attributes a client may set: known, not read-only, well formed.
    const auto check = [&](const std::string& text, const std::string& id, Attributes& attributes) {
        if (!Decode(text, attributes)) {
            Fail(client, "BOUNCER", "INVALID_ATTRIBUTE", sub + " " + id + " " + text, "Invalid attribute value");
            return false;
        }
        for (const auto& [key, value] : attributes) {
            if (std::find(kAttributes.begin(), kAttributes.end(), key) == kAttributes.end()) {
                Fail(client, "BOUNCER", "UNKNOWN_ATTRIBUTE", sub + " " + id + " " + key, "Unknown attribute");
                return false;
            }
            if (key == "state") {
                Fail(client, "BOUNCER", "READ_ONLY_ATTRIBUTE", sub + " " + id + " " + key, "Read-only attribute");
                return false;
            }
            if ((key == "tls" && value != "0" && value != "1") || (key == "port" && !Count(value).has_value())) {
                Fail(client, "BOUNCER", "INVALID_ATTRIBUTE", sub + " " + id + " " + key,
                     "Invalid attribute value");
                return false;
            }
        }
        return true;
    };
    if (sub == "BIND") {
        if (client.registered_) {
            Fail(client, "BOUNCER", "REGISTRATION_IS_COMPLETED", "BIND",
                 "Cannot bind to a network after registration");
        } else if (networks_.count(param(1)) == 0) {
            Fail(client, "BOUNCER", "INVALID_NETID", "BIND " + param(1), "Network not found");
        } else {
            client.bind_ = param(1);
        }
    } else if (sub == "LISTNETWORKS") {
        const std::string batch = NewBatch();
        if (client.Has("batch")) {
            client.Send(head + "BATCH +" + batch + " soju.im/bouncer-networks");
        }
        for (const auto& [id, network] : networks_) {
            Deliver(client, head + "BOUNCER NETWORK " + id + " " + Encode(network.attributes), std::nullopt, {},
                    batch);
        }
        if (client.Has("batch")) {
            client.Send(head + "BATCH -" + batch);
        }
    } else if (sub == "ADDNETWORK") {
        Attributes attributes;
        if (!check(param(1), "*", attributes)) {
            return;
        }
        if (attributes.count("host") == 0) {
            Fail(client, "BOUNCER", "NEED_ATTRIBUTE", "ADDNETWORK host", "Missing required attribute");
            return;
        }
        const std::string id = AddNetwork(attributes);
        client.Send(head + "BOUNCER ADDNETWORK " + id);
    } else if (sub == "CHANGENETWORK") {
        const std::string id = param(1);
        if (networks_.count(id) == 0) {
            Fail(client, "BOUNCER", "INVALID_NETID", "CHANGENETWORK " + id, "Network not found");
            return;
        }
        Attributes attributes;
        if (parsed.params.size() < 3 || !check(param(2), id, attributes) || attributes.empty()) {
            if (parsed.params.size() < 3) {
                Fail(client, "BOUNCER", "NEED_ATTRIBUTE", "CHANGENETWORK " + id, "Missing attributes");
            }
            return;
        }
        for (const auto& [key, value] : attributes) {
            networks_[id].attributes[key] = value;
        }
        NotifyNetwork(id, Encode(attributes));
        client.Send(head + "BOUNCER CHANGENETWORK " + id);
    } else if (sub == "DELNETWORK") {
        const std::string id = param(1);
        if (networks_.count(id) == 0) {
            Fail(client, "BOUNCER", "INVALID_NETID", "DELNETWORK " + id, "Network not found");
            return;
        }
        networks_.erase(id);
        NotifyNetwork(id, "*");
        client.Send(head + "BOUNCER DELNETWORK " + id);
        // Its clients lose their network with it.
        for (const auto& other : clients_) {
            if (other->network_ == id) {
                other->Send("ERROR :Network deleted");
                other->Close();
            }
        }
    } else {
        Fail(client, "BOUNCER", "UNKNOWN_COMMAND", sub, "Unknown subcommand");
    }
}

} // namespace tellix::test
