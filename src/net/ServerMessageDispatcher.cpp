// IRCConnection::ProcessServerMessage: the interpretation of every received line.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "net/ServerLine.h"

namespace tellix {

bool IRCConnection::ProcessServerMessage(std::string_view message)
{
    // Listeners may delete this connection and drop the last reference to it.
    auto self = shared_from_this();
    bool processed = false;
    const ServerLine line(message);
    switch (line.Kind()) {
    case ServerLine::Form::Ping:
        if (TestAutomation(AutoPong)) {
            std::string pong = "PONG :";
            pong.append(line.AfterFirstColon());
            SendMessage(pong);
            processed = true;
        }
        break;
    case ServerLine::Form::Error: {
        const std::string description(line.AfterFirstColon());
        if (parent_ != nullptr) {
            parent_->RaiseError(self, description);
        }
        Events.Error.raise(description);
        processed = true;
        break;
    }
    case ServerLine::Form::Prefixed:
        if (line.WordCount() >= 2) {
            processed = ProcessPrefixedMessage(line);
        }
        break;
    case ServerLine::Form::Other:
        break;
    }
    if (!processed) {
        const std::string text(message);
        if (parent_ != nullptr) {
            parent_->RaiseMessageNotProcessed(self, text);
        }
        Events.MessageNotProcessed.raise(text);
    }
    return processed;
}

bool IRCConnection::ProcessPrefixedMessage(const ServerLine& line)
{
    // Held here so that a listener deleting the connection cannot pull them away mid-line.
    const std::shared_ptr<IRCChannels> channels = channels_;
    const std::shared_ptr<IRCUsers> users = users_;
    if (!channels || !users) {
        return false;
    }
    const std::string_view command = line.Command();

    // Only these read the target channel; looking it up creates nothing, so the
    // others skip the lookup.
    const auto targetChannel = [&] { return channels->Item(line.Target()); };
    const auto text = [](std::string_view view) { return std::string(view); };

    if (command == "PRIVMSG" || command == "NOTICE") {
        const ChannelPtr channel = targetChannel();
        const UserPtr source = users->GetUser(line.Sender());
        const std::string message = text(line.LastParam(4));
        const bool notice = command == "NOTICE";
        if (!channel) {
            notice ? source->ProcessNotice(message) : source->ProcessPrivMsg(message);
        } else {
            notice ? channel->ProcessNotice(source, message) : channel->ProcessPrivMsg(source, message);
        }
        return true;
    }
    if (command == "001") {
        server_ = text(line.Sender());
        const std::string server = server_;
        if (parent_ != nullptr) {
            parent_->RaiseServerChange(shared_from_this(), server);
        }
        Events.ServerChange.raise(server);
        if (const UserPtr own = user_) {
            if (own->Nick().empty()) {
                own->SetNick("*");
            }
            own->SetNick(line.Target());
        }
        return false; // acted on, and still shown as server text
    }
    if (command == "332") {
        if (const ChannelPtr channel = channels->Item(line.Word(4))) {
            channel->ProcessTopicChange(nullptr, text(line.LastParam(5)));
        }
        return true;
    }
    if (command == "353") {
        const ChannelPtr channel = channels->GetChannel(line.Word(5));
        const std::shared_ptr<IRCUsers> members = channel->Users();
        const std::string_view names = line.HasTrailing() ? line.Trailing() : line.Word(6);
        ForEachWord(names, [&](std::string_view name) {
            if (!name.empty() && (name.front() == '@' || name.front() == '%' || name.front() == '+')) {
                name.remove_prefix(1);
            }
            if (!name.empty()) {
                members->AddExisting(users->GetUser(name));
            }
        });
        return true;
    }
    if (command == "366") {
        return false;
    }
    if (command == "JOIN") {
        // The channel as a middle parameter, or, in the usual form, the trailing part.
        const std::string_view name = line.Target().empty() ? line.TrailingToColon() : line.Target();
        const UserPtr source = users->GetUser(line.Sender());
        channels->GetChannel(name)->ProcessJoin(source);
        return true;
    }
    if (command == "KICK") {
        const std::string_view name = line.Target();
        const UserPtr kicker = users->GetUser(line.Sender());
        const UserPtr kicked = users->GetUser(line.Word(4));
        const std::string reason = text(line.LastParam(5));
        channels->GetChannel(name)->ProcessKick(kicker, kicked, reason);
        return true;
    }
    if (command == "NICK") {
        const std::string nick = text(line.LastParam(3));
        users->GetUser(line.Sender())->SetNick(nick);
        return true;
    }
    if (command == "PART") {
        // A part without message may come with the channel as the trailing part.
        const bool lone = line.InTrailing(3);
        const std::string_view name = lone ? line.Trailing() : line.Target();
        const UserPtr source = users->GetUser(line.Sender());
        const std::string partMsg = lone ? std::string() : text(line.LastParam(4));
        channels->GetChannel(name)->ProcessPart(source, partMsg);
        return true;
    }
    if (command == "QUIT") {
        const std::string quitMsg = text(line.LastParam(3));
        users->GetUser(line.Sender())->ProcessQuit(quitMsg);
        return true;
    }
    if (command == "TOPIC") {
        const ChannelPtr channel = targetChannel();
        const UserPtr source = users->GetUser(line.Sender());
        if (channel) {
            channel->ProcessTopicChange(source, text(line.LastParam(4)));
        }
        return true;
    }
    return false;
}

} // namespace tellix
