#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tellix {

// When the line being handled was said, in milliseconds since 1970 (UTC), as its server
// stamped it; nothing outside such a line. Windows stamp what the line causes with it
// instead of the clock's time, so lines a bouncer replays show when they were said.
std::optional<std::int64_t> CurrentLineTime();

// Publishes a line's time while it is handled, and the previous one again after.
class LineTimeScope {
public:
    explicit LineTimeScope(std::optional<std::int64_t> time);
    ~LineTimeScope();
    LineTimeScope(const LineTimeScope&) = delete;
    LineTimeScope& operator=(const LineTimeScope&) = delete;

private:
    std::optional<std::int64_t> previous_;
};

// "YYYY-MM-DDThh:mm:ss[.sss]Z" in milliseconds since 1970; nothing for any other text, nor
// for a time no log day can be named after (before 1970, or 9999-12-31 and later): such a line
// counts as said when it was received.
std::optional<std::int64_t> ParseServerTime(std::string_view text);

} // namespace tellix
