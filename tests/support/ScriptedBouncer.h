#pragma once

#include <QTcpServer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QTcpSocket;

namespace tellix::test {

// A loopback bouncer of the modern kind, as small as its protocols allow, run from the test's
// event loop: one user with several networks, any number of clients at once (the user's
// devices), and a store of its own of what was said (with time and msgid) and of read markers.
//
// It speaks CAP LS/REQ/ACK/END, SASL PLAIN (or PASS "user[/network]:password"), the welcome
// with CHATHISTORY= and BOUNCER_NETID= in 005, draft/chathistory (TARGETS, LATEST, BEFORE,
// AFTER, BETWEEN by msgid= or timestamp=, replies in batches), draft/read-marker (MARKREAD,
// told to every client of the user) and soju.im/bouncer-networks with -notify
// (LISTNETWORKS, BIND, ADDNETWORK, CHANGENETWORK, DELNETWORK). There is no upstream: the test
// says what others said, and the user's joins.
class ScriptedBouncer {
public:
    struct Options {
        std::string user = "tellix";
        std::string password = "bouncer-secret";
        std::string nick = "me";
        std::string network = "net";     // the first network's name
        std::int32_t historyLimit = 100; // CHATHISTORY= (0: none)
        bool chathistory = true;
        bool readMarker = true;
    };
    // One line of a conversation as kept: its time, msgid and the line without tags.
    struct Stored {
        std::int64_t time = 0;
        std::string msgid;
        std::string line;
    };
    class Client {
    public:
        // The line as given (tags too), CR LF added.
        void Send(std::string_view line);
        void Close();
        const std::vector<std::string>& Received() const { return received_; }
        bool Registered() const { return registered_; }
        bool Closed() const { return socket_ == nullptr; }
        // The network it is bound to; empty for none.
        const std::string& Network() const { return network_; }
        bool Has(std::string_view capability) const;

    private:
        friend class ScriptedBouncer;
        QTcpSocket* socket_ = nullptr;
        std::string partial_;
        std::vector<std::string> received_;
        std::vector<std::string> caps_;
        bool negotiating_ = false;
        bool authenticated_ = false;
        bool saslAsked_ = false;
        bool registered_ = false;
        std::string nick_;
        bool userGiven_ = false;
        std::string network_;
        std::string bind_;        // asked for by BOUNCER BIND
        std::string networkName_; // asked for by the login's "user/network"
    };
    using Attributes = std::map<std::string, std::string>;

    ScriptedBouncer();
    explicit ScriptedBouncer(Options options);
    ~ScriptedBouncer();
    ScriptedBouncer(const ScriptedBouncer&) = delete;
    ScriptedBouncer& operator=(const ScriptedBouncer&) = delete;

    std::uint16_t Port() const { return listener_->serverPort(); }
    const Options& Settings() const { return options_; }
    // What a client sends as PASS: "user:password", or "user/network:password" for a login
    // bound to that network.
    std::string ServerPassword(const std::string& network = {}) const
    {
        return options_.user + (network.empty() ? "" : "/" + network) + ":" + options_.password;
    }

    // The networks by id; the first is "1".
    static constexpr std::string_view kFirstNetwork = "1";
    std::optional<Attributes> Network(const std::string& id) const;
    std::vector<std::string> NetworkIds() const;
    // A network added as a client's ADDNETWORK would; its id. Clients with -notify hear of it.
    std::string AddNetwork(const Attributes& attributes);
    // An attribute changed by the bouncer itself (its state, say); clients with -notify hear of it.
    void ChangeNetwork(const std::string& id, const std::string& key, const std::string& value);

    // The user is in `channel` with `members` besides: clients bound to the network see the join.
    void Join(const std::string& channel, const std::vector<std::string>& members = {},
              const std::string& network = std::string(kFirstNetwork));
    // A line said to a channel or to the user (`to` the user's nick) by `from` (a nick or a full
    // mask) at `time` (now when none): kept, and sent to the clients bound to the network (none
    // while the user is away). Its msgid is returned.
    std::string Say(const std::string& from, const std::string& to, const std::string& text,
                    std::optional<std::int64_t> time = std::nullopt,
                    const std::string& network = std::string(kFirstNetwork), bool notice = false);
    // The same, kept only: said while no client listened.
    std::string Store(const std::string& from, const std::string& to, const std::string& text,
                      std::optional<std::int64_t> time = std::nullopt,
                      const std::string& network = std::string(kFirstNetwork));
    // A conversation as kept, oldest first; a query is kept under the partner's nick.
    std::vector<Stored> History(const std::string& target,
                                const std::string& network = std::string(kFirstNetwork)) const;
    std::optional<std::int64_t> ReadMarker(const std::string& target,
                                           const std::string& network = std::string(kFirstNetwork)) const;

    const std::vector<std::unique_ptr<Client>>& Clients() const { return clients_; }
    // Asked first with every line a client sends; true when the test answered it itself.
    std::function<bool(Client& client, const std::string& line)> Intercept;

    // "YYYY-MM-DDThh:mm:ss.sssZ"
    static std::string Time(std::int64_t ms);
    static std::int64_t NowMs();

private:
    struct Parsed {
        std::string command;
        std::vector<std::string> params;
    };
    struct NetworkState {
        Attributes attributes;
        std::vector<std::string> channels;
        std::map<std::string, std::vector<std::string>> members;
        std::map<std::string, std::vector<Stored>> history; // by folded target
        std::map<std::string, std::string> names;           // folded target: as first seen
        std::map<std::string, std::int64_t> markers;        // by folded target
    };

    static Parsed Parse(std::string_view line);
    void Accept();
    void Handle(Client& client, const std::string& line);
    void HandleCap(Client& client, const Parsed& parsed);
    void HandleAuthenticate(Client& client, const Parsed& parsed);
    void HandleChatHistory(Client& client, const Parsed& parsed);
    void HandleTargets(Client& client, const Parsed& parsed);
    void HandleMarkRead(Client& client, const Parsed& parsed);
    void HandleBouncer(Client& client, const Parsed& parsed);
    void HandleMessage(Client& client, const Parsed& parsed);
    // Checks "user[/network]" and the password; remembers the network asked for.
    bool LogIn(Client& client, std::string_view user, std::string_view password);
    void TryRegister(Client& client);
    void SendJoin(Client& client, const std::string& channel);
    // Sends `line` (no tags) with the tags the client asked for: time, msgid, batch.
    void Deliver(Client& client, const std::string& line, std::optional<std::int64_t> time = std::nullopt,
                 const std::string& msgid = {}, const std::string& batch = {});
    std::string Keep(const std::string& network, const std::string& from, const std::string& to,
                     const std::string& text, std::optional<std::int64_t> time, bool notice, std::string& line);
    void SetMarker(const std::string& network, const std::string& target, std::int64_t ms);
    void MarkerLine(Client& client, const std::string& target);
    void Fail(Client& client, std::string_view command, std::string_view code, std::string_view context,
              std::string_view text);
    void NotifyNetwork(const std::string& id, const std::string& attributes);
    std::string Mask() const;
    std::string NewBatch();
    std::string Folded(std::string_view name) const;
    bool IsChannel(std::string_view name) const { return name.starts_with('#'); }
    std::string Offered() const;

    Options options_;
    std::unique_ptr<QTcpServer> listener_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::map<std::string, NetworkState> networks_;
    std::int32_t nextNetwork_ = 1;
    std::uint64_t nextMsgid_ = 0;
    std::uint64_t nextBatch_ = 0;
};

} // namespace tellix::test
