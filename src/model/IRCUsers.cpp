#include "model/IRCUsers.h"

#include "model/UserMask.h"
#include "util/CoreError.h"
#include "util/LineRoad.h"
#include "util/Utility.h"

#include <algorithm>

namespace tellix {

IRCUsers::IRCUsers(Token) : key_(NewUniqueKey()) {}

IRCUsers::~IRCUsers()
{
    // Windows may keep users alive after their lists are gone: leave them nothing to
    // call back into.
    for (const UserPtr& user : *this) {
        auto& lists = user->membership_;
        lists.erase(std::remove(lists.begin(), lists.end(), this), lists.end());
        if (user->parent_ == this) {
            user->parent_ = nullptr;
        }
    }
}

std::shared_ptr<IRCUsers> IRCUsers::Create()
{
    return std::make_shared<IRCUsers>(Token{});
}

IRCUsers::UserPtr IRCUsers::Add(std::string_view userMask)
{
    return parent_ != nullptr ? AddUser(userMask, false) : nullptr;
}

IRCUsers::UserPtr IRCUsers::AddUser(std::string_view userMask, bool nickIsNew)
{
    return AddUser(ParseUserMaskView(userMask), nickIsNew);
}

IRCUsers::UserPtr IRCUsers::AddUser(const UserMaskView& parts, bool nickIsNew)
{
    UserPtr user = IRCUser::Create();
    // Mask before parent: the first nick is silent, and indexed once, by the append.
    user->info_ = static_cast<std::uint8_t>(parts.Info);
    user->StoreMask(parts.Nick, parts.User, parts.Host);
    user->SetParent(this);
    nickIsNew ? AppendUnnamed(user) : Append(user);
    Events.Add.raise(user);
    return user;
}

TELLIX_LINE_ROAD IRCUsers::UserPtr IRCUsers::GetUser(std::string_view userMask)
{
    if (parent_ == nullptr) {
        return nullptr;
    }
    const UserMaskView parts = ParseUserMaskView(userMask);
    UserPtr user = Found(userMask, parts);
    return user ? user : AddUser(parts, true);
}

IRCUsers::UserPtr IRCUsers::Item(std::string_view text)
{
    return Found(text, ParseUserMaskView(text));
}

IRCUsers::UserPtr IRCUsers::Found(std::string_view text, const UserMaskView& parts)
{
    IRCUser* found = FindFirst(parts.Nick);
    if (found == nullptr) {
        return nullptr;
    }
    UserPtr user = found->shared_from_this();
    // Every message's sender comes here: rewrite the mask only when it says something new.
    if (parts.Info == 7 && (user->Info() != 7 || parts.User != user->User() || parts.Host != user->Host())) {
        user->SetUserMask(text);
    }
    return user;
}

IRCUsers::UserPtr IRCUsers::Item(const UserPtr& user) const
{
    return user && Contains(*user) ? user : nullptr;
}

void IRCUsers::Remove(std::string_view text)
{
    if (IRCUser* found = FindFirst(UserMaskNick(text))) {
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
    RemoveFound(Item(position));
}

void IRCUsers::RemoveFound(const UserPtr& user)
{
    // Held: the reference may point into this list, and the user may lose its last owner.
    const UserPtr hold = user;
    if (parent_ != nullptr) {
        hold->Delete();
    } else {
        hold->RemoveMembership(this);
    }
}

void IRCUsers::Clear()
{
    ClearLastFirst([this](const UserPtr& user) { RemoveFound(user); });
}

void IRCUsers::SetParent(IRCConnection* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCUsers::Delete()
{
    const auto self = shared_from_this();
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
    if (!AppendIfAbsent(user)) {
        return;
    }
    user->AddMembership(this);
    Events.Add.raise(user);
}

void IRCUsers::RemoveUser(const UserPtr& user)
{
    if (!user) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    const UserPtr hold = user;
    Events.Remove.raise(hold);
    // The user itself leaves, not the first member that shares its nick: two users of one
    // nick can meet in a member list (a stale user and one renamed to its nick). A Remove
    // listener may have taken it out already.
    Erase(*hold);
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

void IRCUsers::RaiseAwayChange(const UserPtr& user)
{
    Events.AwayChange.raise(user);
}

} // namespace tellix
