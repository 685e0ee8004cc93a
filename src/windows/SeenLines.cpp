#include "windows/SeenLines.h"

#include "util/Utf8.h"
#include "windows/ChatLog.h"

#include <absl/hash/hash.h>
#include <absl/strings/string_view.h>

#include <string>
#include <utility>

namespace tellix {

namespace {

std::uint64_t HashOf(std::string_view text)
{
    // Never 0, which stands for no msgid.
    return static_cast<std::uint64_t>(
               absl::Hash<absl::string_view>{}(absl::string_view(text.data(), text.size()))) |
           1;
}

} // namespace

std::uint64_t SeenLines::KeyOf(std::int64_t second, std::string_view text)
{
    // The log keeps a line's text made plain (chatlog::LineText); printable ASCII stays as it is.
    using Key = std::pair<std::int64_t, absl::string_view>;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    if (PrintableAsciiEnd(s, 0, text.size()) == text.size()) {
        return static_cast<std::uint64_t>(
            absl::Hash<Key>{}(Key(second, absl::string_view(text.data(), text.size()))));
    }
    const std::string plain = chatlog::LineText(text);
    return static_cast<std::uint64_t>(absl::Hash<Key>{}(Key(second, absl::string_view(plain))));
}

void SeenLines::Keep(std::uint64_t key, std::uint64_t msgid, bool logged)
{
    if (ring_.size() < kKept) {
        ring_.push_back({key, msgid, logged});
    } else {
        const Slot old = ring_[next_];
        if (const auto count = keys_.find(old.key); count != keys_.end()) {
            if (old.logged && count->second.logged > 0) {
                --count->second.logged;
            }
            if (old.msgid == 0) {
                --count->second.anonymous;
            }
            if (--count->second.held <= 0) {
                keys_.erase(count);
            }
        }
        if (old.msgid != 0) {
            msgids_.erase(old.msgid);
        }
        ring_[next_] = {key, msgid, logged};
        next_ = (next_ + 1) % kKept;
    }
    Count& count = keys_[key];
    ++count.held;
    if (msgid == 0) {
        ++count.anonymous;
    }
    if (logged) {
        ++count.logged;
    }
    if (msgid != 0) {
        msgids_.insert(msgid);
    }
}

void SeenLines::NoteLogged(std::int64_t second, std::string_view text)
{
    Keep(KeyOf(second, text), 0, true);
}

bool SeenLines::SeenBefore(std::int64_t second, std::string_view text, std::string_view msgid,
                           std::uint64_t replay, bool timed)
{
    const std::uint64_t key = KeyOf(second, text);
    const std::uint64_t id = msgid.empty() ? 0 : HashOf(msgid);
    bool held = id != 0 && msgids_.contains(id);
    if (replay != 0) {
        const auto [found, made] = keys_.try_emplace(key);
        Count& count = found->second;
        if (count.replay != replay) {
            count.replay = replay;
            count.base = id != 0 ? count.anonymous : count.held;
            count.seen = 0;
        }
        held = ++count.seen <= count.base || held;
        if (held && count.held == 0) {
            keys_.erase(found); // held by its msgid alone: nothing to count
        }
    } else if (!held && timed) {
        if (const auto found = keys_.find(key); found != keys_.end() && found->second.logged > 0) {
            --found->second.logged;
            held = true;
        }
    }
    if (!held) {
        Keep(key, id, false);
    }
    return held;
}

} // namespace tellix
