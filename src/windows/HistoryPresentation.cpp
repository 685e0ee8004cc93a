// What the server keeps of the conversations, as the windows show it: where missed lines start,
// read markers moved on another device, and older lines fetched for a window.
#include "app/Application.h"
#include "model/IRCChannels.h"
#include "model/IRCUsers.h"
#include "windows/ChatLog.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include <algorithm>

namespace tellix {

namespace {

// The log lines read back per conversation for its newest message.
constexpr std::size_t kNewestReach = 200;

} // namespace

std::shared_ptr<Child> Application::ConversationWindow(const ConnectionPtr& connection,
                                                       const std::string& target) const
{
    if (!childs_) {
        return nullptr;
    }
    if (const ChannelPtr channel = connection->Channels()->Item(target)) {
        return childs_->Item(channel);
    }
    if (const UserPtr user = connection->Users()->Item(target)) {
        return childs_->Item(user);
    }
    return nullptr;
}

void Application::pobjConnections_ReadMarkerMove(const ConnectionPtr& connection, const std::string& target)
{
    if (const auto window = ConversationWindow(connection, target)) {
        window->ReadMarkerMoved();
    }
}

void Application::pobjConnections_HistoryFetched(const ConnectionPtr& connection, const std::string& target,
                                                 bool more)
{
    if (const auto window = ConversationWindow(connection, target)) {
        window->OlderFetched(more);
    }
}

// Asked as the welcome ends, before the bouncer's joins write their lines: the windows' newest
// messages and those of every conversation the logs keep of the network (events, a join
// among them, are no line of the conversation).
std::optional<std::int64_t> Application::HistorySince(const IRCConnection& connection) const
{
    std::optional<std::int64_t> newest;
    const auto later = [&](std::int64_t ms) {
        if (!newest || ms > *newest) {
            newest = ms;
        }
    };
    if (!childs_) {
        return newest;
    }
    for (std::int32_t index = 1; index <= childs_->Count(); ++index) {
        const auto& child = childs_->Collection::Item(index);
        if (child->Connection() == &connection && child->NewestSaid()) {
            later(*child->NewestSaid());
        }
    }
    LogFiles* const logs = childs_->LogsToRead();
    const std::string& network = Child::LogNetwork(connection);
    if (logs == nullptr || network.empty()) {
        return newest;
    }
    const std::string root = chatlog::SafeName(network);
    for (const std::string& folder : logs->Folders(root)) {
        if (folder == chatlog::kStatusTarget) {
            continue;
        }
        // Lines fetched from further back are written after newer ones: the newest is looked for.
        for (const std::string& line : logs->LastLines(root + "/" + folder, kNewestReach)) {
            if (const auto logged = chatlog::ParseLine(line); logged && Child::LoggedMessage(logged->text)) {
                later(logged->second * 1000);
            }
        }
    }
    return newest;
}

} // namespace tellix
