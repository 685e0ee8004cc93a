// Lines per second through line framing, the dispatcher and the model, with no window.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "HeapCounter.h"
#include "support/RecordingSocket.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

using namespace tellix;

namespace {

struct Client {
    test::RecordingSocketFactory factory;
    IRCConnections connections{factory};
    std::shared_ptr<IRCConnection> connection = connections.Add();
    test::RecordingSocket& socket = *factory.created.back();

    explicit Client(const std::string& capabilities = {})
    {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        if (!capabilities.empty()) {
            socket.PeerSends(":irc.test CAP * LS :" + capabilities + "\r\n:irc.test CAP * ACK :" + capabilities +
                             "\r\n");
        }
        socket.PeerSends(":irc.test 001 me :Welcome\r\n:me!u@h JOIN :#room\r\n");
    }
};

// Feeds the text in socket-sized pieces, as the network would deliver it.
void Deliver(test::RecordingSocket& socket, const std::string& text)
{
    constexpr std::size_t chunk = 16 * 1024;
    for (std::size_t pos = 0; pos < text.size(); pos += chunk) {
        socket.PeerSends(text.substr(pos, chunk));
    }
}

// `tags` (with its "@" and the blank after it) leads every line.
std::string Messages(const std::string& target, int lines, int senders, const std::string& tags = {})
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const std::string nick = "user" + std::to_string(i % senders);
        text += tags + ":" + nick + "!~" + nick + "@host" + std::to_string(i % senders) + ".example.net PRIVMSG " +
                target + " :message number " + std::to_string(i) + " with some ordinary chat text\r\n";
    }
    return text;
}

void BM_ChannelPrivMsgFrom500Senders(benchmark::State& state)
{
    Client client;
    const int lines = 20000;
    const std::string text = Messages("#room", lines, 500);
    for (auto _ : state) {
        Deliver(client.socket, text);
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ChannelPrivMsgFrom500Senders)->Unit(benchmark::kMillisecond);

// The same with the tags a modern server or a bouncer sends on every line, escapes included:
// set beside the plain run above, what reading the tags adds.
void BM_ChannelPrivMsgTagged(benchmark::State& state)
{
    Client client("server-time message-tags account-tag batch");
    const int lines = 20000;
    const std::string text = Messages("#room", lines, 500,
                                      "@time=2026-12-08T06:21:00.123Z;msgid=Zm9vYmFyYmF6;account=someone;"
                                      "+draft/reply=a\\sreply\\:with\\\\escapes ");
    for (auto _ : state) {
        Deliver(client.socket, text);
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ChannelPrivMsgTagged)->Unit(benchmark::kMillisecond);

void BM_PrivatePrivMsg(benchmark::State& state)
{
    Client client;
    const int lines = 20000;
    const std::string text = Messages("me", lines, 1);
    for (auto _ : state) {
        Deliver(client.socket, text);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_PrivatePrivMsg)->Unit(benchmark::kMillisecond);

// One names reply line per 50 names, as servers send it, for a channel of N users.
std::string NamesReply(int names)
{
    std::string text = ":me!u@h JOIN :#big\r\n";
    for (int i = 0; i < names; i += 50) {
        text += ":irc.test 353 me = #big :";
        for (int j = i; j < i + 50 && j < names; ++j) {
            text += (j % 10 == 0 ? "@" : "") + std::string("nick") + std::to_string(j) + " ";
        }
        text += "\r\n";
    }
    return text;
}

// Also reports the heap each user costs: the user, its place in the master list and in the
// channel's member list, their indexes included.
void BM_NamesReply(benchmark::State& state)
{
    const auto names = static_cast<int>(state.range(0));
    const std::string text = NamesReply(names);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<Client>();
        const std::int64_t before = bench::HeapBytesInUse();
        state.ResumeTiming();
        Deliver(client->socket, text);
        benchmark::DoNotOptimize(client->connection->Channels()->Item("#big"));
        state.PauseTiming();
        bytes = bench::HeapBytesInUse() - before;
        if (client->connection->Channels()->Item("#big")->Users()->Count() != names + 1) {
            state.SkipWithError("names missing");
        }
        client.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * names);
    state.counters["bytes_per_user"] = static_cast<double>(bytes) / names;
}
BENCHMARK(BM_NamesReply)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// Deleting an online connection that knows N users, all in one joined channel: every user
// leaves the member list and the master list, each with its events.
void BM_DeleteConnection(benchmark::State& state)
{
    const std::string text = NamesReply(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<Client>();
        Deliver(client->socket, text);
        state.ResumeTiming();
        client->connection->Delete();
        state.PauseTiming();
        if (client->connections.Count() != 0 || client->connection->Users()) {
            state.SkipWithError("not deleted");
        }
        client.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteConnection)->Arg(50000)->Unit(benchmark::kMillisecond);

// A busy channel's coming and going: 1,000,000 distinct nicks each join and then quit, part or
// are kicked. The connection forgets every one of them, so `heap_growth_bytes` (after the churn,
// against after the first batch, which sizes the tables) stays near zero.
void BM_JoinQuitChurn(benchmark::State& state, const char* leaving)
{
    constexpr int kPairs = 1'000'000;
    constexpr int kBatch = 10'000;
    const std::string_view how(leaving);
    const auto batch = [how](int first) {
        std::string text;
        for (int i = first; i < first + kBatch; ++i) {
            const std::string nick = "visitor" + std::to_string(i);
            text += ":" + nick + "!~v@host.example.net JOIN :#room\r\n";
            if (how == "kick") {
                text += ":me!u@h KICK #room " + nick + " :out\r\n";
            } else {
                text +=
                    ":" + nick + "!~v@host.example.net " + (how == "part" ? "PART #room" : "QUIT") + " :bye\r\n";
            }
        }
        return text;
    };
    std::int64_t growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<Client>();
        Deliver(client->socket, batch(0));
        const std::int64_t before = bench::HeapBytesInUse();
        state.ResumeTiming();
        for (int first = kBatch; first < kPairs; first += kBatch) {
            const std::string text = batch(first);
            Deliver(client->socket, text);
        }
        state.PauseTiming();
        growth = bench::HeapBytesInUse() - before;
        if (client->connection->Channels()->Item("#room")->Users()->Count() != 1) {
            state.SkipWithError("a visitor stayed in the channel");
        }
        client.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
    state.counters["heap_growth_bytes"] = static_cast<double>(growth);
}
BENCHMARK_CAPTURE(BM_JoinQuitChurn, quit, "quit")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JoinQuitChurn, part, "part")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JoinQuitChurn, kick, "kick")->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
