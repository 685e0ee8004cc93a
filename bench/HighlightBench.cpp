// Whether a received line names the user, asked for every line a window not looked at gets:
// one pass over the line, whatever the number of highlight words.
#include "windows/Highlight.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_HighlightLine(benchmark::State& state)
{
    std::string words;
    for (int i = 0; i < state.range(0); ++i) {
        words += "word" + std::to_string(i) + " ";
    }
    const tellix::Highlight highlight(words);
    const std::string line = "message 12345 with some ordinary chat text, a [link] and \x03"
                             "04colour\x03 but no mention of anyone who reads it here";
    std::int64_t named = 0;
    for (auto _ : state) {
        named += highlight.Names(line, "SomeoneElse") ? 1 : 0;
        benchmark::DoNotOptimize(named);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_HighlightLine)->Arg(0)->Arg(10)->Arg(1000);

} // namespace
