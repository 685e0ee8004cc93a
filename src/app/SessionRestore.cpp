// Saved networks as connections, and the session that comes back at the next start.
#include "app/Application.h"
#include "app/Session.h"
#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "platform/SettingsStore.h"
#include "platform/Timers.h"
#include "platform/Toolkit.h"
#include "util/Concat.h"
#include "util/Utility.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>
#include <unordered_map>

namespace tellix {

namespace {

// A NickServ that never answers holds the joins no longer than this.
constexpr std::int64_t kLoginWaitMs = 10'000;

ConnectOptions OptionsFor(const Network& network, const ServerPlace& server)
{
    ConnectOptions options;
    options.tls = server.tls;
    options.reconnect = network.reconnect;
    switch (network.login) {
    case NetworkLogin::Plain:
        options.account = network.account;
        options.accountPassword = network.password;
        break;
    case NetworkLogin::External:
        options.clientCertificate = network.clientCertificate;
        break;
    case NetworkLogin::Pass:
        options.serverPassword = network.password;
        break;
    case NetworkLogin::None:
    case NetworkLogin::NickServ:
        break;
    }
    return options;
}

} // namespace

Application::NetworkLink* Application::LinkOf(const IRCConnection& connection)
{
    const auto found = links_.find(connection.Key());
    return found != links_.end() ? &found->second : nullptr;
}

bool Application::ConnectNetwork(std::string_view name)
{
    const Network* const network = networks_.Find(name);
    if (network == nullptr) {
        return false;
    }
    ConnectionPtr connection;
    for (const ConnectionPtr& each : *pobjConnections_) {
        if (SameIgnoringCase(each->SavedNetwork(), network->name)) {
            connection = each;
            break;
        }
    }
    if (connection && (connection->Connected() || connection->Connecting())) {
        StatusEvent(connection, false, Concat("CONNECT: already connected to ", network->name));
        Childs::Front(StatusOf(*connection));
        return true;
    }
    if (!connection) {
        const ConnectionPtr& first = pobjConnections_->Item(1);
        const bool unused = !first->Connected() && !first->Connecting() && first->AttemptHost().empty() &&
                            first->SavedNetwork().empty();
        connection = unused ? first : NewConnection();
    }
    ConnectNetworkAgain(connection, network->name);
    Childs::Front(StatusOf(*connection));
    return true;
}

void Application::ConnectNetworkAgain(const ConnectionPtr& connection, const std::string& name)
{
    // Its windows still open are joined again with it.
    std::vector<ChannelAndKey> open;
    if (childs_) {
        for (const std::shared_ptr<Child>& child : *childs_) {
            if (child->Channel() && child->Connection() == connection.get()) {
                open.push_back({child->Channel()->Name(), connection->ChannelKey(child->Channel()->Name())});
            }
        }
    }
    ConnectSavedNetwork(name, connection, std::move(open));
}

void Application::ConnectSavedNetwork(const std::string& name, const ConnectionPtr& connection,
                                      std::vector<ChannelAndKey> also)
{
    connection->SavedNetwork(name);
    // The password may still be on its way from the secret store.
    networks_.WhenPasswordKnown(name, [this, weak = std::weak_ptr<IRCConnection>(connection),
                                       also = std::move(also)](const Network* network) mutable {
        const ConnectionPtr connection = weak.lock();
        if (network != nullptr && connection && !connection->Deleted() && pobjConnections_) {
            ConnectNetworkOn(*network, connection, std::move(also));
        }
    });
}

void Application::ConnectNetworkOn(const Network& network, const ConnectionPtr& connection,
                                   std::vector<ChannelAndKey> also)
{
    NetworkLink& link = links_[connection->Key()];
    link.network = network;
    link.nextServer = 0;
    link.failedInRow = 0;
    link.loginWait.reset();
    link.joins.clear();
    for (const ChannelAndKey& channel : network.autojoin) {
        link.joins.push_back(channel);
    }
    for (ChannelAndKey& channel : also) {
        link.joins.push_back(std::move(channel));
    }
    link.welcomeWork = true;
    connection->SavedNetwork(network.name);
    connection->AlternativeNicks(network.altNicks);
    const std::string nick = !network.nick.empty() ? network.nick : connection->InitialNick();
    if (!nick.empty()) {
        connection->InitialNick(nick);
    }
    const std::string user = !network.user.empty() ? network.user : nick;
    const std::string realName = !network.realName.empty() ? network.realName : user;
    if (!user.empty()) {
        connection->InitialUserParams(Concat(user, " 8 * :", realName));
    }
    if (std::shared_ptr<Child> status = StatusOf(*connection)) {
        status->Refresh(); // its caption and its group's name
    }
    if (network.servers.empty()) {
        StatusEvent(connection, false, Concat("*** Network ", network.name, " has no server to connect to"));
        return;
    }
    if (connection->InitialNick().empty()) {
        StatusEvent(connection, false, Concat("*** Network ", network.name, " has no nick to connect with"));
        return;
    }
    ConnectNextServer(connection, link);
}

SavedLogin Application::LoginOf(const IRCConnection& connection, const ServerPlace& place) const
{
    const auto found = links_.find(connection.Key());
    if (found == links_.end() || found->second.network.servers.empty()) {
        return Login();
    }
    const Network& network = found->second.network;
    for (const ServerPlace& server : network.servers) {
        SavedLogin login(server, OptionsFor(network, server));
        if (login.BelongsTo(place)) {
            return login;
        }
    }
    // Elsewhere than the network's servers: without its login, and told so.
    return SavedLogin(network.servers.front(), OptionsFor(network, network.servers.front()));
}

void Application::ConnectNextServer(const ConnectionPtr& connection, NetworkLink& link)
{
    const std::vector<ServerPlace>& servers = link.network.servers;
    const ServerPlace place = servers[link.nextServer % servers.size()];
    link.nextServer = (link.nextServer + 1) % servers.size();
    ConnectTo(connection, place);
    StatusEvent(connection, false,
                Concat("Connecting to ", link.network.name, ": Server ", place.host, ", Port ", place.port,
                       place.tls ? " with TLS" : "", "..."));
}

void Application::TryNextServer(const ConnectionPtr& connection)
{
    NetworkLink* const link = LinkOf(*connection);
    Timers* const timers = toolkit_.ProtocolTimers();
    // Once round the list; after that the connection's own reconnect, if wanted, goes on.
    if (link == nullptr || timers == nullptr || link->network.servers.size() < 2 ||
        ++link->failedInRow >= link->network.servers.size()) {
        return;
    }
    // From the event loop: the failed try is still being told.
    link->nextTry = timers->After(0, [this, weak = std::weak_ptr<IRCConnection>(connection)] {
        const ConnectionPtr connection = weak.lock();
        NetworkLink* const link = connection ? LinkOf(*connection) : nullptr;
        if (link != nullptr && !connection->Deleted() && !connection->Connected() && !connection->Connecting()) {
            ConnectNextServer(connection, *link);
        }
    });
}

void Application::NetworkWelcome(const ConnectionPtr& connection)
{
    NetworkLink* link = LinkOf(*connection);
    if (link == nullptr) {
        return;
    }
    link->failedInRow = 0;
    if (!std::exchange(link->welcomeWork, false)) {
        return; // a reconnect: the windows still open are joined again as ever
    }
    const std::string nick =
        connection->User() ? std::string(connection->User()->Nick()) : connection->InitialNick();
    const std::vector<std::string> commands = link->network.commands;
    for (std::string line : commands) {
        for (std::size_t at = line.find("$nick"); at != std::string::npos;
             at = line.find("$nick", at + nick.size())) {
            line.replace(at, 5, nick);
        }
        if (line.starts_with('/')) {
            line.erase(0, 1);
        }
        // Ending the program from here would leave this object gone under the loop.
        const std::string word = line.substr(0, line.find(' '));
        if (word.size() == 4 && LowerCase(word) == "exit") {
            continue;
        }
        if (!line.empty()) {
            ProcessCommand(line, true, StatusIndex(*connection));
        }
        // A command may have closed the connection, or the program.
        if (connection->Deleted() || !connection->Connected() || LinkOf(*connection) == nullptr) {
            return;
        }
    }
    link = LinkOf(*connection);
    if (link->network.login == NetworkLogin::NickServ && !link->network.password.empty()) {
        const std::string& account = link->network.account;
        connection->SendMessage(
            Concat("PRIVMSG NickServ :IDENTIFY ", account, account.empty() ? "" : " ", link->network.password),
            SendPriority::Automatic);
        if (Timers* timers = toolkit_.ProtocolTimers()) {
            link->loginWait = timers->After(kLoginWaitMs, [this, weak = std::weak_ptr<IRCConnection>(connection)] {
                if (const ConnectionPtr waiting = weak.lock()) {
                    JoinAfterLogin(waiting);
                }
            });
            return;
        }
    }
    JoinAfterLogin(connection);
}

void Application::WatchLogin(const ConnectionPtr& connection, std::string_view from, std::string_view text)
{
    NetworkLink* const link = LinkOf(*connection);
    if (link == nullptr || !link->loginWait) {
        return;
    }
    // Its answer, whatever it says: the login is over either way.
    if (LowerCase(from) == "nickserv" || text == "900" || text == "904") {
        JoinAfterLogin(connection);
    }
}

void Application::JoinAfterLogin(const ConnectionPtr& connection)
{
    NetworkLink* const link = LinkOf(*connection);
    if (link == nullptr || connection->Deleted()) {
        return;
    }
    link->loginWait.reset();
    const std::vector<ChannelAndKey> joins = std::exchange(link->joins, {});
    if (!joins.empty() && connection->Connected()) {
        connection->JoinChannels(joins, SendPriority::Automatic);
    }
}

// At exit, before any goodbye: what is open now.
void Application::KeepSession()
{
    if (sessionKept_ || !childs_ || !pobjConnections_) {
        return;
    }
    sessionKept_ = true;
    Session session;
    std::unordered_map<const IRCConnection*, std::int32_t> positions;
    for (const ConnectionPtr& connection : *pobjConnections_) {
        if (!connection->BouncerNetwork().empty()) {
            continue; // its bouncer login lists it again, and the bouncer keeps its channels
        }
        positions[connection.get()] = static_cast<std::int32_t>(session.connections.size());
        Session::Connection kept;
        kept.network = connection->SavedNetwork();
        kept.server = {connection->AttemptHost(), connection->AttemptPort(), connection->Options().tls};
        kept.logName = !connection->Network().empty() ? connection->Network() : connection->ExpectedNetwork();
        kept.connected = connection->Connected() || connection->Connecting();
        session.connections.push_back(std::move(kept));
    }
    for (const std::shared_ptr<Child>& child : *childs_) {
        const IRCConnection* const connection = child->Connection();
        const auto position = connection != nullptr ? positions.find(connection) : positions.end();
        if (position == positions.end()) {
            continue;
        }
        Session::Window window;
        window.connection = position->second;
        if (child->IsHead()) {
            window.kind = Session::Window::Kind::Status;
        } else if (child->Channel()) {
            window.kind = Session::Window::Kind::Channel;
            window.name = child->Channel()->Name();
            window.key = connection->ChannelKey(window.name);
        } else if (child->Query()) {
            window.kind = Session::Window::Kind::Query;
            window.name = child->Query()->Nick();
        } else {
            continue;
        }
        if (const ChildView* view = child->Window()) {
            window.state = view->State();
            window.place = view->Place();
        }
        if (child == childs_->Active()) {
            session.active = static_cast<std::int32_t>(session.windows.size());
        }
        session.windows.push_back(std::move(window));
    }
    session.Write(toolkit_.Settings());
}

void Application::RestoreSession()
{
    SettingsStore& store = toolkit_.Settings();
    const Session session = Session::Read(store);
    const bool reconnect =
        settings::ReadCheckBox(store.GetSetting(SettingsAppName(), std::string(settings::Section),
                                                std::string(settings::ReconnectAtStart), ""),
                               settings::ReconnectAtStartDefault);
    std::vector<ConnectionPtr> made;
    for (std::size_t index = 0; index < session.connections.size(); ++index) {
        const ConnectionPtr connection = index == 0 ? pobjConnections_->Item(1) : NewConnection();
        connection->SavedNetwork(session.connections[index].network);
        connection->ExpectedNetwork(session.connections[index].logName);
        made.push_back(connection);
    }
    std::vector<std::vector<ChannelAndKey>> channels(made.size());
    std::shared_ptr<Child> active;
    for (std::size_t index = 0; index < session.windows.size(); ++index) {
        const Session::Window& kept = session.windows[index];
        const ConnectionPtr& connection = made[static_cast<std::size_t>(kept.connection)];
        std::shared_ptr<Child> window;
        switch (kept.kind) {
        case Session::Window::Kind::Status:
            window = StatusOf(*connection);
            break;
        case Session::Window::Kind::Channel:
            window = childs_->GetChild(connection->Channels()->GetChannel(kept.name), false);
            channels[static_cast<std::size_t>(kept.connection)].push_back({kept.name, kept.key});
            break;
        case Session::Window::Kind::Query:
            window = childs_->GetChild(connection->Users()->GetUser(kept.name), false);
            break;
        }
        if (!window || window->Window() == nullptr) {
            continue;
        }
        if (kept.place) {
            window->Window()->SetPlace(*kept.place);
        }
        window->Window()->SetState(kept.state);
        if (static_cast<std::int32_t>(index) == session.active) {
            active = window;
        }
    }
    tellix::ConnectDialog* const dialog = childs_->ConnectDialog();
    for (std::size_t index = 0; index < made.size(); ++index) {
        const Session::Connection& kept = session.connections[index];
        const ConnectionPtr& connection = made[index];
        if (!reconnect || !kept.connected) {
            continue;
        }
        if (!kept.network.empty() && networks_.Find(kept.network) != nullptr) {
            ConnectSavedNetwork(kept.network, connection, std::move(channels[index]));
        } else if (!kept.server.host.empty() && kept.server.port > 0) {
            if (connection->InitialNick().empty() && (dialog == nullptr || !dialog->Register(*connection))) {
                continue;
            }
            connection->SavedNetwork({});
            // The windows' channels join at the welcome, with the keys they had.
            std::vector<std::string> names;
            for (const ChannelAndKey& channel : channels[index]) {
                names.push_back(channel.name);
            }
            for (const ChannelAndKey& channel : channels[index]) {
                connection->NoteChannelKey(channel.name, channel.key);
            }
            connection->RejoinAtWelcome(std::move(names));
            ConnectTo(connection, kept.server);
        }
    }
    for (std::int32_t position = 1; position <= networks_.Count(); ++position) {
        const Network& network = networks_.Item(position);
        if (!network.autoconnect) {
            continue;
        }
        const ConnectionPtr existing = FindConnection(network.name);
        if (existing && (existing->Connected() || existing->Connecting())) {
            continue;
        }
        const ConnectionPtr& first = pobjConnections_->Item(1);
        const bool firstUnused = !first->Connected() && !first->Connecting() && first->AttemptHost().empty() &&
                                 first->SavedNetwork().empty();
        ConnectSavedNetwork(network.name, existing ? existing : firstUnused ? first : NewConnection());
    }
    if (active) {
        Childs::Front(active);
    }
}

} // namespace tellix
