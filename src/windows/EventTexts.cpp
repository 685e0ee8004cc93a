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
    std::string text;
    AppendChannelMessage(text, nick, message);
    return text;
}

void AppendChannelMessage(std::string& out, std::string_view nick, std::string_view message,
                          std::string_view quote)
{
    if (message.empty() || message.front() != kRequestMark || message.back() != kRequestMark) {
        AppendTo(out, "<", nick, "> ", quote, message);
        return;
    }
    // A lone mark both begins and ends the message: a request with an empty word.
    const std::string_view body = message.size() < 2 ? std::string_view() : message.substr(1, message.size() - 2);
    const std::size_t space = body.find(' ');
    const std::string_view word = body.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view() : body.substr(space + 1);
    if (word == "ACTION") {
        AppendTo(out, "* ", nick, " ", quote, argument);
    } else {
        AppendTo(out, "[", nick, "  ", word, " ", argument, "]");
    }
}

LineStyle Said(LineStyle::Kind kind, std::size_t nickStart, std::string_view nick, bool own, bool highlight)
{
    LineStyle style;
    style.kind = kind;
    style.own = own;
    style.highlight = highlight;
    style.nickStart = static_cast<std::uint32_t>(nickStart);
    style.nickLength = static_cast<std::uint32_t>(nick.size());
    // "<nick> ", "-nick- " and "[nick  " leave two bytes before the text, "* nick " one.
    style.textStart =
        static_cast<std::uint32_t>(nickStart + nick.size() + (kind == LineStyle::Kind::Action ? 1 : 2));
    return style;
}

bool IsAction(std::string_view message)
{
    return message.size() >= 8 && message.front() == kRequestMark && message.back() == kRequestMark &&
           (message.substr(1, 7) == "ACTION " || message == "\x01"
                                                            "ACTION\x01");
}

} // namespace tellix::texts
