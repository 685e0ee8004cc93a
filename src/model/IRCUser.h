#pragma once

#include "model/UserMask.h"
#include "util/Event.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class IRCConnection;
class IRCUsers;

// One IRC user as the connection knows it. The same object stands for the user
// everywhere: sender, channel member, query partner and, once, the own user.
class IRCUser : public std::enable_shared_from_this<IRCUser> {
    struct Token {
        explicit Token() = default;
    };

public:
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
    } Events;

    const std::string& Nick() const { return mask_.Nick; }
    const std::string& User() const { return mask_.User; }
    const std::string& Host() const { return mask_.Host; }
    std::int32_t Info() const { return mask_.Info; }
    std::string UserMask() const { return BuildUserMask(mask_); }
    std::int32_t Index() const { return index_; }
    IRCUsers* Parent() const { return parent_; }

    // Whether this is the connection's own user; a deleted user fails.
    bool IsUser() const;
    std::int32_t MatchUserMask(std::string_view userMask) const;
    void SendNotice(const std::string& notice);
    void SendPrivMsg(const std::string& privMsg);
    // Leaves every member list, last first, then the master list.
    void Delete();

    // Used by the model and the connection.
    void SetIndex(std::int32_t index) { index_ = index; }
    void SetParent(IRCUsers* parent);
    const std::string& Key() const { return key_; }
    void SetUserMask(std::string_view userMask);
    void SetNick(std::string_view nick);
    void AddMembership(IRCUsers* list);
    void RemoveMembership(IRCUsers* list);
    const std::vector<IRCUsers*>& Membership() const { return membership_; }
    void ProcessNotice(const std::string& notice);
    void ProcessPrivMsg(const std::string& privMsg);
    void ProcessQuit(const std::string& quitMsg);
    // For the master list's destructor: forgets Parent without a word.
    void DetachParent() { parent_ = nullptr; }

private:
    friend class IRCUsers;

    IRCConnection& Connection() const;
    void NickStored(const std::string& nickPrev);
    void DropMembershipEntry(IRCUsers* list);

    std::int32_t index_ = -1;
    IRCUsers* parent_ = nullptr;
    std::vector<IRCUsers*> membership_;
    std::string key_;
    UserMaskRecord mask_;
};

} // namespace tellix
