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
// queue. Held lines never leave faster, not even before a QUIT: a server drops a client that
// floods it, with everything it sent. So a QUIT, or a link being ended, waits behind what is
// held for a few seconds at most, what is still held then is dropped, and the QUIT goes last.
// Without timers every line goes out at once.
class SendQueue {
public:
    using Sink = std::function<void(std::string_view)>;
    // Told how many held lines were dropped when a leave ran out of time; false when the queue
    // may be gone since (its owner deleted by a listener), and so is left alone.
    using Dropped = std::function<bool(std::size_t)>;

    static constexpr std::int64_t kBurst = 5;
    static constexpr std::int64_t kIntervalMs = 2000;
    static constexpr std::size_t kLongLine = 400;
    // How long held lines may keep a QUIT or the end of a link waiting.
    static constexpr std::int64_t kLeaveMs = 3000;

    explicit SendQueue(Sink sink, Dropped dropped = {});
    SendQueue(const SendQueue&) = delete;
    SendQueue& operator=(const SendQueue&) = delete;

    // A new connection: nothing held, the whole burst free, registration not done.
    void Reset(Timers* timers);
    // A QUIT goes at once when nothing is held, else last of a leave.
    void Push(std::string line, SendPriority priority = SendPriority::Typed);
    // A request answered from what the server keeps (history), which the caller sends a few at
    // a time: it goes now and counts against nothing, so that fetching a hundred conversations
    // never holds back what the user types. Not while leaving.
    void PushUnpaced(std::string_view line);
    // The link is to end: held lines go on leaving at their pace for kLeaveMs at most, the rest
    // are dropped (and counted to Dropped), a QUIT pushed meanwhile goes, then `then` runs. At
    // once when nothing is held. Asked again while leaving, the leave keeps its time and `then`
    // is the one asked last.
    void Leave(std::function<void()> then);
    bool Leaving() const { return leaving_; }
    // Drops everything held: the link they were meant for is gone. A leave ends without its `then`.
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
    void StartLeaving();
    // The leave is through: what is still held is dropped and counted, the QUIT goes, then its
    // `then` runs.
    void Left();

    Sink sink_;
    Dropped dropped_;
    Timers* timers_ = nullptr;
    std::unique_ptr<Timer> timer_;
    std::deque<std::string> typed_;
    std::deque<std::string> automatic_;
    // The send clock: each line moves it on by its cost; a line may go while it runs less than
    // the burst ahead of now.
    std::int64_t busyUntil_ = 0;
    bool registered_ = false;
    bool leaving_ = false;
    std::int64_t leaveBy_ = 0;
    std::string quit_; // said last, when the leave is through
    std::function<void()> then_;
    // Moves on with every Clear and Reset: a listener of what the sink or Dropped raise may
    // clear the queue, and what was running then stops.
    std::uint32_t generation_ = 0;
};

} // namespace tellix
