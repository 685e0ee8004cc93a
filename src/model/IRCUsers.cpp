#include "model/IRCUsers.h"

#include "model/IRCUser.h"
#include "model/UserMask.h"
#include "util/CoreError.h"
#include "util/Utility.h"

#include <algorithm>

namespace tellix {

IRCUsers::IRCUsers(Token) : key_(NewUniqueKey()) {}

IRCUsers::~IRCUsers()
{
    // Windows may keep users alive after their lists are gone: leave them nothing to
    // call back into.
    for (const UserPtr& user : list_) {
        std::erase(user->membership_, this);
        if (user->Parent() == this) {
            user->DetachParent();
        }
    }
}

std::shared_ptr<IRCUsers> IRCUsers::Create()
{
    return std::make_shared<IRCUsers>(Token{});
}

IRCUsers::UserPtr IRCUsers::Add(std::string_view userMask)
{
    if (parent_ == nullptr) {
        return nullptr;
    }
    UserPtr user = IRCUser::Create();
    user->SetIndex(Count() + 1);
    // Mask before parent: the first nick is silent, and indexed once, by Append.
    user->SetUserMask(userMask);
    user->SetParent(this);
    Append(user);
    // The new user already carries its position and nobody else moved.
    Events.Add.raise(user);
    return user;
}

IRCUsers::UserPtr IRCUsers::GetUser(std::string_view userMask)
{
    if (parent_ == nullptr) {
        return nullptr;
    }
    UserPtr user = Item(userMask);
    return user ? user : Add(userMask);
}

IRCUsers::UserPtr IRCUsers::Item(std::string_view text)
{
    IRCUser* found = FindNick(UserMaskNick(text));
    if (found == nullptr) {
        return nullptr;
    }
    UserPtr user = found->shared_from_this();
    // Every message's sender comes here: rewrite the mask only when it says something new.
    const UserMaskRecord parts = ParseUserMask(text);
    if (parts.Info == 7 && (parts.User != user->User() || parts.Host != user->Host())) {
        user->SetUserMask(text);
    }
    return user;
}

IRCUsers::UserPtr IRCUsers::Item(const UserPtr& user) const
{
    if (!user) {
        return nullptr;
    }
    UserPtr found = list_.Find(user->Key());
    return found == user ? found : nullptr;
}

IRCUsers::UserPtr IRCUsers::Item(std::int32_t position) const
{
    return list_.At(position);
}

void IRCUsers::Remove(std::string_view text)
{
    IRCUser* found = FindNick(UserMaskNick(text));
    if (found != nullptr) {
        RemoveFound(found->shared_from_this());
    }
}

void IRCUsers::Remove(const UserPtr& user)
{
    if (user) {
        RemoveFound(user);
    }
}

void IRCUsers::Remove(std::int32_t position)
{
    RemoveFound(list_.At(position));
}

void IRCUsers::RemoveFound(const UserPtr& user)
{
    // The user may lose its last other owner on the way.
    UserPtr hold = user;
    if (parent_ != nullptr) {
        hold->Delete();
    } else {
        hold->RemoveMembership(this);
    }
}

void IRCUsers::Clear()
{
    for (std::int32_t position = Count(); position >= 1; --position) {
        Remove(position);
    }
}

void IRCUsers::SetParent(IRCConnection* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCUsers::Delete()
{
    Clear();
    parent_ = nullptr;
}

void IRCUsers::AddExisting(const UserPtr& user)
{
    if (parent_ != nullptr) {
        return;
    }
    if (!user) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    if (Item(user)) {
        return;
    }
    Append(user);
    user->membership_.push_back(this);
    Events.Add.raise(user);
}

void IRCUsers::RemoveUser(const UserPtr& user)
{
    if (!user) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    Events.Remove.raise(user);
    if (parent_ != nullptr) {
        const std::int32_t position = user->Index();
        UserPtr removed = RemoveElementAt(position);
        ReindexFrom(position);
        return;
    }
    // The user itself leaves, not the first member that shares its nick: two users of
    // one nick can meet in a member list (a stale user and one renamed to its nick),
    // and taking the wrong one would leave list and membership disagreeing.
    if (Holds(user.get())) {
        RemoveElementAt(list_.PositionOf(user->Key()));
    }
}

void IRCUsers::Reindex()
{
    ReindexFrom(1);
}

void IRCUsers::ReindexFrom(std::int32_t first)
{
    // Positions before `first` have not moved since the last renumbering.
    if (parent_ == nullptr) {
        return;
    }
    if (first <= 1) {
        std::int32_t position = 0;
        for (const UserPtr& user : list_) {
            user->SetIndex(++position);
        }
        return;
    }
    for (std::int32_t position = first; position <= Count(); ++position) {
        list_.At(position)->SetIndex(position);
    }
}

void IRCUsers::RaiseNickChange(const UserPtr& user, const std::string& nickPrev)
{
    Events.NickChange.raise(user, nickPrev);
}

void IRCUsers::RaiseNotice(const UserPtr& user, const std::string& notice)
{
    Events.Notice.raise(user, notice);
}

void IRCUsers::RaisePrivMsg(const UserPtr& user, const std::string& privMsg)
{
    Events.PrivMsg.raise(user, privMsg);
}

void IRCUsers::RaiseQuit(const UserPtr& user, const std::string& quitMsg)
{
    Events.Quit.raise(user, quitMsg);
}

void IRCUsers::NickStored(IRCUser* user, const std::string& nickPrev)
{
    // Told by every list the user may be in; only elements are indexed.
    byNick_.Remove(nickPrev, user);
    if (user->Parent() == this || Holds(user)) {
        byNick_.Add(user->Nick(), user);
    }
}

bool IRCUsers::Holds(const IRCUser* user) const
{
    return list_.Find(user->Key()).get() == user;
}

IRCUser* IRCUsers::FindNick(std::string_view nick) const
{
    return byNick_.First(nick, list_);
}

void IRCUsers::Append(const UserPtr& user)
{
    list_.Append(user->Key(), user);
    byNick_.Add(user->Nick(), user.get());
}

IRCUsers::UserPtr IRCUsers::RemoveElementAt(std::int32_t position)
{
    UserPtr user = list_.At(position);
    list_.RemoveAt(position);
    byNick_.Remove(user->Nick(), user.get());
    return user;
}

} // namespace tellix
