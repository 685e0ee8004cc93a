#pragma once

#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "util/Event.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tellix::test {

// Records every event of the watched objects, in the order they are raised, as
// "label.Event args": users by nick ("-" for none, "" for an empty nick), channels by
// name, connections as "c" and their Index, texts quoted, numbers and flags as they are.
class Recorder {
public:
    std::vector<std::string> log;

    // Returns what was recorded so far and starts afresh.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(log);
        return taken;
    }

    void Watch(const std::string& label, IRCUser& user)
    {
        auto& e = *user.Events;
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
    }

    void Watch(const std::string& label, IRCUsers& users)
    {
        auto& e = users.Events;
        Keep(e.Add, label + ".Add");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.Remove, label + ".Remove");
    }

    void Watch(const std::string& label, IRCChannel& channel)
    {
        auto& e = channel.Events;
        Keep(e.Join, label + ".Join");
        Keep(e.Kick, label + ".Kick");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.Part, label + ".Part");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.TopicChange, label + ".TopicChange");
        Keep(e.UserAdd, label + ".UserAdd");
        Keep(e.UserRemove, label + ".UserRemove");
    }

    void Watch(const std::string& label, IRCConnection& connection)
    {
        WatchConnectionEvents(label, connection.Events);
    }

    void Watch(const std::string& label, IRCConnections& connections)
    {
        Keep(connections.Events.Add, label + ".Add");
        WatchConnectionEvents(label, connections.Events);
    }

    void Watch(const std::string& label, IRCChannels& channels)
    {
        auto& e = channels.Events;
        Keep(e.Add, label + ".Add");
        Keep(e.Join, label + ".Join");
        Keep(e.Kick, label + ".Kick");
        Keep(e.NickChange, label + ".NickChange");
        Keep(e.Notice, label + ".Notice");
        Keep(e.Part, label + ".Part");
        Keep(e.PrivMsg, label + ".PrivMsg");
        Keep(e.Quit, label + ".Quit");
        Keep(e.TopicChange, label + ".TopicChange");
    }

private:
    // A connection and its collection raise the same 23 events; the collection's carry
    // the connection first.
    template <class EventSet> void WatchConnectionEvents(const std::string& label, EventSet& e)
    {
        Keep(e.ChannelAdd, label + ".ChannelAdd");
        Keep(e.ChannelJoin, label + ".ChannelJoin");
        Keep(e.ChannelKick, label + ".ChannelKick");
        Keep(e.ChannelNickChange, label + ".ChannelNickChange");
        Keep(e.ChannelNotice, label + ".ChannelNotice");
        Keep(e.ChannelPart, label + ".ChannelPart");
        Keep(e.ChannelPrivMsg, label + ".ChannelPrivMsg");
        Keep(e.ChannelQuit, label + ".ChannelQuit");
        Keep(e.ChannelTopicChange, label + ".ChannelTopicChange");
        Keep(e.Connect, label + ".Connect");
        Keep(e.CtcpReply, label + ".CtcpReply");
        Keep(e.Disconnect, label + ".Disconnect");
        Keep(e.Error, label + ".Error");
        Keep(e.GetRawMessage, label + ".GetRawMessage");
        Keep(e.MessageNotProcessed, label + ".MessageNotProcessed");
        Keep(e.ServerChange, label + ".ServerChange");
        Keep(e.SocketError, label + ".SocketError");
        Keep(e.UserAdd, label + ".UserAdd");
        Keep(e.UserNickChange, label + ".UserNickChange");
        Keep(e.UserNotice, label + ".UserNotice");
        Keep(e.UserPrivMsg, label + ".UserPrivMsg");
        Keep(e.UserQuit, label + ".UserQuit");
        Keep(e.UserRemove, label + ".UserRemove");
        Keep(e.TlsUpgrade, label + ".TlsUpgrade");
    }

    static std::string Text(const std::shared_ptr<IRCUser>& user)
    {
        if (!user) {
            return "-";
        }
        return user->Nick().empty() ? "\"\"" : std::string(user->Nick());
    }
    static std::string Text(const std::shared_ptr<IRCChannel>& channel) { return channel ? channel->Name() : "-"; }
    static std::string Text(const std::shared_ptr<IRCConnection>& connection)
    {
        return connection ? "c" + std::to_string(connection->Index()) : "-";
    }
    static std::string Text(const std::string& text) { return "'" + text + "'"; }
    static std::string Text(bool flag) { return flag ? "true" : "false"; }
    static std::string Text(std::int32_t number) { return std::to_string(number); }
    static std::string Text(std::int16_t number) { return std::to_string(number); }

    template <class... Args> void Keep(Event<Args...>& event, std::string name)
    {
        subscriptions_.push_back(event.connect([this, name](Args... args) {
            std::string entry = name;
            ((entry += " " + Text(args)), ...);
            log.push_back(entry);
        }));
    }

    std::vector<Subscription> subscriptions_;
};

} // namespace tellix::test
