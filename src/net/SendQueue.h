#pragma once

#include "platform/Timers.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tellix {

// Who asked for a line: what the user typed goes before what the client sends by itself.
enum class SendPriority { Urgent, Typed, Automatic };

// What we send, paced as the large networks' flood limits expect: a burst of a few lines,
// then one line every interval, a long line counting as two. PONG and registration jump the
// queue; QUIT sends everything held, then itself, at once. Without timers every line goes out
// at once.
class SendQueue {
public:
    using Sink = std::function<void(std::string_view)>;

    static constexpr std::int64_t kBurst = 5;
    static constexpr std::int64_t kIntervalMs = 2000;
    static constexpr std::size_t kLongLine = 400;

    explicit SendQueue(Sink sink);
    SendQueue(const SendQueue&) = delete;
    SendQueue& operator=(const SendQueue&) = delete;

    // A new connection: nothing held, the whole burst free, registration not done.
    void Reset(Timers* timers);
    void Push(std::string line, SendPriority priority = SendPriority::Typed);
    // Sends everything held, at once.
    void Flush();
    // Drops everything held: the link they were meant for is gone.
    void Clear();
    std::size_t Held() const { return typed_.size() + automatic_.size(); }
    // After the welcome NICK and USER are paced like any other line, and the burst is whole.
    void SetRegistered(bool registered);
    bool Registered() const { return registered_; }

    // The priority a line really gets when asked for with `asked`.
    static SendPriority Classify(std::string_view line, bool registered, SendPriority asked);

private:
    bool HasRoom(std::int64_t now) const;
    void SendNow(const std::string& line, std::int64_t now);
    void Drain();
    void Schedule(std::int64_t now);

    Sink sink_;
    Timers* timers_ = nullptr;
    std::unique_ptr<Timer> timer_;
    std::deque<std::string> typed_;
    std::deque<std::string> automatic_;
    // The send clock: each line moves it on by its cost; a line may go while it runs less than
    // the burst ahead of now.
    std::int64_t busyUntil_ = 0;
    bool registered_ = false;
};

} // namespace tellix
