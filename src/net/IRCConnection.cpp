#include "net/IRCConnection.h"

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnections.h"
#include "net/SaslLogin.h"
#include "net/ServerLine.h"
#include "net/StsPolicy.h"
#include "net/WhoReplies.h"
#include "net/frmContainer.h"
#include "platform/Timers.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "util/LineRoad.h"
#include "util/Relay.h"
#include "util/Utf8.h"
#include "util/Utility.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace tellix {

IRCConnection::IRCConnection(Token)
    : key_(NewUniqueKey()),
      sendQueue_(
          [this](std::string_view line) {
              if (socket_ != nullptr) {
                  SendLine(*socket_, line);
              }
          },
          [this](std::size_t count) {
              // Once a listener deleted this connection, nothing more.
              return Relay(*this).Up(&IRCConnections::RaiseLinesNotSent, Events.LinesNotSent, count) && !deleted_;
          }),
      linkWatch_({.ping = [this] { SendMessage("PING :" + server_, SendPriority::Urgent); },
                  .drop =
                      [this] {
                          if (socket_ != nullptr && connected_) {
                              socket_->Close();
                              codeFlag_ = false;
                              std::int16_t slot = slot_;
                              pobjContainer_WSClose(slot);
                          }
                      },
                  .reconnect = [this] { Open("", 0, false); }})
{
}

std::shared_ptr<IRCConnection> IRCConnection::Create()
{
    auto connection = std::make_shared<IRCConnection>(Token{});
    connection->users_ = IRCUsers::Create();
    connection->users_->SetParent(connection.get());
    connection->channels_ = IRCChannels::Create();
    connection->channels_->SetParent(connection.get());
    connection->BindCollections();
    connection->BindHistory();
    return connection;
}

IRCConnection::~IRCConnection()
{
    capTimer_.reset();
    historyTimer_.reset();
    // Only releases: no event, no line sent, nothing asked of objects that may be gone.
    pobjChannels_.clear();
    pobjUsers_.clear();
    DetachFromCollection();
    if (channels_) {
        channels_->DetachParent();
    }
    if (users_) {
        users_->DetachParent();
    }
}

std::int32_t IRCConnection::Index() const
{
    return IRCConnections::IndexIn(parent_, *this);
}

void IRCConnection::Automation(std::int32_t newValue)
{
    automation_ = newValue;
    NormaliseAutomation();
}

void IRCConnection::InitialNick(const std::string& newValue)
{
    initialNick_ = newValue;
    automation_ |= AutoNick;
    NormaliseAutomation();
}

void IRCConnection::InitialUserParams(const std::string& newValue)
{
    initialUserParams_ = newValue;
    automation_ |= AutoUser;
    NormaliseAutomation();
}

void IRCConnection::NormaliseAutomation()
{
    automation_ &= AutoUser | AutoNick | AutoPong;
    if (initialUserParams_.size() <= 7) {
        automation_ &= ~AutoUser;
    }
    if (initialNick_.empty()) {
        automation_ &= ~AutoNick;
    }
}

std::string_view IRCConnection::NamePrefixes() const
{
    // None of these may begin a nick, so they are safe to strip from any server's names.
    return namePrefixes_.empty() ? std::string_view("~&@%+") : std::string_view(namePrefixes_);
}

void IRCConnection::SetParent(IRCConnections* parent)
{
    if (parent_ != nullptr || parent == nullptr) {
        return;
    }
    parent_ = parent;
    host_ = &parent->SocketHost();
    slot_ = host_->FreeSlot();
    socket_ = &host_->CreateSlot(slot_);
    BindSocketHost();
}

// Each channel and user collection event goes on through the owning collection, then as
// the connection's own event. An event nobody listens to at either end is not relayed: a
// names reply of 50,000 users would otherwise pay for holding the connection 50,000 times.
template <auto Raise, auto Heard, class... Args>
Subscription IRCConnection::Forward(Event<Args...>& from, const Event<Args...>& own)
{
    return from.connect([this, &own](Args... args) {
        if (own.empty() && (parent_ == nullptr || (parent_->Events.*Heard).empty())) {
            return;
        }
        Relay(*this).Up(Raise, own, args...);
    });
}

