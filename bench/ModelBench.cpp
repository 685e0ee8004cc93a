#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "HeapCounter.h"
#include "support/RecordingSocket.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using tellix::IRCChannel;
using tellix::IRCConnection;
using tellix::IRCUser;

std::vector<std::string> Names(std::int64_t count, const std::string& prefix)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        names.push_back(prefix + std::to_string(i));
    }
    return names;
}

// A names reply for a channel of new users: every name is looked up in the master
// list, created there, and added to the member list.
void NamesBurst(benchmark::State& state)
{
    const std::vector<std::string> names = Names(state.range(0), "nick");
    std::int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto connection = IRCConnection::Create();
        auto channel = connection->Channels()->Add("#big");
        const std::int64_t before = tellix::bench::HeapBytesInUse();
        state.ResumeTiming();
        auto& users = *connection->Users();
        auto& members = *channel->Users();
        for (const std::string& name : names) {
            members.AddExisting(users.GetUser(name));
        }
        benchmark::DoNotOptimize(members.Count());
        state.PauseTiming();
        bytes = tellix::bench::HeapBytesInUse() - before;
        channel.reset();
        connection.reset();
        state.ResumeTiming();
    }
    state.counters["per_name"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_user"] = static_cast<double>(bytes) / static_cast<double>(state.range(0));
}
BENCHMARK(NamesBurst)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// A user who shares 100 channels of 1,000 members each quits.
void QuitFanOut(benchmark::State& state)
{
    auto connection = IRCConnection::Create();
    auto& users = *connection->Users();
    std::vector<std::shared_ptr<IRCUser>> crowd;
    for (const std::string& name : Names(1000, "member")) {
        crowd.push_back(users.GetUser(name + "!u@host"));
    }
    std::vector<std::shared_ptr<IRCChannel>> rooms;
    for (const std::string& name : Names(state.range(0), "#room")) {
        auto room = connection->Channels()->Add(name);
        for (const auto& member : crowd) {
            room->Users()->AddExisting(member);
        }
        rooms.push_back(room);
    }
    std::int64_t quits = 0;
    auto counter = connection->Channels()->Events.Quit.connect(
        [&](const std::shared_ptr<IRCChannel>&, const std::shared_ptr<IRCUser>&, const std::string&) { ++quits; });
    auto quitter = users.GetUser("quitter!q@host");
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& room : rooms) {
            room->Users()->AddExisting(quitter);
        }
        state.ResumeTiming();
        quitter->ProcessQuit("bye");
    }
    if (quits != state.iterations() * state.range(0)) {
        state.SkipWithError("a channel missed the quit");
    }
}
BENCHMARK(QuitFanOut)->Arg(100)->Unit(benchmark::kMicrosecond);

// A member of a 50,000-user channel changes nick (and back, alternately).
void NickChange(benchmark::State& state)
{
    auto connection = IRCConnection::Create();
    auto channel = connection->Channels()->Add("#big");
    auto& users = *connection->Users();
    for (const std::string& name : Names(state.range(0), "nick")) {
        channel->Users()->AddExisting(users.GetUser(name));
    }
    auto user = users.Item(state.range(0) / 2);
    std::int64_t changes = 0;
    auto counter = channel->Events.NickChange.connect(
        [&](const std::shared_ptr<IRCUser>&, const std::string&) { ++changes; });
    const std::string nicks[2] = {"renamed", std::string(user->Nick())};
    std::size_t next = 0;
    for (auto _ : state) {
        user->SetNick(nicks[next]);
        next ^= 1;
    }
    if (changes != state.iterations() || channel->Users()->Item(user->Nick()) != user) {
        state.SkipWithError("nick change not seen");
    }
}
BENCHMARK(NickChange)->Arg(50000)->Unit(benchmark::kNanosecond);

// The own user joins a channel again whose member list holds 50,000 users.
void OwnRejoin(benchmark::State& state)
{
    // Online through a socket played by the benchmark, so the own user is the real one.
    tellix::test::RecordingSocketFactory factory;
    tellix::IRCConnections connections(factory);
    auto connection = connections.Add();
    connection->Connect("irc.test", 0);
    factory.created.back()->PeerConnects();
    auto& users = *connection->Users();
    auto me = connection->User();
    me->SetNick("me");
    auto channel = connection->Channels()->Add("#big");
    std::vector<std::shared_ptr<IRCUser>> crowd;
    for (const std::string& name : Names(state.range(0), "nick")) {
        crowd.push_back(users.GetUser(name));
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& member : crowd) {
            channel->Users()->AddExisting(member);
        }
        state.ResumeTiming();
        channel->ProcessJoin(me);
    }
    if (channel->Users()->Count() != 1) {
        state.SkipWithError("member list not emptied");
    }
}
BENCHMARK(OwnRejoin)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace
