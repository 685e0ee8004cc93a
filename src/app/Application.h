#pragma once

#include "app/Networks.h"
#include "net/IRCConnections.h"
#include "net/SavedLogin.h"
#include "util/Event.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tellix {

class Child;
class ChannelListView;
class Childs;
class IRCChannel;
class IRCUser;
class MainWindowView;
class SocketFactory;
class StsPolicy;
class Timer;
class Toolkit;

// The root of the object model: it owns the windows and the connections, and writes into
// the status window what no other window shows.
class Application {
public:
    using ConnectionPtr = std::shared_ptr<IRCConnection>;
    using ChannelPtr = std::shared_ptr<IRCChannel>;
    using UserPtr = std::shared_ptr<IRCUser>;

    static constexpr std::int32_t kStatusWindow = 1;

    // Start-up: the main window, the connections with their one connection, the windows with
    // the status window, and on the first run the connect dialog.
    Application(Toolkit& toolkit, SocketFactory& sockets);
    // The teardown: every step runs even when an earlier one fails.
    ~Application();

    // The process-wide instance: set by the entry procedure, cleared by ExitClient.
    static std::shared_ptr<Application>& Instance();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The window collection; null once it is gone.
    tellix::Childs* Childs() const { return childs_.get(); }
    IRCConnections& Connections() const { return *pobjConnections_; }
    Networks& SavedNetworks() { return networks_; }
    // One time-stamped line into window `windowIndex`, 0 meaning the active window; a number
    // that names no window writes nothing.
    void Echo(std::int32_t windowIndex, std::string_view output);
    // The same, kept in no log: for a line that shows a masked password.
    void EchoShownOnly(std::int32_t windowIndex, std::string_view output);
    // A line of what the connections report, in the status window; `raise` unless the user caused it.
    void StatusEvent(bool raise, std::string_view output);
    // The same in the status window of `connection`.
    void StatusEvent(const ConnectionPtr& connection, bool raise, std::string_view output);
    // The connection of window `windowIndex` (0 the active one): what a line typed there goes
    // to. The first connection for a window of none.
    ConnectionPtr ConnectionOf(std::int32_t windowIndex) const;
    // The status window of `connection`, and its number; the first status window for one
    // that has none.
    std::shared_ptr<Child> StatusOf(const IRCConnection& connection) const;
    std::int32_t StatusIndex(const IRCConnection& connection) const;
    // The connection of a saved network, a network or a host of that name (any letter case).
    ConnectionPtr FindConnection(std::string_view name) const;
    // Connects the saved network of that name in a connection of its own; false when none is
    // saved so.
    bool ConnectNetwork(std::string_view name);
    // Connects to a server no network names, in a connection of its own: one already there
    // and offline is used again, and so is a first connection that never went anywhere.
    void ConnectServer(const ServerPlace& place);
    // Connects the saved network `name` on `connection` again, its open channel windows
    // joined with it.
    void ConnectNetworkAgain(const ConnectionPtr& connection, const std::string& name);
    // Connects `network` on `connection`: its nicks, its login, its first server (the next
    // ones when that cannot be reached); after the welcome its commands run, then, once its
    // login is done, its channels and `also` are joined.
    void ConnectNetworkOn(const Network& network, const ConnectionPtr& connection,
                          std::vector<ChannelAndKey> also = {});
    // A further connection, with a status window of its own, beside the others.
    ConnectionPtr NewConnection();
    // The connection bound to the network `id` of the bouncer that `home` logs in to; null for
    // none. The bouncer's networks, by id, with what it says of them, for a bouncer login.
    ConnectionPtr BouncerConnection(const IRCConnection& home, std::string_view id) const;
    std::map<std::string, std::map<std::string, std::string>> BouncerNetworks(const IRCConnection& home) const;
    // The bouncer login a bound connection belongs to.
    ConnectionPtr BouncerHome(const IRCConnection& bound) const;
    // Asks the bouncer `home` logs in to for a network with these attributes, for a change of
    // network `id` (an empty value takes an attribute away), or for its deletion. The bouncer's
    // notifications then change the connections and the tree.
    using BouncerAttributes = std::map<std::string, std::string>;
    static void AddBouncerNetwork(IRCConnection& home, const BouncerAttributes& attributes);
    static void ChangeBouncerNetwork(IRCConnection& home, const std::string& id, const BouncerAttributes& changes);
    static void DeleteBouncerNetwork(IRCConnection& home, const std::string& id);
    // Says goodbye on `connection`, closes its windows, and lets it go once its goodbye is out.
    // The first connection stays: its windows close and it disconnects.
    void CloseConnection(const ConnectionPtr& connection);
    // Ends the program: every connected connection quits with the "Quit Message", then the
    // windows and the connections go, then the instance; true. A QUIT behind lines still held
    // waits for them (SendQueue::kLeaveMs at most): the main window hides meanwhile, the end
    // comes from the event loop, and the result is false.
    bool ExitClient();
    // Carries out one command line (without its slash) typed into, or run for, window
    // `windowIndex`; false for an empty or unknown command. EXIT ends the program: the
    // caller may not touch this object, or any window, after it.
    bool ProcessCommand(std::string_view command, bool user, std::int32_t windowIndex);
    // Connects the first connection to `server` (port 0 for the usual one) with the connect
    // dialog's registration data, and joins `channel`, when given, once the server has
    // welcomed us. Data the dialog would refuse is answered in the status window instead.
    void OpenAddress(const std::string& server, std::int32_t port, const std::string& channel, bool tls = false);
    // An address opened while the program runs (a link clicked, or handed over by a later
    // start): the channel is joined when the first connection is online at that server (any
    // port when `port` is 0); otherwise the user is asked before it connects there.
    void OpenRunningAddress(const std::string& server, std::int32_t port, const std::string& channel,
                            bool tls = false);