void IRCConnection::BindCollections()
{
    using C = IRCConnections;
    using E = IRCConnections::EventsType;
    auto& channels = channels_->Events;
    auto& channel = pobjChannels_;
    channel.push_back(Forward<&C::RaiseChannelAdd, &E::ChannelAdd>(channels.Add, Events.ChannelAdd));
    channel.push_back(Forward<&C::RaiseChannelJoin, &E::ChannelJoin>(channels.Join, Events.ChannelJoin));
    channel.push_back(Forward<&C::RaiseChannelKick, &E::ChannelKick>(channels.Kick, Events.ChannelKick));
    channel.push_back(
        Forward<&C::RaiseChannelNickChange, &E::ChannelNickChange>(channels.NickChange, Events.ChannelNickChange));
    channel.push_back(Forward<&C::RaiseChannelNotice, &E::ChannelNotice>(channels.Notice, Events.ChannelNotice));
    channel.push_back(Forward<&C::RaiseChannelPart, &E::ChannelPart>(channels.Part, Events.ChannelPart));
    channel.push_back(
        Forward<&C::RaiseChannelPrivMsg, &E::ChannelPrivMsg>(channels.PrivMsg, Events.ChannelPrivMsg));
    channel.push_back(Forward<&C::RaiseChannelQuit, &E::ChannelQuit>(channels.Quit, Events.ChannelQuit));
    channel.push_back(Forward<&C::RaiseChannelTopicChange, &E::ChannelTopicChange>(channels.TopicChange,
                                                                                   Events.ChannelTopicChange));
    auto& users = users_->Events;
    auto& user = pobjUsers_;
    user.push_back(Forward<&C::RaiseUserAdd, &E::UserAdd>(users.Add, Events.UserAdd));
    user.push_back(Forward<&C::RaiseUserNickChange, &E::UserNickChange>(users.NickChange, Events.UserNickChange));
    user.push_back(Forward<&C::RaiseUserNotice, &E::UserNotice>(users.Notice, Events.UserNotice));
    user.push_back(Forward<&C::RaiseUserPrivMsg, &E::UserPrivMsg>(users.PrivMsg, Events.UserPrivMsg));
    user.push_back(Forward<&C::RaiseUserQuit, &E::UserQuit>(users.Quit, Events.UserQuit));
    user.push_back(Forward<&C::RaiseUserRemove, &E::UserRemove>(users.Remove, Events.UserRemove));
}

void IRCConnection::BindSocketHost()
{
    frmContainer& host = *host_;
    pobjContainer_.push_back(host.WSClose.connect([this](std::int16_t& index) { pobjContainer_WSClose(index); }));
    pobjContainer_.push_back(
        host.WSConnect.connect([this](std::int16_t& index) { pobjContainer_WSConnect(index); }));
    pobjContainer_.push_back(host.WSDataArrival.connect(
        [this](std::int16_t& index, std::int32_t bytesTotal) { pobjContainer_WSDataArrival(index, bytesTotal); }));
    pobjContainer_.push_back(
        host.WSError.connect([this](std::int16_t& index, std::int16_t number, std::string& description,
                                    std::int32_t scode, const std::string& source, const std::string& helpFile,
                                    std::int32_t helpContext, bool& cancelDisplay) {
            pobjContainer_WSError(index, number, description, scode, source, helpFile, helpContext, cancelDisplay);
        }));
    pobjContainer_.push_back(
        host.WSCertificateRefused.connect([this](std::int16_t& index, const CertificateRefusal& refusal) {
            pobjContainer_WSCertificateRefused(index, refusal);
        }));
}

