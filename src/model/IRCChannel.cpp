#include "model/IRCChannel.h"

#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "util/CoreError.h"
#include "util/Utility.h"

namespace tellix {

namespace {

const IRCChannel::UserPtr& Require(const IRCChannel::UserPtr& user)
{
    if (!user) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return user;
}

} // namespace

IRCChannel::IRCChannel(Token) : key_(NewUniqueKey()), pobjUsers_(IRCUsers::Create())
{
    // The subscriptions end with the channel, so the handlers never outlive `this`.
    onAdd_ = pobjUsers_->Events.Add.connect([this](const UserPtr& user) { pobjUsers_Add(user); });
    onRemove_ = pobjUsers_->Events.Remove.connect([this](const UserPtr& user) { pobjUsers_Remove(user); });
    onNickChange_ = pobjUsers_->Events.NickChange.connect(
        [this](const UserPtr& user, const std::string& nickPrev) { pobjUsers_NickChange(user, nickPrev); });
    onQuit_ = pobjUsers_->Events.Quit.connect(
        [this](const UserPtr& user, const std::string& quitMsg) { pobjUsers_Quit(user, quitMsg); });
}

IRCChannel::~IRCChannel() = default;

std::shared_ptr<IRCChannel> IRCChannel::Create()
{
    return std::make_shared<IRCChannel>(Token{});
}

IRCConnection* IRCChannel::Connection() const
{
    return parent_ != nullptr ? parent_->Parent() : nullptr;
}

IRCConnection& IRCChannel::RequireConnection() const
{
    IRCConnection* connection = Connection();
    if (connection == nullptr) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return *connection;
}

IRCChannel::UserPtr IRCChannel::OwnUser() const
{
    IRCConnection* connection = Connection();
    return connection != nullptr ? connection->User() : nullptr;
}

void IRCChannel::Topic(const std::string& newTopic)
{
    RequireConnection().SendMessage("TOPIC " + name_ + " :" + newTopic);
}

void IRCChannel::Join()
{
    IRCConnection* connection = Connection();
    if (!joined_ && connection != nullptr) {
        connection->SendMessage("JOIN :" + name_);
    }
}

void IRCChannel::Part(const std::string& partMsg)
{
    IRCConnection* connection = Connection();
    if (joined_ && connection != nullptr) {
        connection->SendMessage("PART " + name_ + " :" + partMsg);
    }
}

void IRCChannel::Kick(const UserPtr& destination, const std::string& reason)
{
    IRCConnection* connection = Connection();
    if (!joined_ || connection == nullptr) {
        return;
    }
    std::string line = "KICK " + name_ + " " + Require(destination)->Nick();
    if (!reason.empty()) {
        line += " :" + reason;
    }
    connection->SendMessage(line);
}

void IRCChannel::SendNotice(const std::string& notice)
{
    IRCConnection& connection = RequireConnection();
    connection.SendMessage("NOTICE " + name_ + " :" + notice);
    auto self = shared_from_this();
    UserPtr source = connection.User();
    parent_->RaiseNotice(self, source, notice);
    Events.Notice.raise(source, notice);
}

void IRCChannel::SendPrivMsg(const std::string& privMsg)
{
    IRCConnection& connection = RequireConnection();
    connection.SendMessage("PRIVMSG " + name_ + " :" + privMsg);
    auto self = shared_from_this();
    UserPtr source = connection.User();
    parent_->RaisePrivMsg(self, source, privMsg);
    Events.PrivMsg.raise(source, privMsg);
}

void IRCChannel::Delete()
{
    // Leaving the collection may drop the last owner.
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        if (joined_) {
            Part("");
        }
        parent_->RemoveAt(index_);
        parent_ = nullptr;
    }
    index_ = -1;
}

void IRCChannel::SetName(std::string_view name)
{
    const std::string namePrev = name_;
    name_ = name;
    if (parent_ != nullptr) {
        parent_->NameStored(this, namePrev);
    }
}

void IRCChannel::SetParent(IRCChannels* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCChannel::ProcessJoin(const UserPtr& source)
{
    auto self = shared_from_this();
    if (Require(source)->IsUser()) {
        pobjUsers_->Clear();
        joined_ = true;
    }
    pobjUsers_->AddExisting(source);
    if (parent_ != nullptr) {
        parent_->RaiseJoin(self, source);
    }
    Events.Join.raise(source);
}

void IRCChannel::ProcessKick(const UserPtr& source, const UserPtr& destination, const std::string& reason)
{
    auto self = shared_from_this();
    if (Require(destination)->IsUser()) {
        joined_ = false;
    }
    pobjUsers_->Remove(destination);
    if (parent_ != nullptr) {
        parent_->RaiseKick(self, source, destination, reason);
    }
    Events.Kick.raise(source, destination, reason);
}

void IRCChannel::ProcessNotice(const UserPtr& source, const std::string& notice)
{
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaiseNotice(self, source, notice);
    }
    Events.Notice.raise(source, notice);
}

void IRCChannel::ProcessPart(const UserPtr& source, const std::string& partMsg)
{
    auto self = shared_from_this();
    if (Require(source)->IsUser()) {
        joined_ = false;
    }
    pobjUsers_->Remove(source);
    if (parent_ != nullptr) {
        parent_->RaisePart(self, source, partMsg);
    }
    Events.Part.raise(source, partMsg);
}

void IRCChannel::ProcessPrivMsg(const UserPtr& source, const std::string& privMsg)
{
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaisePrivMsg(self, source, privMsg);
    }
    Events.PrivMsg.raise(source, privMsg);
}

void IRCChannel::ProcessTopicChange(const UserPtr& source, const std::string& newTopic)
{
    auto self = shared_from_this();
    const std::string topicPrev = topic_;
    topic_ = newTopic;
    if (parent_ != nullptr) {
        parent_->RaiseTopicChange(self, source, topicPrev);
    }
    Events.TopicChange.raise(source, topicPrev);
}

void IRCChannel::pobjUsers_Add(const UserPtr& user)
{
    Events.UserAdd.raise(user);
}

void IRCChannel::pobjUsers_Remove(const UserPtr& user)
{
    Events.UserRemove.raise(user);
}

void IRCChannel::pobjUsers_NickChange(const UserPtr& user, const std::string& nickPrev)
{
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaiseNickChange(self, user, nickPrev);
    }
    Events.NickChange.raise(user, nickPrev);
}

void IRCChannel::pobjUsers_Quit(const UserPtr& user, const std::string& quitMsg)
{
    auto self = shared_from_this();
    pobjUsers_->Remove(user);
    if (parent_ != nullptr) {
        parent_->RaiseQuit(self, user, quitMsg);
    }
    Events.Quit.raise(user, quitMsg);
}

} // namespace tellix
