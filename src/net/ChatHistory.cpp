#include "net/ChatHistory.h"

#include "model/UserMask.h"
#include "net/ServerLine.h"
#include "util/Concat.h"
#include "util/LineTime.h"

#include <absl/container/flat_hash_set.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace tellix {

namespace {

// Far more than a page: a server that asks for more gets its own limit halved at most.
constexpr std::int32_t kLargestPage = 500;
// TARGETS asks up to a day past the client's clock, for a server whose clock runs ahead.
constexpr std::int64_t kClockSlackMs = 86'400'000;

std::string TimeReference(std::int64_t ms)
{
    return Concat("timestamp=", FormatServerTime(ms));
}

std::optional<std::int64_t> TimeOf(const ServerLine& line)
{
    const std::optional<std::string_view> time = line.RawTag("time");
    return time ? ParseServerTime(*time) : std::nullopt;
}

// A msgid a request can name: one word, no tag escapes.
bool Nameable(std::string_view msgid)
{
    return !msgid.empty() && msgid.find_first_of(" \\;\r\n") == std::string_view::npos && msgid.front() != ':';
}

// History's own lines come with a prefix; a server that leaves it out of BATCH or of a
// TARGETS line is read as if it had given one.
struct Prefixed {
    explicit Prefixed(const ServerLine& line)
    {
        if (line.Kind() == ServerLine::Form::Prefixed || line.Line().empty()) {
            view = &line;
        } else {
            text = Concat(":server ", line.Line());
            own.emplace(text);
            view = &*own;
        }
    }
    std::string text;
    std::optional<ServerLine> own;
    const ServerLine* view = nullptr;
};

} // namespace

void ChatHistory::SetLimit(std::string_view value)
{
    std::int32_t limit = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), limit);
    limit_ = error == std::errc() && end == value.data() + value.size() && limit > 0 ? limit : 0;
}

std::int32_t ChatHistory::PageSize() const
{
    return limit_ > 0 ? std::min(limit_, kLargestPage) : kPage;
}

std::string ChatHistory::Fold(std::string_view name) const
{
    std::string folded(name);
    for (char& c : folded) {
        c = FoldNickChar(c, mapping_);
    }
    return folded;
}

void ChatHistory::Reset()
{
    since_.reset();
    targetsAsked_ = false;
    targetsBatch_.clear();
    targets_.clear();
    targetsNamed_.clear();
    fetches_.clear();
    waiting_.clear();
    batches_.clear();
    outbox_.clear();
    finished_.clear();
}

void ChatHistory::CatchUp(std::int64_t since, std::int64_t now)
{
    Reset();
    since_ = since;
    // Newest first, so that a server with more than the limit names the latest.
    const std::int32_t most = limit_ > 0 ? std::min<std::int32_t>(limit_, kMostTargets) : kMostTargets;
    outbox_.push_back(
        Concat("CHATHISTORY TARGETS ", TimeReference(now + kClockSlackMs), " ", TimeReference(since), " ", most));
    targetsAsked_ = true;
}

void ChatHistory::Latest(const std::string& target)
{
    Queue(target, std::nullopt);
    SendWaiting();
}

bool ChatHistory::FetchOlder(const std::string& target, std::int64_t oldest, std::string_view msgid)
{
    const std::string key = Fold(target);
    if (target.empty() || fetches_.contains(key)) {
        return false;
    }
    Fetch& fetch = fetches_[key];
    fetch.target = target;
    fetch.older = true;
    fetch.holding = false;
    fetch.olderThan = oldest;
    fetch.olderMsgid = Nameable(msgid) ? std::string(msgid) : std::string();
    waiting_.push_back(key);
    SendWaiting();
    return true;
}

void ChatHistory::Queue(const std::string& target, std::optional<std::int64_t> since)
{
    const std::string key = Fold(target);
    if (target.empty() || fetches_.contains(key)) {
        return;
    }
    Fetch& fetch = fetches_[key];
    fetch.target = target;
    fetch.since = since;
    waiting_.push_back(key);
}

void ChatHistory::SendWaiting()
{
    std::size_t sent = 0;
    for (const auto& [key, fetch] : fetches_) {
        sent += fetch.sent ? 1 : 0;
    }
    while (sent < kParallel && !waiting_.empty()) {
        const std::string key = std::move(waiting_.front());
        waiting_.pop_front();
        const auto found = fetches_.find(key);
        if (found == fetches_.end()) {
            continue;
        }
        Fetch& fetch = found->second;
        const std::int32_t size = PageSize();
        if (fetch.older) {
            Request(fetch, Concat("CHATHISTORY BEFORE ", fetch.target, " ",
                                  fetch.olderMsgid.empty() ? TimeReference(fetch.olderThan)
                                                           : Concat("msgid=", fetch.olderMsgid),
                                  " ", size));
        } else {
            // A private conversation's read marker comes only when asked for; the answer
            // arrives before its lines.
            if (askMarkers_ && hooks_.isChannel && !hooks_.isChannel(fetch.target)) {
                outbox_.push_back(Concat("MARKREAD ", fetch.target));
            }
            Request(fetch, Concat("CHATHISTORY LATEST ", fetch.target, " ",
                                  fetch.since ? TimeReference(*fetch.since) : std::string("*"), " ", size));
        }
        ++sent;
    }
}

