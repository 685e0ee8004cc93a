#pragma once

#include "platform/Clock.h"

namespace tellix {

class QtClock final : public Clock {
public:
    std::string LongTime() override;
};

} // namespace tellix
