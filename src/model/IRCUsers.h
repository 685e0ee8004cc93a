#pragma once

#include "model/IRCUser.h"
#include "util/Collection.h"
#include "util/Event.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

class IRCConnection;

// Users are found by their exact nick.
struct NickNaming : ExactText {
    static std::string_view Name(const IRCUser& user) { return user.Nick(); }
    static std::uint32_t HashOf(const IRCUser& user) { return user.nickHash_; }
};

// A list of users in one of two roles: a connection's master list (Parent set),
// which creates, owns and numbers the users, or a channel's member list (no
// Parent), which refers to users of the master list.
class IRCUsers : public Collection<IRCUser, NickNaming>, public std::enable_shared_from_this<IRCUsers> {
    struct Token {
        explicit Token() = default;
    };

public:
    using UserPtr = std::shared_ptr<IRCUser>;

    explicit IRCUsers(Token);
    ~IRCUsers();

    static std::shared_ptr<IRCUsers> Create();

    struct EventSet {
        Event<const UserPtr&> Add;
        Event<const UserPtr&, const std::string&> NickChange; // User, NickPrev
        Event<const UserPtr&, const std::string&> Notice;
        Event<const UserPtr&, const std::string&> PrivMsg;
        Event<const UserPtr&, const std::string&> Quit;
        Event<const UserPtr&> Remove; // the user is still in the list
        // A member list only: the member's away state changed.
        Event<const UserPtr&> AwayChange;
    } Events;

    // Master list only; a member list returns null and changes nothing.
    UserPtr Add(std::string_view userMask);
    UserPtr GetUser(std::string_view userMask);

    // By position from 1; any other position fails.
    using Collection::Item;
    // By the nick part of a nick or mask; a full mask also refreshes the member's mask.
    UserPtr Item(std::string_view text);
    // By identity.
    UserPtr Item(const UserPtr& user) const;
    // A bare nullptr would otherwise reach the text overload.
    UserPtr Item(std::nullptr_t) const = delete;

    // Member list: takes the user out; master list: deletes the user.
    void Remove(std::string_view text);
    void Remove(const UserPtr& user);
    void Remove(std::int32_t position);
    void Remove(std::nullptr_t) = delete;
    void Clear();

    IRCConnection* Parent() const { return parent_; }

    // Used by the model and the connection.
    void SetParent(IRCConnection* parent);
    void Delete();
    void AddExisting(const UserPtr& user);
    void RemoveUser(const UserPtr& user);
    void RaiseNickChange(const UserPtr& user, const std::string& nickPrev);
    void RaiseNotice(const UserPtr& user, const std::string& notice);
    void RaisePrivMsg(const UserPtr& user, const std::string& privMsg);
    void RaiseQuit(const UserPtr& user, const std::string& quitMsg);
    void RaiseAwayChange(const UserPtr& user);
    const std::string& Key() const { return key_; }
    // For the owner's destructor: forgets Parent without a word.
    void DetachParent() { parent_ = nullptr; }

private:
    friend class IRCUser;

    void NickStored(const IRCUser& user, std::string_view nickPrev) { Renamed(user, nickPrev); }
    UserPtr AddUser(std::string_view userMask, bool nickIsNew);
    UserPtr AddUser(const UserMaskView& parts, bool nickIsNew);
    UserPtr Found(std::string_view text, const UserMaskView& parts);
    void RemoveFound(const UserPtr& user);

    IRCConnection* parent_ = nullptr;
    std::string key_;
};

} // namespace tellix
