// From received bytes to the visible window: a flood into a channel window, and a names
// reply and a netsplit into a channel window and the status window, each counted to the last
// paint.
#include "app/Application.h"
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
#include "windows/Childs.h"

#include "GuiApplication.h"
#include "HeapCounter.h"
#include "support/QtLoop.h"
#include "support/RecordingSocket.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
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
        bench::PumpEvents();
    }
    QtChildView& View(std::int32_t index)
    {
        return *static_cast<QtChildView*>(app.Childs()->Item(index)->Window());
    }
};

void Deliver(test::RecordingSocket& socket, const std::string& text)
{
    constexpr std::size_t chunk = 16 * 1024;
    for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
        socket.PeerSends(text.substr(pos, chunk));
    }
}

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

void BM_WindowFlood(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    GuiClient client;
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
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["overhead_bytes_per_line"] = overhead;
}
BENCHMARK(BM_WindowFlood)->Unit(benchmark::kMillisecond)->UseRealTime();

// What is timed: the text from the socket to both nick lists painted with the rows given. A
// list whose row count stays (the status window's in a netsplit: a user who quits is still
// known) is only checked. A function of its own, so that an instruction count can be taken
// of it alone.
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

        const bool painted = filled && SendUntilPainted(*client, burst, names + 1 - quits, names + 1);

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
