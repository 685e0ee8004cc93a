#include "platform/qtcore/QtTimers.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

namespace tellix {
namespace {

using namespace std::chrono_literals;

// Timers run in the order of their time, a dropped one never runs, and a task may drop its
// own timer while it runs.
TEST(QtTimers, RunInTimeOrderAndDroppingCancels)
{
    test::EnsureGuiApplication();
    QtTimers timers;
    std::vector<int> ran;
    std::unique_ptr<Timer> self;
    const std::int64_t start = timers.NowMs();
    auto late = timers.After(40, [&] { ran.push_back(2); });
    auto dropped = timers.After(10, [&] { ran.push_back(99); });
    self = timers.After(20, [&] {
        ran.push_back(1);
        self.reset();
    });
    dropped.reset();
    ASSERT_TRUE(test::PumpUntil([&] { return ran.size() == 2; }, 2000ms));
    test::PumpFor(60ms);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_GE(timers.NowMs() - start, 40);
}

} // namespace
} // namespace tellix
