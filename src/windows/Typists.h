#pragma once

#include "model/IRCUser.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// Who is typing in a window, from their typing notifications: someone types from an "active"
// until a "paused" or "done", their next message, their leaving, or kActiveMs without another
// "active". Past kMost typists the line says "several" anyway, so no more are kept: a flood of
// notifications costs a bounded scan each and no memory.
class Typists {
public:
    static constexpr std::int64_t kActiveMs = 6000;
    static constexpr std::size_t kMost = 32;

    void Heard(std::string_view nick, Typing state, std::int64_t nowMs);
    // A message, a part or a quit of `nick`.
    void Stopped(std::string_view nick);
    // Drops those whose time is up at `nowMs`.
    void Expire(std::int64_t nowMs);
    // When the first of those typing stops counting as typing; nothing when nobody types.
    std::optional<std::int64_t> NextExpiry() const;
    bool Empty() const { return typing_.empty(); }
    std::size_t Count() const { return typing_.size(); }
    void Clear() { typing_.clear(); }
    // "bob is typing...", "bob and carol are typing...", "several people are typing...";
    // empty when nobody is.
    std::string Text() const;

private:
    struct Typist {
        std::string nick;
        std::int64_t until = 0;
    };
    std::vector<Typist> typing_; // in the order they began
};

} // namespace tellix
