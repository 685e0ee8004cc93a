#include "platform/qt/LogWidget.h"

#include "GuiApplication.h"
#include "HeapCounter.h"
#include "support/QtLoop.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QScrollBar>

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
        log->SetScrollbackLines(std::int64_t{1} << 40); // every line kept: a line's cost is measured
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

// The longest line framing lets through.
constexpr std::size_t kHostileBytes = 64 * 1024;

enum class Shape {
    Plain,
    Parens,
    Links,
    Colours,
    NoBlanks,
    GiantWord,
    Combining,
    RightToLeft,
    Wide,
    Controls,
};

// `piece` repeated to `kHostileBytes`, cut at a whole piece.
std::string Repeat(const std::string& head, const std::string& piece)
{
    std::string line = head;
    while (line.size() + piece.size() <= kHostileBytes) {
        line += piece;
    }
    return line;
}

std::string HostileLine(Shape shape)
{
    switch (shape) {
    case Shape::Plain:
        return Repeat("", "lorem ipsum dolor sit amet ");
    case Shape::Parens:
        return Repeat("see http://", ")");
    case Shape::Links:
        return Repeat("", "http://a.example/(x) ");
    case Shape::Colours:
        return Repeat("", "\x03"
                          "04,12ab\x02"
                          "c\x0F");
    case Shape::NoBlanks:
        return Repeat("", "word-and/more.text,");
    case Shape::GiantWord:
        return Repeat("", "x");
    case Shape::Combining:
        return Repeat("a", "\xCC\x81"); // U+0301 on one base letter
    case Shape::RightToLeft:
        return Repeat("", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 42 ");
    case Shape::Wide:
        return Repeat("", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
    case Shape::Controls:
        return Repeat("", "\x01\x07\x1B");
    }
    return {};
}

// Counts the log's paints.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(object, event);
    }
};

// One hostile line appended to a visible log and drawn, then drawn again at a new width and
// after scrolling away and back. Processor time: the frame timer's wait is not work.
void BM_LogHostileLine(benchmark::State& state, Shape shape)
{
    tellix::bench::EnsureGuiApplication();
    const std::string line = HostileLine(shape);
    constexpr std::chrono::seconds kWait(60);
    for (auto _ : state) {
        state.PauseTiming();
        auto log = std::make_unique<tellix::LogWidget>();
        QFont font(QStringLiteral("Courier New"));
        font.setPointSizeF(9.75);
        log->setFont(font);
        log->resize(800, 600);
        for (int i = 0; i < 100; ++i) {
            log->AppendLine("an ordinary line before it");
        }
        log->show();
        PaintCounter counter;
        log->viewport()->installEventFilter(&counter);
        tellix::test::PumpUntil([&] { return log->LastPaintedLine() == log->LineCount() - 1; });
        state.ResumeTiming();

        log->AppendLine(line);
        bool drawn =
            tellix::test::PumpUntil([&] { return log->LastPaintedLine() == log->LineCount() - 1; }, kWait);
        int paints = counter.paints;
        log->resize(793, 600);
        drawn = drawn && tellix::test::PumpUntil([&] { return counter.paints > paints; }, kWait);
        paints = counter.paints;
        log->verticalScrollBar()->setValue(0);
        drawn = drawn && tellix::test::PumpUntil([&] { return counter.paints > paints; }, kWait);
        paints = counter.paints;
        log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
        drawn = drawn && tellix::test::PumpUntil([&] { return counter.paints > paints; }, kWait);
        if (!drawn) {
            state.SkipWithError("the line was not drawn");
            break;
        }

        state.PauseTiming();
        log.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
BENCHMARK_CAPTURE(BM_LogHostileLine, plain, Shape::Plain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, parens, Shape::Parens)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, links, Shape::Links)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, colours, Shape::Colours)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, no_blanks, Shape::NoBlanks)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, giant_word, Shape::GiantWord)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, combining, Shape::Combining)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, right_to_left, Shape::RightToLeft)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, wide, Shape::Wide)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_LogHostileLine, controls, Shape::Controls)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

} // namespace
