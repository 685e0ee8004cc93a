// The window tree with many windows: switching the window in front as a click on a row or a
// key does, and a line raising a window's activity and unread count, each counted to the paint.
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qt/WindowLayout.h"
#include "platform/qt/WindowTree.h"
#include "platform/qt/WindowTreeModel.h"

#include "GuiApplication.h"

#include <QAbstractItemModel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace tellix;

namespace {

// The main window on screen with `count` windows over three connections, one at a time (a new
// user's layout), every window once in front so that all are in the area.
struct TreeClient {
    QtToolkit toolkit;
    std::unique_ptr<MainWindowView> mainView;
    QtMainWindowView* main = nullptr;
    std::vector<std::unique_ptr<ChildView>> views;

    explicit TreeClient(int count)
    {
        mainView = toolkit.CreateMainWindowView();
        main = static_cast<QtMainWindowView*>(mainView.get());
        main->Layout()->SetMode(WindowLayout::Mode::OneAtATime);
        main->Window()->showNormal();
        main->Window()->resize(1200, 800);
        for (int number = 1; number <= count; ++number) {
            const std::string group = "c" + std::to_string(number % 3);
            const bool head = number <= 3;
            views.push_back(toolkit.CreateChildView());
            ChildView& view = *views.back();
            view.SetCaption(std::to_string(number) + " - irc" + group + ".example (me) - " +
                            (head ? std::string("status") : "#channel" + std::to_string(number)));
            view.SetGroup(group, "network" + group, head);
            view.AppendOutput("[12:00] <someone> a line to draw");
        }
        for (std::size_t i = 0; i < views.size(); ++i) {
            Show(i);
        }
        bench::PumpEvents();
    }
    ~TreeClient()
    {
        views.clear();
        mainView.reset();
        bench::PumpEvents();
    }
    QMdiSubWindow* Form(std::size_t i) const { return static_cast<QtChildView&>(*views[i]).SubWindow(); }
    void Show(std::size_t i) const { main->Layout()->Show(Form(i)); }
};

// Switching to windows in a random order: the layout fills the area with it, the tree selects
// and scrolls to its row, the bar presses its button, and it is painted.
void BM_TreeSwitch(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const auto count = static_cast<std::size_t>(state.range(0));
    TreeClient client(static_cast<int>(count));
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) {
        order[i] = i;
    }
    std::shuffle(order.begin(), order.end(), std::mt19937(20261207));
    std::size_t next = 0;
    for (auto _ : state) {
        client.Show(order[next++ % count]);
        bench::PumpEvents();
    }
    if (client.main->Area()->activeSubWindow() != client.Form(order[(next - 1) % count])) {
        state.SkipWithError("the window asked for is not in front");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TreeSwitch)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A line in a window behind, among a thousand: its unread count goes up and its activity
// changes, which the tree shows on that row alone; painted before the next line.
void BM_TreeRowActivity(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const auto count = static_cast<std::size_t>(state.range(0));
    TreeClient client(static_cast<int>(count));
    client.Show(0);
    bench::PumpEvents();
    // A window whose row is in view, and one far below it.
    ChildView& near = *client.views[3];
    ChildView& far = *client.views[count - 1];
    int changed = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&client.main->Tree()->Model(), &QAbstractItemModel::dataChanged,
                         [&changed](const QModelIndex& first, const QModelIndex& last) {
                             changed += last.row() - first.row() + 1;
                         });
    std::int32_t unread = 0;
    for (auto _ : state) {
        ++unread;
        ChildView& view = unread % 2 == 0 ? near : far;
        view.SetUnread(unread);
        view.SetActivity(unread % 3 == 0 ? Activity::Highlight : Activity::Messages);
        bench::PumpEvents();
    }
    QObject::disconnect(counting);
    state.counters["rows_changed_per_line"] =
        static_cast<double>(changed) / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TreeRowActivity)->Arg(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
