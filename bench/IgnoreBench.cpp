// Whether a received message's sender is ignored, asked for every PRIVMSG and NOTICE: one
// look-up by nick and one by host, however many masks the list holds (masks wild in both
// nick and host, rare, are the only ones tried one by one).
#include "model/IgnoreList.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_IgnoreMatch(benchmark::State& state)
{
    tellix::IgnoreList list;
    for (int i = 0; i < state.range(0); ++i) {
        const std::string n = std::to_string(i);
        // Half by nick, half by host, as people ignore.
        list.Add(i % 2 == 0 ? "spammer" + n : "*!*@host" + n + ".example");
    }
    list.Add("*bot*!*@*.bots.example");
    const std::string senders[] = {"anna!a@client.example.org", "spammer42!s@h", "bob!b@host7.example"};
    std::int64_t ignored = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        ignored += list.Matches(senders[next]) ? 1 : 0;
        next = (next + 1) % 3;
        benchmark::DoNotOptimize(ignored);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IgnoreMatch)->Arg(0)->Arg(10)->Arg(10000);

} // namespace
