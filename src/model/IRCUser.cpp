#include "model/IRCUser.h"

#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "util/CoreError.h"
#include "util/Utility.h"

#include <algorithm>

namespace tellix {

IRCUser::IRCUser(Token) : key_(NewUniqueKey()) {}

std::shared_ptr<IRCUser> IRCUser::Create()
{
    return std::make_shared<IRCUser>(Token{});
}

IRCConnection& IRCUser::Connection() const
{
    IRCConnection* connection = parent_ != nullptr ? parent_->Parent() : nullptr;
    if (connection == nullptr) {
        throw CoreError("object variable not set", kErrorObjectMissing);
    }
    return *connection;
}

bool IRCUser::IsUser() const
{
    return Connection().User().get() == this;
}

std::int32_t IRCUser::MatchUserMask(std::string_view userMask) const
{
    return CompareUserMasks(mask_, ParseUserMask(userMask));
}

void IRCUser::SendNotice(const std::string& notice)
{
    Connection().SendMessage("NOTICE " + mask_.Nick + " :" + notice);
}

void IRCUser::SendPrivMsg(const std::string& privMsg)
{
    Connection().SendMessage("PRIVMSG " + mask_.Nick + " :" + privMsg);
}

void IRCUser::Delete()
{
    auto self = shared_from_this();
    std::vector<std::shared_ptr<IRCUsers>> lists;
    lists.reserve(membership_.size());
    for (auto it = membership_.rbegin(); it != membership_.rend(); ++it) {
        lists.push_back((*it)->shared_from_this());
    }
    for (const auto& list : lists) {
        // A Remove handler may already have taken us out of a later list.
        if (std::find(membership_.begin(), membership_.end(), list.get()) != membership_.end()) {
            list->RemoveUser(self);
            DropMembershipEntry(list.get());
        }
    }
    if (parent_ != nullptr) {
        auto master = parent_->shared_from_this();
        master->RemoveUser(self);
        parent_ = nullptr;
    }
    index_ = -1;
}

void IRCUser::SetParent(IRCUsers* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCUser::SetUserMask(std::string_view userMask)
{
    const std::string nickPrev = mask_.Nick;
    mask_ = ParseUserMask(userMask);
    NickStored(nickPrev);
}

void IRCUser::SetNick(std::string_view nick)
{
    const std::string nickPrev = mask_.Nick;
    mask_.Nick = nick;
    NickStored(nickPrev);
}

void IRCUser::NickStored(const std::string& nickPrev)
{
    if (mask_.Nick == nickPrev) {
        return;
    }
    // Lookups must find the new nick before any listener hears of it.
    if (parent_ != nullptr) {
        parent_->NickStored(this, nickPrev);
    }
    for (IRCUsers* list : membership_) {
        list->NickStored(this, nickPrev);
    }
    if (nickPrev.empty()) {
        return;
    }
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaiseNickChange(self, nickPrev);
    }
    // By index: a list that goes away meanwhile leaves the vector, never dangles in it.
    for (std::size_t i = 0; i < membership_.size(); ++i) {
        membership_[i]->RaiseNickChange(self, nickPrev);
    }
    Events.NickChange.raise(nickPrev);
}

void IRCUser::AddMembership(IRCUsers* list)
{
    membership_.push_back(list);
}

void IRCUser::RemoveMembership(IRCUsers* list)
{
    if (std::find(membership_.rbegin(), membership_.rend(), list) == membership_.rend()) {
        return;
    }
    auto self = shared_from_this();
    auto hold = list->shared_from_this();
    list->RemoveUser(self);
    DropMembershipEntry(list);
}

void IRCUser::DropMembershipEntry(IRCUsers* list)
{
    auto it = std::find(membership_.rbegin(), membership_.rend(), list);
    if (it == membership_.rend()) {
        return;
    }
    membership_.erase(std::next(it).base());
}

void IRCUser::ProcessNotice(const std::string& notice)
{
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaiseNotice(self, notice);
    }
    for (std::size_t i = 0; i < membership_.size(); ++i) {
        membership_[i]->RaiseNotice(self, notice);
    }
    Events.Notice.raise(notice);
}

void IRCUser::ProcessPrivMsg(const std::string& privMsg)
{
    auto self = shared_from_this();
    if (parent_ != nullptr) {
        parent_->RaisePrivMsg(self, privMsg);
    }
    for (std::size_t i = 0; i < membership_.size(); ++i) {
        membership_[i]->RaisePrivMsg(self, privMsg);
    }
    Events.PrivMsg.raise(privMsg);
}

void IRCUser::ProcessQuit(const std::string& quitMsg)
{
    auto self = shared_from_this();
    // The channels' Quit handlers take us out of their lists while we notify them.
    std::vector<std::shared_ptr<IRCUsers>> lists;
    lists.reserve(membership_.size());
    for (IRCUsers* list : membership_) {
        lists.push_back(list->shared_from_this());
    }
    if (parent_ != nullptr) {
        parent_->RaiseQuit(self, quitMsg);
    }
    for (const auto& list : lists) {
        list->RaiseQuit(self, quitMsg);
    }
    Events.Quit.raise(quitMsg);
}

} // namespace tellix
