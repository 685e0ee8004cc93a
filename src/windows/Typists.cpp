#include "windows/Typists.h"

#include "util/Concat.h"

#include <algorithm>

namespace tellix {

void Typists::Heard(std::string_view nick, Typing state, std::int64_t nowMs)
{
    const auto found =
        std::find_if(typing_.begin(), typing_.end(), [&](const Typist& t) { return t.nick == nick; });
    if (state != Typing::Active) {
        if (found != typing_.end()) {
            typing_.erase(found);
        }
        return;
    }
    if (found != typing_.end()) {
        found->until = nowMs + kActiveMs;
    } else if (typing_.size() < kMost) {
        typing_.push_back(Typist{std::string(nick), nowMs + kActiveMs});
    }
}

void Typists::Stopped(std::string_view nick)
{
    std::erase_if(typing_, [&](const Typist& t) { return t.nick == nick; });
}

void Typists::Expire(std::int64_t nowMs)
{
    std::erase_if(typing_, [&](const Typist& t) { return t.until <= nowMs; });
}

std::optional<std::int64_t> Typists::NextExpiry() const
{
    std::optional<std::int64_t> first;
    for (const Typist& t : typing_) {
        if (!first || t.until < *first) {
            first = t.until;
        }
    }
    return first;
}

std::string Typists::Text() const
{
    switch (typing_.size()) {
    case 0:
        return {};
    case 1:
        return Concat(typing_[0].nick, " is typing...");
    case 2:
        return Concat(typing_[0].nick, " and ", typing_[1].nick, " are typing...");
    default:
        return "several people are typing...";
    }
}

} // namespace tellix
