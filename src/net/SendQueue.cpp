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

SendQueue::SendQueue(Sink sink, Dropped dropped) : sink_(std::move(sink)), dropped_(std::move(dropped)) {}

void SendQueue::Reset(Timers* timers)
{
    Clear();
    timers_ = timers;
    busyUntil_ = timers_ != nullptr ? timers_->NowMs() : 0;
    registered_ = false;
}

void SendQueue::Clear()
{
    ++generation_;
    timer_.reset();
    typed_.clear();
    automatic_.clear();
    leaving_ = false;
    quit_.clear();
    then_ = nullptr;
}

SendPriority SendQueue::Classify(std::string_view line, bool registered, SendPriority asked)
{
    const std::string_view command = CommandOf(line);
    if (SameWord(command, "PONG")) {
        return SendPriority::Urgent;
    }
    if (!registered &&
        (SameWord(command, "PASS") || SameWord(command, "CAP") || SameWord(command, "NICK") ||
         SameWord(command, "USER") || SameWord(command, "AUTHENTICATE") || SameWord(command, "BOUNCER"))) {
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
        // The server closes the link on QUIT: it goes last, after what may still leave.
        quit_ = std::move(line);
        StartLeaving();
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

void SendQueue::PushUnpaced(std::string_view line)
{
    if (!leaving_) {
        sink_(line);
    }
}

void SendQueue::Leave(std::function<void()> then)
{
    then_ = std::move(then);
    StartLeaving();
}

void SendQueue::StartLeaving()
{
    if (!leaving_) {
        leaving_ = true;
        leaveBy_ = timers_ != nullptr ? timers_->NowMs() + kLeaveMs : 0;
    }
    if (Held() == 0 || timers_ == nullptr) {
        Left();
    } else {
        Drain(); // a pace timer already set may fall due after the leave's time
    }
}

void SendQueue::Left()
{
    timer_.reset();
    const std::uint32_t generation = generation_;
    const std::size_t dropped = Held();
    typed_.clear();
    automatic_.clear();
    if (dropped > 0 && dropped_ && (!dropped_(dropped) || generation != generation_)) {
        return;
    }
    leaving_ = false;
    if (const std::string quit = std::exchange(quit_, {}); !quit.empty()) {
        SendNow(quit, timers_ != nullptr ? timers_->NowMs() : 0);
        if (generation != generation_) {
            return;
        }
    }
    if (const std::function<void()> then = std::exchange(then_, nullptr)) {
        then();
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
        if (leaving_ && now >= leaveBy_) {
            break;
        }
        if (!HasRoom(now)) {
            Schedule(now);
            return;
        }
        auto& from = !typed_.empty() ? typed_ : automatic_;
        const std::string line = std::move(from.front());
        from.pop_front();
        const std::uint32_t generation = generation_;
        SendNow(line, now);
        if (timers_ == nullptr || generation != generation_) {
            return;
        }
        now = timers_->NowMs();
    }
    if (leaving_) {
        Left();
    }
}

void SendQueue::Schedule(std::int64_t now)
{
    std::int64_t wait = busyUntil_ - (kBurst - 1) * kIntervalMs - now;
    if (leaving_) {
        wait = std::min(wait, leaveBy_ - now);
    }
    timer_ = timers_->After(wait, [this] { Drain(); });
}

} // namespace tellix
