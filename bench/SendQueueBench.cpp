// Pacing what we send, on a fake clock: 100,000 lines held, then drained at the steady rate.
#include "net/SendQueue.h"

#include "support/FakeTimers.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_SendQueueEnqueueAndDrain(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const std::string line = "PRIVMSG #room :an ordinary line of chat text";
    std::size_t bytes = 0;
    for (auto _ : state) {
        tellix::test::FakeTimers timers;
        tellix::SendQueue queue([&bytes](std::string_view sent) { bytes += sent.size(); });
        queue.Reset(&timers);
        queue.SetRegistered(true);
        for (int i = 0; i < count; ++i) {
            queue.Push(line, i % 2 == 0 ? tellix::SendPriority::Typed : tellix::SendPriority::Automatic);
        }
        timers.Advance(std::int64_t{count} * tellix::SendQueue::kIntervalMs);
        if (queue.Held() != 0) {
            state.SkipWithError("lines left held");
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SendQueueEnqueueAndDrain)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
