#include "net/IRCConnection.h"

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnections.h"
#include "net/frmContainer.h"
#include "util/CoreError.h"
#include "util/Utility.h"

namespace tellix {

IRCConnection::IRCConnection(Token) : key_(NewUniqueKey()) {}

std::shared_ptr<IRCConnection> IRCConnection::Create()
{
    auto connection = std::make_shared<IRCConnection>(Token{});
    connection->users_ = IRCUsers::Create();
    connection->users_->SetParent(connection.get());
    connection->channels_ = IRCChannels::Create();
    connection->channels_->SetParent(connection.get());
    connection->BindCollections();
    return connection;
}

IRCConnection::~IRCConnection()
{
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

void IRCConnection::BindCollections()
{
    // Each relay: the owning collection first, then this connection's own event.
    IRCChannels& channels = *channels_;
    pobjChannels_.push_back(channels.Events.Add.connect([this](const ChannelPtr& channel) {
        auto self = shared_from_this();
        if (parent_ != nullptr) {
            parent_->RaiseChannelAdd(self, channel);
        }
        Events.ChannelAdd.raise(channel);
    }));
    pobjChannels_.push_back(channels.Events.Join.connect([this](const ChannelPtr& channel, const UserPtr& source) {
        auto self = shared_from_this();
        if (parent_ != nullptr) {
            parent_->RaiseChannelJoin(self, channel, source);
        }
        Events.ChannelJoin.raise(channel, source);
    }));
    pobjChannels_.push_back(
        channels.Events.Kick.connect([this](const ChannelPtr& channel, const UserPtr& source,
                                            const UserPtr& destination, const std::string& reason) {
            auto self = shared_from_this();
            if (parent_ != nullptr) {
                parent_->RaiseChannelKick(self, channel, source, destination, reason);
            }
            Events.ChannelKick.raise(channel, source, destination, reason);
        }));

    // The channel events with one text argument differ only in which pair they relay.
    using ChannelTextEvent = Event<const ChannelPtr&, const UserPtr&, const std::string&>;
    using ChannelTextRaise = void (IRCConnections::*)(const std::shared_ptr<IRCConnection>&, const ChannelPtr&,
                                                      const UserPtr&, const std::string&);
    auto relayChannelText = [this](ChannelTextEvent& source, ChannelTextRaise raise, ChannelTextEvent& own) {
        pobjChannels_.push_back(source.connect(
            [this, raise, &own](const ChannelPtr& channel, const UserPtr& user, const std::string& text) {
                auto self = shared_from_this();
                if (parent_ != nullptr) {
                    (parent_->*raise)(self, channel, user, text);
                }
                own.raise(channel, user, text);
            }));
    };
    relayChannelText(channels.Events.NickChange, &IRCConnections::RaiseChannelNickChange,
                     Events.ChannelNickChange);
    relayChannelText(channels.Events.Notice, &IRCConnections::RaiseChannelNotice, Events.ChannelNotice);
    relayChannelText(channels.Events.Part, &IRCConnections::RaiseChannelPart, Events.ChannelPart);
    relayChannelText(channels.Events.PrivMsg, &IRCConnections::RaiseChannelPrivMsg, Events.ChannelPrivMsg);
    relayChannelText(channels.Events.Quit, &IRCConnections::RaiseChannelQuit, Events.ChannelQuit);
    relayChannelText(channels.Events.TopicChange, &IRCConnections::RaiseChannelTopicChange,
                     Events.ChannelTopicChange);

    IRCUsers& users = *users_;
    using UserEvent = Event<const UserPtr&>;
    using UserRaise = void (IRCConnections::*)(const std::shared_ptr<IRCConnection>&, const UserPtr&);
    auto relayUser = [this](UserEvent& source, UserRaise raise, UserEvent& own) {
        pobjUsers_.push_back(source.connect([this, raise, &own](const UserPtr& user) {
            auto self = shared_from_this();
            if (parent_ != nullptr) {
                (parent_->*raise)(self, user);
            }
            own.raise(user);
        }));
    };
    using UserTextEvent = Event<const UserPtr&, const std::string&>;
    using UserTextRaise =
        void (IRCConnections::*)(const std::shared_ptr<IRCConnection>&, const UserPtr&, const std::string&);
    auto relayUserText = [this](UserTextEvent& source, UserTextRaise raise, UserTextEvent& own) {
        pobjUsers_.push_back(source.connect([this, raise, &own](const UserPtr& user, const std::string& text) {
            auto self = shared_from_this();
            if (parent_ != nullptr) {
                (parent_->*raise)(self, user, text);
            }
            own.raise(user, text);
        }));
    };
    relayUser(users.Events.Add, &IRCConnections::RaiseUserAdd, Events.UserAdd);
    relayUserText(users.Events.NickChange, &IRCConnections::RaiseUserNickChange, Events.UserNickChange);
    relayUserText(users.Events.Notice, &IRCConnections::RaiseUserNotice, Events.UserNotice);
    relayUserText(users.Events.PrivMsg, &IRCConnections::RaiseUserPrivMsg, Events.UserPrivMsg);
    relayUserText(users.Events.Quit, &IRCConnections::RaiseUserQuit, Events.UserQuit);
    relayUser(users.Events.Remove, &IRCConnections::RaiseUserRemove, Events.UserRemove);
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
}

void IRCConnection::Connect(const std::string& server, std::int32_t port)
{
    if (socket_ == nullptr) {
        throw CoreError("the connection has no socket", kErrorObjectMissing);
    }
    auto self = shared_from_this();
    if (socket_->State() != TcpSocket::StateClosed) {
        socket_->Close();
        if (connected_) {
            connected_ = false;
            RaiseOwnDisconnectFirst();
        }
    }
    // A line left over from the last connection must not be glued to the next one.
    receiveBuffer_.Clear();
    codeFlag_ = true;
    if (!server.empty()) {
        socket_->SetRemoteHost(server);
    }
    if (port != 0) {
        socket_->SetRemotePort(port);
    }
    socket_->Connect();
}

void IRCConnection::Disconnect()
{
    if (socket_ == nullptr || socket_->State() == TcpSocket::StateClosed) {
        return;
    }
    auto self = shared_from_this();
    codeFlag_ = true;
    socket_->Close();
    if (connected_) {
        connected_ = false;
        RaiseOwnDisconnectFirst();
    }
}

void IRCConnection::RaiseOwnDisconnectFirst()
{
    auto self = shared_from_this();
    const std::string server = server_;
    const std::int32_t port = port_;
    Events.Disconnect.raise(server, port, true);
    if (parent_ != nullptr) {
        parent_->RaiseDisconnect(self, server, port, true);
    }
}

void IRCConnection::Quit(const std::string& quitMsg)
{
    if (connected_) {
        codeFlag_ = true;
        SendMessage("QUIT :" + quitMsg);
    }
}

void IRCConnection::ChangeNick(const std::string& nickNext)
{
    SendMessage("NICK :" + nickNext);
}

void IRCConnection::SendMessage(std::string_view message)
{
    if (socket_ != nullptr) {
        SendLine(*socket_, message);
    }
}

void IRCConnection::Delete()
{
    auto self = shared_from_this();
    if (channels_) {
        channels_->Delete();
        pobjChannels_.clear();
        channels_.reset();
    }
    if (users_) {
        user_.reset();
        users_->Delete();
        pobjUsers_.clear();
        users_.reset();
    }
    pobjContainer_.clear();
    receiveBuffer_.Clear();
    if (socket_ != nullptr) {
        if (socket_->State() != TcpSocket::StateClosed) {
            socket_->Close();
            if (connected_) {
                connected_ = false;
                RaiseOwnDisconnectFirst();
            }
        }
        host_->DestroySlot(slot_);
        socket_ = nullptr;
        host_ = nullptr;
    }
    if (parent_ != nullptr) {
        parent_->RemoveAt(index_);
        parent_ = nullptr;
    }
    index_ = -1;
}

void IRCConnection::DetachFromCollection()
{
    pobjContainer_.clear();
    if (socket_ != nullptr && host_ != nullptr) {
        socket_->Close();
        host_->DestroySlot(slot_);
    }
    socket_ = nullptr;
    host_ = nullptr;
    parent_ = nullptr;
    index_ = -1;
}

void IRCConnection::pobjContainer_WSConnect(std::int16_t& index)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    auto self = shared_from_this();
    const std::string remoteHost = socket_->RemoteHost();
    const std::int32_t remotePort = socket_->RemotePort();
    if (remoteHost != server_ || remotePort != port_) {
        user_.reset();
        if (users_) {
            users_->Clear();
        }
        server_ = remoteHost;
        port_ = remotePort;
        if (users_) {
            user_ = users_->Add("");
        }
    }
    connected_ = true;
    const std::string server = server_;
    const std::int32_t port = port_;
    const bool code = codeFlag_;
    if (parent_ != nullptr) {
        parent_->RaiseConnect(self, server, port, code);
    }
    Events.Connect.raise(server, port, code);
    codeFlag_ = false;
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
    auto self = shared_from_this();
    connected_ = false;
    if (channels_) {
        for (const ChannelPtr& channel : *channels_) {
            channel->SetJoined(false);
        }
    }
    const std::string server = server_;
    const std::int32_t port = port_;
    const bool code = codeFlag_;
    if (parent_ != nullptr) {
        parent_->RaiseDisconnect(self, server, port, code);
    }
    Events.Disconnect.raise(server, port, code);
    codeFlag_ = false;
}

void IRCConnection::pobjContainer_WSError(std::int16_t& index, std::int16_t number, std::string& description,
                                          std::int32_t scode, const std::string& source,
                                          const std::string& helpFile, std::int32_t helpContext,
                                          bool& cancelDisplay)
{
    if (index != slot_ || socket_ == nullptr) {
        return;
    }
    auto self = shared_from_this();
    connected_ = false;
    if (parent_ != nullptr) {
        parent_->RaiseSocketError(self, number, description, scode, source, helpFile, helpContext, cancelDisplay);
    }
    Events.SocketError.raise(number, description, scode, source, helpFile, helpContext, cancelDisplay);
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
    // A listener may delete this connection and drop the last reference meanwhile.
    auto self = shared_from_this();
    receiveBuffer_.Receive(data, [this](const std::string& line) { HandleLine(line); });
}

void IRCConnection::HandleLine(const std::string& line)
{
    bool processed = false;
    if (parent_ != nullptr) {
        parent_->RaiseGetRawMessage(shared_from_this(), line, processed);
    }
    if (!processed) {
        Events.GetRawMessage.raise(line, processed);
    }
    if (!processed) {
        ProcessServerMessage(line);
    }
}

} // namespace tellix
