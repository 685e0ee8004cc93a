#include "net/LinkWatch.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace tellix {

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::string_view NextWord(std::string_view& rest)
{
    const std::size_t start = std::min(rest.find_first_not_of(' '), rest.size());
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

std::string_view NextItem(std::string_view& list)
{
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    return item;
}

} // namespace

LinkWatch::LinkWatch(Actions actions) : actions_(std::move(actions)) {}

void LinkWatch::Online(Timers* timers)
{
    retry_.reset();
    timers_ = timers;
    pinged_ = false;
    if (timers_ == nullptr) {
        return;
    }
    lastHeardMs_ = timers_->NowMs();
    silence_ = timers_->After(kSilenceMs, [this] { CheckSilence(); });
}

void LinkWatch::Heard()
{
    if (silence_ != nullptr) {
        // The timer is not moved for every line: it looks at this when it falls due.
        lastHeardMs_ = timers_->NowMs();
        pinged_ = false;
    }
}

void LinkWatch::CheckSilence()
{
    const std::int64_t now = timers_->NowMs();
    if (pinged_) {
        silence_.reset();
        actions_.drop();
        return; // the drop may have taken this object down with its connection
    }
    const std::int64_t quiet = now - lastHeardMs_;
    if (quiet < kSilenceMs) {
        silence_ = timers_->After(kSilenceMs - quiet, [this] { CheckSilence(); });
        return;
    }
    pinged_ = true;
    silence_ = timers_->After(kPingWaitMs, [this] { CheckSilence(); });
    actions_.ping();
}

void LinkWatch::Offline()
{
    silence_.reset();
    pinged_ = false;
}

void LinkWatch::Lost(Timers* timers, std::vector<std::string> joined)
{
    Offline();
    // An error and a close may both report the same loss: one try is enough.
    if (retry_ != nullptr) {
        return;
    }
    timers_ = timers;
    if (timers_ == nullptr) {
        return;
    }
    if (!retrying_ || !joined.empty()) {
        // A failed try has no channels; the ones from before it still wait.
        rejoin_ = std::move(joined);
    }
    retrying_ = true;
    const std::int64_t delay = delayMs_;
    delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
    retry_ = timers_->After(delay, [this] {
        retry_.reset();
        actions_.reconnect();
    });
}

std::vector<std::string> LinkWatch::Welcomed()
{
    delayMs_ = kFirstDelayMs;
    retrying_ = false;
    return std::exchange(rejoin_, {});
}

void LinkWatch::Stop()
{
    Offline();
    retry_.reset();
    retrying_ = false;
    delayMs_ = kFirstDelayMs;
    rejoin_.clear();
}

void LinkWatch::NoteSent(std::string_view line)
{
    std::string_view rest = line;
    const std::string_view command = NextWord(rest);
    if (command.size() != 4 || Lower(command) != "join") {
        return;
    }
    std::string_view channels = NextWord(rest);
    std::string_view keys = NextWord(rest);
    if (channels.starts_with(':')) {
        channels.remove_prefix(1);
        keys = {};
    }
    if (keys.starts_with(':')) {
        keys.remove_prefix(1);
    }
    while (!channels.empty()) {
        const std::string channel = Lower(NextItem(channels));
        const std::string_view key = NextItem(keys);
        if (key.empty()) {
            keys_.erase(channel);
        } else {
            keys_[channel] = std::string(key);
        }
    }
}

void LinkWatch::NoteKey(std::string_view channel, std::string_view key)
{
    if (!key.empty()) {
        keys_[Lower(channel)] = std::string(key);
    }
}

std::string LinkWatch::KeyOf(std::string_view channel) const
{
    const auto found = keys_.find(Lower(channel));
    return found != keys_.end() ? found->second : std::string();
}

std::vector<std::string> LinkWatch::JoinLines(const std::vector<std::string>& channels, std::size_t room) const
{
    struct Entry {
        std::string_view name;
        std::string key;
    };
    std::vector<Entry> keyed;
    std::vector<Entry> open;
    std::unordered_set<std::string> seen;
    for (const std::string& channel : channels) {
        if (channel.empty() || !seen.insert(Lower(channel)).second) {
            continue;
        }
        std::string key = KeyOf(channel);
        (key.empty() ? open : keyed).push_back({channel, std::move(key)});
    }
    std::vector<std::string> lines;
    std::string names;
    std::string keys;
    const auto flush = [&] {
        if (!names.empty()) {
            // A first key that opens with a colon could only be read as the trailing part.
            lines.push_back(keys.empty() ? "JOIN " + names
                                         : "JOIN " + names + (keys.starts_with(':') ? " :" : " ") + keys);
            names.clear();
            keys.clear();
        }
    };
    for (const std::vector<Entry>* group : {&keyed, &open}) {
        for (const Entry& entry : *group) {
            // "JOIN " names [" " keys]; each further item adds its comma.
            const std::size_t namesAfter = names.size() + (names.empty() ? 0 : 1) + entry.name.size();
            const std::size_t keysAfter = keys.size() + (keys.empty() ? 0 : 1) + entry.key.size();
            const std::size_t length = 5 + namesAfter + (keysAfter > 0 ? 1 + keysAfter : 0);
            if (!names.empty() && length > room) {
                flush();
            }
            names += names.empty() ? "" : ",";
            names += entry.name;
            if (!entry.key.empty()) {
                keys += keys.empty() ? "" : ",";
                keys += entry.key;
            }
        }
    }
    flush();
    return lines;
}

} // namespace tellix
