#include "net/SendQueue.h"

#include <algorithm>
#include <utility>

namespace tellix {

namespace {

std::string_view CommandOf(std::string_view line)
{
    return line.substr(0, line.find(' '));
}

bool SameWord(std::string_view word, std::string_view upper)
{
    return word.size() == upper.size() && std::equal(word.begin(), word.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

} // namespace

SendQueue::SendQueue(Sink sink) : sink_(std::move(sink)) {}

void SendQueue::Reset(Timers* timers)
{
    Clear();
    timers_ = timers;
    busyUntil_ = timers_ != nullptr ? timers_->NowMs() : 0;
    registered_ = false;
}

void SendQueue::Clear()
{
    timer_.reset();
    typed_.clear();
    automatic_.clear();
}

SendPriority SendQueue::Classify(std::string_view line, bool registered, SendPriority asked)
{
    const std::string_view command = CommandOf(line);
    if (SameWord(command, "PONG")) {
        return SendPriority::Urgent;
    }
    if (!registered && (SameWord(command, "PASS") || SameWord(command, "CAP") || SameWord(command, "NICK") ||
                        SameWord(command, "USER") || SameWord(command, "AUTHENTICATE"))) {
        return SendPriority::Urgent;
    }
    return asked;
}

void SendQueue::Push(std::string line, SendPriority priority)
{
    if (timers_ == nullptr) {
        sink_(line);
        return;
    }
    if (SameWord(CommandOf(line), "QUIT")) {
        // The server closes the link on QUIT, and the program may be going: nothing may wait.
        Flush();
        SendNow(line, timers_->NowMs());
        return;
    }
    const std::int64_t now = timers_->NowMs();
    switch (Classify(line, registered_, priority)) {
    case SendPriority::Urgent:
        SendNow(line, now);
        return;
    case SendPriority::Typed:
        typed_.push_back(std::move(line));
        break;
    case SendPriority::Automatic:
        automatic_.push_back(std::move(line));
        break;
    }
    if (timer_ == nullptr) {
        Drain(); // otherwise there is no room before the timer falls due
    }
}

void SendQueue::Flush()
{
    timer_.reset();
    const std::int64_t now = timers_ != nullptr ? timers_->NowMs() : 0;
    while (!typed_.empty() || !automatic_.empty()) {
        auto& from = !typed_.empty() ? typed_ : automatic_;
        const std::string line = std::move(from.front());
        from.pop_front();
        SendNow(line, now);
    }
}

void SendQueue::SetRegistered(bool registered)
{
    const bool welcomed = registered && !registered_;
    registered_ = registered;
    if (!welcomed || timers_ == nullptr) {
        return;
    }
    // Registration is a few lines, each waiting for its answer: were they counted, the joins
    // that follow every welcome would wait on the capability talk.
    busyUntil_ = std::min(busyUntil_, timers_->NowMs());
    if (Held() > 0) {
        // Later, not from inside the welcome's handling: the sink may raise events.
        timer_ = timers_->After(0, [this] { Drain(); });
    }
}

bool SendQueue::HasRoom(std::int64_t now) const
{
    return busyUntil_ - now <= (kBurst - 1) * kIntervalMs;
}

void SendQueue::SendNow(const std::string& line, std::int64_t now)
{
    busyUntil_ = std::max(busyUntil_, now) + (line.size() > kLongLine ? 2 : 1) * kIntervalMs;
    sink_(line);
}

void SendQueue::Drain()
{
    if (timers_ == nullptr) {
        return;
    }
    timer_.reset();
    // The sink may raise events whose listeners push or clear: the queues are read afresh
    // after every line.
    std::int64_t now = timers_->NowMs();
    while (!typed_.empty() || !automatic_.empty()) {
        if (!HasRoom(now)) {
            Schedule(now);
            return;
        }
        auto& from = !typed_.empty() ? typed_ : automatic_;
        const std::string line = std::move(from.front());
        from.pop_front();
        SendNow(line, now);
        if (timers_ == nullptr) {
            return;
        }
        now = timers_->NowMs();
    }
}

void SendQueue::Schedule(std::int64_t now)
{
    const std::int64_t wait = busyUntil_ - (kBurst - 1) * kIntervalMs - now;
    timer_ = timers_->After(wait, [this] { Drain(); });
}

} // namespace tellix
