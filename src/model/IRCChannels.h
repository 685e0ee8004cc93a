#pragma once

#include "model/IRCChannel.h"
#include "util/Collection.h"
#include "util/Event.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

class IRCConnection;
class IRCUser;

// Channels are found by their name in ASCII upper case.
struct ChannelNaming : AsciiCaseText {
    static std::string_view Name(const IRCChannel& channel) { return channel.Name(); }
};

// The channels of one connection, and the one point through which they report.
class IRCChannels : public Collection<IRCChannel, ChannelNaming> {
    struct Token {
        explicit Token() = default;
    };

public:
    using ChannelPtr = std::shared_ptr<IRCChannel>;
    using UserPtr = std::shared_ptr<IRCUser>;

    explicit IRCChannels(Token);
    ~IRCChannels();

    static std::shared_ptr<IRCChannels> Create();

    struct EventSet {
        Event<const ChannelPtr&> Add;
        Event<const ChannelPtr&, const UserPtr&> Join;
        Event<const ChannelPtr&, const UserPtr&, const UserPtr&, const std::string&> Kick; // Source, Destination
        Event<const ChannelPtr&, const UserPtr&, const std::string&> NickChange;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> Notice;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> Part;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> PrivMsg;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> Quit;
        Event<const ChannelPtr&, const UserPtr&, const std::string&> TopicChange; // Source may be null
    } Events;

    // Appends a new channel, even when one of that name exists.
    ChannelPtr Add(std::string_view name);
    // Finds or creates the channel and asks the server to join it unless joined, with `key`
    // where it needs one.
    ChannelPtr Join(std::string_view name, std::string_view key = {});
    ChannelPtr GetChannel(std::string_view name);
    // By position from 1; any other position fails.
    using Collection::Item;
    // By name, ASCII case-insensitive, whole string; null when none.
    ChannelPtr Item(std::string_view name) const;
    // A bare nullptr would otherwise reach the text overloads.
    ChannelPtr Item(std::nullptr_t) const = delete;
    void Remove(std::int32_t position);
    // By element Key; a key that names no channel fails.
    void Remove(std::string_view key);
    void Remove(std::nullptr_t) = delete;
    void Clear();

    IRCConnection* Parent() const { return parent_; }

    // Used by the model and the connection.
    void SetParent(IRCConnection* parent);
    void Delete();
    void RaiseJoin(const ChannelPtr& channel, const UserPtr& source);
    void RaiseKick(const ChannelPtr& channel, const UserPtr& source, const UserPtr& destination,
                   const std::string& reason);
    void RaiseNickChange(const ChannelPtr& channel, const UserPtr& source, const std::string& nickPrev);
    void RaiseNotice(const ChannelPtr& channel, const UserPtr& source, const std::string& notice);
    void RaisePart(const ChannelPtr& channel, const UserPtr& source, const std::string& partMsg);
    void RaisePrivMsg(const ChannelPtr& channel, const UserPtr& source, const std::string& privMsg);
    void RaiseQuit(const ChannelPtr& channel, const UserPtr& source, const std::string& quitMsg);
    void RaiseTopicChange(const ChannelPtr& channel, const UserPtr& source, const std::string& topicPrev);
    const std::string& Key() const { return key_; }
    // For the owner's destructor: forgets Parent without a word.
    void DetachParent() { parent_ = nullptr; }

private:
    friend class IRCChannel;

    ChannelPtr NewChannel(std::string_view name);
    void NameStored(const IRCChannel& channel, std::string_view namePrev) { Renamed(channel, namePrev); }

    IRCConnection* parent_ = nullptr;
    std::string key_;
};

} // namespace tellix