void ChatHistory::Request(Fetch& fetch, const std::string& line)
{
    fetch.sent = true;
    fetch.asked = PageSize();
    outbox_.push_back(line);
}

std::string_view ChatHistory::ConversationOf(const ServerLine& line) const
{
    const std::string_view to = line.Target();
    if (hooks_.isChannel && hooks_.isChannel(to)) {
        return to;
    }
    const std::string_view sender = UserMaskNick(line.Sender());
    const std::string_view own = hooks_.ownNick ? hooks_.ownNick() : std::string_view();
    const auto same = [this](std::string_view a, std::string_view b) { return CompareNicks(a, b, mapping_) == 0; };
    if (!own.empty() && same(sender, own)) {
        return to;
    }
    // Said to the user; anything between two others is no conversation of the user's.
    return own.empty() || same(to, own) ? sender : std::string_view();
}

bool ChatHistory::Take(const ServerLine& received, std::string_view raw)
{
    if (fetches_.empty() && !targetsAsked_) {
        return false;
    }
    const Prefixed prefixed(received);
    const ServerLine& line = *prefixed.view;
    const std::optional<std::string_view> batch = line.RawTag("batch");
    if (batch && !batch->empty()) {
        if (!targetsBatch_.empty() && *batch == targetsBatch_) {
            return TakeTargetsLine(line);
        }
        if (const auto open = batches_.find(std::string(*batch)); open != batches_.end()) {
            // A page longer than asked keeps what was asked for; the rest is dropped.
            if (const auto fetch = fetches_.find(open->second);
                fetch != fetches_.end() &&
                fetch->second.page.size() < static_cast<std::size_t>(fetch->second.asked)) {
                fetch->second.page.emplace_back(raw);
            }
            return true;
        }
    }
    const std::string_view command = line.Command();
    if (command == "BATCH") {
        const std::string_view reference = line.Word(3);
        if (reference.size() < 2) {
            return false;
        }
        const std::string id(reference.substr(1));
        if (reference.front() == '+') {
            const std::string_view type = line.Word(4);
            if (type == "draft/chathistory-targets" && targetsAsked_ && targetsBatch_.empty()) {
                targetsBatch_ = id;
                return true;
            }
            if (type != "chathistory" || batches_.contains(id)) {
                return false;
            }
            const auto fetch = fetches_.find(Fold(line.LastParam(5)));
            if (fetch == fetches_.end() || !fetch->second.sent || !fetch->second.batch.empty()) {
                return false;
            }
            fetch->second.batch = id;
            batches_[id] = fetch->first;
            return true;
        }
        if (reference.front() == '-') {
            if (!targetsBatch_.empty() && id == targetsBatch_) {
                targetsAsked_ = false;
                targetsBatch_.clear();
                targetsNamed_.clear();
                for (const std::string& target : std::exchange(targets_, {})) {
                    if (!hooks_.wanted || hooks_.wanted(target)) {
                        Queue(target, since_);
                    }
                }
                SendWaiting();
                return true;
            }
            const auto open = batches_.find(id);
            if (open == batches_.end()) {
                return false;
            }
            const std::string key = open->second;
            batches_.erase(open);
            PageDone(key);
            return true;
        }
        return false;
    }
    if (command == "FAIL" && line.Word(3) == "CHATHISTORY") {
        if (line.Word(5) == "TARGETS" && targetsAsked_) {
            targetsAsked_ = false;
            targetsBatch_.clear();
            return true;
        }
        // The failed request names its conversation, or else is the first one unanswered.
        std::string key = Fold(line.Word(6));
        const auto named = fetches_.find(key);
        if (named == fetches_.end() || !named->second.sent || !named->second.batch.empty()) {
            key.clear();
            for (const auto& [k, fetch] : fetches_) {
                if (fetch.sent && fetch.batch.empty()) {
                    key = k;
                    break;
                }
            }
        }
        if (!key.empty()) {
            Finish(key, false);
        }
        return true;
    }
    if ((command == "PRIVMSG" || command == "NOTICE") && !batch) {
        const auto fetch = fetches_.find(Fold(ConversationOf(line)));
        if (fetch != fetches_.end() && fetch->second.holding) {
            Hold(fetch->second, raw);
            return fetch->second.holding;
        }
    }
    return false;
}

bool ChatHistory::TakeTargetsLine(const ServerLine& line)
{
    // ":server CHATHISTORY TARGETS <target> <time>"
    if (line.Command() == "CHATHISTORY" && line.Word(3) == "TARGETS" && targets_.size() < kMostTargets) {
        const std::string_view target = line.Word(4);
        if (!target.empty() && targetsNamed_.insert(Fold(target)).second) {
            targets_.emplace_back(target);
        }
    }
    return true;
}

