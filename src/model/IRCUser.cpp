#include "model/IRCUser.h"

#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "util/CoreError.h"
#include "util/Relay.h"
#include "util/Utility.h"

#include <absl/container/inlined_vector.h>

#include <algorithm>
#include <array>

namespace tellix {

IRCUser::IRCUser(Token) : nickHash_(NickNaming::Hash({})) {}

std::shared_ptr<IRCUser> IRCUser::Create()
{
    return std::make_shared<IRCUser>(Token{});
}

std::int32_t IRCUser::Index() const
{
    return IRCUsers::IndexIn(parent_, *this);
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
    return CompareUserMasks(UserMaskView{Nick(), User(), Host(), info_}, ParseUserMaskView(userMask));
}

void IRCUser::SendNotice(const std::string& notice)
{
    IRCConnection& connection = Connection();
    connection.SendMessage(std::string("NOTICE ").append(Nick()).append(" :").append(notice));
}

void IRCUser::SendPrivMsg(const std::string& privMsg)
{
    IRCConnection& connection = Connection();
    connection.SendMessage(std::string("PRIVMSG ").append(Nick()).append(" :").append(privMsg));
}

void IRCUser::Delete()
{
    if (leaving_) {
        return;
    }
    leaving_ = true;
    auto self = shared_from_this();
    absl::InlinedVector<std::shared_ptr<IRCUsers>, 4> lists;
    for (auto it = membership_.rbegin(); it != membership_.rend(); ++it) {
        lists.push_back((*it)->shared_from_this());
    }
    for (const auto& list : lists) {
        // A Remove listener may already have taken us out of a later list.
        if (InMembership(list.get())) {
            DropMembershipEntry(list.get());
            list->RemoveUser(self);
        }
    }
    if (parent_ != nullptr) {
        const auto master = parent_->shared_from_this();
        master->RemoveUser(self);
        parent_ = nullptr;
    }
    leaving_ = false;
}

void IRCUser::SetParent(IRCUsers* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void IRCUser::StoreMask(std::string_view nick, std::string_view user, std::string_view host)
{
    // Built aside: the parts may be views into the mask being replaced. A names reply makes
    // users by the ten thousand, nearly all with short masks: those are put together on the
    // stack and stored with one copy.
    const std::size_t size = nick.size() + user.size() + host.size() + 2;
    if (std::array<char, 128> buffer; size <= buffer.size()) {
        char* out = buffer.data();
        out = std::copy(nick.begin(), nick.end(), out);
        *out++ = '!';
        out = std::copy(user.begin(), user.end(), out);
        *out++ = '@';
        std::copy(host.begin(), host.end(), out);
        mask_.assign(buffer.data(), size);
    } else {
        std::string mask;
        mask.reserve(size);
        mask.append(nick).append(1, '!').append(user).append(1, '@').append(host);
        mask_ = std::move(mask);
    }
    nickSize_ = static_cast<std::uint32_t>(nick.size());
    userSize_ = static_cast<std::uint32_t>(user.size());
    nickHash_ = NickNaming::Hash(Nick());
}

void IRCUser::SetUserMask(std::string_view userMask)
{
    const std::string nickPrev(Nick());
    const UserMaskView parts = ParseUserMaskView(userMask);
    info_ = static_cast<std::uint8_t>(parts.Info);
    StoreMask(parts.Nick, parts.User, parts.Host);
    NickStored(nickPrev);
}

void IRCUser::SetNick(std::string_view nick)
{
    const std::string nickPrev(Nick());
    StoreMask(nick, User(), Host());
    NickStored(nickPrev);
}

void IRCUser::NickStored(const std::string& nickPrev)
{
    if (Nick() == nickPrev) {
        return;
    }
    // Lookups must find the new nick before any listener hears of it.
    if (parent_ != nullptr) {
        parent_->NickStored(*this, nickPrev);
    }
    for (IRCUsers* list : membership_) {
        list->NickStored(*this, nickPrev);
    }
    if (!nickPrev.empty()) {
        Announce(&IRCUsers::RaiseNickChange, &EventSet::NickChange, nickPrev);
    }
}

void IRCUser::Announce(void (IRCUsers::*raise)(const std::shared_ptr<IRCUser>&, const std::string&),
                       Event<const std::string&> EventSet::*own, const std::string& text)
{
    Relay relay(*this);
    // Every list the user is in at the start hears it once, even as the channels' Quit
    // handlers, or any other listener, take the user out of them meanwhile.
    absl::InlinedVector<std::shared_ptr<IRCUsers>, 4> lists;
    for (IRCUsers* list : membership_) {
        lists.push_back(list->shared_from_this());
    }
    if (!relay.Through(parent_, raise, text)) {
        return;
    }
    for (const auto& list : lists) {
        if (!relay.Through(list.get(), raise, text)) {
            return;
        }
    }
    if (const EventSet* events = Events.Made()) {
        relay.Own(events->*own, text);
    }
}

void IRCUser::AddMembership(IRCUsers* list)
{
    membership_.push_back(list);
}

void IRCUser::RemoveMembership(IRCUsers* list)
{
    if (!InMembership(list)) {
        return;
    }
    auto self = shared_from_this();
    auto hold = list->shared_from_this();
    // Out of the membership first: a Remove listener asking for the same removal finds
    // nothing left to do.
    DropMembershipEntry(list);
    list->RemoveUser(self);
}

bool IRCUser::InMembership(const IRCUsers* list) const
{
    return std::find(membership_.rbegin(), membership_.rend(), list) != membership_.rend();
}

void IRCUser::DropMembershipEntry(IRCUsers* list)
{
    const auto it = std::find(membership_.rbegin(), membership_.rend(), list);
    if (it != membership_.rend()) {
        membership_.erase(std::next(it).base());
    }
}

void IRCUser::ProcessNotice(const std::string& notice)
{
    Announce(&IRCUsers::RaiseNotice, &EventSet::Notice, notice);
}

void IRCUser::ProcessPrivMsg(const std::string& privMsg)
{
    Announce(&IRCUsers::RaisePrivMsg, &EventSet::PrivMsg, privMsg);
}

bool IRCUser::Watched() const
{
    const EventSet* events = Events.Made();
    return events != nullptr &&
           (!events->NickChange.empty() || !events->Notice.empty() || !events->PrivMsg.empty() ||
            !events->Quit.empty() || !events->AwayChange.empty() || !events->TypingChange.empty());
}

void IRCUser::SetAway(bool away)
{
    if (away == away_) {
        return;
    }
    away_ = away;
    Relay relay(*this);
    absl::InlinedVector<std::shared_ptr<IRCUsers>, 4> lists;
    for (IRCUsers* list : membership_) {
        lists.push_back(list->shared_from_this());
    }
    for (const auto& list : lists) {
        if (!relay.Through(list.get(), &IRCUsers::RaiseAwayChange)) {
            return;
        }
    }
    if (const EventSet* events = Events.Made()) {
        relay.Own(events->AwayChange);
    }
}

void IRCUser::ProcessTyping(Typing state)
{
    if (const EventSet* events = Events.Made()) {
        Relay(*this).Own(events->TypingChange, state);
    }
}

void IRCUser::ProcessQuit(const std::string& quitMsg)
{
    Announce(&IRCUsers::RaiseQuit, &EventSet::Quit, quitMsg);
}

} // namespace tellix