    // Connects `connection` to `place`. Every connect the user asks for takes this road (the
    // dialog, /server, an address), so that what goes where is decided here alone: the saved
    // login only to the server it belongs to, and a plain request made plain only here (or over
    // TLS where the host requires it, see SecureRoute).
    void ConnectTo(const ConnectionPtr& connection, const ServerPlace& place);
    // The connect dialog's login and the server it belongs to; none without the dialog.
    SavedLogin Login() const;

    // Replies to what is sent next (WHOIS, LIST, errors) are shown in window `windowIndex`, while
    // it is open; else in the status window.
    void RepliesTo(std::int32_t windowIndex);

    // The SHA-256 fingerprint trusted for a server's host and port, or empty.
    std::string TrustedFingerprint(const std::string& host, std::int32_t port) const;
    // Stores the trust, checked on every later TLS connect there; false when `fingerprint` is
    // not one.
    bool TrustFingerprint(const std::string& host, std::int32_t port, std::string_view fingerprint);

    // Used by the system's own classes.
    const std::string& Key() const { return key_; }
    Toolkit& GetToolkit() const { return toolkit_; }
    MainWindowView* Window() const { return pobjWindow_.get(); }

private:
    // What was open at the last exit comes back; the networks that connect at start do.
    void RestoreSession();
    void KeepSession();
    // A saved network's connection: where it goes next, and what it does once welcomed.
    struct NetworkLink {
        Network network;
        std::size_t nextServer = 0;
        std::size_t failedInRow = 0;
        std::vector<ChannelAndKey> joins; // at the next welcome, after the login
        bool welcomeWork = false;         // the commands and joins are still to come
        std::unique_ptr<Timer> loginWait; // a NickServ login without an answer
        std::unique_ptr<Timer> nextTry;
    };
    NetworkLink* LinkOf(const IRCConnection& connection);
    // Once its password is known: a network connected on `connection`.
    void ConnectSavedNetwork(const std::string& name, const ConnectionPtr& connection,
                             std::vector<ChannelAndKey> also = {});
    // The login a connect of `connection` to `place` may carry: a saved network's to its own
    // servers only, else the connect dialog's to the server it was saved for.
    SavedLogin LoginOf(const IRCConnection& connection, const ServerPlace& place) const;
    void ConnectNextServer(const ConnectionPtr& connection, NetworkLink& link);
    // A network's server could not be reached: the next one is tried.
    void TryNextServer(const ConnectionPtr& connection);
    // The welcome: the network's commands, its NickServ login, then the joins.
    void NetworkWelcome(const ConnectionPtr& connection);
    // The login is done (or given up on): the channels waiting for it are joined.
    void JoinAfterLogin(const ConnectionPtr& connection);
    // A NickServ line or a logged-in numeric that ends the wait for the login.
    void WatchLogin(const ConnectionPtr& connection, std::string_view from, std::string_view text);
    std::unordered_map<std::string, NetworkLink> links_; // by connection key
    bool sessionKept_ = false;

