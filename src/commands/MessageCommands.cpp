// The commands that talk to users and channels: MSG, NOTICE, SAY, ME, JOIN, PART, KICK,
// CHANNEL and QUERY.
#include "app/Application.h"
#include "commands/CommandRun.h"
#include "commands/Saying.h"
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "model/NickRanks.h"
#include "net/IRCConnection.h"
#include "util/Concat.h"
#include "util/PasswordMask.h"
#include "util/Utility.h"
#include "windows/Child.h"
#include "windows/Childs.h"
#include "windows/EventTexts.h"

#include <unordered_set>

namespace tellix {

namespace {

// The connection a user belongs to; null once it has let the user go.
IRCConnection* ConnectionOf(const IRCUser& user)
{
    return user.Parent() != nullptr ? user.Parent()->Parent() : nullptr;
}

} // namespace

bool CommandRun::Msg(bool notice)
{
    if (n_ < 1) {
        return false;
    }
    const std::string text = Rest(2);
    if (!Connected()) {
        EchoInto(window_, notice ? "NOTICE: not connected" : "MSG: not connected");
        return true;
    }
    const auto connection = Here().shared_from_this();
    app_.RepliesTo(window_); // an away reply, a nick that is not there
    const std::string_view command = notice ? "NOTICE" : "PRIVMSG";
    const std::string& target = Word(1);
    // A login to a service is judged whole, as typed: shown once, masked, and kept in no log.
    const std::optional<std::string> masked = MaskSaid(target, text);
    if (masked) {
        EchoShownOnly(window_, Concat(notice ? "notice -> " : "-> ", target, ": ", *masked));
    }
    for (const std::string_view piece : SplitMessage(text, MessageRoom(*connection, command, target))) {
        if (!masked) {
            EchoInto(window_, Concat(notice ? "notice -> " : "-> ", target, ": ", piece));
        }
        connection->SendMessage(Concat(command, " ", target, " :", piece));
    }
    return true;
}

bool CommandRun::Say()
{
    const std::string text = Rest(1, false);
    const std::int32_t messageWindow = MessageWindow();
    const std::shared_ptr<Child> window = Window(messageWindow);
    if (window && window->Query()) {
        if (!SayToPartner(*window, text, false)) {
            EchoInto(messageWindow, "SAY: not connected");
        }
        return true;
    }
    if (window && window->Channel()) {
        if (!SayToChannel(window->Channel(), text, false)) {
            EchoInto(messageWindow, "SAY: not connected");
        }
        return true;
    }
    EchoInto(messageWindow, "no destination specified");
    return true;
}

bool CommandRun::Me()
{
    const std::string text = Rest(1);
    const std::int32_t messageWindow = MessageWindow();
    const std::shared_ptr<Child> window = Window(messageWindow);
    bool said = false;
    if (window && window->Query()) {
        said = SayToPartner(*window, text, true);
    } else if (const auto channel = window ? window->Channel() : nullptr) {
        said = SayToChannel(channel, text, true);
    } else {
        EchoInto(messageWindow, "no destination specified");
        return true;
    }
    if (!said) {
        EchoInto(messageWindow, "ME: not connected");
    }
    return true;
}

bool CommandRun::SayToPartner(Child& window, std::string_view text, bool action)
{
    const auto partner = window.Query();
    IRCConnection* const found = ConnectionOf(*partner);
    if (found == nullptr || !found->Connected()) {
        return false;
    }
    const auto connection = found->shared_from_this();
    const auto hold = window.shared_from_this();
    app_.RepliesTo(window.Index()); // a partner who is gone, or away, is told of here
    const auto& own = Here().User();
    const std::string nick = own ? std::string(own->Nick()) : std::string();
    const std::string target(partner->Nick());
    // With echo-message the server's echo shows it, once.
    const bool echoed = connection->Capabilities().Enabled("echo-message");
    // A login to a service is judged whole, as typed: shown once, masked, and kept in no log.
    const std::optional<std::string> masked = MaskSaid(target, action ? ActionOf(text) : std::string(text));
    if (masked && !echoed) {
        window.EchoShownOnly(Concat("# ", texts::ChannelMessage(nick, *masked)),
                             texts::Said(action ? LineStyle::Kind::Action : LineStyle::Kind::Message,
                                         action ? 4 : 3, nick, true, false));
    }
    const std::size_t room = MessageRoom(*connection, "PRIVMSG", target, action ? kActionFraming : 0);
    for (const std::string_view piece : SplitMessage(text, room)) {
        const std::string message = action ? ActionOf(piece) : std::string(piece);
        if (!echoed && !masked) {
            window.Echo(Concat("# ", texts::ChannelMessage(nick, message)),
                        texts::Said(action ? LineStyle::Kind::Action : LineStyle::Kind::Message, action ? 4 : 3,
                                    nick, true, false));
        }
        connection->SendMessage(Concat("PRIVMSG ", target, " :", message));
    }
    return true;
}

bool CommandRun::Join()
{
    if (n_ == 0 && user_) {
        const std::shared_ptr<Child> calling = Calling();
        if (!calling || !calling->Channel()) {
            EchoInto(window_, "JOIN: no channel set");
        } else {
            calling->Channel()->Join();
        }
        return true;
    }
    if (n_ == 1 || n_ == 2) {
        // Each channel of a list is a channel of its own, whose window opens as the server says
        // we joined; they go in as few JOIN lines as fit, and only the last one typed takes the
        // keyboard. Keys pair with names by place.
        const FieldSplitter names(Word(1), ',');
        const FieldSplitter keys(n_ == 2 ? Word(2) : std::string(), ',');
        std::unordered_set<std::string> seen;
        IRCConnection& connection = Here();
        std::vector<ChannelAndKey> joining;
        std::shared_ptr<IRCChannel> last;
        for (std::int32_t field = 1; field <= names.Count(); ++field) {
            const std::string_view name = names.Field(field);
            if (name.empty() || !seen.insert(UpperCase(name)).second) {
                continue;
            }
            last = connection.Channels()->GetChannel(name);
            if (!last->Joined()) {
                joining.push_back({std::string(name),
                                   std::string(field <= keys.Count() ? keys.Field(field) : std::string_view())});
            }
        }
        connection.JoinChannels(joining);
        if (last && app_.Childs() != nullptr) {
            app_.Childs()->UserJoins(last);
        }
        return true;
    }
    return false;
}

bool CommandRun::Part()
{
    if (!user_) {
        return false;
    }
    if (n_ == 0) {
        const std::shared_ptr<Child> calling = Calling();
        if (!calling || !calling->Channel()) {
            EchoInto(window_, "PART: no channel set");
        } else {
            calling->Channel()->Part("");
        }
        return true;
    }
    const auto channel = Here().Channels()->Item(Word(1));
    if (!channel) {
        EchoInto(window_, "PART: no such channel");
        return true;
    }
    channel->Part(n_ == 1 ? std::string() : Rest(2));
    return true;
}

bool CommandRun::Kick()
{
    if (n_ < 2) {
        return false;
    }
    IRCConnection& first = Here();
    const auto channel = first.Channels()->Item(Word(1));
    if (!channel) {
        EchoInto(window_, "KICK: no such channel");
        return true;
    }
    const auto user = first.Users()->GetUser(Word(2));
    channel->Kick(user, Rest(3, false));
    return true;
}

bool CommandRun::Channel()
{
    return n_ <= 1 && CallingWindowChannel(1, false);
}

// CHANNEL and WINDOW CHANNEL: without the name word, the calling window's channel is shown;
// with it, it becomes that window's channel ("-" clearing it where `dashClears`).
bool CommandRun::CallingWindowChannel(std::int32_t nameWord, bool dashClears)
{
    if (n_ < nameWord) {
        const std::shared_ptr<Child> calling = Calling();
        if (!calling || !calling->Channel()) {
            EchoInto(window_, "*** current channel: no channel set");
        } else {
            EchoInto(window_, Concat("*** current channel: ", calling->Channel()->Name()));
        }
        return true;
    }
    if (CallingIsStatus()) {
        EchoInto(Status(), "*** can't set channel for status window!");
    } else if (InRange()) {
        const std::string& name = Word(nameWord);
        Calling()->Channel(dashClears && name == "-" ? nullptr : Here().Channels()->GetChannel(name));
    }
    return true;
}

bool CommandRun::Query()
{
    if (n_ != 1) {
        return false;
    }
    IRCConnection& connection = Here();
    IRCUsers& users = *connection.Users();
    IRCUsers::UserPtr user = users.Item(Word(1));
    if (!user) {
        // Someone known by that nick in another case: the server folds case, and their
        // lines come from the nick as the server spells it, which an earlier typing may not.
        const CaseMapping mapping = connection.NickCaseMapping();
        for (const IRCUsers::UserPtr& known : users) {
            if (SameNick(known->Nick(), Word(1), mapping)) {
                if (known->Heard() || !user) {
                    user = known;
                }
                if (known->Heard()) {
                    break;
                }
            }
        }
    }
    if (!user) {
        user = users.GetUser(Word(1));
    }
    if (user && app_.Childs() != nullptr) {
        Childs::Front(app_.Childs()->GetChild(user, false));
        app_.Childs()->PartnerTyped(connection.Key(), connection.NickCaseMapping(), user);
    }
    return true;
}

} // namespace tellix
