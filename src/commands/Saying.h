#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

class IRCChannel;
class IRCConnection;

// `text` cut into pieces of at most `room` bytes (at least 4), never inside a UTF-8
// character, and before a blank near the end of a piece where there is one, so the pieces
// joined give the text back. The empty text is one empty piece.
std::vector<std::string_view> SplitMessage(std::string_view text, std::size_t room);

// The bytes of text one `command` line (PRIVMSG or NOTICE) to `target` may carry, `framing`
// bytes around the text counted, so that the server relays it whole.
std::size_t MessageRoom(const IRCConnection& connection, std::string_view command, std::string_view target,
                        std::size_t framing = 0);

// Says `text` to the channel, or an action when `action`, in as many messages as it takes,
// each shown as ours and sent. False when the channel's connection is not connected: then
// nothing is shown or sent.
bool SayToChannel(const std::shared_ptr<IRCChannel>& channel, std::string_view text, bool action);

// The CTCP ACTION framing around a text, and the bytes it adds.
inline constexpr std::size_t kActionFraming = 9; // \1 "ACTION " \1
std::string ActionOf(std::string_view text);

} // namespace tellix