void IRCConnection::Connect(const std::string& server, std::int32_t port)
{
    linkWatch_.Stop();
    Open(server, port, true);
}

void IRCConnection::Connect(const std::string& server, std::int32_t port, const ConnectOptions& options)
{
    linkWatch_.Stop();
    Open(server, port, true, options);
}

void IRCConnection::OpenPending()
{
    if (std::optional<PendingOpen> pending = std::exchange(pendingOpen_, std::nullopt)) {
        Open(pending->server, pending->port, true, pending->options);
    }
}

void IRCConnection::Open(const std::string& server, std::int32_t port, bool byUser,
                         const std::optional<ConnectOptions>& options)
{
    if (socket_ == nullptr) {
        throw CoreError("the connection has no socket", kErrorObjectMissing);
    }
    if (deleted_) {
        return; // asked by a listener while Delete takes the socket down
    }
    if (byUser && connected_ && (sendQueue_.Held() > 0 || sendQueue_.Leaving())) {
        // What the user said here goes first, at its pace, for a few seconds at most; the link
        // going meanwhile went as asked. The link keeps its own options until then.
        codeFlag_ = true;
        pendingOpen_ = PendingOpen{server, port, options};
        sendQueue_.Leave([this] { OpenPending(); });
        return;
    }
    pendingOpen_.reset();
    if (options) {
        options_ = *options;
    }
    const auto self = shared_from_this();
    ++requests_;
    if (socket_->State() != TcpSocket::StateClosed && !CloseSocket()) {
        return;
    }
    // A line left over from the last connection must not be glued to the next one.
    receiveBuffer_.Clear();
    sendQueue_.Reset(ProtocolTimers());
    ctcp_.Reset();
    EndRegistrationTalk();
    codeFlag_ = byUser;
    if (!server.empty()) {
        socket_->SetRemoteHost(server);
    }
    if (port != 0) {
        socket_->SetRemotePort(port);
    }
    if (!options_.tls && parent_ != nullptr && parent_->SecureRoute) {
        ServerPlace place{socket_->RemoteHost(), socket_->RemotePort(), false};
        ConnectOptions secure = options_;
        if (parent_->SecureRoute(*this, place, secure) && !deleted_ && socket_ != nullptr) {
            options_ = std::move(secure);
            options_.tls = place.tls;
            socket_->SetRemotePort(place.port);
        }
        if (deleted_ || socket_ == nullptr) {
            return;
        }
    }
    TlsSettings tls;
    tls.enabled = options_.tls;
    if (tls.enabled) {
        tls.clientCertificate = options_.clientCertificate;
        if (parent_ != nullptr && parent_->TrustedFingerprint) {
            tls.pinnedSha256 = parent_->TrustedFingerprint(socket_->RemoteHost(), socket_->RemotePort());
        }
    }
    socket_->SetTls(std::move(tls));
    connecting_ = true;
    attemptHost_ = socket_->RemoteHost();
    attemptPort_ = socket_->RemotePort();
    ++attempts_;
    socket_->Connect();
}

void IRCConnection::Disconnect()
{
    linkWatch_.Stop(); // also while waiting for the next try, offline
    if (socket_ == nullptr || deleted_ || socket_->State() == TcpSocket::StateClosed) {
        return;
    }
    pendingOpen_.reset(); // asked last, the end wins
    if (connected_ && (sendQueue_.Held() > 0 || sendQueue_.Leaving())) {
        // What the user already said goes out first, at its pace, for a few seconds at most; the
        // link going meanwhile went as asked.
        codeFlag_ = true;
        sendQueue_.Leave([this] { Disconnect(); });
        return;
    }
    const auto self = shared_from_this();
    ++requests_;
    codeFlag_ = true;
    connecting_ = false;
    CloseSocket();
}

