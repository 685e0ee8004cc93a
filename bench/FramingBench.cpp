// Cutting received bytes into lines: the first step of every line the server sends.
#include "net/LineFraming.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_LineFraming(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += ":nick" + std::to_string(i % 500) + "!~user@host.example.net PRIVMSG #room :message " +
                std::to_string(i) + " with some ordinary chat text\r\n";
    }
    const auto chunk = static_cast<std::size_t>(state.range(0));
    tellix::LineFraming framing;
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
            framing.Receive(std::string_view(text).substr(pos, chunk),
                            [&bytes](const std::string& line) { bytes += line.size(); });
        }
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * 10000);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
// Network-sized arrivals, and a trickle of tiny ones.
BENCHMARK(BM_LineFraming)->Arg(16384)->Arg(7);

} // namespace
