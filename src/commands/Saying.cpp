#include "commands/Saying.h"

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "net/IRCConnection.h"
#include "util/Concat.h"
#include "util/Utf8.h"

#include <algorithm>

namespace tellix {

namespace {

constexpr std::size_t kLeastRoom = 4; // one character of any length

} // namespace

std::vector<std::string_view> SplitMessage(std::string_view text, std::size_t room)
{
    room = std::max(room, kLeastRoom);
    std::vector<std::string_view> pieces;
    do {
        std::size_t cut = Utf8Cut(text, room);
        if (cut < text.size()) {
            // A blank in the last quarter of the piece; a word that long is cut where it stands.
            const std::size_t from = cut - cut / 4;
            const std::size_t blank = text.substr(from, cut - from).rfind(' ');
            // The blank starts the next piece: servers drop blanks that end a line.
            if (blank != std::string_view::npos) {
                cut = from + blank;
            }
        }
        pieces.push_back(text.substr(0, cut));
        text.remove_prefix(cut);
    } while (!text.empty());
    return pieces;
}

std::size_t MessageRoom(const IRCConnection& connection, std::string_view command, std::string_view target,
                        std::size_t framing)
{
    const std::size_t head = command.size() + 1 + target.size() + 2 + framing; // command target " :"
    const std::size_t line = connection.LineRoom();
    return line > head + kLeastRoom ? line - head : kLeastRoom;
}

std::string ActionOf(std::string_view text)
{
    return Concat("\x01"
                  "ACTION ",
                  text, "\x01");
}

bool SayToChannel(const std::shared_ptr<IRCChannel>& channel, std::string_view text, bool action)
{
    IRCConnection* const connection = channel->Parent() != nullptr ? channel->Parent()->Parent() : nullptr;
    if (connection == nullptr || !connection->Connected()) {
        return false;
    }
    const std::size_t room = MessageRoom(*connection, "PRIVMSG", channel->Name(), action ? kActionFraming : 0);
    // The pieces view `text`, which is the caller's and outlives every listener below.
    for (const std::string_view piece : SplitMessage(text, room)) {
        channel->Say(action ? ActionOf(piece) : std::string(piece));
    }
    return true;
}

} // namespace tellix
