// Replies to the user's commands, as readable lines in the window that asked.
#include "app/Application.h"
#include "model/IRCChannels.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/ServerLine.h"
#include "platform/Toolkit.h"
#include "util/Utility.h"
#include "windows/Child.h"
#include "windows/Childs.h"
#include "windows/ReplyTexts.h"

namespace tellix {

void Application::RepliesTo(std::int32_t windowIndex)
{
    const tellix::Childs* childs = Childs();
    asker_.reset();
    if (childs != nullptr && windowIndex >= 1 && windowIndex <= childs->Count()) {
        asker_ = childs->Item(windowIndex);
    }
}

std::int32_t Application::AskerWindow(const IRCConnection& connection) const
{
    // A labelled reply knows who asked: the window it was typed in, while that is open.
    if (const std::string* key = connection.ReplyAsker()) {
        if (const std::shared_ptr<Child> asker = childs_ ? childs_->Find(*key) : nullptr;
            asker && asker->Connection() == &connection) {
            return asker->Index();
        }
        return StatusIndex(connection);
    }
    if (const std::shared_ptr<Child> asker = asker_.lock();
        asker && childs_ && asker->Parent() == childs_.get() && asker->Connection() == &connection) {
        return asker->Index();
    }
    return StatusIndex(connection);
}

void Application::pobjConnections_CtcpReply(const ConnectionPtr& connection, const std::string& nick,
                                            const std::string& reply)
{
    if (!childs_) {
        return;
    }
    std::optional<std::int64_t> roundTrip;
    if (reply.size() > 5 && UpperCase(std::string_view(reply).substr(0, 5)) == "PING ") {
        roundTrip = connection->CtcpPingAnswered(std::string_view(reply).substr(5));
    }
    Echo(AskerWindow(*connection), CtcpReplyText(nick, reply, roundTrip));
}

ChannelListView* Application::ChannelList(const ConnectionPtr& connection)
{
    if (!channelList_) {
        channelList_ = toolkit_.CreateChannelListView();
        if (channelList_) {
            // Joined where the listing came from.
            channelListJoin_ = channelList_->Events.Join.connect([this](const std::string& name) {
                const std::shared_ptr<IRCConnection> listed = listedOn_.lock();
                ProcessCommand("JOIN " + name, true, listed ? StatusIndex(*listed) : kStatusWindow);
            });
        }
    }
    listedOn_ = connection;
    return channelList_.get();
}

bool Application::ShowReply(const ConnectionPtr& connection, const std::string& message)
{
    const ServerLine line(message);
    if (line.Kind() != ServerLine::Form::Prefixed) {
        return false;
    }
    const std::optional<ReadableReply> reply = ReadReply(line);
    if (!reply) {
        return false;
    }
    if (reply->onlyAsked) {
        if (!connection->NamesAsked(reply->about)) {
            return false; // the names of a join: server text, as ever
        }
        if (reply->numeric == "366") {
            connection->NamesAnswered(reply->about);
        }
    }
    if (reply->numeric == "321" || reply->numeric == "322" || reply->numeric == "323") {
        if (ChannelListView* const list = ChannelList(connection)) {
            if (reply->numeric == "321") {
                list->Begin();
            } else if (reply->numeric == "323") {
                list->End();
            } else if (const std::optional<ListedChannel> channel = ReadListedChannel(line)) {
                list->AddChannel(channel->name, channel->users, channel->topic);
            }
            return true;
        }
    }
    if ((reply->numeric == "305" || reply->numeric == "306") && childs_) {
        childs_->Refresh(); // the captions say whether we are away
    }
    if (reply->numeric == "311" && childs_ && connection->Users()) {
        // The connection has just learnt the user@host: a query with them shows it.
        if (const auto user = connection->Users()->Item(line.Word(4))) {
            if (const std::shared_ptr<Child> partner = childs_->Item(user)) {
                partner->ShowPartner();
            }
        }
    }
    if (reply->text.empty() || !childs_) {
        return true;
    }
    std::int32_t window = AskerWindow(*connection);
    // A reply about a channel or a partner with a window of its own goes there.
    if (!reply->about.empty()) {
        std::shared_ptr<Child> own;
        if (reply->where == ReadableReply::Where::Channel) {
            if (const auto channel =
                    connection->Channels() ? connection->Channels()->Item(reply->about) : nullptr) {
                own = childs_->Item(channel);
            }
        } else if (reply->where == ReadableReply::Where::Partner) {
            if (const auto user = connection->Users() ? connection->Users()->Item(reply->about) : nullptr) {
                own = childs_->Item(user);
            }
        }
        if (own) {
            window = own->Index();
        }
    }
    Echo(window, reply->text);
    return true;
}

} // namespace tellix
