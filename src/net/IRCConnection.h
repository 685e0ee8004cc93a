#pragma once

#include "model/NickRanks.h"
#include "net/CapNegotiation.h"
#include "net/ChatHistory.h"
#include "net/ConnectOptions.h"
#include "net/CtcpReplies.h"
#include "net/LabeledReplies.h"
#include "net/LineFraming.h"
#include "net/LinkWatch.h"
#include "net/SendQueue.h"
#include "platform/TcpSocket.h"
#include "platform/Timers.h"
#include "util/Event.h"

#include <absl/container/flat_hash_map.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tellix {

class IRCChannel;
class IRCChannels;
class IRCConnections;
class IRCUser;
class IRCUsers;
class ServerLine;
class TcpSocket;
class frmContainer;

// One connection to one IRC server: its socket slot, the channels and users it knows,
// registration, and every event of them all, raised through the owning collection
// first and then on the connection itself.
class IRCConnection : public std::enable_shared_from_this<IRCConnection> {
    struct Token {
        explicit Token() = default;
    };

public:
    using ChannelPtr = std::shared_ptr<IRCChannel>;
    using UserPtr = std::shared_ptr<IRCUser>;

    // Automation bits.
    static constexpr std::int32_t AutoUser = 1; // send USER on connect
    static constexpr std::int32_t AutoNick = 2; // send NICK on connect
    static constexpr std::int32_t AutoPong = 4; // answer PING

    explicit IRCConnection(Token);
    ~IRCConnection();
    IRCConnection(const IRCConnection&) = delete;
    IRCConnection& operator=(const IRCConnection&) = delete;

    static std::shared_ptr<IRCConnection> Create();

    std::int32_t Automation() const { return automation_; }
    void Automation(std::int32_t newValue);
    const std::string& InitialNick() const { return initialNick_; }
    void InitialNick(const std::string& newValue);
    const std::string& InitialUserParams() const { return initialUserParams_; }
    void InitialUserParams(const std::string& newValue);

    // What the next Connect does beyond host and port; a plain connection by default.
    const ConnectOptions& Options() const { return options_; }
    void Options(const ConnectOptions& options) { options_ = options; }
    void Connect(const std::string& server, std::int32_t port);
    // The same with how it logs in there; the options take effect as the new session opens, so
    // the link it leaves keeps its own until then.
    void Connect(const std::string& server, std::int32_t port, const ConnectOptions& options);
    // How many sessions have been opened so far: each Connect, and each try of a reconnect.
    std::uint32_t Attempts() const { return attempts_; }
    void Disconnect();
    // Says QUIT after what is held, which still leaves at its pace for a few seconds at most.
    void Quit(const std::string& quitMsg);
    // Between a QUIT or an end asked for and the moment held lines let it go: a few seconds
    // at most.
    bool Leaving() const { return sendQueue_.Leaving(); }
    void ChangeNick(const std::string& nickNext);
    // Sends one line; a line the server could not relay whole to others is cut short first
    // (see LineRoom), since the server would drop the whole connection for it. Lines are paced
    // (see SendQueue); what the client sends by itself goes as Automatic.
    void SendMessage(std::string_view message, SendPriority priority = SendPriority::Typed);
    // The same with message tags in front ("+typing=active"); the tags take no room of the line.
    void SendTagged(std::string_view tags, std::string_view message, SendPriority priority = SendPriority::Typed);
    // Sends a command whose replies belong to `asker` (a window's key): labelled where the
    // server labels replies, plain elsewhere. While a line of that reply is handled, ReplyAsker
    // names the asker.
    void SendAsking(std::string_view message, std::string asker);
    // Who asked for the reply the line being handled belongs to; null for a line of no labelled
    // reply of ours.
    const std::string* ReplyAsker() const { return replyAsker_ ? &*replyAsker_ : nullptr; }
    // Whether the server lets clients send the client-only tag `name` (without its "+"), as its
    // 005 CLIENTTAGDENY says; message-tags must be enabled too.
    bool ClientTagAllowed(std::string_view name) const;
    // What the server puts in front of a line it relays for us, ":" nick "!" user "@" host
    // " ": its exact length once our own mask is known, an upper bound before.
    std::size_t RelayPrefixLength() const;
    // The longest line, without its CR LF, that the server takes and relays whole: 512 bytes
    // with the CR LF and the relay prefix.
    std::size_t LineRoom() const;
    bool ProcessServerMessage(std::string_view message);
    void Delete();

