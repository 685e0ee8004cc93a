#pragma once

#include <cstdint>
#include <string>

namespace tellix {

class Clock {
public:
    virtual ~Clock() = default;
    // The current time in the system's long time format, without a time-zone name.
    virtual std::string LongTime() = 0;
    // The same format for a given instant (milliseconds since 1970, UTC), in local time.
    virtual std::string LongTimeAt(std::int64_t msSinceEpoch) = 0;
};

} // namespace tellix
