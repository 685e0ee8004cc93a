#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// What else the line being handled says of itself: its msgid (as written, empty for none), and
// whether it is history played back rather than said now. Each playback (a bouncer's batch, a
// page of fetched history) has a number of its own, so that a window can tell two lines alike
// in one playback from a line played back again.
struct LineOrigin {
    std::string_view msgid;
    std::uint64_t replay = 0; // 0: said now
    // Fetched to go above the oldest line a window shows.
    bool older = false;
};
const LineOrigin& CurrentLineOrigin();

// Publishes a line's origin while it is handled, and the previous one again after.
class LineOriginScope {
public:
    explicit LineOriginScope(const LineOrigin& origin);
    ~LineOriginScope();
    LineOriginScope(const LineOriginScope&) = delete;
    LineOriginScope& operator=(const LineOriginScope&) = delete;

private:
    LineOrigin previous_;
};

// A number no playback had before in this process.
std::uint64_t NewReplayNumber();

// "YYYY-MM-DDThh:mm:ss.sssZ", as server-time writes it: what a request names a time by.
std::string FormatServerTime(std::int64_t ms);

// "YYYY-MM-DDThh:mm:ss[.sss]Z" in milliseconds since 1970; nothing for any other text, nor
// for a time no log day can be named after (before 1970, or 9999-12-31 and later): such a line
// counts as said when it was received.
std::optional<std::int64_t> ParseServerTime(std::string_view text);

} // namespace tellix
