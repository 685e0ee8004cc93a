// IRCConnection::ProcessServerMessage: the interpretation of every received line.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "model/UserMask.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/ServerLine.h"
#include "net/WhoReplies.h"
#include "util/Concat.h"
#include "util/LineRoad.h"
#include "util/LineTags.h"
#include "util/LineTime.h"
#include "util/Relay.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace tellix {

namespace {

// A count of seconds as milliseconds; 0 for anything else, or for a time beyond any calendar.
std::int64_t SecondsAsMs(std::string_view text)
{
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    constexpr std::int64_t kLatest = 1'000'000'000'000; // some 30,000 years on
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0 || seconds > kLatest) {
        return 0;
    }
    return seconds * 1000;
}

// "MODES=4": modes with a parameter per MODE line. Without a value there is no limit, which
// still has to fit a line; a value that is no number keeps the usual 3.
std::int32_t ParseModesPerLine(std::string_view token)
{
    constexpr std::int32_t kUsual = 3;
    constexpr std::int32_t kMost = 100;
    if (token == "MODES" || token == "MODES=") {
        return kMost;
    }
    if (!token.starts_with("MODES=")) {
        return kUsual;
    }
    const std::string_view value = token.substr(6);
    std::int64_t count = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (end != value.data() + value.size() || value.starts_with('-')) {
        return kUsual;
    }
    if (error == std::errc::result_out_of_range) {
        return kMost; // the count is left unset then
    }
    if (error != std::errc() || count < 1) {
        return kUsual;
    }
    return count > kMost ? kMost : static_cast<std::int32_t>(count);
}

std::optional<Typing> ParseTyping(std::string_view value)
{
    if (value == "active") {
        return Typing::Active;
    }
    if (value == "paused") {
        return Typing::Paused;
    }
    if (value == "done") {
        return Typing::Done;
    }
    return std::nullopt;
}

} // namespace

TELLIX_LINE_ROAD bool IRCConnection::ProcessServerMessage(std::string_view message)
{
    if (deleted_) {
        return false; // out of use: nothing is applied or announced any more
    }
    const auto self = shared_from_this();
    bool processed = false;
    const ServerLine line(message);
    // History's own lines, and live lines it holds back until the missed ones before them
    // are shown.
    if (!replaying_ && history_.Busy()) {
        const bool taken = history_.Take(line, message);
        if (!RunHistory() || taken) {
            return true;
        }
    }
    // What this line causes is stamped with when it was said, where the server says so, and
    // told whether it is played back.
    std::optional<std::int64_t> said;
    LineOrigin origin;
    if (!line.Tags().empty()) {
        if (const auto time = line.Tag("time")) {
            said = ParseServerTime(*time);
        }
        origin.msgid = line.RawTag("msgid").value_or(std::string_view());
        if (const auto batch = line.RawTag("batch"); batch && !batch->empty()) {
            origin.replay = BatchNumber(*batch);
        }
    }
    if (replaying_) {
        if (replayNumber_ != 0) {
            origin.replay = replayNumber_;
        }
        origin.older = replayOlder_;
    }
    const LineTimeScope stamp(said);
    const LineOriginScope told(origin);
    const LineTagsScope tags(line.Tags());
    // The reply this line is part of, for those who show it; the previous one again after, should
    // a listener hand the connection another line meanwhile.
    struct AskerScope {
        std::optional<std::string>& current;
        std::optional<std::string> previous;
        ~AskerScope() { current = std::move(previous); }
    } const asker{replyAsker_, std::exchange(replyAsker_, labels_.Hear(line))};
    switch (line.Kind()) {
    case ServerLine::Form::Ping:
        if (TestAutomation(AutoPong)) {
            std::string pong = "PONG ";
            pong.append(line.PingParams());
            SendMessage(pong);
            processed = true;
        }
        break;
    case ServerLine::Form::Error: {
        const std::string description(line.AfterFirstColon());
        Relay(*this).Up(&IRCConnections::RaiseError, Events.Error, description);
        processed = true;
        break;
    }
    case ServerLine::Form::Prefixed:
        if (line.WordCount() >= 2) {
            processed = ProcessPrefixedMessage(line);
        }
        break;
    case ServerLine::Form::Other:
        // The login's go-ahead comes without prefix: "AUTHENTICATE +", or as a trailing
        // part, "AUTHENTICATE :+" (InspIRCd).
        if (line.Line().starts_with("AUTHENTICATE ")) {
            std::string_view argument = line.Line().substr(13);
            if (argument.starts_with(':')) {
                argument.remove_prefix(1);
            }
            ReceiveAuthenticate(argument);
            processed = true;
        }
        break;
    }
    if (!processed && !deleted_) {
        const std::string text(line.Line());
        Relay(*this).Up(&IRCConnections::RaiseMessageNotProcessed, Events.MessageNotProcessed, text);
    }
    return processed;
}

