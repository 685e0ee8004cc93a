#pragma once

#include "model/IgnoreList.h"
#include "net/IRCConnection.h"
#include "net/SavedLogin.h"
#include "net/frmContainer.h"
#include "util/Collection.h"
#include "util/Event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

class IRCChannel;
class IRCUser;
class StsPolicy;
class Timers;

// Connections are found by their key.
struct ConnectionNaming : ExactText {
    static std::string_view Name(const IRCConnection& connection) { return connection.Key(); }
};

// The connections, the socket host they share, and the one place where the events of
// every connection, channel and user come together, each with its connection first.
class IRCConnections : public Collection<IRCConnection, ConnectionNaming> {
public:
    using ConnectionPtr = std::shared_ptr<IRCConnection>;
    using ChannelPtr = std::shared_ptr<IRCChannel>;
    using UserPtr = std::shared_ptr<IRCUser>;

    explicit IRCConnections(SocketFactory& factory);
    ~IRCConnections();
    IRCConnections(const IRCConnections&) = delete;
    IRCConnections& operator=(const IRCConnections&) = delete;

    ConnectionPtr Add();
    // A position or a connection's key; one that names no connection fails.
    using Collection::Item;
    const ConnectionPtr& Item(std::string_view key) const;
    void Remove(std::int32_t position);
    void Remove(std::string_view key);
    void Clear();

    // Used by the connections.
    frmContainer& SocketHost() { return *host_; }
    // The protocol's time for every connection; null where none is given.
    Timers* ProtocolTimers() const { return timers_; }
    void SetProtocolTimers(Timers* timers) { timers_ = timers; }
    // Whether CTCP requests get an answer; on unless the user switched them off.
    bool CtcpReplies() const { return ctcpReplies_; }
    void SetCtcpReplies(bool on) { ctcpReplies_ = on; }
    // The hosts that require TLS; none where nothing keeps them.
    StsPolicy* StrictTransport() const { return strictTransport_; }
    void SetStrictTransport(StsPolicy* policy) { strictTransport_ = policy; }
    // Senders whose messages, notices and CTCP requests are dropped on arrival, on every connection.
    IgnoreList& Ignores() { return ignores_; }
    const std::string& Key() const { return key_; }

    struct EventsType {
        Event<const ConnectionPtr&> Add;
        Event<const ConnectionPtr&, const ChannelPtr&> ChannelAdd;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&> ChannelJoin;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const UserPtr&, const std::string&>
            ChannelKick;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelNickChange;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelNotice;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelPart;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelPrivMsg;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelQuit;
        Event<const ConnectionPtr&, const ChannelPtr&, const UserPtr&, const std::string&> ChannelTopicChange;
        Event<const ConnectionPtr&, const std::string&, std::int32_t, bool> Connect;
        Event<const ConnectionPtr&, const std::string&, const std::string&> CtcpReply;
        Event<const ConnectionPtr&, const std::string&, std::int32_t, bool> Disconnect;
        Event<const ConnectionPtr&, const std::string&> Error;
        Event<const ConnectionPtr&, const std::string&, bool&> GetRawMessage;
        Event<const ConnectionPtr&, const std::string&> MessageNotProcessed;
        Event<const ConnectionPtr&, const std::string&> ServerChange;
        Event<const ConnectionPtr&, const std::string&, const std::string&> ServerNotice;
        Event<const ConnectionPtr&, std::int16_t, std::string&, std::int32_t, const std::string&,
              const std::string&, std::int32_t, bool&>
            SocketError;
        Event<const ConnectionPtr&, const UserPtr&> UserAdd;
        Event<const ConnectionPtr&, const UserPtr&, const std::string&> UserNickChange;
        Event<const ConnectionPtr&, const UserPtr&, const std::string&> UserNotice;
        Event<const ConnectionPtr&, const UserPtr&, const std::string&> UserPrivMsg;
        Event<const ConnectionPtr&, const UserPtr&, const std::string&> UserQuit;
        Event<const ConnectionPtr&, const UserPtr&> UserRemove;
        Event<const ConnectionPtr&, const UserPtr&, const std::string&, bool, bool> UserSelfMessage;
        // Server, Port, the certificate and why it was refused
        Event<const ConnectionPtr&, const std::string&, std::int32_t, const CertificateRefusal&>
            CertificateRefused;
        Event<const ConnectionPtr&, std::size_t> LinesNotSent;                              // Count
        Event<const ConnectionPtr&, const std::string&, std::int32_t> TlsUpgrade;           // Server, Port
        Event<const ConnectionPtr&, const std::string&> ReadMarkerMove;                     // Target
        Event<const ConnectionPtr&, const std::string&, bool> HistoryFetched;               // Target, More
        Event<const ConnectionPtr&, const std::string&, const std::string&> BouncerNetwork; // Id, Attributes
    } Events;

    // The fingerprint the user trusts for a server's host and port, or empty; asked on each
    // TLS connect.
    std::function<std::string(const std::string&, std::int32_t)> TrustedFingerprint;
    // Asked on every plain-text open, the user's and a connection's own retries alike: it may
    // move the place to TLS on another port, with the options that go there (a login only
    // where it belongs); true when it moved it.
    std::function<bool(const IRCConnection& connection, ServerPlace& place, ConnectOptions& options)> SecureRoute;
    // The time of the newest line the client has of the connection's network (its windows, its
    // logs), in milliseconds: missed lines are fetched from there on. Asked after each welcome.
    std::function<std::optional<std::int64_t>(const IRCConnection& connection)> HistorySince;

