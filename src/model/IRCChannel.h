#pragma once

#include "model/IRCUser.h"
#include "model/NickRanks.h"
#include "net/SendQueue.h"
#include "util/Event.h"

#include <absl/container/flat_hash_map.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

class IRCChannels;
class IRCConnection;
class IRCUser;
class IRCUsers;

// One channel of a connection: name, joined state, topic and member list. Every
// change is announced through the owning collection first, then by the channel.
class IRCChannel : public std::enable_shared_from_this<IRCChannel> {
    struct Token {
        explicit Token() = default;
    };

public:
    using UserPtr = std::shared_ptr<IRCUser>;

    explicit IRCChannel(Token);
    ~IRCChannel();
    IRCChannel(const IRCChannel&) = delete;
    IRCChannel& operator=(const IRCChannel&) = delete;

    // Only the channel collection creates channels.
    static std::shared_ptr<IRCChannel> Create();

    struct EventSet {
        Event<const UserPtr&> Join;
        Event<const UserPtr&, const UserPtr&, const std::string&> Kick; // Source, Destination, Reason
        Event<const UserPtr&, const std::string&> NickChange;           // Source, NickPrev
        Event<const UserPtr&, const std::string&> Notice;
        Event<const UserPtr&, const std::string&> Part;
        Event<const UserPtr&, const std::string&> PrivMsg;
        Event<const UserPtr&, const std::string&> Quit;
        Event<const UserPtr&, const std::string&> TopicChange; // Source (may be null), TopicPrev
        // Who set the topic and when became known, or the topic was reported unset.
        Event<> TopicWhoTime;
        Event<const UserPtr&> UserAdd;
        Event<const UserPtr&> UserRemove;
        Event<const std::string&, const std::string&> ModeChange; // Setter, the modes as sent
        Event<const UserPtr&> RankChange;                         // a member's ranks changed
        Event<const UserPtr&> AwayChange;                         // a member went away or came back
        Event<const UserPtr&, Typing> TypingChange;               // a member's typing notification
    } Events;

    const std::string& Name() const { return name_; }
    // Position in the owning collection, or -1.
    std::int32_t Index() const;
    bool Joined() const { return joined_; }
    const std::string& Topic() const { return topic_; }
    // Who set the topic, and when (milliseconds since 1970, UTC; 0 when unknown).
    const std::string& TopicSetter() const { return topicSetter_; }
    std::int64_t TopicTime() const { return topicTime_; }
    // Asks the server; the stored topic changes when the server reports it.
    void Topic(const std::string& newTopic);
    const std::shared_ptr<IRCUsers>& Users() const { return pobjUsers_; }
    IRCChannels* Parent() const { return parent_; }

    // With a key for a channel that needs one.
    void Join(std::string_view key = {});
    void Part(const std::string& partMsg, SendPriority priority = SendPriority::Typed);
    void Kick(const UserPtr& destination, const std::string& reason);
    void SendNotice(const std::string& notice);
    void SendPrivMsg(const std::string& privMsg);
    // Leaves the collection, parting first when joined.
    void Delete();
    // What the user types to the channel: shown as the own user's message, then sent. Nothing
    // is shown before the first connection, which has no own user yet; without a connection
    // nothing happens.
    void Say(const std::string& text);

    // Used by the model, the connection and the dispatcher.
    void SetName(std::string_view name);
    void SetParent(IRCChannels* parent);
    void SetJoined(bool joined) { joined_ = joined; }
    const std::string& Key() const { return key_; }
    void ProcessJoin(const UserPtr& source);
    void ProcessKick(const UserPtr& source, const UserPtr& destination, const std::string& reason);
    void ProcessNotice(const UserPtr& source, const std::string& notice);
    void ProcessPart(const UserPtr& source, const std::string& partMsg);
    void ProcessPrivMsg(const UserPtr& source, const std::string& privMsg);
    void ProcessTyping(const UserPtr& source, Typing state);
    // A change by `source` was set by them at the line's time (`now` unless the server stamped
    // it); the server's report of the topic (no source) leaves the setter unknown.
    void ProcessTopicChange(const UserPtr& source, const std::string& newTopic, std::int64_t now = 0);
    void ProcessTopicWhoTime(std::string_view setter, std::int64_t time);
    // The server says no topic is set.
    void ProcessNoTopic();
    // For the collection's destructor: forgets Parent without a word.
    void DetachParent() { parent_ = nullptr; }

    // Member ranks (operator, voice, ...) as a mask over the connection's rank table.
    const RankTable& Ranks() const;
    CaseMapping NickCaseMapping() const;
    std::uint32_t RanksOf(const IRCUser& user) const;
    void SetRanks(const UserPtr& user, std::uint32_t mask);
    void ProcessModeChange(const std::string& setter, const std::string& modes);

private:
    IRCConnection* Connection() const;
    IRCConnection& RequireConnection() const;
    UserPtr OwnUser() const;

    void pobjUsers_Add(const UserPtr& user);
    void pobjUsers_Remove(const UserPtr& user);
    void pobjUsers_NickChange(const UserPtr& user, const std::string& nickPrev);
    void pobjUsers_Quit(const UserPtr& user, const std::string& quitMsg);

    bool joined_ = false;
    bool partSent_ = false; // since the last join
    std::string name_;
    IRCChannels* parent_ = nullptr;
    std::string key_;
    std::string topic_;
    std::string topicSetter_;
    std::int64_t topicTime_ = 0;
    std::shared_ptr<IRCUsers> pobjUsers_; // the member list, never with a Parent
    Subscription onAdd_;
    Subscription onRemove_;
    Subscription onNickChange_;
    Subscription onQuit_;
    Subscription onAway_;
    // Only members holding a rank have an entry: most of a big channel holds none.
    absl::flat_hash_map<const IRCUser*, std::uint32_t> ranks_;
};

} // namespace tellix
