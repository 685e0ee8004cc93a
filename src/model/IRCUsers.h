#pragma once

#include "util/Event.h"
#include "util/KeyedList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class IRCConnection;
class IRCUser;

// A list of users in one of two roles: a connection's master list (Parent set),
// which creates, owns and numbers the users, or a channel's member list (no
// Parent), which refers to users of the master list.
class IRCUsers : public std::enable_shared_from_this<IRCUsers> {
    struct Token {
        explicit Token() = default;
    };

public:
    using UserPtr = std::shared_ptr<IRCUser>;
    using const_iterator = KeyedList<IRCUser>::const_iterator;

    explicit IRCUsers(Token);
    ~IRCUsers();
    IRCUsers(const IRCUsers&) = delete;
    IRCUsers& operator=(const IRCUsers&) = delete;

    static std::shared_ptr<IRCUsers> Create();

    struct EventSet {
        Event<const UserPtr&> Add;
        Event<const UserPtr&, const std::string&> NickChange; // User, NickPrev
        Event<const UserPtr&, const std::string&> Notice;
        Event<const UserPtr&, const std::string&> PrivMsg;
        Event<const UserPtr&, const std::string&> Quit;
        Event<const UserPtr&> Remove; // the user is still in the list
    } Events;

    // Master list only; a member list returns null and changes nothing.
    UserPtr Add(std::string_view userMask);
    UserPtr GetUser(std::string_view userMask);

    // By the nick part of a nick or mask; a full mask also refreshes the member's mask.
    UserPtr Item(std::string_view text);
    // By identity.
    UserPtr Item(const UserPtr& user) const;
    // By position from 1; any other position fails.
    UserPtr Item(std::int32_t position) const;
    // A bare nullptr would otherwise reach the text overload.
    UserPtr Item(std::nullptr_t) const = delete;
    std::int32_t Count() const { return list_.Count(); }

    // Member list: takes the user out; master list: deletes the user.
    void Remove(std::string_view text);
    void Remove(const UserPtr& user);
    void Remove(std::int32_t position);
    void Remove(std::nullptr_t) = delete;
    void Clear();

    const_iterator begin() const { return list_.begin(); }
    const_iterator end() const { return list_.end(); }
    IRCConnection* Parent() const { return parent_; }

    // Used by the model and the connection.
    void SetParent(IRCConnection* parent);
    void Delete();
    void AddExisting(const UserPtr& user);
    void RemoveUser(const UserPtr& user);
    void Reindex();
    void RaiseNickChange(const UserPtr& user, const std::string& nickPrev);
    void RaiseNotice(const UserPtr& user, const std::string& notice);
    void RaisePrivMsg(const UserPtr& user, const std::string& privMsg);
    void RaiseQuit(const UserPtr& user, const std::string& quitMsg);
    const std::string& Key() const { return key_; }
    // For the owner's destructor: forgets Parent without a word.
    void DetachParent() { parent_ = nullptr; }

private:
    friend class IRCUser;

    void NickStored(IRCUser* user, const std::string& nickPrev);
    bool Holds(const IRCUser* user) const;
    IRCUser* FindNick(std::string_view nick) const;
    void Append(const UserPtr& user);
    UserPtr RemoveElementAt(std::int32_t position);
    void ReindexFrom(std::int32_t first);
    void RemoveFound(const UserPtr& user);

    IRCConnection* parent_ = nullptr;
    std::string key_;
    KeyedList<IRCUser> list_;
    NameIndex<IRCUser> byNick_; // exact nick -> elements
};

} // namespace tellix
