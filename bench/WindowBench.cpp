// From received bytes to the visible window: a flood into a channel window, and a names
// reply and a netsplit into a channel window and the status window, each counted to the last
// paint.
#include "app/Application.h"
#include "app/Settings.h"
#include "dialog/ConnectDialog.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/NickListModel.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtMainWindowView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/LogFileWriter.h"
#include "windows/Childs.h"

#include "GuiApplication.h"
#include "HeapCounter.h"
#include "ManyNetworks.h"
#include "support/QtLoop.h"
#include "support/RecordingSocket.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace tellix;

namespace {

// The client with its main window on screen, online on a recording socket, in #room.
struct GuiClient {
    QtToolkit toolkit;
    test::RecordingSocketFactory sockets;
    Application app;
    test::RecordingSocket& socket;

    GuiClient() : app(toolkit, sockets), socket(*sockets.created.back())
    {
        QMainWindow& mainWindow = *toolkit.MainWindow()->Window();
        mainWindow.showNormal();
        mainWindow.resize(1200, 800);
        app.Childs()->ConnectDialog()->CloseWindow(); // shown on a first start; not what is measured
        IRCConnection& connection = *app.Connections().Item(1);
        connection.InitialNick("me");
        connection.Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(":irc.test 001 me :Welcome\r\n:me!u@h JOIN :#room\r\n");
        toolkit.MainWindow()->Area()->tileSubWindows();
        // The channel's window is the one in use, as after a typed join.
        toolkit.MainWindow()->Area()->setActiveSubWindow(
            static_cast<QtChildView*>(app.Childs()->Item(2)->Window())->SubWindow());
        bench::PumpEvents();
    }
    QtChildView& View(std::int32_t index)
    {
        return *static_cast<QtChildView*>(app.Childs()->Item(index)->Window());
    }
};

using bench::Deliver;

std::string Nick(int i)
{
    return "user" + std::to_string(i);
}

// A names reply as servers send it: lines of about 400 bytes, then its end.
std::string NamesReply(const std::string& channel, int first, int count)
{
    std::string text;
    std::string line;
    for (int i = first; i < first + count; ++i) {
        if (line.empty()) {
            line = ":irc.test 353 me = " + channel + " :";
        } else {
            line += ' ';
        }
        line += Nick(i);
        if (line.size() > 400 || i + 1 == first + count) {
            text += line + "\r\n";
            line.clear();
        }
    }
    return text + ":irc.test 366 me " + channel + " :End of /NAMES list.\r\n";
}

// Sees whether a nick list has been painted with all its rows.
struct PaintWatch : QObject {
    PaintWatch(QtChildView& view, int rows) : model(*view.UsersModel()), expected(rows)
    {
        view.UsersView()->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && model.rowCount() == expected) {
            paintedComplete = true;
        }
        return QObject::eventFilter(object, event);
    }
    const NickListModel& model;
    int expected;
    bool paintedComplete = false;
};

// Lines of the logs under `root` that hold a flood's message.
std::int64_t LoggedFloodLines(const std::filesystem::path& root)
{
    std::int64_t count = 0;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file()) {
            continue;
        }
        std::ifstream in(it->path());
        for (std::string line; std::getline(in, line);) {
            count += line.find("> message ") != std::string::npos ? 1 : 0;
        }
    }
    return count;
}