    // Says goodbye on every connection that is online, before anything closes.
    void QuitConnections();
    // The windows, the connections, then the instance: the program's end after the goodbyes.
    void FinishExit();
    bool AnyLeaving() const;
    void WaitForGoodbyes();
    void ListenToConnections();
    void ListenToWindow();

    void pobjWindow_QueryUnload(bool& cancel, std::int32_t unloadMode);
    void pobjWindowMnuFileExit_Click();
    void pobjWindowMnuWindowConnectDlg_Click();
    void pobjWindowMnuHelpAbout_Click();

    // What the connections report, shown in the status window or by opening windows.
    void pobjConnections_ChannelJoin(const ConnectionPtr& connection, const ChannelPtr& channel,
                                     const UserPtr& source);
    void pobjConnections_ChannelKick(const ConnectionPtr& connection, const ChannelPtr& channel,
                                     const UserPtr& source, const UserPtr& destination, const std::string& reason);
    void pobjConnections_ChannelNotice(const ConnectionPtr& connection, const ChannelPtr& channel,
                                       const UserPtr& source, const std::string& notice);
    void pobjConnections_ChannelPart(const ConnectionPtr& connection, const ChannelPtr& channel,
                                     const UserPtr& source, const std::string& partMsg);
    void pobjConnections_ChannelPrivMsg(const ConnectionPtr& connection, const ChannelPtr& channel,
                                        const UserPtr& source, const std::string& privMsg);
    void pobjConnections_Connect(const ConnectionPtr& connection, const std::string& server, std::int32_t port,
                                 bool code);
    void pobjConnections_Disconnect(const ConnectionPtr& connection, const std::string& server, std::int32_t port,
                                    bool code);
    void pobjConnections_Error(const ConnectionPtr& connection, const std::string& description);
    void pobjConnections_MessageNotProcessed(const ConnectionPtr& connection, const std::string& message);
    void pobjConnections_ServerNotice(const ConnectionPtr& connection, const std::string& server,
                                      const std::string& notice);
    void pobjConnections_CtcpReply(const ConnectionPtr& connection, const std::string& nick,
                                   const std::string& reply);
    void pobjConnections_ServerChange(const ConnectionPtr& connection, const std::string& server);
    void pobjConnections_SocketError(const ConnectionPtr& connection, std::int16_t number,
                                     std::string& description, std::int32_t scode, const std::string& source,
                                     const std::string& helpFile, std::int32_t helpContext, bool& cancelDisplay);
    void pobjConnections_CertificateRefused(const ConnectionPtr& connection, const std::string& server,
                                            std::int32_t port, const CertificateRefusal& refusal);
    void pobjConnections_LinesNotSent(const ConnectionPtr& connection, std::size_t count);
    void pobjConnections_TlsUpgrade(const ConnectionPtr& connection, const std::string& server, std::int32_t port);
    void pobjConnections_UserAdd(const ConnectionPtr& connection, const UserPtr& source);
    void pobjConnections_UserNickChange(const ConnectionPtr& connection, const UserPtr& source,
                                        const std::string& nickPrev);
    void pobjConnections_UserNotice(const ConnectionPtr& connection, const UserPtr& source,
                                    const std::string& notice);
    void pobjConnections_UserPrivMsg(const ConnectionPtr& connection, const UserPtr& source,
                                     const std::string& privMsg);
    void pobjConnections_UserQuit(const ConnectionPtr& connection, const UserPtr& source,
                                  const std::string& quitMsg);
    void pobjConnections_UserRemove(const ConnectionPtr& connection, const UserPtr& source);
    void pobjConnections_ReadMarkerMove(const ConnectionPtr& connection, const std::string& target);
    void pobjConnections_HistoryFetched(const ConnectionPtr& connection, const std::string& target, bool more);
    // A bouncer's network heard of on `home`, the bouncer login's connection: each gets a
    // connection of its own, bound to it with the same login, and goes when the bouncer
    // deletes it.
    void pobjConnections_BouncerNetwork(const ConnectionPtr& home, const std::string& id,
                                        const std::string& attributes);
    struct BouncerLink {
        std::weak_ptr<IRCConnection> home;
        std::string id;
        std::map<std::string, std::string> attributes;
    };
    std::unordered_map<std::string, BouncerLink> bouncerLinks_; // by the bound connection's key
    // The window showing a conversation of `connection`; null for none.
    std::shared_ptr<Child> ConversationWindow(const ConnectionPtr& connection, const std::string& target) const;
    // The newest message the client has of the connection's network: its windows and its logs.
    std::optional<std::int64_t> HistorySince(const IRCConnection& connection) const;
    void pobjConnections_UserSelfMessage(const ConnectionPtr& connection, const UserPtr& destination,
                                         const std::string& message, bool notice, bool echo);

