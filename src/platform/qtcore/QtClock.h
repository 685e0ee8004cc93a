#pragma once

#include "platform/Clock.h"

#include <cstdint>
#include <string>

namespace tellix {

// The locale's long time format. Producing it costs microseconds, and a flood stamps a
// million lines a second, so the text is made once per second.
class QtClock final : public Clock {
public:
    std::string LongTime() override;
    std::string LongTimeAt(std::int64_t msSinceEpoch) override;

private:
    std::int64_t second_ = -1;
    std::string text_;
};

} // namespace tellix
