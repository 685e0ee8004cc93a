#pragma once

#include "model/NickRanks.h"

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class ServerLine;

// The lines a server keeps of the user's conversations (draft/chathistory): after the welcome,
// what was said since the newest line the client has, one conversation after another and page
// by page back to that line; on request, a page older than what a window shows. It only reads
// lines and says what to send and what to show; the connection sends and shows.
//
// What a server sends may be hostile: a batch that never ends, one far longer than asked,
// lines out of order, twice or for another conversation. Each costs at most the lines asked
// for, held once, in time about linear in them; what does not belong is dropped.
class ChatHistory {
public:
    // Lines asked for per page where the server names no smaller limit.
    static constexpr std::int32_t kPage = 100;
    // Pages fetched back per conversation after the welcome, at most.
    static constexpr std::int32_t kMostPages = 50;
    // Conversations fetched at once.
    static constexpr std::size_t kParallel = 4;
    // Live lines of a conversation held back while its missed lines are fetched, at most.
    static constexpr std::size_t kMostHeld = 1000;
    // Conversations a TARGETS reply may name.
    static constexpr std::size_t kMostTargets = 1000;

    // What the connection needs to know of its own.
    struct Hooks {
        // Whether a conversation the server names is fetched (a channel only while joined).
        std::function<bool(std::string_view target)> wanted;
        // The own nick, for the lines of a private conversation.
        std::function<std::string_view()> ownNick;
        // Whether a name is a channel's.
        std::function<bool(std::string_view name)> isChannel;
    };
    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // How conversation names compare.
    void SetCaseMapping(CaseMapping mapping) { mapping_ = mapping; }
    // The server's CHATHISTORY= value: the most lines one request may ask for (0: no limit).
    void SetLimit(std::string_view value);
    // Whether a private conversation's read marker is asked for before its lines.
    void AskMarkers(bool ask) { askMarkers_ = ask; }
    // The link ended: nothing is waited for any more, held lines go.
    void Reset();

    // After the welcome: the conversations with lines newer than `since` (milliseconds; the
    // newest line the client has of the network), each fetched back to it.
    void CatchUp(std::int64_t since, std::int64_t now);
    // The latest page of a conversation the client has no line of.
    void Latest(const std::string& target);
    // A page of lines older than `oldest` (milliseconds) or than the line `msgid` names; false
    // while one for that conversation is on its way already.
    bool FetchOlder(const std::string& target, std::int64_t oldest, std::string_view msgid);
    // Whether anything is on its way.
    bool Busy() const { return !fetches_.empty() || targetsAsked_; }
    // The server stopped answering: what came so far is shown.
    void GiveUp();

    // Each received line before the dispatcher, `raw` as received: true when history takes
    // it (its batches and their lines, its failures, a live line held back while its
    // conversation's missed lines come).
    bool Take(const ServerLine& line, std::string_view raw);

    // Lines to send now.
    std::vector<std::string> TakeOutbox() { return std::exchange(outbox_, {}); }
    // A fetch that ended: its lines (oldest first, each once, all of the conversation), to be
    // handled as received; then live lines held back meanwhile.
    struct Finished {
        std::string target;
        bool older = false;
        // An older fetch that found lines: there may be more before them.
        bool more = false;
        std::vector<std::string> lines;
        std::vector<std::string> held;
    };
    std::vector<Finished> TakeFinished() { return std::exchange(finished_, {}); }

    // The conversation a PRIVMSG or NOTICE belongs to: the channel, else the partner.
    std::string_view ConversationOf(const ServerLine& line) const;

private:
    struct Fetch {
        std::string target;
        bool older = false;
        std::optional<std::int64_t> since;
        bool sent = false;
        std::string batch; // the open page's, once it started
        std::int32_t asked = 0;
        std::int32_t pages = 0;
        std::vector<std::string> page;
        std::vector<std::vector<std::string>> pages_; // newest page first
        std::vector<std::string> held;
        bool holding = true;
        // The oldest line of the pages so far.
        std::optional<std::int64_t> oldest;
        std::string oldestMsgid;
        std::int64_t olderThan = 0;
        std::string olderMsgid;
    };

    std::string Fold(std::string_view name) const;
    std::int32_t PageSize() const;
    void Queue(const std::string& target, std::optional<std::int64_t> since);
    void SendWaiting();
    void Request(Fetch& fetch, const std::string& line);
    void PageDone(const std::string& key);
    void Finish(const std::string& key, bool more);
    // The lines of a fetch as they are shown: its own only, each once, in time order.
    std::vector<std::string> Clean(Fetch& fetch) const;
    void Hold(Fetch& fetch, std::string_view raw);
    bool TakeTargetsLine(const ServerLine& line);

    Hooks hooks_;
    CaseMapping mapping_ = CaseMapping::Rfc1459;
    std::int32_t limit_ = 0;
    bool askMarkers_ = false;
    std::optional<std::int64_t> since_;
    bool targetsAsked_ = false;
    std::string targetsBatch_;
    std::vector<std::string> targets_;
    absl::flat_hash_set<std::string> targetsNamed_; // folded, so that each is named once
    // By folded conversation; their order of asking, those not asked yet at the end.
    absl::flat_hash_map<std::string, Fetch> fetches_;
    std::deque<std::string> waiting_;
    // Open pages: batch id to folded conversation.
    absl::flat_hash_map<std::string, std::string> batches_;
    std::vector<std::string> outbox_;
    std::vector<Finished> finished_;
};

} // namespace tellix
