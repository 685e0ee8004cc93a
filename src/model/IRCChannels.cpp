#include "model/IRCChannels.h"

#include "model/IRCChannel.h"
#include "util/CoreError.h"
#include "util/Utility.h"

namespace tellix {

namespace {

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

} // namespace

IRCChannels::IRCChannels(Token) : key_(NewUniqueKey()) {}

IRCChannels::~IRCChannels()
{
    // Windows may keep channels alive after the collection is gone.
    for (const ChannelPtr& channel : list_) {
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
    channel->SetIndex(Count() + 1);
    channel->SetParent(this);
    channel->SetName(name);
    return channel;
}

IRCChannels::ChannelPtr IRCChannels::Add(std::string_view name)
{
    ChannelPtr channel = NewChannel(name);
    Append(channel);
    ReindexFrom(Count());
    Events.Add.raise(channel);
    return channel;
}

IRCChannels::ChannelPtr IRCChannels::Join(std::string_view name)
{
    ChannelPtr channel = Item(name);
    if (channel) {
        if (!channel->Joined()) {
            channel->Join();
        }
        return channel;
    }
    channel = NewChannel(name);
    // The JOIN goes out before the channel is listed or announced.
    channel->Join();
    Append(channel);
    ReindexFrom(Count());
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
    IRCChannel* found = byName_.First(UpperAscii(name), list_);
    return found != nullptr ? found->shared_from_this() : nullptr;
}

IRCChannels::ChannelPtr IRCChannels::Item(std::int32_t position) const
{
    return list_.At(position);
}

void IRCChannels::Remove(std::int32_t position)
{
    ChannelPtr channel = list_.At(position);
    channel->Delete();
}

void IRCChannels::Remove(std::string_view key)
{
    ChannelPtr channel = list_.Find(key);
    if (!channel) {
        throw CoreError("invalid procedure call or argument", kErrorInvalidIndex);
    }
    channel->Delete();
}

void IRCChannels::Clear()
{
    for (std::int32_t position = Count(); position >= 1; --position) {
        Remove(position);
    }
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

void IRCChannels::RemoveAt(std::int32_t position)
{
    ChannelPtr channel = list_.At(position);
    list_.RemoveAt(position);
    byName_.Remove(UpperAscii(channel->Name()), channel.get());
    ReindexFrom(position);
}

void IRCChannels::Reindex()
{
    ReindexFrom(1);
}

void IRCChannels::ReindexFrom(std::int32_t first)
{
    // Positions before `first` have not moved since the last renumbering.
    for (std::int32_t position = first; position <= Count(); ++position) {
        list_.At(position)->SetIndex(position);
    }
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

void IRCChannels::NameStored(IRCChannel* channel, const std::string& namePrev)
{
    if (list_.Find(channel->Key()).get() != channel) {
        return;
    }
    byName_.Remove(UpperAscii(namePrev), channel);
    byName_.Add(UpperAscii(channel->Name()), channel);
}

void IRCChannels::Append(const ChannelPtr& channel)
{
    list_.Append(channel->Key(), channel);
    byName_.Add(UpperAscii(channel->Name()), channel.get());
}

} // namespace tellix