bool IRCConnection::ProcessPrefixedMessage(const ServerLine& line)
{
    // Held so that a listener deleting the connection cannot pull them away mid-line.
    const std::shared_ptr<IRCChannels> channels = channels_;
    const std::shared_ptr<IRCUsers> users = users_;
    if (!channels || !users) {
        return false;
    }
    const std::string_view command = line.Command();
    const auto text = [](std::string_view view) { return std::string(view); };

    // A lookup that creates a user or channel raises events, and their listeners may delete
    // the connection or the very user or channel the line is about. What is gone ends the
    // line: it is not applied to a model that no longer holds it.
    const auto here = [&](const auto&... objects) {
        return !deleted_ && ((objects && objects->Parent() != nullptr) && ...);
    };
    const auto user = [&](std::string_view mask) {
        // No nick, no user: a nameless one would get a nameless window, and lines to nobody.
        if (UserMaskNick(mask).empty()) {
            return UserPtr();
        }
        UserPtr found = users->GetUser(mask);
        if (!here(found)) {
            found.reset();
        }
        return found;
    };
    const auto channel = [&](std::string_view name) {
        ChannelPtr found = channels->GetChannel(name);
        if (!here(found)) {
            found.reset();
        }
        return found;
    };
    // Someone who has left every channel we share and whom no window shows is forgotten, last
    // of all: kept, the master list would grow with everyone who ever passed through.
    const auto forgetIfGone = [&](const UserPtr& gone) {
        if (here(gone) && gone != user_ && gone->Membership().empty() && !gone->Watched()) {
            gone->Delete();
        }
    };

    // The target of a message is only looked up: a message never creates a channel. Said to a
    // channel's operators or voiced members only ("@#room"), it is still a line of that channel,
    // not a private one. No nick starts with a rank's symbol.
    const auto channelNamed = [&](std::string_view to) {
        ChannelPtr target = channels->Item(to);
        if (!target && to.size() > 1 && NamePrefixes().find(to.front()) != std::string_view::npos) {
            target = channels->Item(to.substr(1));
        }
        return target;
    };
    const auto messageTarget = [&] { return channelNamed(line.Target()); };
    if (command == "NOTICE" && IsServerName(line.Sender())) {
        // A server is no user: it gets no entry in the master list and no query window.
        const std::string server = text(line.Sender());
        if (const ChannelPtr target = messageTarget(); target && here(target)) {
            // Said in a channel, it is that channel's line, under the server's name: the
            // sender is a stand-in that no list holds.
            const UserPtr sender = IRCUser::Create();
            sender->SetUserMask(server);
            target->ProcessNotice(sender, text(line.LastParam(4)));
            return true;
        }
        Relay(*this).Up(&IRCConnections::RaiseServerNotice, Events.ServerNotice, server, text(line.LastParam(4)));
        return true;
    }
    if (command == "PRIVMSG" || command == "NOTICE") {
        if (parent_ != nullptr && parent_->Ignores().Matches(line.Sender())) {
            return true; // not shown, not answered, and no user made for it
        }
        const ChannelPtr target = messageTarget();
        if (command == "NOTICE" && !target && CtcpReply(line)) {
            return true;
        }
        const UserPtr source = user(line.Sender());
        if (!source || (target && !here(target))) {
            return true;
        }
        const std::string message = text(line.LastParam(4));
        const bool notice = command == "NOTICE";
        // A bouncer's playback is history, never the echo of a line typed here.
        const bool echo = source == user_ && !line.Tag("batch").has_value() && caps_.Enabled("echo-message");
        if (echo && notice) {
            return true; // shown where it was typed
        }
        if (echo && !target) {
            // Shown with the partner once the server has it; a window already talking with them
            // is the only place, as the typed line opened none.
            if (const UserPtr partner = users->Item(line.Target()); partner && partner != user_) {
                Relay(*this).Up(&IRCConnections::RaiseUserSelfMessage, Events.UserSelfMessage, partner, message,
                                notice, true);
            }
            return true;
        }
        if (source == user_ && !target) {
            // Said to someone from another client or before the playback: it belongs with that
            // partner, not in a talk with ourselves.
            const UserPtr partner = user(line.Target());
            if (partner && partner != user_) {
                Relay(*this).Up(&IRCConnections::RaiseUserSelfMessage, Events.UserSelfMessage, partner, message,
                                notice, false);
                return true;
            }
            if (!here(source)) {
                return true;
            }
        }
        if (!target) {
            const std::string nick(source->Nick());
            notice ? source->ProcessNotice(message) : source->ProcessPrivMsg(message);
            // A request played back was answered when it was made.
            if (!notice && CtcpReplies::IsRequest(message) && CurrentLineOrigin().replay == 0) {
                AnswerCtcp(nick, message); // still shown above, as any private line
            }
        } else {
            notice ? target->ProcessNotice(source, message) : target->ProcessPrivMsg(source, message);
            forgetIfGone(source); // said from outside the channel
        }
        return true;
    }
    if (command == "TAGMSG") {
        // Never shown. A typing notification of someone known is passed on; nobody is made for
        // one, so a flood of them costs a lookup each.
        if (line.Tags().empty() || (parent_ != nullptr && parent_->Ignores().Matches(line.Sender()))) {
            return true;
        }
        const std::optional<std::string> typing = line.Tag("+typing");
        const std::optional<Typing> state = typing ? ParseTyping(*typing) : std::nullopt;
        const UserPtr source = state ? users->Item(line.Sender()) : nullptr;
        if (!here(source) || source == user_) {
            return true;
        }
        // Its one parameter, which InspIRCd writes as the trailing part.
        const std::string_view to = line.LastParam(3);
        if (const ChannelPtr target = channelNamed(to)) {
            if (here(target) && target->Users()->Contains(*source)) {
                target->ProcessTyping(source, *state);
            }
        } else if (user_ && CompareNicks(to, user_->Nick(), caseMapping_) == 0) {
            source->ProcessTyping(*state);
        }
        return true;
    }
    if (command == "ACK") {
        return true; // a labelled command that has no other answer
    }
    if (command == "CAP") {
        ReceiveCap(line);
        return true;
    }
    if (command == "AUTHENTICATE") {
        ReceiveAuthenticate(line.LastParam(3));
        return true;
    }
    if (command.size() == 3 && command[0] == '9' && command[1] == '0' && login_ != Login::None) {
        return ProcessLoginReply(line);
    }
    if (command == "421" && line.Word(4) == "CAP") {
        // A server that has never heard of CAP: registration goes on as it always did.
        capTimer_.reset();
        caps_.Stop();
        return true;
    }
    if (command == "433" || command == "432" || command == "437") {
        return NickRefused(command, line.Word(4));
    }
    if (command == "001") {
        registered_ = true;
        capTimer_.reset();
        caps_.Stop();
        server_ = text(line.Sender());
        const std::string server = server_;
        if (!Relay(*this).Up(&IRCConnections::RaiseServerChange, Events.ServerChange, server)) {
            return false;
        }
        if (const UserPtr own = user_) {
            if (own->Nick().empty()) {
                own->SetNick("*");
            }
            if (!line.Target().empty()) { // a welcome naming nobody leaves the nick as it is
                own->SetNick(line.Target());
            }
        }
        if (!deleted_) {
            Welcomed();
        }
        return false; // acted on, and still shown as server text
    }
    if (command == "005") {
        ReadSupportedFeatures(line);
        return false; // read, and still shown as server text
    }
    if (command == "332") {
        if (const ChannelPtr target = channels->Item(line.Word(4))) {
            target->ProcessTopicChange(nullptr, text(line.LastParam(5)));
        }
        return true;
    }
    if (command == "333") {
        // ":server 333 me #room setter 1700000000": seconds since 1970.
        if (const ChannelPtr target = channels->Item(line.Word(4))) {
            target->ProcessTopicWhoTime(line.Word(5), SecondsAsMs(line.LastParam(6)));
        }
        return true;
    }
    if (command == "331") {
        if (const ChannelPtr target = channels->Item(line.Word(4))) {
            target->ProcessNoTopic();
        }
        return true;
    }
    if (command == "353") {
        // Asked for by the user, the reply is also shown.
        const bool shown = NamesAsked(line.Word(5));
        // A channel we are not in gets no channel made for it, nor users for its names.
        const ChannelPtr target = channels->Item(line.Word(5));
        if (!here(target)) {
            return !shown;
        }
        const std::shared_ptr<IRCUsers> members = target->Users();
        const std::string prefixes(NamePrefixes());
        std::string_view names = line.HasTrailing() ? line.Trailing() : line.Word(6);
        while (true) {
            const std::size_t blank = names.find(' ');
            std::string_view name = names.substr(0, blank);
            // Every mode prefix goes ("@+bob" from servers that send them all) and becomes a rank.
            std::uint32_t ranks = 0;
            while (!name.empty() && prefixes.find(name.front()) != std::string::npos) {
                if (const std::int32_t rank = ranks_.OfSymbol(name.front()); rank >= 0) {
                    ranks |= std::uint32_t{1} << rank;
                }
                name.remove_prefix(1);
            }
            if (!name.empty()) {
                const UserPtr member = user(name);
                if (member) {
                    members->AddExisting(member);
                }
                if (!here(target)) {
                    return true;
                }
                if (member && ranks != 0) {
                    target->SetRanks(member, ranks);
                    if (!here(target)) {
                        return true;
                    }
                }
            }
            if (blank == std::string_view::npos) {
                return !shown;
            }
            names.remove_prefix(blank + 1);
        }
    }
    if (command == "366") {
        return false;
    }
    if (command == "305" || command == "306") {
        away_ = command == "306";
        if (const UserPtr own = user_; here(own)) {
            own->SetAway(away_);
        }
        return false; // and shown
    }
    if (command == "301") {
        // A WHOIS, or a message to someone away: only someone known is marked.
        if (const UserPtr known = users->Item(line.Word(4)); here(known) && known != user_) {
            known->SetAway(true);
        }
        return false; // and shown
    }
    if (command == "352" || command == "354") {
        ReadWhoAway(line);
        return false; // and shown
    }
    if (command == "311") {
        // WHOIS tells the user@host of someone we may only know by nick. Only a user already
        // known learns it: a reply never makes one (nor, so, a window).
        const UserPtr known = users->Item(line.Word(4));
        const std::string_view newUser = line.Word(5);
        const std::string_view newHost = line.Word(6);
        const auto plain = [](std::string_view part) {
            return !part.empty() && part.find_first_of("!@") == std::string_view::npos;
        };
        if (here(known) && plain(newUser) && plain(newHost) &&
            (known->User() != newUser || known->Host() != newHost)) {
            known->SetUserMask(Concat(known->Nick(), "!", newUser, "@", newHost));
        }
        return false; // and shown
    }
    if (command == "JOIN") {
        // The channel as a middle parameter, or, in the usual form, the trailing part.
        const std::string_view name = line.Target().empty() ? line.TrailingToColon() : line.Target();
        // Only our own join makes a channel: someone else's, to a channel we are not in, makes
        // neither the channel nor the user.
        const bool own = user_ && !UserMaskNick(line.Sender()).empty() && users->Item(line.Sender()) == user_;
        if (!own && !channels->Item(name)) {
            return true;
        }
        const UserPtr source = user(line.Sender());
        const ChannelPtr target = !source ? nullptr : own ? channel(name) : channels->Item(name);
        if (here(source, target)) {
            target->ProcessJoin(source);
            if (own && here(target)) {
                HistoryJoined(target->Name());
            }
        }
        return true;
    }
    if (command == "KICK") {
        if (!channels->Item(line.Target())) {
            return true; // a channel we are not in: nobody to make, nothing to change
        }
        const UserPtr kicker = user(line.Sender());
        const UserPtr kicked = kicker ? user(line.Word(4)) : nullptr;
        const ChannelPtr target = kicked ? channels->Item(line.Target()) : nullptr;
        if (here(kicker, kicked, target)) {
            target->ProcessKick(kicker, kicked, text(line.LastParam(5)));
        }
        forgetIfGone(kicked);
        forgetIfGone(kicker);
        return true;
    }
    if (command == "NICK") {
        // No new nick, no change: an empty one would be a nameless entry in every list.
        if (line.LastParam(3).empty()) {
            return true;
        }
        // Someone we do not know changes nothing we hold.
        if (const UserPtr source = users->Item(line.Sender()); here(source)) {
            source->SetNick(line.LastParam(3));
        }
        return true;
    }
    if (command == "PART") {
        // A part without message may come with the channel as the trailing part.
        const bool lone = line.InTrailing(3);
        const std::string_view name = lone ? line.Trailing() : line.Target();
        if (!channels->Item(name)) {
            return true; // a channel we are not in: nobody to make, nothing to change
        }
        const UserPtr source = user(line.Sender());
        const ChannelPtr target = source ? channels->Item(name) : nullptr;
        if (here(source, target)) {
            target->ProcessPart(source, lone ? std::string() : text(line.LastParam(4)));
        }
        forgetIfGone(source);
        return true;
    }
    if (command == "QUIT") {
        if (const UserPtr source = user(line.Sender())) {
            source->ProcessQuit(text(line.LastParam(3)));
            forgetIfGone(source);
        }
        return true;
    }
    if (command == "CHGHOST") {
        // ":nick!old@old CHGHOST user host": the same user under a new mask.
        if (const UserPtr source = users->Item(line.Sender()); here(source)) {
            const std::string_view newUser = line.Target();
            const std::string_view newHost = line.LastParam(4);
            if (!newUser.empty() && !newHost.empty()) {
                source->SetUserMask(std::string(source->Nick()) + "!" + std::string(newUser) + "@" +
                                    std::string(newHost));
            }
        }
        return true;
    }
    if (command == "BATCH") {
        NoteBatch(line.Word(3));
        return true;
    }
    if (command == "BOUNCER") {
        return ReceiveBouncer(line);
    }
    if (command == "MARKREAD") {
        return ReceiveMarkRead(line);
    }
    if (command == "376" || command == "422") {
        // The end of the welcome: the bouncer's joins come next, then the answer to what
        // history asks now.
        if (ListsBouncerNetworks()) {
            // Only now: the welcome's 005 says whether the login bound this connection.
            SendMessage("BOUNCER LISTNETWORKS", SendPriority::Automatic);
        }
        StartCatchUp();
        return false; // and shown
    }
    if (command == "AWAY") {
        // ":nick!user@host AWAY :text" goes away, without text comes back.
        if (const UserPtr source = users->Item(line.Sender()); here(source)) {
            source->SetAway(!line.LastParam(3).empty());
        }
        return true;
    }
    if (command == "ACCOUNT") {
        // Asked for, and nothing to show: lines inside a batch come on their own, as any other.
        return true;
    }
    if (command == "MODE") {
        const ChannelPtr target = channels->Item(line.Target());
        if (!target || !here(target)) {
            return false; // the own user's modes: shown as server text
        }
        return ProcessChannelMode(line, target);
    }
    if (command == "TOPIC") {
        const ChannelPtr target = channels->Item(line.Target());
        if (!target) {
            return true; // a channel we are not in: its setter is nobody we need
        }
        const UserPtr source = user(line.Sender());
        if (source && here(target)) {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            target->ProcessTopicChange(source, text(line.LastParam(4)),
                                       std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        }
        forgetIfGone(source); // set from outside the channel, by a service say
        return true;
    }
    return false;
}

// ":bob!u@h MODE #room +ov-v anna carl dave": shown as sent, and ranks granted or taken move
// their members.
bool IRCConnection::ProcessChannelMode(const ServerLine& line, const ChannelPtr& target)
{
    std::string modes;
    std::string parameters;
    for (std::int32_t word = 4; word <= line.WordCount(); ++word) {
        std::string_view part = line.Word(word);
        if (line.InTrailing(word)) {
            part = line.Trailing();
        }
        if (part.empty()) {
            continue;
        }
        if (modes.empty()) {
            modes = part;
        } else {
            AppendTo(parameters, parameters.empty() ? "" : " ", part);
        }
    }
    if (modes.empty()) {
        return true;
    }
    const std::string_view sender = line.Sender();
    const std::string setter(sender.substr(0, sender.find('!')));
    const std::string shown = parameters.empty() ? modes : Concat(modes, " ", parameters);
    const auto channel = target;
    channel->ProcessModeChange(setter, shown);
    // Walked over a copy of the table: a listener may let the connection go.
    const RankTable ranks = ranks_;
    const std::shared_ptr<IRCUsers> members = channel->Users();
    ForEachModeChange(modes, parameters, ranks, modeKinds_, [&](const ModeChange& change) {
        const std::int32_t rank = ranks.OfMode(change.mode);
        if (rank < 0 || channel->Parent() == nullptr) {
            return;
        }
        if (const UserPtr member = members->Item(change.parameter)) {
            const std::uint32_t bit = std::uint32_t{1} << rank;
            const std::uint32_t held = channel->RanksOf(*member);
            channel->SetRanks(member, change.adding ? held | bit : held & ~bit);
        }
    });
    return true;
}

void IRCConnection::ReadWhoAway(const ServerLine& line)
{
    const auto param = [&](std::int32_t word) {
        return line.InTrailing(word) ? line.Trailing() : line.AnyWord(word);
    };
    std::string_view nick;
    std::string_view flags;
    if (line.Command() == "352") {
        // ":server 352 me #room user host server nick H@ :0 real name"
        nick = line.Word(8);
        flags = param(9);
    } else {
        const std::int32_t nickAt = WhoxPosition(whoFields_, 'n');
        const std::int32_t flagsAt = WhoxPosition(whoFields_, 'f');
        if (nickAt < 0 || flagsAt < 0) {
            return; // the fields we asked for say nothing of it, or we did not ask
        }
        nick = param(4 + nickAt);
        flags = param(4 + flagsAt);
    }
    const std::optional<bool> away = WhoFlagsAway(flags);
    const UserPtr user = away && users_ ? users_->Item(nick) : nullptr;
    if (user && user->Parent() != nullptr && user != user_) {
        user->SetAway(*away);
    }
}

bool IRCConnection::CtcpReply(const ServerLine& line)
{
    const std::string_view message = line.LastParam(4);
    const std::string_view nick = ParseUserMaskView(line.Sender()).Nick;
    const IRCUser* const own = user_.get();
    if (!CtcpReplies::IsRequest(message) || nick.empty() ||
        (own && CompareNicks(nick, own->Nick(), caseMapping_) == 0)) {
        return false; // our own, echoed, is shown where it was typed
    }
    std::string_view body = message.substr(1);
    body = body.substr(0, body.find('\x01'));
    if (body.empty() || body.front() == ' ') {
        return false;
    }
    // The answer to a request: a reply to show, no talk to open a window for, and no user to
    // keep in the connection's list.
    Relay(*this).Up(&IRCConnections::RaiseCtcpReply, Events.CtcpReply, std::string(nick), std::string(body));
    return true;
}

void IRCConnection::ReadSupportedFeatures(const ServerLine& line)
{
    // ":server 005 nick TOKEN TOKEN ... :are supported by this server"
    std::int32_t word = 0;
    ForEachWord(line.Head(), [&](std::string_view token) {
        if (++word < 4) {
            return;
        }
        if (token.starts_with("PREFIX=")) {
            // PREFIX=(modes)characters
            const std::string_view value = token.substr(7);
            const std::size_t close = value.find(')');
            namePrefixes_ =
                value.starts_with('(') && close != std::string_view::npos ? value.substr(close + 1) : value;
            if (!ranks_.Parse(value)) {
                ranks_ = RankTable();
            }
        } else if (token == "-PREFIX") {
            namePrefixes_.clear();
            ranks_ = RankTable();
        } else if (token.starts_with("CASEMAPPING=")) {
            caseMapping_ = ParseCaseMapping(token.substr(12));
            history_.SetCaseMapping(caseMapping_);
        } else if (token.starts_with("CHATHISTORY=")) {
            history_.SetLimit(token.substr(12));
        } else if (token.starts_with("NETWORK=")) {
            network_ = token.substr(8);
        } else if (token.starts_with("BOUNCER_NETID=")) {
            // Bound already, by the login ("user/network"): this connection lists nothing.
            boundByLogin_ = !token.substr(14).empty();
        } else if (token.starts_with("CHANMODES=")) {
            modeKinds_.Parse(token.substr(10));
        } else if (token.starts_with("CLIENTTAGDENY=")) {
            clientTagDeny_ = token.substr(14);
        } else if (token == "-CLIENTTAGDENY") {
            clientTagDeny_.clear();
        } else if (token.starts_with("MODES")) {
            modesPerLine_ = ParseModesPerLine(token);
        }
    });
}

bool IRCConnection::ReceiveBouncer(const ServerLine& line)
{
    // ":server BOUNCER NETWORK <id> <attributes>": a network listed, added, changed or gone.
    if (line.Word(3) != "NETWORK") {
        return false; // the answers to our own requests, shown as server text
    }
    if (!ListsBouncerNetworks()) {
        return true; // a bound connection hears of them too: its login's connection acts
    }
    const std::string id(line.Word(4));
    const std::string attributes(line.LastParam(5));
    if (id.empty() || attributes.empty()) {
        return true;
    }
    Relay(*this).Up(&IRCConnections::RaiseBouncerNetwork, Events.BouncerNetwork, id, attributes);
    return true;
}

} // namespace tellix
