#include "net/CtcpReplies.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <utility>

namespace tellix {

namespace {

bool SameWord(std::string_view word, std::string_view upper)
{
    return word.size() == upper.size() && std::equal(word.begin(), word.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

std::string Wrap(std::string_view body)
{
    std::string out;
    out.reserve(body.size() + 2);
    out += '\x01';
    out += body;
    out += '\x01';
    return out;
}

} // namespace

CtcpReplies::CtcpReplies(std::function<std::string()> localTime)
    : localTime_(localTime ? std::move(localTime) : std::function<std::string()>(&CtcpReplies::LocalTime))
{
}

std::string CtcpReplies::VersionText()
{
    return "Tellix " + std::to_string(TELLIX_VERSION_MAJOR) + "." + std::to_string(TELLIX_VERSION_MINOR) + "." +
           std::to_string(TELLIX_VERSION_PATCH);
}

std::string CtcpReplies::LocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return {};
    }
    std::array<char, 64> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%a %b %d %H:%M:%S %Y", &local);
    return std::string(text.data(), length);
}

std::string CtcpReplies::Answer(std::string_view text, std::int64_t nowMs)
{
    if (!IsRequest(text)) {
        return {};
    }
    // The closing \x01 is often left off; anything after it is not part of the request.
    std::string_view body = text.substr(1);
    body = body.substr(0, body.find('\x01'));
    const std::size_t blank = body.find(' ');
    const std::string_view command = body.substr(0, blank);
    const std::string_view argument =
        blank == std::string_view::npos ? std::string_view() : body.substr(blank + 1);

    const bool version = SameWord(command, "VERSION");
    const bool ping = SameWord(command, "PING");
    const bool time = SameWord(command, "TIME");
    if (!version && !ping && !time && !SameWord(command, "CLIENTINFO")) {
        return {};
    }
    if (answered_ && nowMs - lastAnswerMs_ < kGapMs) {
        return {};
    }
    answered_ = true;
    lastAnswerMs_ = nowMs;
    if (version) {
        return Wrap("VERSION " + VersionText());
    }
    if (ping) {
        return Wrap(argument.empty() ? std::string("PING")
                                     : std::string("PING ").append(argument.substr(0, kLongestEcho)));
    }
    if (time) {
        return Wrap("TIME " + localTime_());
    }
    return Wrap("CLIENTINFO ACTION CLIENTINFO PING TIME VERSION");
}

} // namespace tellix
