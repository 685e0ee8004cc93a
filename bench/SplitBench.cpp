// Cutting a typed or pasted line into messages the server relays whole: the time grows with
// the line, whether it has blanks to cut at or not.
#include "commands/Saying.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

namespace {

void Split(benchmark::State& state, std::string_view unit)
{
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) {
        text += unit;
    }
    std::size_t pieces = 0;
    for (auto _ : state) {
        pieces += tellix::SplitMessage(text, 480).size();
    }
    benchmark::DoNotOptimize(pieces);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
    state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}

void BM_SplitMessageWords(benchmark::State& state)
{
    Split(state, "Grüße aus Köln, 日本語 ");
}
BENCHMARK(BM_SplitMessageWords)->Arg(1'000)->Arg(100'000)->Arg(10'000'000)->Complexity(benchmark::oN);

// No blank anywhere: every piece is cut where the characters stand.
void BM_SplitMessageNoBlank(benchmark::State& state)
{
    Split(state, "語ü\xF0\x9F\x98\x80");
}
BENCHMARK(BM_SplitMessageNoBlank)->Arg(1'000)->Arg(100'000)->Arg(10'000'000)->Complexity(benchmark::oN);

} // namespace