bool IRCConnection::CloseSocket()
{
    socket_->Close();
    sendQueue_.Clear();
    LinkGone();
    linkWatch_.Offline();
    EndRegistrationTalk();
    MarkChannelsNotJoined();
    if (!connected_) {
        return true;
    }
    connected_ = false;
    const std::uint32_t request = requests_;
    const std::string server = server_;
    const std::int32_t port = port_;
    return Relay(*this).Down(&IRCConnections::RaiseDisconnect, Events.Disconnect, server, port, true) &&
           requests_ == request && !deleted_;
}

void IRCConnection::MarkChannelsNotJoined()
{
    if (channels_) {
        for (const ChannelPtr& channel : *channels_) {
            channel->SetJoined(false);
        }
    }
}

void IRCConnection::Quit(const std::string& quitMsg)
{
    linkWatch_.Stop();
    pendingOpen_.reset(); // asked last, the goodbye wins
    if (connected_) {
        codeFlag_ = true;
        SendMessage("QUIT :" + quitMsg);
    }
}

void IRCConnection::ChangeNick(const std::string& nickNext)
{
    SendMessage("NICK :" + nickNext);
}

void IRCConnection::SendMessage(std::string_view message, SendPriority priority)
{
    SendTagged({}, message, priority);
}

void IRCConnection::SendTagged(std::string_view tags, std::string_view message, SendPriority priority)
{
    if (socket_ == nullptr) {
        return;
    }
    linkWatch_.NoteSent(message);
    if (message.size() > 4 && (message[3] == ' ') && UpperCase(message.substr(0, 3)) == "WHO") {
        whoFields_ = WhoxFields(message);
    }
    const std::string_view kept = message.substr(0, Utf8Cut(message, LineRoom()));
    sendQueue_.Push(tags.empty() ? std::string(kept) : Concat("@", tags, " ", kept), priority);
}

void IRCConnection::SendAsking(std::string_view message, std::string asker)
{
    if (caps_.Enabled("labeled-response") && caps_.Enabled("batch") && !message.starts_with('@')) {
        SendTagged(Concat("label=", labels_.Start(std::move(asker))), message);
    } else {
        SendMessage(message);
    }
}

bool IRCConnection::ClientTagAllowed(std::string_view name) const
{
    if (!caps_.Enabled("message-tags")) {
        return false;
    }
    // "*" denies every tag but those after it with a "-"; a name alone denies that one.
    bool allowed = true;
    std::string_view rest = clientTagDeny_;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view entry = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (entry == "*") {
            allowed = false;
        } else if (entry.starts_with('-') && entry.substr(1) == name) {
            allowed = true;
        } else if (entry == name) {
            allowed = false;
        }
    }
    return allowed;
}

void IRCConnection::ForgetAway()
{
    const std::shared_ptr<IRCUsers> users = users_;
    if (!users) {
        return;
    }
    std::vector<UserPtr> away;
    for (const UserPtr& user : *users) {
        if (user->Away()) {
            away.push_back(user);
        }
    }
    for (const UserPtr& user : away) {
        if (deleted_) {
            return;
        }
        user->SetAway(false);
    }
}

std::int64_t IRCConnection::NowMs() const
{
    if (Timers* timers = ProtocolTimers()) {
        return timers->NowMs();
    }
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string IRCConnection::CtcpPingToken()
{
    constexpr std::size_t kKept = 8;
    if (ctcpPings_.size() == kKept) {
        ctcpPings_.pop_front();
    }
    ctcpPings_.push_back(NowMs());
    return std::to_string(ctcpPings_.back());
}

std::optional<std::int64_t> IRCConnection::CtcpPingAnswered(std::string_view token)
{
    std::int64_t sent = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), sent);
    const auto kept = std::find(ctcpPings_.begin(), ctcpPings_.end(), sent);
    if (token.empty() || error != std::errc() || end != token.data() + token.size() || kept == ctcpPings_.end()) {
        return std::nullopt;
    }
    ctcpPings_.erase(kept);
    return NowMs() - sent;
}

