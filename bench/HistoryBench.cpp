// A restart behind a bouncer that kept history: 10,000 lines missed across 50 channels, fetched
// page by page, shown in their windows and written to the logs once. The time is the client's:
// the bouncer's answers are made before the clock starts and handed over as a socket would.
#include "app/Application.h"
#include "app/Settings.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/QtChildView.h"
#include "platform/qt/QtToolkit.h"
#include "platform/qtcore/LogFileWriter.h"
#include "util/LineTime.h"
#include "windows/ChatLog.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include "GuiApplication.h"
#include "ManyNetworks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace tellix;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 50;
constexpr int kMissed = 200; // per channel: 10,000 in all
constexpr int kPage = 100;   // CHATHISTORY= of the bouncer

std::string Channel(int c)
{
    return "#channel" + std::to_string(c);
}

// The bouncer's store: each channel's lines after the newest the client logged, oldest first.
struct Kept {
    std::int64_t since = 0;
    std::map<std::string, std::vector<std::string>> lines; // raw, without the batch tag
    std::map<std::string, std::vector<std::string>> msgids;
};

Kept Store(std::int64_t now)
{
    Kept kept;
    kept.since = (now - 3'600'000) / 1000 * 1000;
    for (int c = 0; c < kChannels; ++c) {
        for (int i = 0; i < kMissed; ++i) {
            const std::int64_t at = kept.since + 1000 + c * 10 + i * 1000;
            const std::string msgid = "c" + std::to_string(c) + "-" + std::to_string(i);
            kept.msgids[Channel(c)].push_back(msgid);
            kept.lines[Channel(c)].push_back("time=" + FormatServerTime(at) + ";msgid=" + msgid + " :user" +
                                             std::to_string(i % 40) + "!u@h PRIVMSG " + Channel(c) +
                                             " :missed line " + std::to_string(i) + " of a busy afternoon");
        }
    }
    return kept;
}

