#pragma once

#include "platform/ChildView.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tellix {

class IRCUser;

// The texts a window writes for what IRC reports, shared by the channel and query windows
// and the status window. A user counts as "own" when it is the connection's own user.
namespace texts {

// "nick (user@host)"
std::string UserWithMask(const IRCUser& user);
std::string Kick(const IRCUser& source, const IRCUser& destination, std::string_view channel,
                 std::string_view reason);
std::string NickChange(const IRCUser& source, std::string_view nickPrev);
std::string Quit(const IRCUser& source, std::string_view quitMsg);
// "-nick- notice" and "<nick> message"
std::string Notice(std::string_view nick, std::string_view notice);
std::string Message(std::string_view nick, std::string_view message);
// A channel or private message: an action, another client-to-client request, or said text.
std::string ChannelMessage(std::string_view nick, std::string_view message);
// The same appended to `out`; a said text or an action that replies to another line has
// `quote` before it ("> alice: the build is… | ").
void AppendChannelMessage(std::string& out, std::string_view nick, std::string_view message,
                          std::string_view quote = {});
// How a line said by `nick` reads, its nick starting `nickStart` bytes into the line.
LineStyle Said(LineStyle::Kind kind, std::size_t nickStart, std::string_view nick, bool own, bool highlight);
// Whether a channel message is an action ("* nick does").
bool IsAction(std::string_view message);

// Whether a user is the connection's own user; a user the model has let go is not.
bool IsOwn(const IRCUser& user);

} // namespace texts
} // namespace tellix