void IRCConnection::AnswerCtcp(const std::string& nick, std::string_view text)
{
    if (parent_ == nullptr || !parent_->CtcpReplies() || deleted_ || !connected_) {
        return;
    }
    const std::string answer = ctcp_.Answer(text, NowMs());
    if (!answer.empty()) {
        SendMessage("NOTICE " + nick + " :" + answer, SendPriority::Automatic);
    }
}

std::size_t IRCConnection::RelayPrefixLength() const
{
    if (user_ && user_->Info() == 7) {
        return user_->UserMask().size() + 2;
    }
    // Until the server shows us our mask: the longest user and host names the common servers
    // keep (63 bytes each), and the longest nick they allow where ours is not known yet.
    constexpr std::size_t kUserBound = 63;
    constexpr std::size_t kHostBound = 63;
    constexpr std::size_t kNickBound = 32;
    std::size_t nick = user_ ? user_->Nick().size() : initialNick_.size();
    if (nick == 0) {
        nick = kNickBound;
    }
    return 1 + nick + 1 + kUserBound + 1 + kHostBound + 1;
}

std::size_t IRCConnection::LineRoom() const
{
    constexpr std::size_t kServerLine = 510; // 512 with the CR LF
    // A prefix that leaves almost nothing belongs to a nick no server accepts.
    constexpr std::size_t kLeast = 64;
    const std::size_t prefix = RelayPrefixLength();
    return prefix + kLeast < kServerLine ? kServerLine - prefix : kLeast;
}

void IRCConnection::Delete()
{
    // Asked again by a listener of the events below: the first call finishes the job.
    if (deleted_) {
        return;
    }
    deleted_ = true;
    ++requests_;
    const auto self = shared_from_this();
    if (const auto channels = channels_) {
        channels->Delete();
        pobjChannels_.clear();
        channels_.reset();
    }
    if (const auto users = users_) {
        user_.reset();
        users->Delete();
        pobjUsers_.clear();
        users_.reset();
    }
    pobjContainer_.clear();
    receiveBuffer_.Clear();
    sendQueue_.Clear();
    pendingOpen_.reset();
    LinkGone();
    linkWatch_.Stop();
    EndRegistrationTalk();
    if (socket_ != nullptr) {
        if (socket_->State() != TcpSocket::StateClosed) {
            CloseSocket();
        }
        host_->DestroySlot(slot_);
        socket_ = nullptr;
        host_ = nullptr;
    }
    if (parent_ != nullptr) {
        const std::int32_t position = Index();
        if (position > 0) {
            parent_->RemoveAt(position);
        }
        parent_ = nullptr;
    }
}

void IRCConnection::DetachFromCollection()
{
    pobjContainer_.clear();
    sendQueue_.Clear();
    LinkGone();
    linkWatch_.Stop();
    if (socket_ != nullptr && host_ != nullptr) {
        socket_->Close();
        host_->DestroySlot(slot_);
    }
    socket_ = nullptr;
    host_ = nullptr;
    parent_ = nullptr;
}

void IRCConnection::pobjContainer_WSConnect(std::int16_t& index)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    const auto self = shared_from_this();
    const std::uint32_t request = requests_;
    const std::string remoteHost = socket_->RemoteHost();
    const std::int32_t remotePort = socket_->RemotePort();
    if (remoteHost != server_ || remotePort != port_) {
        const auto users = users_;
        user_.reset();
        users->Clear();
        if (requests_ != request) {
            return; // a Remove listener deleted the connection, or connected it elsewhere
        }
        server_ = remoteHost;
        port_ = remotePort;
        user_ = users->Add("");
        if (requests_ != request) {
            return;
        }
    }
    connected_ = true;
    connecting_ = false;
    namePrefixes_.clear(); // this server announces its own
    const std::string server = server_;
    const std::int32_t port = port_;
    const bool code = codeFlag_;
    if (!Relay(*this).Up(&IRCConnections::RaiseConnect, Events.Connect, server, port, code) ||
        requests_ != request) {
        return;
    }
    codeFlag_ = false;
    if (options_.reconnect) {
        linkWatch_.Online(ProtocolTimers());
    }
    BeginRegistration();
    if (TestAutomation(AutoNick)) {
        SendMessage("NICK " + initialNick_);
    }
    if (TestAutomation(AutoUser)) {
        SendMessage("USER " + initialUserParams_);
    }
}

