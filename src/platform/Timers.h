#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tellix {

// A task waiting for its time; dropping the timer cancels the task.
class Timer {
public:
    virtual ~Timer() = default;
};

// Time as the protocol needs it: timeouts, send pacing, reconnect delays. The front-ends give
// the event loop's; tests give a fake one they move by hand.
class Timers {
public:
    virtual ~Timers() = default;

    // Milliseconds on a clock that only goes forward.
    virtual std::int64_t NowMs() = 0;
    // Runs `task` once from the event loop, `delayMs` from now, unless the timer is dropped
    // first. The task may drop its own timer.
    virtual std::unique_ptr<Timer> After(std::int64_t delayMs, std::function<void()> task) = 0;
};

} // namespace tellix
