// Ten networks at once, built from what their servers send: how long the windows take to
// come, what each window weighs, and what switching windows and a line behind cost as the
// number of windows grows.
#include "app/Application.h"
#include "app/Settings.h"
#include "platform/ChildView.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowLayout.h"
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include "GuiApplication.h"
#include "HeapCounter.h"
#include "ManyNetworks.h"

#include <QAbstractItemModel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace tellix;

namespace {

using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

// Arguments: channels and queries on each of ten connections; 200 members a channel.
// {5, 4} makes 100 windows, {50, 20} the 710 of ten full networks, {79, 20} a thousand.
void BM_ManyNetworks(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    constexpr int kConnections = 10;
    const bench::NetworkShape shape{static_cast<int>(state.range(0)), 200, static_cast<int>(state.range(1))};
    const int windows = kConnections * (1 + shape.channels + shape.queries);
    for (auto _ : state) {
        QtToolkit toolkit;
        test::RecordingSocketFactory sockets;
        toolkit.Settings().SaveSetting(SettingsAppName(), "Main", "First Use", "0");
        // A new user's layout; one who used Tellix before keeps overlapping windows.
        toolkit.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::WindowLayout), "one at a time");
        const std::int64_t heapBefore = bench::HeapBytesInUse();
        Application app(toolkit, sockets);
        QtMainWindowView& main = *toolkit.MainWindow();
        main.Window()->showNormal();
        main.Window()->resize(1200, 800);
        bench::PumpEvents();

        const Clock::time_point start = Clock::now();
        std::vector<test::RecordingSocket*> links;
        for (int number = 0; number < kConnections; ++number) {
            links.push_back(&bench::OpenNetwork(app, sockets, number, shape));
        }
        bench::PumpEvents();
        const Clock::duration built = Clock::now() - start;
        const std::int64_t heap = bench::HeapBytesInUse() - heapBefore;
        if (app.Childs()->Count() != windows || main.Tree()->Model().rowCount() != kConnections) {
            const std::string counted = "windows " + std::to_string(app.Childs()->Count()) + " of " +
                                        std::to_string(windows) + ", networks in the tree " +
                                        std::to_string(main.Tree()->Model().rowCount());
            state.SkipWithError(counted.c_str());
            return;
        }

        // Switching as a click in the tree does, among a hundred windows in a random order
        // whatever their number: first to each for the first time (the window is laid out
        // and drawn then), then among them again.
        std::vector<QMdiSubWindow*> forms;
        for (std::int32_t index = 1; index <= windows; ++index) {
            forms.push_back(static_cast<QtChildView*>(app.Childs()->Item(index)->Window())->SubWindow());
        }
        std::mt19937 random(20261210);
        std::shuffle(forms.begin(), forms.end(), random);
        forms.resize(100);
        Clock::time_point at = Clock::now();
        for (QMdiSubWindow* form : forms) {
            main.Layout()->Show(form);
            bench::PumpEvents();
        }
        const Clock::duration firstSwitches = Clock::now() - at;
        constexpr int kSwitches = 300;
        std::uniform_int_distribution<std::size_t> pick(0, forms.size() - 1);
        QMdiSubWindow* last = nullptr;
        at = Clock::now();
        for (int i = 0; i < kSwitches; ++i) {
            last = forms[pick(random)];
            main.Layout()->Show(last);
            bench::PumpEvents();
        }
        const Clock::duration switching = Clock::now() - at;
        if (main.Area()->activeSubWindow() != last) {
            state.SkipWithError("the window asked for is not in front");
            return;
        }

        // A line in a channel behind, on some network: its row alone changes in the tree.
        int rowsChanged = 0;
        const QMetaObject::Connection counting =
            QObject::connect(&main.Tree()->Model(), &QAbstractItemModel::dataChanged,
                             [&rowsChanged](const QModelIndex& first, const QModelIndex& last) {
                                 rowsChanged += last.row() - first.row() + 1;
                             });
        constexpr int kLines = 500;
        std::uniform_int_distribution<int> network(0, kConnections - 1);
        std::uniform_int_distribution<int> channel(0, shape.channels - 1);
        at = Clock::now();
        for (int i = 0; i < kLines; ++i) {
            links[static_cast<std::size_t>(network(random))]->PeerSends(
                ":user1!u@h PRIVMSG #channel" + std::to_string(channel(random)) + " :a line behind " +
                std::to_string(i) + "\r\n");
            bench::PumpEvents();
        }
        const Clock::duration lines = Clock::now() - at;
        QObject::disconnect(counting);

        // Windows still drawn in the area: those never in front wait there minimized.
        int shown = 0;
        for (const QMdiSubWindow* form : main.Area()->subWindowList()) {
            shown += form->isVisible() ? 1 : 0;
        }
        state.counters["windows_shown"] = shown;
        state.counters["windows"] = windows;
        state.counters["build_ms"] = Microseconds(built) / 1000.0;
        state.counters["heap_KiB_per_window"] = static_cast<double>(heap) / 1024.0 / windows;
        state.counters["first_switch_us"] = Microseconds(firstSwitches) / static_cast<double>(forms.size());
        state.counters["switch_us"] = Microseconds(switching) / kSwitches;
        state.counters["line_behind_us"] = Microseconds(lines) / kLines;
        state.counters["rows_changed_per_line"] = static_cast<double>(rowsChanged) / kLines;
    }
}
BENCHMARK(BM_ManyNetworks)
    ->Args({5, 4})
    ->Args({50, 20})
    ->Args({79, 20})
    ->ArgNames({"channels", "queries"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