    bool Connected() const { return connected_; }
    // QUIT has gone out on this link, which the server is about to close.
    bool QuitSaid() const { return connected_ && codeFlag_; }
    // The server has welcomed us (001) on this connection.
    bool Registered() const { return registered_; }
    // What the server offered and granted on this connection.
    const CapNegotiation& Capabilities() const { return caps_; }
    // Between Connect and the session's start or failure; a failure raised meanwhile names the
    // attempt's host and port.
    bool Connecting() const { return connecting_; }
    const std::string& AttemptHost() const { return attemptHost_; }
    std::int32_t AttemptPort() const { return attemptPort_; }
    const std::string& Server() const { return server_; }
    // Channels to join again at the next welcome besides those a lost link was in, with the
    // keys they were joined with.
    void RejoinAtWelcome(std::vector<std::string> channels) { rejoinAtWelcome_ = std::move(channels); }
    // Joins `channels` with their keys in as few JOIN lines as fit.
    void JoinChannels(const std::vector<ChannelAndKey>& channels, SendPriority priority = SendPriority::Typed);
    const UserPtr& User() const { return user_; }
    const std::shared_ptr<IRCUsers>& Users() const { return users_; }
    const std::shared_ptr<IRCChannels>& Channels() const { return channels_; }
    // Position in the owning collection, or -1.
    std::int32_t Index() const;
    IRCConnections* Parent() const { return parent_; }
    // Delete has run (or is running): the connection is out of use for good.
    bool Deleted() const { return deleted_; }

    // Used by the collection and the model.
    // Sets Parent, once, and takes a socket slot of the collection's host.
    void SetParent(IRCConnections* parent);
    const std::string& Key() const { return key_; }
    std::int16_t SlotNumber() const { return slot_; }
    std::int32_t Port() const { return port_; }
    bool TestAutomation(std::int32_t bit) const { return (automation_ & bit) != 0; }
    // The characters a names reply may put before a nick: those the server announced in
    // its PREFIX token, or the usual ones until it has.
    std::string_view NamePrefixes() const;
    // Member ranks, nick case and channel mode kinds, as the server's 005 announced them.
    const RankTable& Ranks() const { return ranks_; }
    CaseMapping NickCaseMapping() const { return caseMapping_; }
    // The network's name as its 005 NETWORK= gave it; empty until then.
    const std::string& Network() const { return network_; }
    // The saved network this connection connects, by name; empty for a server typed in.
    const std::string& SavedNetwork() const { return savedNetwork_; }
    void SavedNetwork(std::string name) { savedNetwork_ = std::move(name); }
    // The bouncer network this connection is bound to, by id; empty for none.
    const std::string& BouncerNetwork() const { return options_.bouncerNetwork; }
    // A bouncer login that lists its networks here, each for a connection bound to it.
    bool ListsBouncerNetworks() const
    {
        return options_.bouncerNetwork.empty() && !boundByLogin_ && caps_.Enabled("soju.im/bouncer-networks");
    }
    // How the bouncer names the network this connection is bound to, and its state there when
    // it is not connected ("OFTC (disconnected)"); what the windows are grouped by.
    const std::string& BouncerLabel() const { return bouncerLabel_; }
    void BouncerLabel(std::string label) { bouncerLabel_ = std::move(label); }
    // The network's name as last seen (a session that came back), for what is named by it
    // until the server tells it again.
    const std::string& ExpectedNetwork() const { return expectedNetwork_; }
    void ExpectedNetwork(std::string name) { expectedNetwork_ = std::move(name); }
    // The key a channel was last joined with, or empty.
    std::string ChannelKey(std::string_view channel) const { return linkWatch_.KeyOf(channel); }
    void NoteChannelKey(std::string_view channel, std::string_view key) { linkWatch_.NoteKey(channel, key); }
    // Nicks tried, in order, before the usual ladder when the initial nick is taken.
    void AlternativeNicks(std::vector<std::string> nicks) { altNicks_ = std::move(nicks); }
    const ChannelModeKinds& ModeKinds() const { return modeKinds_; }
    // How many modes with a parameter one MODE line may carry (005 MODES=, else 3).
    std::int32_t ModesPerLine() const { return modesPerLine_; }
    // The away text the user set, sent again after every welcome; empty when not away.
    const std::string& AwayMessage() const { return awayMessage_; }
    void AwayMessage(const std::string& message) { awayMessage_ = message; }
    // The server has us marked as away (306, until 305 or the link goes).
    bool Away() const { return away_; }
    // A names reply the user asked for is shown, not only read into the channel's list.
    void AskNames(std::string_view channel);
    bool NamesAsked(std::string_view channel) const;
    void NamesAnswered(std::string_view channel);
    // What a CTCP PING of ours carries: the protocol clock's time, remembered for the answer.
    std::string CtcpPingToken();
    // The round trip in milliseconds when `token` is one of ours, each answered once; nothing
    // for any other, which a peer may have made up.
    std::optional<std::int64_t> CtcpPingAnswered(std::string_view token);
    // The server keeps the conversations' lines (draft/chathistory, with batch and server-time):
    // missed lines are fetched after each welcome, older ones on request.
    bool HistoryAvailable() const;
    // A page of `target`'s lines older than `oldest` (milliseconds) or the line `msgid` names,
    // shown when it comes, with HistoryFetched after it; false when none can be asked for now.
    bool FetchOlder(const std::string& target, std::int64_t oldest, std::string_view msgid);
    // How far the user has read `target` as the server last said (draft/read-marker), in
    // milliseconds; nothing when it has not said.
    std::optional<std::int64_t> ReadMarker(std::string_view target) const;
    // Tells the server the user has read `target` up to `ms`; false without the capability, or
    // when the server's marker is there already.
    bool MarkRead(std::string_view target, std::int64_t ms);
    // Gives back the socket slot and forgets the collection without a word; for the
    // collection's destructor, when this connection outlives it.
    void DetachFromCollection();

