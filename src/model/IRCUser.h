#pragma once

#include "model/UserMask.h"
#include "util/Event.h"
#include "util/Utility.h"

#include <absl/container/inlined_vector.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class IRCConnection;
class IRCUsers;

// What someone's typing notification says: typing, stopped a while, or stopped for good.
enum class Typing : std::uint8_t { Active, Paused, Done };

// One IRC user as the connection knows it. The same object stands for the user
// everywhere: sender, channel member, query partner and, once, the own user.
//
// A connection may know tens of thousands of users, so the object is kept small: the mask
// is one text with its parts as views into it, and positions are not stored but found.
class IRCUser : public std::enable_shared_from_this<IRCUser> {
    struct Token {
        explicit Token() = default;
    };

public:
    // The channel member lists a user is in; most users are in one or two.
    using MemberLists = absl::InlinedVector<IRCUsers*, 2>;

    explicit IRCUser(Token);
    IRCUser(const IRCUser&) = delete;
    IRCUser& operator=(const IRCUser&) = delete;

    // Only master lists create users; everything else gets them from there.
    static std::shared_ptr<IRCUser> Create();

    struct EventSet {
        Event<const std::string&> NickChange; // NickPrev; the new nick is already stored
        Event<const std::string&> Notice;
        Event<const std::string&> PrivMsg;
        Event<const std::string&> Quit;
        Event<> AwayChange;         // Away() is already the new state
        Event<Typing> TypingChange; // said to us privately
    };
    // Made when the first listener connects (user->Events->Quit.connect(...)): nearly every
    // user of a big channel never has one.
    LazyEvents<EventSet> Events;
    // Someone listens to this user's own events: a query window follows its partner.
    bool Watched() const;

    // Views into the mask: valid until the mask or nick next changes.
    std::string_view Nick() const { return std::string_view(mask_).substr(0, nickSize_); }
    std::string_view User() const { return std::string_view(mask_).substr(nickSize_ + 1, userSize_); }
    std::string_view Host() const { return std::string_view(mask_).substr(nickSize_ + userSize_ + 2); }
    std::int32_t Info() const { return info_; }
    const std::string& UserMask() const { return mask_; }
    // Position in the master list, or -1 once deleted.
    std::int32_t Index() const;
    IRCUsers* Parent() const { return parent_; }

    // Marked away by the server (an AWAY, a WHO or WHOIS reply); the member lists the user is
    // in hear a change, then the user's own listeners.
    bool Away() const { return away_; }
    void SetAway(bool away);
    // A typing notification the user sent us privately.
    void ProcessTyping(Typing state);

    // Whether this is the connection's own user; a deleted user fails.
    bool IsUser() const;
    std::int32_t MatchUserMask(std::string_view userMask) const;
    void SendNotice(const std::string& notice);
    void SendPrivMsg(const std::string& privMsg);
    // Leaves every member list, last first, then the master list.
    void Delete();

    // Used by the model and the connection.
    void SetParent(IRCUsers* parent);
    std::string Key() const { return key_.Text(); }
    void SetUserMask(std::string_view userMask);
    void SetNick(std::string_view nick);
    void AddMembership(IRCUsers* list);
    void RemoveMembership(IRCUsers* list);
    const MemberLists& Membership() const { return membership_; }
    // Shown by the server, by an address or in a channel; a nick the user only typed is not.
    bool Heard() const { return !Host().empty() || !membership_.empty(); }
    void ProcessNotice(const std::string& notice);
    void ProcessPrivMsg(const std::string& privMsg);
    void ProcessQuit(const std::string& quitMsg);

private:
    friend class IRCUsers;
    friend struct NickNaming;

    IRCConnection& Connection() const;
    void StoreMask(std::string_view nick, std::string_view user, std::string_view host);
    void NickStored(const std::string& nickPrev);
    // The master list, then every member list the user is in when it starts, then the
    // user itself; a listener deleting the user ends it.
    void Announce(void (IRCUsers::*raise)(const std::shared_ptr<IRCUser>&, const std::string&),
                  Event<const std::string&> EventSet::*own, const std::string& text);
    bool InMembership(const IRCUsers* list) const;
    void DropMembershipEntry(IRCUsers* list);

    IRCUsers* parent_ = nullptr;
    MemberLists membership_;
    std::string mask_ = "!@"; // nick "!" user "@" host: UserMask as it is
    std::uint32_t nickSize_ = 0;
    std::uint32_t userSize_ = 0;
    std::uint32_t nickHash_; // every list looks the user up by it
    std::uint8_t info_ = 0;
    bool away_ = false;
    bool leaving_ = false; // Delete is under way: a listener asking again changes nothing
    UniqueKey key_;
};

} // namespace tellix
