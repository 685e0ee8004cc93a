#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

class ServerLine;

// A numeric reply to one of the user's commands (WHOIS, LIST, NAMES, ban lists, away, and
// their errors) as a line a person reads, and where it belongs.
struct ReadableReply {
    // Which window shows it: the one that asked; or the window of the channel, or of the
    // partner, named by `about` when there is one.
    enum class Where { Asker, Channel, Partner };
    std::string numeric;
    // The event line; empty when the reply lacks what its line needs (then nothing is shown).
    std::string text;
    Where where = Where::Asker;
    std::string about;
    // Shown only when the user asked for it (a names reply also comes with every join).
    bool onlyAsked = false;
};

// The readable form of `line`; nothing for a line that is not such a reply. Control
// characters of the server's text (other than IRC formatting) read as U+FFFD.
std::optional<ReadableReply> ReadReply(const ServerLine& line);

// One row of a channel listing (322): the name, the user count and the topic, control
// characters of the topic read as U+FFFD; nothing when name or count is missing or unreadable.
struct ListedChannel {
    std::string name;
    std::uint64_t users = 0;
    std::string topic;
};
std::optional<ListedChannel> ReadListedChannel(const ServerLine& line);

// The answer to a CTCP request, `reply` being what came between the \x01s:
// "*** CTCP VERSION reply from bob: HexChat 2.16". The answer to a PING of ours reads as its
// round trip, "*** CTCP PING reply from bob: 0.250 s".
std::string CtcpReplyText(std::string_view nick, std::string_view reply, std::optional<std::int64_t> roundTripMs);

// "1d 2h 3m 4s" for a count of seconds; "0s" for none.
std::string Duration(std::uint64_t seconds);

} // namespace tellix
