#include "model/IRCChannel.h"

#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "util/Concat.h"
#include "util/CoreError.h"
#include "util/LineRoad.h"
#include "util/LineTime.h"
#include "util/Relay.h"
#include "util/Utility.h"

#include <utility>

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
    onAway_ = pobjUsers_->Events.AwayChange.connect(
        [this](const UserPtr& user) { Relay(*this).Own(Events.AwayChange, user); });
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

void IRCChannel::Join(std::string_view key)
{
    IRCConnection* connection = Connection();
    if (joined_ || connection == nullptr) {
        return;
    }
    if (key.empty()) {
        connection->SendMessage("JOIN :" + name_);
    } else {
        // A key that opens with a colon could only be read as the trailing part.
        connection->SendMessage(Concat("JOIN ", name_, key.starts_with(':') ? " :" : " ", key));
    }
}

void IRCChannel::Part(const std::string& partMsg, SendPriority priority)
{
    IRCConnection* connection = Connection();
    if (joined_ && connection != nullptr) {
        connection->SendMessage("PART " + name_ + " :" + partMsg, priority);
        partSent_ = true;
    }
}

void IRCChannel::Kick(const UserPtr& destination, const std::string& reason)
{
    IRCConnection* connection = Connection();
    if (!joined_ || connection == nullptr) {
        return;
    }
    std::string line = "KICK " + name_ + " ";
    line.append(Require(destination)->Nick());
    if (!reason.empty()) {
        line += " :" + reason;
    }
    connection->SendMessage(line);
}

void IRCChannel::SendNotice(const std::string& notice)
{
    IRCConnection& connection = RequireConnection();
    connection.SendMessage("NOTICE " + name_ + " :" + notice);
    const UserPtr source = connection.User();
    Relay(*this).Up(&IRCChannels::RaiseNotice, Events.Notice, source, notice);
}

void IRCChannel::SendPrivMsg(const std::string& privMsg)
{
    IRCConnection& connection = RequireConnection();
    connection.SendMessage("PRIVMSG " + name_ + " :" + privMsg);
    const UserPtr source = connection.User();
    Relay(*this).Up(&IRCChannels::RaisePrivMsg, Events.PrivMsg, source, privMsg);
}

void IRCChannel::Say(const std::string& text)
{
    IRCConnection* const found = Connection();
    if (found == nullptr) {
        return;
    }
    // A listener of the message may let this channel, or its connection, go.
    const auto self = shared_from_this();
    const auto connection = found->shared_from_this();
    // With echo-message the server's echo shows it, once.
    if (const UserPtr own = connection->User(); own && !connection->Capabilities().Enabled("echo-message")) {
        ProcessPrivMsg(own, text);
    }
    connection->SendMessage("PRIVMSG " + name_ + " :" + text);
}

void IRCChannel::Delete()
{
    // Leaving the collection may drop the last owner.
    const auto self = shared_from_this();
    if (parent_ != nullptr) {
        // A window closed on the way out has parted already: once is enough.
        if (joined_ && !partSent_) {
            Part("");
        }
        if (parent_ != nullptr && Index() > 0) {
            parent_->RemoveAt(Index());
        }
        parent_ = nullptr;
    }
}

std::int32_t IRCChannel::Index() const
{
    return IRCChannels::IndexIn(parent_, *this);
}

void IRCChannel::SetName(std::string_view name)
{
    const std::string namePrev = name_;
    name_ = name;
    if (parent_ != nullptr) {
        parent_->NameStored(*this, namePrev);
    }
}