    struct EventSet {
        Event<const ChannelPtr&> ChannelAdd;
        Event<const ChannelPtr&, const UserPtr&> ChannelJoin;
        Event<const ChannelPtr&, const UserPtr&, const UserPtr&, const std::string&> ChannelKick;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelNickChange;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelNotice;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelPart;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelPrivMsg;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelQuit;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> ChannelTopicChange;
        Event<const std::string&, std::int32_t, bool> Connect;    // Server, Port, Code
        Event<const std::string&, const std::string&> CtcpReply;  // Nick, Reply: what came between the \x01s
        Event<const std::string&, std::int32_t, bool> Disconnect; // Server, Port, Code
        Event<const std::string&> Error;                          // Description
        Event<const std::string&, bool&> GetRawMessage;           // Message, Processed
        Event<const std::string&> MessageNotProcessed;
        Event<const std::string&> ServerChange;
        Event<const std::string&, const std::string&> ServerNotice; // Server, Notice
        // Number, Description, Scode, Source, HelpFile, HelpContext, CancelDisplay
        Event<std::int16_t, std::string&, std::int32_t, const std::string&, const std::string&, std::int32_t,
              bool&>
            SocketError;
        Event<const UserPtr&> UserAdd;
        Event<const UserPtr&, const std::string&> UserNickChange;
        Event<const UserPtr&, const std::string&> UserNotice;
        Event<const UserPtr&, const std::string&> UserPrivMsg;
        Event<const UserPtr&, const std::string&> UserQuit;
        Event<const UserPtr&> UserRemove;
        // Destination, Message, Notice, Echo: the own user's line to someone, from another client
        // or a bouncer's playback, or the server's echo of one typed here.
        Event<const UserPtr&, const std::string&, bool, bool> UserSelfMessage;
        Event<const std::string&, std::int32_t, const CertificateRefusal&> CertificateRefused; // Server, Port
        // Count: held lines dropped because the link was ending and they could not leave in time.
        Event<std::size_t> LinesNotSent;
        // Server, Port: a plain-text server asks for TLS on that port. Registration stops here; a
        // listener connects there (else the connection does, without a login).
        Event<const std::string&, std::int32_t> TlsUpgrade;
        // Target: the server moved the read marker of a conversation (ReadMarker tells where).
        Event<const std::string&> ReadMarkerMove;
        // Target, More: a page of older lines asked for by FetchOlder was shown; More is false
        // once the server has none before them.
        Event<const std::string&, bool> HistoryFetched;
        // Id, Attributes: a bouncer tells of one of its networks, its attributes as it sent them
        // ("name=Libera;state=connected", only those that changed); "*" when it is gone.
        Event<const std::string&, const std::string&> BouncerNetwork;
    } Events;

private:
    void NormaliseAutomation();
    // Closes the socket at our request. The server's session ends with it, so no channel
    // stays joined; when online, Disconnect is raised, own event first. False when a
    // listener deleted the connection or asked for another connect or disconnect.
    bool CloseSocket();
    void MarkChannelsNotJoined();
    // The server's session ended: what it knew of us (away, names asked for) goes with it.
    void LinkGone();
    template <auto Raise, auto Heard, class... Args>
    Subscription Forward(Event<Args...>& from, const Event<Args...>& own);
    void BindCollections();
    void BindSocketHost();
    void HandleLine(const std::string& line);
    bool ProcessPrefixedMessage(const ServerLine& line);
    void ReadSupportedFeatures(const ServerLine& line);
    bool ProcessChannelMode(const ServerLine& line, const ChannelPtr& target);
    // The away flag of a WHO reply (352, or 354 with the fields we asked for).
    void ReadWhoAway(const ServerLine& line);
    void ReceiveTyping(const ServerLine& line);
    // A reconnect starts with nobody known to be away.
    void ForgetAway();
    void AnswerCtcp(const std::string& nick, std::string_view text);
    // A private NOTICE that answers a CTCP request is raised as such; false for any other.
    bool CtcpReply(const ServerLine& line);
    // Opens the socket; `byUser` false for a try of our own, which is announced as such.
    void Open(const std::string& server, std::int32_t port, bool byUser,
              const std::optional<ConnectOptions>& options = std::nullopt);
    // A connect the user asked for while held lines were still leaving: made once they are
    // through, or as soon as the link goes meanwhile.
    struct PendingOpen {
        std::string server;
        std::int32_t port = 0;
        std::optional<ConnectOptions> options;
    };
    void OpenPending();
    // The link is gone without the user asking: tries again when the user wants that.
    void LinkLost(std::vector<std::string> joined);
    std::vector<std::string> JoinedChannels() const;
    // The server welcomed us: registration is over and the channels of a lost link are
    // joined again.
    void Welcomed();
    Timers* ProtocolTimers() const;
    std::int64_t NowMs() const;
    // Registration beyond NICK and USER: capabilities, the login, a nick that is taken.
    void BeginRegistration();
    void EndRegistrationTalk();
    void ReceiveCap(const ServerLine& line);
    // The server's strict transport policy in a listing we asked for or a capability added
    // later: kept for the host over TLS; in plain text with a port, the session ends there for
    // TLS on that port. True when it ended (or a listener deleted the connection).
    bool HearStrictTransport(const ServerLine& line, CapNegotiation::Step before);
    void AfterCapsGranted();
    // CAP END, after the bind to a bouncer's network when this connection is for one.
    void EndCapTalk();
    // A BOUNCER line from the server; true when there is nothing more to show of it.
    bool ReceiveBouncer(const ServerLine& line);
    void ReceiveAuthenticate(std::string_view argument);
    // Gives the server a few seconds for its next login step before the login counts as failed.
    void AwaitLoginAnswer();
    bool ProcessLoginReply(const ServerLine& line);
    void LoginFailed(const std::string& reason);
    bool NickRefused(std::string_view command, std::string_view refused);
    void RaiseError(const std::string& description);
    // A line only the server reads, never relayed to others: not cut to the relay room.
    void SendToServer(std::string_view line);

