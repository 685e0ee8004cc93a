// A hostile topic set on a visible topic bar and drawn. Only decoding and shaping see the whole
// topic; the bar draws its first thousand characters. Compare /16 with /64 (KiB): four times
// the bytes may cost at most about four times the time.
#include "GuiApplication.h"
#include "platform/qt/TopicBar.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

namespace tellix::bench {
namespace {

enum class TopicShape { Plain, Links, Colours, Controls, Cp1252 };

std::string HostileTopic(TopicShape shape, std::size_t bytes)
{
    std::string_view piece;
    switch (shape) {
    case TopicShape::Plain:
        piece = "lorem ipsum dolor sit amet ";
        break;
    case TopicShape::Links:
        piece = "http://a.example/(x) ";
        break;
    case TopicShape::Colours:
        piece = "\x03"
                "04,12ab\x02"
                "c\x0F";
        break;
    case TopicShape::Controls:
        piece = "\x01\x07\x1B<&>";
        break;
    case TopicShape::Cp1252:
        piece = "caf\xE9 \x80 ";
        break;
    }
    std::string topic;
    topic.reserve(bytes + piece.size());
    while (topic.size() < bytes) {
        topic += piece;
    }
    topic.resize(bytes);
    return topic;
}

void BM_TopicBarHostile(benchmark::State& state, TopicShape shape)
{
    EnsureGuiApplication();
    const std::string topic = HostileTopic(shape, static_cast<std::size_t>(state.range(0)) * 1024);
    QWidget window;
    auto* const bar = new TopicBar(&window);
    bar->resize(800, 30);
    window.resize(800, 30);
    window.show();
    PumpEvents();
    for (auto _ : state) {
        bar->SetTopic(topic, "anna", 1'700'000'000'000);
        bar->repaint();
        bar->SetTopic("", "", 0); // the next round sets it afresh
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(topic.size()));
}

BENCHMARK_CAPTURE(BM_TopicBarHostile, plain, TopicShape::Plain)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_TopicBarHostile, links, TopicShape::Links)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_TopicBarHostile, colours, TopicShape::Colours)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_TopicBarHostile, controls, TopicShape::Controls)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_TopicBarHostile, cp1252, TopicShape::Cp1252)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

} // namespace
} // namespace tellix::bench
