#pragma once

#include <string>

namespace tellix {

class Clock {
public:
    virtual ~Clock() = default;
    // The current time in the system's long time format, without a time-zone name.
    virtual std::string LongTime() = 0;
};

} // namespace tellix