    // The server's history and read markers (HistoryTalk.cpp).
    void StartCatchUp();
    // Sends what history asks and shows what it fetched; false once a listener deleted this
    // connection.
    bool RunHistory();
    void ReplayLine(const std::string& line, std::uint64_t number, bool older);
    void NoteBatch(std::string_view reference);
    // The number of the playback a batch-tagged line belongs to.
    std::uint64_t BatchNumber(std::string_view id);
    bool ReceiveMarkRead(const ServerLine& line);
    bool HistoryWanted(std::string_view target) const;
    // The own join of a channel: its latest page, when the client had no line of the network.
    void HistoryJoined(const std::string& channel);
    void HistoryLinkGone();
    void BindHistory();

    void pobjContainer_WSClose(std::int16_t& index);
    void pobjContainer_WSConnect(std::int16_t& index);
    void pobjContainer_WSCertificateRefused(std::int16_t& index, const CertificateRefusal& refusal);
    void pobjContainer_WSDataArrival(std::int16_t& index, std::int32_t bytesTotal);
    void pobjContainer_WSError(std::int16_t& index, std::int16_t number, std::string& description,
                               std::int32_t scode, const std::string& source, const std::string& helpFile,
                               std::int32_t helpContext, bool& cancelDisplay);

    std::int32_t automation_ = AutoPong;
    LineFraming receiveBuffer_;
    bool connected_ = false;
    bool connecting_ = false;
    std::string attemptHost_;
    std::int32_t attemptPort_ = 0;
    TcpSocket* socket_ = nullptr;
    std::string initialUserParams_;
    std::string initialNick_;
    bool codeFlag_ = false;
    IRCConnections* parent_ = nullptr;
    std::int32_t port_ = 0;
    std::string server_;
    std::string key_;
    UserPtr user_;
    std::int16_t slot_ = 0;
    std::shared_ptr<IRCChannels> channels_;
    frmContainer* host_ = nullptr;
    std::shared_ptr<IRCUsers> users_;
    bool deleted_ = false;
    // Counts the program's requests (Connect, Disconnect, Delete): a raise after which it
    // changed was answered by a listener's own request, which then decides what follows.
    std::uint32_t requests_ = 0;
    std::uint32_t attempts_ = 0;
    std::optional<PendingOpen> pendingOpen_;
    ConnectOptions options_;
    std::string bouncerLabel_;
    bool boundByLogin_ = false;
    SendQueue sendQueue_;
    CtcpReplies ctcp_;
    LinkWatch linkWatch_;
    std::vector<std::string> rejoinAtWelcome_;
    std::string namePrefixes_; // announced by the server; empty: the usual ones
    RankTable ranks_;
    CaseMapping caseMapping_ = CaseMapping::Rfc1459;
    std::string network_;
    std::string savedNetwork_;
    std::string expectedNetwork_;
    std::vector<std::string> altNicks_;
    ChannelModeKinds modeKinds_;
    std::int32_t modesPerLine_ = 3;
    std::string awayMessage_;
    std::deque<std::int64_t> ctcpPings_; // the times our unanswered CTCP PINGs carry, the last few
    bool away_ = false;
    std::unordered_set<std::string> namesAsked_; // channel names upper-cased: they compare in any ASCII case
    LabeledReplies labels_;
    std::optional<std::string> replyAsker_;
    std::string clientTagDeny_; // the 005 CLIENTTAGDENY value
    // The fields the last WHO we sent asked for ("%tnf"), so that its 354 replies can be read.
    std::string whoFields_;
    CapNegotiation caps_;
    std::unique_ptr<Timer> capTimer_; // gives up on a server that never answers CAP or the login
    // The last strict transport policy this TLS session heard, counted again from its end.
    struct StsHeard {
        std::string host;
        std::int32_t port = 0;
        std::string value;
    };
    std::optional<StsHeard> stsHeard_;
    enum class Login { None, Asked, Sent };
    Login login_ = Login::None;
    bool registered_ = false;
    std::int32_t nickTries_ = 0;
    std::size_t altNickNext_ = 0;
    std::size_t nickFit_ = 0; // the most bytes a nick tried may hold; 0 for no limit

    ChatHistory history_;
    bool historyStarted_ = false;
    bool latestOnJoin_ = false;
    // A fetched line is being handled again: history does not take it twice.
    bool replaying_ = false;
    std::uint64_t replayNumber_ = 0;
    bool replayOlder_ = false;
    std::unique_ptr<Timer> historyTimer_; // gives up on history the server stopped sending
    // Open batches by id, each its playback's number; a few at a time.
    absl::flat_hash_map<std::string, std::uint64_t> batchNumbers_;
    // The server's read markers by folded target.
    absl::flat_hash_map<std::string, std::int64_t> readMarkers_;

    std::vector<Subscription> pobjChannels_;
    std::vector<Subscription> pobjUsers_;
    std::vector<Subscription> pobjContainer_;
};

} // namespace tellix