    // One raise operation per event but Add, used by the connections.
    void RaiseChannelAdd(const ConnectionPtr& connection, const ChannelPtr& channel)
    {
        Events.ChannelAdd.raise(connection, channel);
    }
    void RaiseChannelJoin(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source)
    {
        Events.ChannelJoin.raise(connection, channel, source);
    }
    void RaiseChannelKick(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                          const UserPtr& destination, const std::string& reason)
    {
        Events.ChannelKick.raise(connection, channel, source, destination, reason);
    }
    void RaiseChannelNickChange(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                                const std::string& nickPrev)
    {
        Events.ChannelNickChange.raise(connection, channel, source, nickPrev);
    }
    void RaiseChannelNotice(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                            const std::string& notice)
    {
        Events.ChannelNotice.raise(connection, channel, source, notice);
    }
    void RaiseChannelPart(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                          const std::string& partMsg)
    {
        Events.ChannelPart.raise(connection, channel, source, partMsg);
    }
    void RaiseChannelPrivMsg(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                             const std::string& privMsg)
    {
        Events.ChannelPrivMsg.raise(connection, channel, source, privMsg);
    }
    void RaiseChannelQuit(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                          const std::string& quitMsg)
    {
        Events.ChannelQuit.raise(connection, channel, source, quitMsg);
    }
    void RaiseChannelTopicChange(const ConnectionPtr& connection, const ChannelPtr& channel, const UserPtr& source,
                                 const std::string& topicPrev)
    {
        Events.ChannelTopicChange.raise(connection, channel, source, topicPrev);
    }
    void RaiseConnect(const ConnectionPtr& connection, const std::string& server, std::int32_t port, bool code)
    {
        Events.Connect.raise(connection, server, port, code);
    }
    void RaiseDisconnect(const ConnectionPtr& connection, const std::string& server, std::int32_t port, bool code)
    {
        Events.Disconnect.raise(connection, server, port, code);
    }
    void RaiseError(const ConnectionPtr& connection, const std::string& description)
    {
        Events.Error.raise(connection, description);
    }
    void RaiseGetRawMessage(const ConnectionPtr& connection, const std::string& message, bool& processed)
    {
        Events.GetRawMessage.raise(connection, message, processed);
    }
    void RaiseMessageNotProcessed(const ConnectionPtr& connection, const std::string& message)
    {
        Events.MessageNotProcessed.raise(connection, message);
    }
    void RaiseCertificateRefused(const ConnectionPtr& connection, const std::string& server, std::int32_t port,
                                 const CertificateRefusal& refusal)
    {
        Events.CertificateRefused.raise(connection, server, port, refusal);
    }
    void RaiseLinesNotSent(const ConnectionPtr& connection, std::size_t count)
    {
        Events.LinesNotSent.raise(connection, count);
    }
    void RaiseTlsUpgrade(const ConnectionPtr& connection, const std::string& server, std::int32_t port)
    {
        Events.TlsUpgrade.raise(connection, server, port);
    }
    void RaiseServerChange(const ConnectionPtr& connection, const std::string& server)
    {
        Events.ServerChange.raise(connection, server);
    }
    void RaiseCtcpReply(const ConnectionPtr& connection, const std::string& nick, const std::string& reply)
    {
        Events.CtcpReply.raise(connection, nick, reply);
    }
    void RaiseServerNotice(const ConnectionPtr& connection, const std::string& server, const std::string& notice)
    {
        Events.ServerNotice.raise(connection, server, notice);
    }
    void RaiseUserSelfMessage(const ConnectionPtr& connection, const UserPtr& destination,
                              const std::string& message, bool notice, bool echo)
    {
        Events.UserSelfMessage.raise(connection, destination, message, notice, echo);
    }
    void RaiseSocketError(const ConnectionPtr& connection, std::int16_t number, std::string& description,
                          std::int32_t scode, const std::string& source, const std::string& helpFile,
                          std::int32_t helpContext, bool& cancelDisplay)
    {
        Events.SocketError.raise(connection, number, description, scode, source, helpFile, helpContext,
                                 cancelDisplay);
    }
    void RaiseUserAdd(const ConnectionPtr& connection, const UserPtr& source)
    {
        Events.UserAdd.raise(connection, source);
    }
    void RaiseUserNickChange(const ConnectionPtr& connection, const UserPtr& source, const std::string& nickPrev)
    {
        Events.UserNickChange.raise(connection, source, nickPrev);
    }
    void RaiseUserNotice(const ConnectionPtr& connection, const UserPtr& source, const std::string& notice)
    {
        Events.UserNotice.raise(connection, source, notice);
    }
    void RaiseUserPrivMsg(const ConnectionPtr& connection, const UserPtr& source, const std::string& privMsg)
    {
        Events.UserPrivMsg.raise(connection, source, privMsg);
    }
    void RaiseUserQuit(const ConnectionPtr& connection, const UserPtr& source, const std::string& quitMsg)
    {
        Events.UserQuit.raise(connection, source, quitMsg);
    }
    void RaiseUserRemove(const ConnectionPtr& connection, const UserPtr& source)
    {
        Events.UserRemove.raise(connection, source);
    }
    void RaiseReadMarkerMove(const ConnectionPtr& connection, const std::string& target)
    {
        Events.ReadMarkerMove.raise(connection, target);
    }
    void RaiseHistoryFetched(const ConnectionPtr& connection, const std::string& target, bool more)
    {
        Events.HistoryFetched.raise(connection, target, more);
    }
    void RaiseBouncerNetwork(const ConnectionPtr& connection, const std::string& id, const std::string& attributes)
    {
        Events.BouncerNetwork.raise(connection, id, attributes);
    }

private:
    std::unique_ptr<frmContainer> host_;
    Timers* timers_ = nullptr;
    StsPolicy* strictTransport_ = nullptr;
    bool ctcpReplies_ = true;
    IgnoreList ignores_;
    std::string key_;
};

} // namespace tellix