void IRCChannel::SetParent(IRCChannels* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

// The member-list events of each Process operation come first and may reach listeners that
// delete this channel, the user, or the whole connection: each step goes on only while
// the relay finds the channel where it was.

void IRCChannel::ProcessJoin(const UserPtr& source)
{
    Relay relay(*this);
    if (Require(source)->IsUser()) {
        const auto members = pobjUsers_;
        members->Clear();
        if (!relay.Intact() || source->Parent() == nullptr) {
            return;
        }
        joined_ = true;
        partSent_ = false;
        // The topic from an earlier stay may be gone (a new server after a reconnect, say); the
        // present one, if any, follows the join.
        if (!topic_.empty() || !topicSetter_.empty() || topicTime_ != 0) {
            ProcessNoTopic();
            if (!relay.Intact() || source->Parent() == nullptr) {
                return;
            }
        }
    }
    pobjUsers_->AddExisting(source);
    if (relay.Intact()) {
        relay.Up(&IRCChannels::RaiseJoin, Events.Join, source);
    }
}

void IRCChannel::ProcessKick(const UserPtr& source, const UserPtr& destination, const std::string& reason)
{
    Relay relay(*this);
    if (Require(destination)->IsUser()) {
        joined_ = false;
    }
    pobjUsers_->Remove(destination);
    if (relay.Intact()) {
        relay.Up(&IRCChannels::RaiseKick, Events.Kick, source, destination, reason);
    }
}

void IRCChannel::ProcessNotice(const UserPtr& source, const std::string& notice)
{
    Relay(*this).Up(&IRCChannels::RaiseNotice, Events.Notice, source, notice);
}

void IRCChannel::ProcessPart(const UserPtr& source, const std::string& partMsg)
{
    Relay relay(*this);
    if (Require(source)->IsUser()) {
        joined_ = false;
    }
    pobjUsers_->Remove(source);
    if (relay.Intact()) {
        relay.Up(&IRCChannels::RaisePart, Events.Part, source, partMsg);
    }
}

TELLIX_LINE_ROAD void IRCChannel::ProcessPrivMsg(const UserPtr& source, const std::string& privMsg)
{
    Relay(*this).Up(&IRCChannels::RaisePrivMsg, Events.PrivMsg, source, privMsg);
}

void IRCChannel::ProcessTyping(const UserPtr& source, Typing state)
{
    Relay(*this).Own(Events.TypingChange, source, state);
}

void IRCChannel::ProcessTopicChange(const UserPtr& source, const std::string& newTopic, std::int64_t now)
{
    topicSetter_ = source ? std::string(source->Nick()) : std::string();
    topicTime_ = source ? CurrentLineTime().value_or(now) : 0;
    const std::string topicPrev = std::exchange(topic_, newTopic);
    Relay(*this).Up(&IRCChannels::RaiseTopicChange, Events.TopicChange, source, topicPrev);
}

void IRCChannel::ProcessTopicWhoTime(std::string_view setter, std::int64_t time)
{
    // "nick!user@host" from some servers: the nick is who it was.
    topicSetter_ = std::string(setter.substr(0, setter.find('!')));
    topicTime_ = time;
    Events.TopicWhoTime.raise();
}

void IRCChannel::ProcessNoTopic()
{
    topic_.clear();
    topicSetter_.clear();
    topicTime_ = 0;
    Events.TopicWhoTime.raise();
}

void IRCChannel::pobjUsers_Add(const UserPtr& user)
{
    Events.UserAdd.raise(user);
}

void IRCChannel::pobjUsers_Remove(const UserPtr& user)
{
    ranks_.erase(user.get());
    Events.UserRemove.raise(user);
}

void IRCChannel::pobjUsers_NickChange(const UserPtr& user, const std::string& nickPrev)
{
    Relay(*this).Up(&IRCChannels::RaiseNickChange, Events.NickChange, user, nickPrev);
}

void IRCChannel::pobjUsers_Quit(const UserPtr& user, const std::string& quitMsg)
{
    Relay relay(*this);
    pobjUsers_->Remove(user);
    if (relay.Intact()) {
        relay.Up(&IRCChannels::RaiseQuit, Events.Quit, user, quitMsg);
    }
}

} // namespace tellix

namespace tellix {

const RankTable& IRCChannel::Ranks() const
{
    static const RankTable usual;
    const IRCConnection* connection = Connection();
    return connection != nullptr ? connection->Ranks() : usual;
}

CaseMapping IRCChannel::NickCaseMapping() const
{
    const IRCConnection* connection = Connection();
    return connection != nullptr ? connection->NickCaseMapping() : CaseMapping::Rfc1459;
}

std::uint32_t IRCChannel::RanksOf(const IRCUser& user) const
{
    const auto it = ranks_.find(&user);
    return it == ranks_.end() ? 0 : it->second;
}

void IRCChannel::SetRanks(const UserPtr& user, std::uint32_t mask)
{
    if (!user || !pobjUsers_->Item(user) || RanksOf(*user) == mask) {
        return;
    }
    if (mask == 0) {
        ranks_.erase(user.get());
    } else {
        ranks_[user.get()] = mask;
    }
    Relay(*this).Own(Events.RankChange, user);
}

void IRCChannel::ProcessModeChange(const std::string& setter, const std::string& modes)
{
    Relay(*this).Own(Events.ModeChange, setter, modes);
}

} // namespace tellix
