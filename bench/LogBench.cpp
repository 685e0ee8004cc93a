#include "platform/qt/LogWidget.h"

#include "GuiApplication.h"
#include "HeapCounter.h"
#include "support/QtLoop.h"

#include <QApplication>
#include <QFont>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Channel traffic as a window shows it: a time stamp, a nick and a message, about 60 bytes;
// `formatted` colours the nick and writes the message in UTF-8 beyond ASCII.
std::vector<std::string> ChatLines(std::int64_t count, bool formatted)
{
    static constexpr std::array<const char*, 4> kPlain = {"anyone tried the new release on arm64 yet?",
                                                          "brb, coffee", "the build is green again, thanks all",
                                                          "see the changelog for the full list of fixes"};
    static constexpr std::array<const char*, 4> kFormatted = {
        "d\xC3\xA9j\xC3\xA0 vu: the release on arm64 \xE2\x80\x94 \x02works\x02", "brb, caf\xC3\xA9",
        "\x03"
        "03the build is green\x03 again, \xE2\x9C\x93",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E, changelog"};
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    char buffer[160];
    for (std::int64_t i = 0; i < count; ++i) {
        const auto which = static_cast<std::size_t>(i % 4);
        const int hours = static_cast<int>(i / 3600 % 24);
        const int minutes = static_cast<int>(i / 60 % 60);
        const int seconds = static_cast<int>(i % 60);
        const int nick = static_cast<int>(i % 37);
        if (formatted) {
            std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d] <\x03%02dnick%02d\x03> %s", hours, minutes,
                          seconds, nick % 16, nick, kFormatted[which]);
        } else {
            std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d] <nick%02d> %s", hours, minutes, seconds, nick,
                          kPlain[which]);
        }
        lines.emplace_back(buffer);
    }
    return lines;
}

// Lines appended to a visible log in a tight loop, until the last of them is drawn.
void AppendUntilDrawn(benchmark::State& state, bool formatted)
{
    tellix::bench::EnsureGuiApplication();
    const std::vector<std::string> lines = ChatLines(state.range(0), formatted);
    std::int64_t textBytes = 0;
    for (const std::string& line : lines) {
        textBytes += static_cast<std::int64_t>(line.size());
    }
    double overhead = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto log = std::make_unique<tellix::LogWidget>();
        // The font child windows set.
        QFont font(QStringLiteral("Courier New"));
        font.setPointSizeF(9.75);
        log->setFont(font);
        log->resize(800, 600);
        log->show();
        tellix::test::PumpFor(std::chrono::milliseconds(50));
        const std::int64_t before = tellix::bench::HeapBytesInUse();
        state.ResumeTiming();

        for (const std::string& line : lines) {
            log->AppendLine(line);
        }
        if (!tellix::test::PumpUntil([&] { return log->LastPaintedLine() == log->LineCount() - 1; },
                                     std::chrono::seconds(10))) {
            state.SkipWithError("the lines were not drawn");
            break;
        }

        state.PauseTiming();
        overhead = static_cast<double>(tellix::bench::HeapBytesInUse() - before - textBytes) /
                   static_cast<double>(lines.size());
        log.reset();
        tellix::test::PumpFor(std::chrono::milliseconds(10));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["overhead_bytes_per_line"] = overhead;
}
void BM_LogAppend(benchmark::State& state)
{
    AppendUntilDrawn(state, false);
}
void BM_LogAppendFormatted(benchmark::State& state)
{
    AppendUntilDrawn(state, true);
}
// Real time: the wait for the frame that draws the lines counts.
BENCHMARK(BM_LogAppend)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LogAppendFormatted)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