void IRCConnection::pobjContainer_WSClose(std::int16_t& index)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    const auto self = shared_from_this();
    const std::uint32_t request = requests_;
    connected_ = false;
    connecting_ = false;
    sendQueue_.Clear();
    std::optional<PendingOpen> pending = std::exchange(pendingOpen_, std::nullopt);
    LinkGone();
    linkWatch_.Offline();
    std::vector<std::string> joined = JoinedChannels();
    EndRegistrationTalk();
    MarkChannelsNotJoined();
    const std::string server = server_;
    const std::int32_t port = port_;
    const bool code = codeFlag_;
    if (Relay(*this).Up(&IRCConnections::RaiseDisconnect, Events.Disconnect, server, port, code) &&
        requests_ == request) {
        codeFlag_ = false;
        if (pending) {
            // The link went while a connect elsewhere waited for it: that connect is still asked for.
            Open(pending->server, pending->port, true, pending->options);
        } else if (!code) {
            LinkLost(std::move(joined));
        }
    }
}

std::vector<std::string> IRCConnection::JoinedChannels() const
{
    std::vector<std::string> joined;
    if (channels_ && options_.reconnect) {
        for (const ChannelPtr& channel : *channels_) {
            if (channel->Joined()) {
                joined.push_back(channel->Name());
            }
        }
    }
    return joined;
}

void IRCConnection::LinkLost(std::vector<std::string> joined)
{
    if (options_.reconnect && !deleted_) {
        linkWatch_.Lost(ProtocolTimers(), std::move(joined));
    }
}

void IRCConnection::LinkGone()
{
    HistoryLinkGone();
    away_ = false;
    namesAsked_.clear();
    labels_.Reset();
    whoFields_.clear();
    clientTagDeny_.clear();
    // A policy counts from the end of the session that said it last, however long that lasted.
    if (const std::optional<StsHeard> heard = std::exchange(stsHeard_, std::nullopt);
        heard && parent_ != nullptr && parent_->StrictTransport() != nullptr) {
        parent_->StrictTransport()->Heard(heard->host, heard->port, heard->value);
    }
}

void IRCConnection::AskNames(std::string_view channel)
{
    namesAsked_.insert(UpperCase(channel));
}

bool IRCConnection::NamesAsked(std::string_view channel) const
{
    return !namesAsked_.empty() && namesAsked_.contains(UpperCase(channel));
}

void IRCConnection::NamesAnswered(std::string_view channel)
{
    namesAsked_.erase(UpperCase(channel));
}

void IRCConnection::Welcomed()
{
    sendQueue_.SetRegistered(true);
    ForgetAway();
    if (deleted_) {
        return;
    }
    if (!awayMessage_.empty()) {
        // Away is the server's state, lost with the link: said again where the user left it.
        SendMessage(Concat("AWAY :", awayMessage_), SendPriority::Automatic);
    }
    std::vector<std::string> channels = linkWatch_.Welcomed();
    // Those the user left meanwhile are gone from the list.
    std::erase_if(channels, [this](const std::string& name) { return !channels_ || !channels_->Item(name); });
    for (std::string& channel : std::exchange(rejoinAtWelcome_, {})) {
        channels.push_back(std::move(channel));
    }
    if (!options_.bouncerNetwork.empty()) {
        return; // the bouncer keeps its network's channels and joins them for us
    }
    for (const std::string& line : linkWatch_.JoinLines(channels, LineRoom())) {
        SendMessage(line, SendPriority::Automatic);
    }
}