void ChatHistory::Hold(Fetch& fetch, std::string_view raw)
{
    if (fetch.held.size() < kMostHeld) {
        fetch.held.emplace_back(raw);
        return;
    }
    // Too long a wait: what is held goes now, and what follows is shown as it comes.
    fetch.holding = false;
    Finished released;
    released.target = fetch.target;
    released.held = std::exchange(fetch.held, {});
    finished_.push_back(std::move(released));
}

void ChatHistory::PageDone(const std::string& key)
{
    const auto found = fetches_.find(key);
    if (found == fetches_.end()) {
        return;
    }
    Fetch& fetch = found->second;
    std::optional<std::int64_t> pageOldest;
    std::string_view pageOldestMsgid;
    for (const std::string& raw : fetch.page) {
        const ServerLine line(raw);
        const std::optional<std::int64_t> time = TimeOf(line);
        if (time && (!pageOldest || *time < *pageOldest)) {
            pageOldest = time;
            pageOldestMsgid = line.RawTag("msgid").value_or(std::string_view());
        }
    }
    const auto count = static_cast<std::int32_t>(fetch.page.size());
    // The page back before the oldest line so far: no further back, no further page.
    const bool progress = pageOldest && (!fetch.oldest || *pageOldest < *fetch.oldest);
    if (progress) {
        fetch.oldest = pageOldest;
        fetch.oldestMsgid = pageOldestMsgid;
    }
    fetch.pages_.push_back(std::exchange(fetch.page, {}));
    fetch.batch.clear();
    ++fetch.pages;
    if (fetch.older) {
        Finish(key, count > 0);
        return;
    }
    if (fetch.since && count >= fetch.asked && progress && *fetch.oldest > *fetch.since &&
        fetch.pages < kMostPages) {
        Request(fetch, Concat("CHATHISTORY BEFORE ", fetch.target, " ",
                              Nameable(fetch.oldestMsgid) ? Concat("msgid=", fetch.oldestMsgid)
                                                          : TimeReference(*fetch.oldest),
                              " ", PageSize()));
        return;
    }
    Finish(key, false);
}

void ChatHistory::Finish(const std::string& key, bool more)
{
    const auto found = fetches_.find(key);
    if (found == fetches_.end()) {
        return;
    }
    Fetch fetch = std::move(found->second);
    fetches_.erase(found);
    if (!fetch.batch.empty()) {
        batches_.erase(fetch.batch);
    }
    if (!fetch.page.empty()) {
        fetch.pages_.push_back(std::exchange(fetch.page, {}));
    }
    Finished done;
    done.target = fetch.target;
    done.older = fetch.older;
    done.more = more;
    done.lines = Clean(fetch);
    done.held = std::move(fetch.held);
    finished_.push_back(std::move(done));
    SendWaiting();
}

void ChatHistory::GiveUp()
{
    targetsAsked_ = false;
    targetsBatch_.clear();
    targets_.clear();
    targetsNamed_.clear();
    waiting_.clear();
    std::vector<std::string> keys;
    for (const auto& [key, fetch] : fetches_) {
        keys.push_back(key);
    }
    for (const std::string& key : keys) {
        Finish(key, false);
    }
    waiting_.clear();
}

std::vector<std::string> ChatHistory::Clean(Fetch& fetch) const
{
    struct Entry {
        std::int64_t time;
        std::string* raw;
    };
    std::vector<Entry> entries;
    absl::flat_hash_set<std::string_view> msgids;
    const std::string key = Fold(fetch.target);
    // Pages came newest first; the lines of each are in the server's order.
    for (auto page = fetch.pages_.rbegin(); page != fetch.pages_.rend(); ++page) {
        for (std::string& raw : *page) {
            const ServerLine line(raw);
            // Without event-playback only messages belong here: a JOIN or MODE would change
            // the channel as it is now.
            if (line.Kind() != ServerLine::Form::Prefixed ||
                (line.Command() != "PRIVMSG" && line.Command() != "NOTICE") || Fold(ConversationOf(line)) != key) {
                continue;
            }
            const std::optional<std::int64_t> time = TimeOf(line);
            // A page back may reach past the newest line the client had: those are had already.
            if (time && fetch.since && *time < *fetch.since) {
                continue;
            }
            if (const std::optional<std::string_view> msgid = line.RawTag("msgid");
                msgid && !msgid->empty() && !msgids.insert(*msgid).second) {
                continue;
            }
            entries.push_back({time.value_or(std::numeric_limits<std::int64_t>::max()), &raw});
        }
    }
    if (!std::is_sorted(entries.begin(), entries.end(),
                        [](const Entry& a, const Entry& b) { return a.time < b.time; })) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.time < b.time; });
    }
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    for (const Entry& entry : entries) {
        lines.push_back(std::move(*entry.raw));
    }
    return lines;
}

} // namespace tellix
