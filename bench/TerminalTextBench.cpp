// The console's output rule: every window line of `tellix --console` goes through it.
#include "util/TerminalText.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// 0: ASCII chat; 1: UTF-8 chat; 2: Windows-1252 whose first foreign byte is the last one, so
// the whole line is read twice; 3: a hostile line of escape sequences.
std::vector<std::string> Lines(std::int64_t kind)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(i);
        switch (kind) {
        case 0:
            lines.push_back("[12:34:56] <nick" + n + "> message " + n + " with some ordinary chat text");
            break;
        case 1:
            lines.push_back("[12:34:56] <nick" + n +
                            "> caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d \xf0\x9f\x98\x80 " + n);
            break;
        case 2:
            lines.push_back("[12:34:56] <nick" + n + "> caf\xc3\xa9 with some ordinary chat text " + n + " \xe9");
            break;
        default:
            lines.push_back("[12:34:56] <nick" + n +
                            "> \x1b]52;c;aGk=\x07\x1b[2K\r\xc2\x9b"
                            "31m" +
                            n + "\x1b[0m");
            break;
        }
    }
    return lines;
}

void BM_TerminalLines(benchmark::State& state)
{
    const std::vector<std::string> lines = Lines(state.range(0));
    std::int64_t bytes = 0;
    for (const std::string& line : lines) {
        bytes += static_cast<std::int64_t>(line.size());
    }
    std::string out;
    for (auto _ : state) {
        for (const std::string& line : lines) {
            out.clear();
            tellix::AppendTerminalLines("[2] ", line, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.size()));
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_TerminalLines)->DenseRange(0, 3);

// One line of N bytes whose only foreign byte is the last: read twice, still linear.
void BM_TerminalLongLine(benchmark::State& state)
{
    std::string line(static_cast<std::size_t>(state.range(0)) - 1, 'a');
    line += '\xe9';
    std::string out;
    for (auto _ : state) {
        out.clear();
        tellix::AppendTerminalLines("[2] ", line, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TerminalLongLine)->Arg(512)->Arg(64 * 1024)->Arg(4 * 1024 * 1024);

} // namespace
