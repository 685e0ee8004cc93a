// What the connections report, as the status window shows it and by the windows it opens.
#include "app/Application.h"
#include "app/Settings.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/ServerLine.h"
#include "net/StsPolicy.h"
#include "platform/SettingsStore.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/PasswordMask.h"
#include "util/Utility.h"
#include "windows/Childs.h"
#include "windows/EventTexts.h"

#include <array>
#include <string_view>

namespace tellix {

namespace {

// Their private lines stay in the status window instead of opening a query window.
bool IsServiceName(std::string_view nick)
{
    constexpr std::array<std::string_view, 6> services = {"Global",   "NickServ", "ChanServ",
                                                          "MemoServ", "OperServ", "Serv"};
    for (const std::string_view service : services) {
        if (nick == service) {
            return true;
        }
    }
    return false;
}

} // namespace

void Application::pobjConnections_ChannelJoin(const ConnectionPtr& connection, const ChannelPtr& channel,
                                              const UserPtr& source)
{
    const bool own = texts::IsOwn(*source);
    if (own && childs_ && !childs_->Item(channel)) {
        const auto window = childs_->Add(false);
        window->Channel(channel);
        if (childs_->UserAskedFor(channel)) {
            Childs::Front(window);
        }
    }
    StatusEvent(connection, !own,
                own ? Concat("*** joined channel ", channel->Name())
                    : Concat("*** ", source->Nick(), " joined channel ", channel->Name()));
}

void Application::pobjConnections_ChannelKick(const ConnectionPtr& connection, const ChannelPtr& channel,
                                              const UserPtr& source, const UserPtr& destination,
                                              const std::string& reason)
{
    StatusEvent(connection, true, texts::Kick(*source, *destination, channel->Name(), reason));
}

void Application::pobjConnections_ChannelNotice(const ConnectionPtr& connection, const ChannelPtr& channel,
                                                const UserPtr& source, const std::string& notice)
{
    if (childs_ && !childs_->Item(channel)) {
        StatusEvent(connection, true, Concat(channel->Name(), ": ", texts::Notice(source->Nick(), notice)));
    }
}

void Application::pobjConnections_ChannelPart(const ConnectionPtr& connection, const ChannelPtr& channel,
                                              const UserPtr& source, const std::string& partMsg)
{
    const bool own = texts::IsOwn(*source);
    StatusEvent(connection, !own,
                own ? Concat("*** left channel ", channel->Name(), " (", partMsg, ")")
                    : Concat("*** ", source->Nick(), " left channel ", channel->Name(), " (", partMsg, ")"));
    // A channel no window shows goes once we are out of it; while we are in, its lines
    // keep coming to the status window.
    if (childs_ && !childs_->Item(channel) && !channel->Joined()) {
        channel->Delete();
    }
}

void Application::pobjConnections_ChannelPrivMsg(const ConnectionPtr& connection, const ChannelPtr& channel,
                                                 const UserPtr& source, const std::string& privMsg)
{
    if (childs_ && !childs_->Item(channel)) {
        StatusEvent(connection, true, Concat(channel->Name(), ": ", texts::Message(source->Nick(), privMsg)));
    }
}

void Application::pobjConnections_Connect(const ConnectionPtr& connection, const std::string& server,
                                          std::int32_t port, bool code)
{
    StatusEvent(connection, true,
                Concat(code ? "Connected to Server " : "Auto-reconnected to Server ", server, ", Port ", port));
    if (childs_) {
        childs_->Refresh();
    }
}

void Application::pobjConnections_Disconnect(const ConnectionPtr& connection, const std::string& server,
                                             std::int32_t port, bool code)
{
    ForgetJoin(connection);
    LinkDown(connection);
    if (code) {
        StatusEvent(connection, true, Concat("Disconnected from Server ", server, ", Port ", port));
    } else {
        StatusEvent(connection, true,
                    Concat("Occassionally disconnected from Server ", server, ", Port ", port, "!!!"));
    }
    if (childs_) {
        childs_->Refresh();
    }
}

void Application::pobjConnections_Error(const ConnectionPtr& connection, const std::string& description)
{
    StatusEvent(connection, true, Concat("Server(", connection->Server(), ") ERROR: ", description));
}

void Application::pobjConnections_MessageNotProcessed(const ConnectionPtr& connection, const std::string& message)
{
    WatchLogin(connection, "", ServerLine(message).Word(2));
    if (ShowReply(connection, message)) {
        return;
    }
    const std::string shown = Concat("<- Server(", connection->Server(), "): [", message, "]");
    // A labelled reply without a readable form still goes to the window that asked.
    if (connection->ReplyAsker() != nullptr) {
        Echo(AskerWindow(*connection), shown);
        return;
    }
    StatusEvent(connection, true, shown);
}

void Application::pobjConnections_ServerNotice(const ConnectionPtr& connection, const std::string& server,
                                               const std::string& notice)
{
    StatusEvent(connection, true, texts::Notice(server, notice));
}

void Application::pobjConnections_ServerChange(const ConnectionPtr& connection, const std::string& server)
{
    StatusEvent(connection, true, Concat("Connection(", connection->Index(), ").Server: ", server));
    RejoinWindows(connection);
    JoinAfterWelcome(connection);
    NetworkWelcome(connection);
}

void Application::pobjConnections_SocketError(const ConnectionPtr& connection, std::int16_t /*number*/,
                                              std::string& description, std::int32_t /*scode*/,
                                              const std::string& /*source*/, const std::string& /*helpFile*/,
                                              std::int32_t /*helpContext*/, bool& /*cancelDisplay*/)
{
    ForgetJoin(connection);
    if (!connection->Connecting()) {
        LinkDown(connection); // broken while online, not a try that failed
    }
    StatusEvent(connection, true, Concat("Socket error: ", description));
    if (connection->Connecting()) {
        StatusEvent(connection, true,
                    Concat("Could not connect to Server ", connection->AttemptHost(), ", Port ",
                           connection->AttemptPort()));
        TryNextServer(connection);
    }
}

void Application::pobjConnections_CertificateRefused(const ConnectionPtr& connection, const std::string& server,
                                                     std::int32_t port, const CertificateRefusal& refusal)
{
    ForgetJoin(connection);
    if (strictTransport_ && strictTransport_->SecurePort(server)) {
        // No way around it for the user: whoever answers here may be the one the policy keeps out.
        StatusEvent(
            connection, true,
            Concat("*** Certificate of Server ", server, ", Port ", port, " refused: ",
                   refusal.pinMismatch ? "it is not the one trusted for this server and port" : refusal.reason,
                   "; ", server, " requires TLS (its strict transport policy), so nothing connects"));
        return;
    }
    if (refusal.pinMismatch) {
        StatusEvent(
            connection, true,
            Concat("*** Certificate of Server ", server, ", Port ", port,
                   " refused: it is not the one trusted for this server and port; its SHA-256 fingerprint is now ",
                   refusal.fingerprint));
    } else {
        StatusEvent(connection, true,
                    Concat("*** Certificate of Server ", server, ", Port ", port, " refused: ", refusal.reason,
                           "; SHA-256 fingerprint ", refusal.fingerprint));
    }
    const std::weak_ptr<IRCConnection> weak = connection;
    toolkit_.AskTrust(server, port, refusal, [this, weak, server, port, fingerprint = refusal.fingerprint] {
        if (!TrustFingerprint(server, port, fingerprint)) {
            return;
        }
        // The road of every connect: the saved login goes along only where it belongs.
        if (const auto again = weak.lock(); again && !again->Deleted() && !again->Connected()) {
            ConnectTo(again, {server, port, true});
        }
    });
}

void Application::pobjConnections_TlsUpgrade(const ConnectionPtr& connection, const std::string& server,
                                             std::int32_t port)
{
    StatusEvent(connection, true, Concat("*** ", server, " asks for TLS: reconnecting on port ", port));
    // The channel an address asked for, and the windows' channels, belong to the session there.
    if (joinOn_.lock() == connection) {
        joinAttempt_ = connection->Attempts() + 1;
    }
    ConnectTo(connection, {server, port, true});
    if (const auto lost = lostAt_.find(connection->Key()); lost != lostAt_.end()) {
        lost->second.second = port;
    }
}

void Application::pobjConnections_UserAdd(const ConnectionPtr& connection, const UserPtr& source)
{
    // Back after a reconnect (or a bouncer's playback): the old query window is theirs again.
    // Or the one the user opened typing their nick in another case.
    if (childs_ && !childs_->PartnerBack(connection->Key(), source)) {
        childs_->TypedPartnerHeard(connection->Key(), connection->NickCaseMapping(), source);
    }
    RefreshStatusWindow(connection);
}

void Application::pobjConnections_UserNickChange(const ConnectionPtr& connection, const UserPtr& source,
                                                 const std::string& nickPrev)
{
    StatusEvent(connection, !texts::IsOwn(*source), texts::NickChange(*source, nickPrev));
    if (childs_ && texts::IsOwn(*source)) {
        childs_->Refresh();
    }
    // The status window lists the users by their nicks of now.
    RefreshStatusWindow(connection);
}

void Application::pobjConnections_UserNotice(const ConnectionPtr& connection, const UserPtr& source,
                                             const std::string& notice)
{
    WatchLogin(connection, source->Nick(), notice);
    PrivateLine(connection, source, texts::Notice, notice);
}

void Application::pobjConnections_UserPrivMsg(const ConnectionPtr& connection, const UserPtr& source,
                                              const std::string& privMsg)
{
    PrivateLine(connection, source, texts::Message, privMsg);
}

void Application::pobjConnections_UserQuit(const ConnectionPtr& connection, const UserPtr& source,
                                           const std::string& quitMsg)
{
    StatusEvent(connection, true, texts::Quit(*source, quitMsg));
}

void Application::pobjConnections_UserRemove(const ConnectionPtr& connection, const UserPtr& source)
{
    // Let go because the connection starts afresh elsewhere (a bouncer's address, say): the
    // partner is likely to come back under the same nick.
    if (childs_ && !connection->Connected() && source->Watched()) {
        childs_->PartnerLetGo(connection->Key(), source);
    }
    RefreshStatusWindow(connection);
}

void Application::pobjConnections_LinesNotSent(const ConnectionPtr& connection, std::size_t count)
{
    StatusEvent(connection, false, Concat(count, count == 1 ? " line" : " lines", " not sent"));
}

void Application::pobjConnections_UserSelfMessage(const ConnectionPtr& connection, const UserPtr& destination,
                                                  const std::string& message, bool notice, bool echo)
{
    if (!childs_) {
        return;
    }
    // A login to a service shows masked, wherever it shows, and goes to no log.
    const std::optional<std::string> masked = MaskSaid(destination->Nick(), message);
    const std::string& shown = masked ? *masked : message;
    const bool service = IsServiceName(destination->Nick());
    const std::string nick = connection->User() ? std::string(connection->User()->Nick()) : std::string();
    // An echo shows in a window already talking with them: typing opened none. A line from
    // elsewhere opens one as a stranger's line would (minimized), but for a service's, which
    // the status window shows unless the user talks with the service in a window.
    const Childs::ChildPtr window =
        echo || service ? childs_->Item(destination) : childs_->GetChild(destination, true);
    if (window && window->Query() == destination) {
        const bool action = !notice && texts::IsAction(message);
        const std::string line =
            Concat("# ", notice ? texts::Notice(nick, shown) : texts::ChannelMessage(nick, shown));
        const LineStyle style = texts::Said(notice   ? LineStyle::Kind::Notice
                                            : action ? LineStyle::Kind::Action
                                                     : LineStyle::Kind::Message,
                                            action ? 4 : 3, nick, true, false);
        if (masked) {
            window->EchoShownOnly(line, style);
        } else {
            window->Echo(line, style);
            window->IndexLine(nick, message);
        }
        return;
    }
    if (service && !echo) { // a typed line was shown as sent already
        const std::string line = Concat(notice ? "notice -> " : "-> ", destination->Nick(), ": ", shown);
        masked ? EchoShownOnly(StatusIndex(*connection), line) : Echo(StatusIndex(*connection), line);
    }
}

void Application::PrivateLine(const ConnectionPtr& connection, const UserPtr& source,
                              std::string (*text)(std::string_view, std::string_view), const std::string& line)
{
    if (!childs_ || childs_->Item(source)) {
        return; // the user's window writes it
    }
    if (IsServiceName(source->Nick())) {
        StatusEvent(connection, true, text(source->Nick(), line));
        return;
    }
    // The window listens to the user from now on, and the user raises its own event after
    // this one: the window writes this first line itself, so it appears once.
    childs_->GetChild(source, true);
}

void Application::LinkDown(const ConnectionPtr& connection)
{
    lostAt_[connection->Key()] = {LowerCase(connection->AttemptHost()), connection->AttemptPort()};
    if (!childs_) {
        return;
    }
    // Walks a copy: a listener of the lines written may close windows.
    std::vector<Childs::ChildPtr> windows;
    for (std::int32_t index = 1; index <= childs_->Count(); ++index) {
        windows.push_back(childs_->Item(index));
    }
    for (const Childs::ChildPtr& window : windows) {
        const ChannelPtr& channel = window->Channel();
        if (channel && channel->Parent() != nullptr && channel->Parent()->Parent() == connection.get()) {
            window->LinkDown();
        }
    }
}

void Application::RejoinWindows(const ConnectionPtr& connection)
{
    const auto lost = lostAt_.find(connection->Key());
    if (lost == lostAt_.end()) {
        return;
    }
    const bool same = lost->second.first == LowerCase(connection->AttemptHost()) &&
                      lost->second.second == connection->AttemptPort();
    lostAt_.erase(lost);
    const bool wanted =
        settings::ReadCheckBox(toolkit_.Settings().GetSetting(SettingsAppName(), std::string(settings::Section),
                                                              std::string(settings::RejoinChannels), ""),
                               settings::RejoinChannelsDefault);
    if (!same || !wanted || !childs_) {
        return;
    }
    std::vector<std::string> channels;
    for (std::int32_t index = 1; index <= childs_->Count(); ++index) {
        const ChannelPtr& channel = childs_->Item(index)->Channel();
        if (channel && channel->Parent() != nullptr && channel->Parent()->Parent() == connection.get()) {
            channels.push_back(channel->Name());
        }
    }
    connection->RejoinAtWelcome(std::move(channels));
}

void Application::RefreshStatusWindow(const ConnectionPtr& connection)
{
    if (const std::shared_ptr<Child> status = StatusOf(*connection)) {
        status->Refresh();
    }
}

} // namespace tellix
