// IRCConnection: what the server keeps of the conversations, their lines (draft/chathistory)
// and how far the user has read them (draft/read-marker).
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/ServerLine.h"
#include "platform/Timers.h"
#include "util/Concat.h"
#include "util/LineTime.h"
#include "util/Relay.h"

#include <chrono>
#include <limits>

namespace tellix {

namespace {

// A server that leaves a history request unanswered this long gets no more waiting.
constexpr std::int64_t kHistoryStallMs = 30'000;
// Batches open at once that get a playback number of their own; more share one.
constexpr std::size_t kMostBatches = 64;
constexpr std::uint64_t kSharedBatch = std::numeric_limits<std::uint64_t>::max();
// Conversations whose read marker is kept; a server naming more gets no further.
constexpr std::size_t kMostMarkers = 4096;

std::int64_t WallMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool IsChannelName(std::string_view name)
{
    return !name.empty() &&
           (name.front() == '#' || name.front() == '&' || name.front() == '!' || name.front() == '+');
}

std::string Folded(std::string_view name, CaseMapping mapping)
{
    std::string folded(name);
    for (char& c : folded) {
        c = FoldNickChar(c, mapping);
    }
    return folded;
}

} // namespace

bool IRCConnection::HistoryAvailable() const
{
    return registered_ && connected_ && caps_.Enabled("draft/chathistory") && caps_.Enabled("batch") &&
           caps_.Enabled("server-time");
}

bool IRCConnection::HistoryWanted(std::string_view target) const
{
    if (IsChannelName(target)) {
        const ChannelPtr channel = channels_ ? channels_->Item(target) : nullptr;
        return channel && channel->Joined();
    }
    // The user's talk with itself, and the bouncer's own services, are no conversations to fetch.
    return !target.empty() && target != "*" && !(user_ && CompareNicks(target, user_->Nick(), caseMapping_) == 0);
}

void IRCConnection::StartCatchUp()
{
    if (historyStarted_ || !HistoryAvailable()) {
        return;
    }
    historyStarted_ = true;
    history_.SetCaseMapping(caseMapping_);
    history_.AskMarkers(caps_.Enabled("draft/read-marker"));
    std::optional<std::int64_t> since;
    if (parent_ != nullptr && parent_->HistorySince) {
        since = parent_->HistorySince(*this);
    }
    // Without a line of the network the client knows of no gap: each channel as it is joined
    // shows its latest page.
    latestOnJoin_ = !since.has_value();
    if (since) {
        history_.CatchUp(*since, WallMs());
        RunHistory();
    }
}

void IRCConnection::HistoryJoined(const std::string& channel)
{
    if (latestOnJoin_ && HistoryAvailable()) {
        history_.Latest(channel);
        RunHistory();
    }
}

void IRCConnection::HistoryLinkGone()
{
    history_.Reset();
    historyStarted_ = false;
    latestOnJoin_ = false;
    historyTimer_.reset();
    batchNumbers_.clear();
    readMarkers_.clear();
}

void IRCConnection::BindHistory()
{
    history_.SetHooks({.wanted = [this](std::string_view target) { return HistoryWanted(target); },
                       .ownNick = [this] { return user_ ? std::string_view(user_->Nick()) : std::string_view(); },
                       .isChannel = [](std::string_view name) { return IsChannelName(name); }});
}

bool IRCConnection::FetchOlder(const std::string& target, std::int64_t oldest, std::string_view msgid)
{
    if (!HistoryAvailable() || !history_.FetchOlder(target, oldest, msgid)) {
        return false;
    }
    RunHistory();
    return true;
}

bool IRCConnection::RunHistory()
{
    const auto self = shared_from_this();
    bool asked = false;
    while (true) {
        for (const std::string& line : history_.TakeOutbox()) {
            if (socket_ != nullptr) {
                sendQueue_.PushUnpaced(line);
                asked = true;
            }
        }
        std::vector<ChatHistory::Finished> finished = history_.TakeFinished();
        if (finished.empty()) {
            break;
        }
        for (ChatHistory::Finished& done : finished) {
            const std::uint64_t number = NewReplayNumber();
            for (const std::string& line : done.lines) {
                ReplayLine(line, number, done.older);
                if (deleted_) {
                    return false;
                }
            }
            for (const std::string& line : done.held) {
                ReplayLine(line, 0, false);
                if (deleted_) {
                    return false;
                }
            }
            if (done.older && !Relay(*this).Up(&IRCConnections::RaiseHistoryFetched, Events.HistoryFetched,
                                               done.target, done.more)) {
                return false;
            }
            if (deleted_) {
                return false;
            }
        }
    }
    if (!history_.Busy()) {
        historyTimer_.reset();
    } else if (Timers* const timers = ProtocolTimers(); asked && timers != nullptr) {
        historyTimer_ = timers->After(kHistoryStallMs, [this] {
            const auto hold = shared_from_this();
            const auto timer = std::move(historyTimer_);
            history_.GiveUp();
            RunHistory();
        });
    }
    return true;
}

void IRCConnection::ReplayLine(const std::string& line, std::uint64_t number, bool older)
{
    const bool replaying = std::exchange(replaying_, true);
    const std::uint64_t previousNumber = std::exchange(replayNumber_, number);
    const bool previousOlder = std::exchange(replayOlder_, older);
    ProcessServerMessage(line);
    replaying_ = replaying;
    replayNumber_ = previousNumber;
    replayOlder_ = previousOlder;
}

void IRCConnection::NoteBatch(std::string_view reference)
{
    if (reference.size() < 2) {
        return;
    }
    const std::string id(reference.substr(1));
    if (reference.front() == '+') {
        if (batchNumbers_.size() < kMostBatches) {
            batchNumbers_[id] = NewReplayNumber();
        }
    } else if (reference.front() == '-') {
        batchNumbers_.erase(id);
    }
}

std::uint64_t IRCConnection::BatchNumber(std::string_view id)
{
    const auto found = batchNumbers_.find(std::string(id));
    return found != batchNumbers_.end() ? found->second : kSharedBatch;
}

bool IRCConnection::ReceiveMarkRead(const ServerLine& line)
{
    // ":server MARKREAD <target> <timestamp=...|*>"
    const std::string_view target = line.Target();
    const std::string_view value = line.LastParam(4);
    if (target.empty() || !value.starts_with("timestamp=")) {
        return true; // "*": the server knows of no marker
    }
    const std::optional<std::int64_t> ms = ParseServerTime(value.substr(10));
    if (!ms) {
        return true;
    }
    std::string key = Folded(target, caseMapping_);
    const auto found = readMarkers_.find(key);
    if (found == readMarkers_.end()) {
        if (readMarkers_.size() >= kMostMarkers) {
            return true;
        }
        readMarkers_.emplace(std::move(key), *ms);
    } else if (*ms <= found->second) {
        return true; // only ever forward
    } else {
        found->second = *ms;
    }
    Relay(*this).Up(&IRCConnections::RaiseReadMarkerMove, Events.ReadMarkerMove, std::string(target));
    return true;
}

std::optional<std::int64_t> IRCConnection::ReadMarker(std::string_view target) const
{
    if (readMarkers_.empty()) {
        return std::nullopt;
    }
    const auto found = readMarkers_.find(Folded(target, caseMapping_));
    return found != readMarkers_.end() ? std::optional(found->second) : std::nullopt;
}

bool IRCConnection::MarkRead(std::string_view target, std::int64_t ms)
{
    if (!registered_ || !caps_.Enabled("draft/read-marker") || target.empty()) {
        return false;
    }
    if (const std::optional<std::int64_t> marker = ReadMarker(target); marker && *marker >= ms) {
        return false;
    }
    SendMessage(Concat("MARKREAD ", target, " timestamp=", FormatServerTime(ms)), SendPriority::Automatic);
    return true;
}

} // namespace tellix