    // A private line no window shows: a service's goes to the status window as `text` gives
    // it; anyone else's opens a minimized query window.
    void PrivateLine(const ConnectionPtr& connection, const UserPtr& source,
                     std::string (*text)(std::string_view, std::string_view), const std::string& line);
    void RefreshStatusWindow(const ConnectionPtr& connection);
    // Window `windowIndex`, 0 meaning the active one; null for a number that names none.
    std::shared_ptr<Child> EchoTarget(std::int32_t windowIndex) const;
    // A numeric reply shown as a readable line where it belongs; false for a line that is none.
    bool ShowReply(const ConnectionPtr& connection, const std::string& message);
    // The window the last command that asked the server something was typed in, while open.
    std::int32_t AskerWindow(const IRCConnection& connection) const;
    // The channel listing's window, made at the first listing; null where the toolkit has none.
    ChannelListView* ChannelList(const ConnectionPtr& connection);
    void JoinAfterWelcome(const ConnectionPtr& connection);
    // A plain place whose host requires TLS moves to TLS on the host's port, with the options
    // for there (the login where it belongs; the connection's own reconnect kept): the one
    // decision every open takes, the user's through ConnectTo and a connection's own retries.
    // True when it moved.
    bool SecureRoute(const IRCConnection& connection, ServerPlace& place, ConnectOptions& options) const;
    // The status window's word on a plain request that goes over TLS, and on the login.
    void TellSecured(const IRCConnection& connection, const ServerPlace& asked, const ServerPlace& place);
    // A connection that fails or closes before its welcome joins nothing later.
    void ForgetJoin(const ConnectionPtr& connection);
    // The connection's link is gone: its channel windows say so, and remember where it was.
    void LinkDown(const ConnectionPtr& connection);
    // Welcomed back where the link was lost: the channels of the windows still open are
    // joined again, when the user wants that.
    void RejoinWindows(const ConnectionPtr& connection);

    Toolkit& toolkit_;
    std::string key_;
    Networks networks_{toolkit_};
    // Outlives the connections, which renew a policy as their links end.
    std::unique_ptr<StsPolicy> strictTransport_;
    std::unique_ptr<tellix::Childs> childs_;
    std::unique_ptr<IRCConnections> pobjConnections_;
    std::unique_ptr<MainWindowView> pobjWindow_;
    std::vector<Subscription> menuEvents_; // the three menu items
    Subscription windowEvents_;            // the window's close request
    std::vector<Subscription> connectionEvents_;
    // The channel an address asked for, joined at the connection's next welcome.
    std::weak_ptr<IRCConnection> joinOn_;
    std::uint32_t joinAttempt_ = 0; // the session of joinOn_ it is for
    std::string joinAfterWelcome_;
    std::weak_ptr<Child> asker_;
    std::unique_ptr<ChannelListView> channelList_;
    Subscription channelListJoin_;
    std::weak_ptr<IRCConnection> listedOn_; // the connection the listing came from
    // Exit waits for goodbyes behind held lines.
    bool exiting_ = false;
    std::unique_ptr<Timer> exitCheck_;
    // Closed connections whose goodbye is still leaving.
    std::vector<std::weak_ptr<IRCConnection>> closing_;
    std::unique_ptr<Timer> closingCheck_;
    void LetClosedGo();
    // Where each connection (by key) was when its link went, in lower case.
    std::unordered_map<std::string, std::pair<std::string, std::int32_t>> lostAt_;
};

} // namespace tellix
