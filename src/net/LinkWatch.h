#pragma once

#include "platform/Timers.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tellix {

// Keeps a connection alive for a user who asked for it: notices a link gone silent, tries
// again after an unexpected loss (waiting longer each time), and remembers the channels to
// join again, keys included.
// A channel to join, with its key where it needs one.
struct ChannelAndKey {
    std::string name;
    std::string key;
    bool operator==(const ChannelAndKey&) const = default;
};

class LinkWatch {
public:
    static constexpr std::int64_t kFirstDelayMs = 10'000;
    static constexpr std::int64_t kLongestDelayMs = 300'000;
    static constexpr std::int64_t kSilenceMs = 120'000;
    static constexpr std::int64_t kPingWaitMs = 60'000;

    struct Actions {
        std::function<void()> ping;      // ask the server for a sign of life
        std::function<void()> drop;      // the link is dead: close it as lost
        std::function<void()> reconnect; // time for the next try
    };

    explicit LinkWatch(Actions actions);
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // Online: silence from now on is counted.
    void Online(Timers* timers);
    // Something arrived from the server.
    void Heard();
    // Offline: nothing more is counted.
    void Offline();
    // Lost without being asked: the next try after the current delay, and the one after that
    // waits twice as long, up to the longest.
    void Lost(Timers* timers, std::vector<std::string> joined);
    // Welcomed by the server: the channels we were in, once; the next loss waits the shortest
    // time again.
    std::vector<std::string> Welcomed();
    // The user connected, disconnected or quit: no more tries, nothing to join again.
    void Stop();

    // A try is running or waiting for its time.
    bool Retrying() const { return retrying_; }
    std::int64_t NextDelayMs() const { return delayMs_; }
    // Reads the keys of a JOIN we send, so that a channel joined with a key is joined again
    // with it.
    void NoteSent(std::string_view line);
    std::string KeyOf(std::string_view channel) const;
    // A key the user gave for a channel, as if a JOIN with it had gone out.
    void NoteKey(std::string_view channel, std::string_view key);
    // JOIN lines of at most `room` bytes for `channels`, each once (in any letter case), with
    // their keys: as few lines as fit, the keyed channels first in each so keys pair up.
    std::vector<std::string> JoinLines(const std::vector<std::string>& channels, std::size_t room) const;

private:
    void CheckSilence();

    Actions actions_;
    Timers* timers_ = nullptr;
    std::unique_ptr<Timer> silence_;
    std::unique_ptr<Timer> retry_;
    std::int64_t lastHeardMs_ = 0;
    bool pinged_ = false;
    bool retrying_ = false;
    std::int64_t delayMs_ = kFirstDelayMs;
    std::vector<std::string> rejoin_;
    std::unordered_map<std::string, std::string> keys_; // by lower-case channel name
};

} // namespace tellix