// What the bouncer answers to one request line of the client.
std::string Answer(const Kept& kept, const std::string& request, int& batches)
{
    const std::string id = "b" + std::to_string(++batches);
    std::vector<std::string> words;
    for (std::size_t at = 0, end; at < request.size(); at = end + 1) {
        end = request.find(' ', at);
        words.push_back(request.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) {
            break;
        }
    }
    if (words.size() >= 2 && words[1] == "TARGETS") {
        std::string text = ":bnc.test BATCH +" + id + " draft/chathistory-targets\r\n";
        for (int c = 0; c < kChannels; ++c) {
            text += "@batch=" + id + " :bnc.test CHATHISTORY TARGETS " + Channel(c) + " " +
                    FormatServerTime(kept.since + 300'000) + "\r\n";
        }
        return text + ":bnc.test BATCH -" + id + "\r\n";
    }
    if (words.size() < 5) {
        return {};
    }
    const std::string& target = words[2];
    const auto& lines = kept.lines.at(target);
    const auto& msgids = kept.msgids.at(target);
    // LATEST after `since` is the newest page; BEFORE a msgid the page before it.
    std::size_t end = lines.size();
    if (words[1] == "BEFORE" && words[3].starts_with("msgid=")) {
        end =
            static_cast<std::size_t>(std::find(msgids.begin(), msgids.end(), words[3].substr(6)) - msgids.begin());
    }
    const std::size_t begin = end > static_cast<std::size_t>(kPage) ? end - kPage : 0;
    std::string text = ":bnc.test BATCH +" + id + " chathistory " + target + "\r\n";
    for (std::size_t i = begin; i < end; ++i) {
        text += "@batch=" + id + ";" + lines[i] + "\r\n";
    }
    return text + ":bnc.test BATCH -" + id + "\r\n";
}

void BM_HistoryAfterARestart(benchmark::State& state)
{
    bench::EnsureGuiApplication();
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const Kept kept = Store(now);
    for (auto _ : state) {
        // The logs of the run before: one line a channel, the newest the client had.
        const std::filesystem::path root = LogFileWriter::DefaultRoot();
        std::filesystem::remove_all(root);
        chatlog::Stamps stamps;
        for (int c = 0; c < kChannels; ++c) {
            const std::filesystem::path folder = root / chatlog::Folder("Bench", Channel(c), CaseMapping::Rfc1459);
            std::filesystem::create_directories(folder);
            std::ofstream(folder / (std::string(stamps.Day(kept.since / 1000)) + ".log"))
                << "[" << stamps.Iso(kept.since / 1000) << "] <user1> the last line before the restart\n";
        }
        QtToolkit toolkit;
        test::RecordingSocketFactory sockets;
        toolkit.Settings().SaveSetting(SettingsAppName(), "Main", "First Use", "0");
        // The benchmark program turns logging off for the others.
        toolkit.Settings().SaveSetting(SettingsAppName(), std::string(settings::Section),
                                       std::string(settings::Logging), "1");
        Application app(toolkit, sockets);
        bench::PumpEvents();

        // The welcome and the joins, before the clock: what a restart costs anyway.
        const auto connection = app.Connections().Item(1);
        connection->InitialNick("me");
        connection->Connect("bnc.test", 6667);
        test::RecordingSocket& socket = *sockets.created.back();
        socket.PeerConnects();
        std::string burst = ":bnc.test CAP * LS :batch server-time message-tags draft/chathistory\r\n"
                            ":bnc.test CAP * ACK :batch server-time message-tags draft/chathistory\r\n"
                            ":bnc.test 001 me :Welcome\r\n"
                            ":bnc.test 005 me NETWORK=Bench CHATHISTORY=" +
                            std::to_string(kPage) + " :are supported\r\n";
        for (int c = 0; c < kChannels; ++c) {
            burst += ":me!u@h JOIN :" + Channel(c) + "\r\n:bnc.test 366 me " + Channel(c) + " :End\r\n";
        }
        bench::Deliver(socket, burst);
        bench::PumpEvents();
        socket.sent.clear();

        // The answers the bouncer will give, made before the clock starts.
        int batches = 0;
        Clock::duration client{};
        Clock::time_point at = Clock::now();
        socket.PeerSends(":bnc.test 422 me :MOTD File is missing\r\n");
        while (!socket.sent.empty()) {
            std::vector<std::string> asked;
            asked.swap(socket.sent);
            client += Clock::now() - at;
            std::string reply;
            for (const std::string& line : asked) {
                reply += Answer(kept, line.substr(0, line.size() - 2), batches);
            }
            at = Clock::now();
            bench::Deliver(socket, reply);
        }
        bench::PumpEvents();
        client += Clock::now() - at;

        // All shown, each once, and in the logs once.
        std::int64_t shown = 0;
        for (std::int32_t index = 1; index <= app.Childs()->Count(); ++index) {
            const QString held =
                static_cast<QtChildView*>(app.Childs()->Collection::Item(index)->Window())->Log()->HeldText();
            shown += held.count(QStringLiteral(" of a busy afternoon"));
        }
        toolkit.ChatLogFiles()->Flush();
        std::int64_t logged = 0;
        for (const auto& file : std::filesystem::recursive_directory_iterator(root)) {
            if (!file.is_regular_file()) {
                continue;
            }
            std::ifstream in(file.path());
            for (std::string line; std::getline(in, line);) {
                logged += line.ends_with(" of a busy afternoon") ? 1 : 0;
            }
        }
        if (shown != kChannels * kMissed || logged != kChannels * kMissed) {
            state.SkipWithError(("shown " + std::to_string(shown) + ", logged " + std::to_string(logged) + " of " +
                                 std::to_string(kChannels * kMissed))
                                    .c_str());
            return;
        }
        state.counters["lines"] = static_cast<double>(shown);
        state.counters["requests"] = batches;
        state.counters["client_ms"] = std::chrono::duration<double, std::milli>(client).count();
    }
}
BENCHMARK(BM_HistoryAfterARestart)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