void IRCConnection::JoinChannels(const std::vector<ChannelAndKey>& channels, SendPriority priority)
{
    std::vector<std::string> names;
    names.reserve(channels.size());
    for (const ChannelAndKey& channel : channels) {
        linkWatch_.NoteKey(channel.name, channel.key);
        names.push_back(channel.name);
    }
    for (const std::string& line : linkWatch_.JoinLines(names, LineRoom())) {
        SendMessage(line, priority);
    }
}

Timers* IRCConnection::ProtocolTimers() const
{
    return parent_ != nullptr ? parent_->ProtocolTimers() : nullptr;
}

void IRCConnection::pobjContainer_WSError(std::int16_t& index, std::int16_t number, std::string& description,
                                          std::int32_t scode, const std::string& source,
                                          const std::string& helpFile, std::int32_t helpContext,
                                          bool& cancelDisplay)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    // A refused try, or a link broken while online, is lost as much as a closed one.
    const bool lost = connected_ || linkWatch_.Retrying();
    std::vector<std::string> joined = connected_ ? JoinedChannels() : std::vector<std::string>();
    connected_ = false;
    sendQueue_.Clear();
    std::optional<PendingOpen> pending = std::exchange(pendingOpen_, std::nullopt);
    LinkGone();
    linkWatch_.Offline();
    EndRegistrationTalk();
    const auto self = shared_from_this();
    const std::uint32_t request = requests_;
    Relay(*this).Up(&IRCConnections::RaiseSocketError, Events.SocketError, number, description, scode, source,
                    helpFile, helpContext, cancelDisplay);
    if (requests_ != request) {
        return;
    }
    connecting_ = false;
    if (pending) {
        // The link broke while a connect elsewhere waited for it: that connect is still asked for.
        Open(pending->server, pending->port, true, pending->options);
    } else if (lost) {
        LinkLost(std::move(joined));
    }
}

void IRCConnection::pobjContainer_WSCertificateRefused(std::int16_t& index, const CertificateRefusal& refusal)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    connected_ = false;
    // Trying the same certificate again cannot help: the user decides whether to trust it.
    sendQueue_.Clear();
    LinkGone();
    linkWatch_.Offline();
    EndRegistrationTalk();
    const auto self = shared_from_this();
    // Named as the user asked for it: that is what a trust is stored under.
    const std::string server = socket_->RemoteHost();
    const std::int32_t port = socket_->RemotePort();
    const std::uint32_t request = requests_;
    Relay(*this).Up(&IRCConnections::RaiseCertificateRefused, Events.CertificateRefused, server, port, refusal);
    if (requests_ == request) {
        connecting_ = false;
    }
}

void IRCConnection::pobjContainer_WSDataArrival(std::int16_t& index, std::int32_t /*bytesTotal*/)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    std::string data;
    try {
        data = socket_->GetData();
    } catch (const std::exception&) {
        return; // a failed receive ignores this arrival; the buffer keeps what it had
    }
    // A listener may delete this connection and drop the last reference meanwhile; Delete
    // also empties the buffer, so no further line is cut.
    const auto self = shared_from_this();
    linkWatch_.Heard();
    receiveBuffer_.Receive(data, [this](const std::string& line) { HandleLine(line); });
}

TELLIX_LINE_ROAD void IRCConnection::HandleLine(const std::string& line)
{
    bool processed = false;
    // Offered raw first; nobody in the client listens, so that costs nothing per line.
    if (!Events.GetRawMessage.empty() || (parent_ != nullptr && !parent_->Events.GetRawMessage.empty())) {
        Relay relay(*this);
        if (!relay.Through(parent_, &IRCConnections::RaiseGetRawMessage, line, processed)) {
            return;
        }
        if (!processed && !relay.Own(Events.GetRawMessage, line, processed)) {
            return;
        }
    }
    if (!processed) {
        ProcessServerMessage(line);
    }
}

} // namespace tellix
