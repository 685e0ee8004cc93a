#include "model/IRCChannels.h"

#include "model/IRCChannel.h"
#include "util/CoreError.h"
#include "util/Utility.h"

namespace tellix {

IRCChannels::IRCChannels(Token) : key_(NewUniqueKey()) {}

IRCChannels::~IRCChannels()
{
    // Windows may keep channels alive after the collection is gone.
    for (const ChannelPtr& channel : *this) {
        if (channel->Parent() == this) {
            channel->DetachParent();
        }
    }
}

std::shared_ptr<IRCChannels> IRCChannels::Create()
{
    return std::make_shared<IRCChannels>(Token{});
}

IRCChannels::ChannelPtr IRCChannels::NewChannel(std::string_view name)
{
    ChannelPtr channel = IRCChannel::Create();
    channel->SetParent(this);
    channel->SetName(name);
    return channel;
}

IRCChannels::ChannelPtr IRCChannels::Add(std::string_view name)
{
    ChannelPtr channel = NewChannel(name);
    Append(channel);
    Events.Add.raise(channel);
    return channel;
}

IRCChannels::ChannelPtr IRCChannels::Join(std::string_view name, std::string_view key)
{
    ChannelPtr channel = Item(name);
    if (channel) {
        if (!channel->Joined()) {
            channel->Join(key);
        }
        return channel;
    }
    channel = NewChannel(name);
    // The JOIN goes out before the channel is listed or announced.
    channel->Join(key);
    Append(channel);
    Events.Add.raise(channel);
    return channel;
}

IRCChannels::ChannelPtr IRCChannels::GetChannel(std::string_view name)
{
    ChannelPtr channel = Item(name);
    return channel ? channel : Add(name);
}

IRCChannels::ChannelPtr IRCChannels::Item(std::string_view name) const
{
    IRCChannel* found = FindFirst(name);
    return found != nullptr ? found->shared_from_this() : nullptr;
}

void IRCChannels::Remove(std::int32_t position)
{
    const ChannelPtr channel = Item(position);
    channel->Delete();
}

void IRCChannels::Remove(std::string_view key)
{
    // Not a hot path: a handful of channels, and nothing removes by key but a script.
    for (const ChannelPtr& channel : Snapshot()) {
        if (channel->Key() == key) {
            channel->Delete();
            return;
        }
    }
    throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
}

void IRCChannels::Clear()
{
    ClearLastFirst([](const ChannelPtr& channel) { channel->Delete(); });
}

void IRCChannels::SetParent(IRCConnection* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCChannels::Delete()
{
    Clear();
    parent_ = nullptr;
}

void IRCChannels::RaiseJoin(const ChannelPtr& channel, const UserPtr& source)
{
    Events.Join.raise(channel, source);
}

void IRCChannels::RaiseKick(const ChannelPtr& channel, const UserPtr& source, const UserPtr& destination,
                            const std::string& reason)
{
    Events.Kick.raise(channel, source, destination, reason);
}

void IRCChannels::RaiseNickChange(const ChannelPtr& channel, const UserPtr& source, const std::string& nickPrev)
{
    Events.NickChange.raise(channel, source, nickPrev);
}

void IRCChannels::RaiseNotice(const ChannelPtr& channel, const UserPtr& source, const std::string& notice)
{
    Events.Notice.raise(channel, source, notice);
}

void IRCChannels::RaisePart(const ChannelPtr& channel, const UserPtr& source, const std::string& partMsg)
{
    Events.Part.raise(channel, source, partMsg);
}

void IRCChannels::RaisePrivMsg(const ChannelPtr& channel, const UserPtr& source, const std::string& privMsg)
{
    Events.PrivMsg.raise(channel, source, privMsg);
}

void IRCChannels::RaiseQuit(const ChannelPtr& channel, const UserPtr& source, const std::string& quitMsg)
{
    Events.Quit.raise(channel, source, quitMsg);
}

void IRCChannels::RaiseTopicChange(const ChannelPtr& channel, const UserPtr& source, const std::string& topicPrev)
{
    Events.TopicChange.raise(channel, source, topicPrev);
}

} // namespace tellix
