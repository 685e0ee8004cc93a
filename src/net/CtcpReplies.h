#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tellix {

// Answers to the CTCP requests others send us in a private message: VERSION, PING, TIME and
// CLIENTINFO, at most one answer every two seconds, so that a flood of requests cannot make
// us flood the server and get thrown off.
class CtcpReplies {
public:
    static constexpr std::int64_t kGapMs = 2000;
    // An echoed PING argument longer than this is someone's attempt to make us send a lot.
    static constexpr std::size_t kLongestEcho = 128;

    // `localTime` gives the TIME answer; the system's local time when empty.
    explicit CtcpReplies(std::function<std::string()> localTime = {});

    // The NOTICE text that answers the private message `text` at `nowMs`; empty when it asks
    // nothing we answer or the last answer is too recent.
    std::string Answer(std::string_view text, std::int64_t nowMs);
    // A new connection: the limit starts afresh.
    void Reset() { answered_ = false; }

    static bool IsRequest(std::string_view text) { return text.size() >= 2 && text.front() == '\x01'; }
    // "Tellix major.minor.patch".
    static std::string VersionText();
    static std::string LocalTime();

private:
    std::function<std::string()> localTime_;
    bool answered_ = false;
    std::int64_t lastAnswerMs_ = 0;
};

} // namespace tellix