// With `logging` 1 every line also goes to the logs, into a temporary folder; the time then
// includes writing them out, and the lines in the files are counted. With `others` 9, nine
// more networks are open meanwhile, each with 50 channels of 200 and 20 queries.
void BM_WindowFlood(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    GuiClient client;
    const bool logging = state.range(0) != 0;
    for (int number = 1; number <= state.range(1); ++number) {
        bench::OpenNetwork(client.app, client.sockets, number, bench::NetworkShape{});
    }
    if (state.range(1) > 0) {
        client.toolkit.MainWindow()->Area()->setActiveSubWindow(client.View(2).SubWindow());
        bench::PumpEvents();
    }
    if (logging) {
        client.toolkit.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                              std::string(settings::Logging), "1");
        client.app.Childs()->ReadSettings();
    }
    LogFileWriter& writer = client.toolkit.LogWriter();
    const std::filesystem::path root = writer.Root();
    std::filesystem::remove_all(root);
    client.socket.PeerSends(NamesReply("#room", 0, 1000));
    bench::PumpEvents();
    const int lines = 100000;
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const std::string nick = Nick(i % 1000);
        text += ":" + nick + "!~" + nick + "@host" + std::to_string(i % 1000) +
                ".example.net PRIVMSG #room :message " + std::to_string(i) + " with some ordinary chat text\r\n";
    }
    LogWidget& log = *client.View(2).Log();
    // Every line kept: what a line costs is measured, not the scrollback limit.
    log.SetScrollbackLines(std::int64_t{1} << 40);
    double overhead = 0;
    for (auto _ : state) {
        const std::int64_t heapBefore = bench::HeapBytesInUse();
        const std::int64_t lengthBefore = log.TextLength();
        const std::int64_t linesBefore = log.LineCount();
        Deliver(client.socket, text);
        const bool painted = test::PumpUntil([&] { return log.LastPaintedLine() == log.LineCount() - 1; },
                                             std::chrono::seconds(10));
        const std::int64_t added = log.LineCount() - linesBefore;
        if (!painted || added != lines) {
            state.SkipWithError("the flood did not reach the screen");
            break;
        }
        // The text a line holds is its characters less the line break before it.
        const std::int64_t textBytes = log.TextLength() - lengthBefore - 2 * added;
        overhead =
            static_cast<double>(bench::HeapBytesInUse() - heapBefore - textBytes) / static_cast<double>(added);
        if (logging) {
            writer.Flush();
        }
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["overhead_bytes_per_line"] = overhead;
    // What is painted: runs compare alike only with the same log on the screen.
    state.counters["log_width"] = log.width();
    state.counters["log_height"] = log.height();
    if (logging) {
        const std::int64_t logged = LoggedFloodLines(root);
        state.counters["logged_lines"] = static_cast<double>(logged);
        if (logged != static_cast<std::int64_t>(state.iterations()) * lines) {
            state.SkipWithError("the logs miss lines of the flood");
        }
        std::filesystem::remove_all(root);
    }
}
BENCHMARK(BM_WindowFlood)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 9})
    ->ArgNames({"logging", "others"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Resident memory of the whole process, from /proc/self/statm.
double ResidentMiB()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Five million flood lines into one visible channel window: with the scrollback limit the
// memory after a million lines and after five million must be the same within a tenth.
// One run of a few seconds.
void BM_WindowScrollback(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    GuiClient client;
    const int batch = 100'000;
    std::string text;
    for (int i = 0; i < batch; ++i) {
        const std::string nick = Nick(i % 1000);
        text += ":" + nick + "!~" + nick + "@host" + std::to_string(i % 1000) +
                ".example.net PRIVMSG #room :message " + std::to_string(i) + " with some ordinary chat text\r\n";
    }
    LogWidget& log = *client.View(2).Log();
    double heapAtMillion = 0;
    double residentAtMillion = 0;
    for (auto _ : state) {
        for (int sent = 0; sent < 5'000'000; sent += batch) {
            Deliver(client.socket, text);
            if (!test::PumpUntil([&] { return log.LastPaintedLine() == log.LineCount() - 1; },
                                 std::chrono::seconds(10))) {
                state.SkipWithError("the flood did not reach the screen");
                return;
            }
            if (sent + batch == 1'000'000) {
                heapAtMillion = static_cast<double>(bench::HeapBytesInUse()) / (1024.0 * 1024.0);
                residentAtMillion = ResidentMiB();
            }
        }
    }
    const double heap = static_cast<double>(bench::HeapBytesInUse()) / (1024.0 * 1024.0);
    const double resident = ResidentMiB();
    state.SetItemsProcessed(state.iterations() * 5'000'000);
    state.counters["heap_MiB_1M"] = heapAtMillion;
    state.counters["heap_MiB_5M"] = heap;
    state.counters["rss_MiB_1M"] = residentAtMillion;
    state.counters["rss_MiB_5M"] = resident;
    state.counters["log_lines"] = static_cast<double>(log.LineCount());
}
BENCHMARK(BM_WindowScrollback)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What is timed: the text from the socket to both nick lists painted with the rows given. A
// list whose row count does not change is only checked. A function of its own, so that an
// instruction count can be taken of it alone.
[[gnu::noinline]] bool SendUntilPainted(GuiClient& client, const std::string& text, int channelRows,
                                        int statusRows)
{
    PaintWatch channel(client.View(2), channelRows);
    PaintWatch status(client.View(1), statusRows);
    status.paintedComplete = client.View(1).UsersModel()->rowCount() == statusRows;
    Deliver(client.socket, text);
    return test::PumpUntil([&] { return channel.paintedComplete && status.paintedComplete; },
                           std::chrono::seconds(10)) &&
           client.View(1).UsersModel()->rowCount() == statusRows;
}

void BM_WindowNames(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const auto names = static_cast<int>(state.range(0));
    const std::string reply = NamesReply("#room", 0, names);
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<GuiClient>();
        test::PumpFor(std::chrono::milliseconds(50)); // the new windows are on screen before the names come
        state.ResumeTiming();

        const bool painted = SendUntilPainted(*client, reply, names + 1, names + 1); // and the own nick

        state.PauseTiming();
        if (!painted) {
            state.SkipWithError("the names did not reach the screen");
            break;
        }
        client.reset();
        bench::PumpEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * names);
}
BENCHMARK(BM_WindowNames)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Strangers write privately, one line each, one line per turn of the event loop as they would
// arrive: every line opens a minimized query window. Reports the time and heap per window;
// the heap counted both as the program's operator new sees it and as malloc holds it (Qt
// allocates most of a widget's data with malloc), and the time per window to close them all.
void BM_QuerySenders(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const auto senders = static_cast<int>(state.range(0));
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(senders));
    for (int i = 0; i < senders; ++i) {
        const std::string nick = "q" + std::to_string(i);
        lines.push_back(":" + nick + "!~" + nick + "@host" + std::to_string(i) +
                        ".example.net PRIVMSG me :hello\r\n");
    }
    double seconds = 0;
    double closeSeconds = 0;
    std::int64_t windows = 0;
    std::int64_t heap = 0;
    std::int64_t mallocHeap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<GuiClient>();
        const std::int32_t before = client->app.Childs()->Count();
        const std::int64_t heapBefore = bench::HeapBytesInUse();
        const auto mallocBefore = static_cast<std::int64_t>(mallinfo2().uordblks);
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        for (const std::string& line : lines) {
            client->socket.PeerSends(line);
            bench::PumpEvents();
        }
        bench::PumpEvents();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        state.PauseTiming();
        const std::int32_t made = client->app.Childs()->Count() - before;
        if (made != senders) {
            state.SkipWithError("not every sender got a window");
            break;
        }
        windows += made;
        heap += bench::HeapBytesInUse() - heapBefore;
        mallocHeap += static_cast<std::int64_t>(mallinfo2().uordblks) - mallocBefore;
        // Leaving the program closes every window, each taking its button from the bar.
        const auto closing = std::chrono::steady_clock::now();
        client.reset();
        bench::PumpEvents();
        closeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - closing).count();
        state.ResumeTiming();
    }
    if (windows > 0) {
        state.counters["ms_per_window"] = 1000 * seconds / static_cast<double>(windows);
        state.counters["close_ms_per_window"] = 1000 * closeSeconds / static_cast<double>(windows);
        state.counters["bytes_per_window"] = static_cast<double>(heap) / static_cast<double>(windows);
        state.counters["malloc_bytes_per_window"] = static_cast<double>(mallocHeap) / static_cast<double>(windows);
    }
    state.SetItemsProcessed(windows);
}
BENCHMARK(BM_QuerySenders)->Arg(500)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A netsplit: a fifth of a channel's members, spread over the list, quit in one burst.
void BM_WindowNetsplit(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const auto names = static_cast<int>(state.range(0));
    const int quits = names / 5;
    std::vector<int> order(static_cast<std::size_t>(names));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(20261207));
    std::string burst;
    for (int i = 0; i < quits; ++i) {
        const std::string nick = Nick(order[static_cast<std::size_t>(i)]);
        burst += ":" + nick + "!~" + nick + "@leaf.example.net QUIT :hub.example.net leaf.example.net\r\n";
    }
    const std::string reply = NamesReply("#room", 0, names);
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<GuiClient>();
        Deliver(client->socket, reply);
        const bool filled = test::PumpUntil([&] {
            return client->View(2).UsersModel()->rowCount() == names + 1 &&
                   client->View(1).UsersModel()->rowCount() == names + 1;
        });
        test::PumpFor(std::chrono::milliseconds(50));
        state.ResumeTiming();

        const bool painted = filled && SendUntilPainted(*client, burst, names + 1 - quits, names + 1 - quits);

        state.PauseTiming();
        if (!painted) {
            state.SkipWithError("the netsplit did not reach the screen");
            break;
        }
        client.reset();
        bench::PumpEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * quits);
}
BENCHMARK(BM_WindowNetsplit)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
