#pragma once

#include "platform/Timers.h"

#include <QElapsedTimer>

namespace tellix {

// The protocol's time on the Qt event loop.
class QtTimers final : public Timers {
public:
    QtTimers();
    std::int64_t NowMs() override;
    std::unique_ptr<Timer> After(std::int64_t delayMs, std::function<void()> task) override;

private:
    QElapsedTimer elapsed_;
};

} // namespace tellix
