#pragma once

#include "platform/Timers.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace tellix::test {

// Time that moves only when the test says so. Tasks run in the order of their time, then of
// their start; a task may start or drop timers, its own included.
class FakeTimers final : public Timers {
public:
    std::int64_t NowMs() override { return now_; }

    std::unique_ptr<Timer> After(std::int64_t delayMs, std::function<void()> task) override
    {
        const auto key = std::make_pair(now_ + std::max<std::int64_t>(delayMs, 0), next_++);
        waiting_.emplace(key, std::move(task));
        return std::make_unique<Handle>(*this, key);
    }

    // Moves the clock forward by `ms`, running every task that falls due on the way.
    void Advance(std::int64_t ms)
    {
        const std::int64_t until = now_ + ms;
        while (!waiting_.empty() && waiting_.begin()->first.first <= until) {
            auto entry = waiting_.extract(waiting_.begin());
            now_ = entry.key().first;
            entry.mapped()();
        }
        now_ = until;
    }

    std::size_t Waiting() const { return waiting_.size(); }

private:
    using Key = std::pair<std::int64_t, std::uint64_t>;
    class Handle final : public Timer {
    public:
        Handle(FakeTimers& timers, Key key) : timers_(timers), key_(key) {}
        ~Handle() override { timers_.waiting_.erase(key_); }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

    private:
        FakeTimers& timers_;
        Key key_;
    };

    std::int64_t now_ = 0;
    std::uint64_t next_ = 0;
    std::map<Key, std::function<void()>> waiting_;
};

} // namespace tellix::test
