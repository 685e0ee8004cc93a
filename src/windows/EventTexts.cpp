#include "windows/EventTexts.h"

#include "model/IRCUser.h"
#include "util/Concat.h"

namespace tellix::texts {

namespace {

constexpr char kRequestMark = '\x01';

} // namespace

bool IsOwn(const IRCUser& user)
{
    return user.Parent() != nullptr && user.IsUser();
}

std::string UserWithMask(const IRCUser& user)
{
    return Concat(user.Nick(), " (", user.User(), "@", user.Host(), ")");
}

std::string Kick(const IRCUser& source, const IRCUser& destination, std::string_view channel,
                 std::string_view reason)
{
    const bool ownDestination = IsOwn(destination);
    return Concat("*** ", ownDestination ? "you were" : destination.Nick(), ownDestination ? " " : " was ",
                  "kicked from channel ", channel, " by ", IsOwn(source) ? "you" : source.Nick(), " (", reason,
                  ")");
}

std::string NickChange(const IRCUser& source, std::string_view nickPrev)
{
    if (IsOwn(source)) {
        return Concat("*** You changed your nick from ", nickPrev, " to ", source.Nick());
    }
    return Concat("*** ", nickPrev, " changed nick to ", source.Nick());
}

std::string Quit(const IRCUser& source, std::string_view quitMsg)
{
    // In one piece: a netsplit writes this ten thousand times into two windows.
    return Concat("*** ", source.Nick(), " (", source.User(), "@", source.Host(), ") Quit (", quitMsg, ")");
}

std::string Notice(std::string_view nick, std::string_view notice)
{
    return Concat("-", nick, "- ", notice);
}

std::string Message(std::string_view nick, std::string_view message)
{
    return Concat("<", nick, "> ", message);
}

std::string ChannelMessage(std::string_view nick, std::string_view message)
{
    if (message.empty() || message.front() != kRequestMark || message.back() != kRequestMark) {
        return Message(nick, message);
    }
    // A lone mark both begins and ends the message: a request with an empty word.
    const std::string_view body = message.size() < 2 ? std::string_view() : message.substr(1, message.size() - 2);
    const std::size_t space = body.find(' ');
    const std::string_view word = body.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view() : body.substr(space + 1);
    if (word == "ACTION") {
        return Concat("* ", nick, " ", argument);
    }
    return Concat("[", nick, "  ", word, " ", argument, "]");
}

} // namespace tellix::texts
