// Arbitrary bytes from the "server", through line framing and the dispatcher, into a
// connection that has channels, users and listeners that poke at the model.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/RecordingSocket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace tellix;

namespace {

const char* const kScript = ":irc.test 001 me :Welcome\r\n"
                            ":me!u@h JOIN :#a\r\n"
                            ":irc.test 353 me = #a :@me +bob %carol dave \r\n"
                            ":bob!b@h JOIN #b\r\n"
                            ":me!u@h JOIN :#b\r\n"
                            ":irc.test 332 me #a :topic\r\n";

// Keeps the listeners' reading from being optimised away.
volatile std::size_t gSink = 0;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    test::RecordingSocketFactory factory;
    IRCConnections connections(factory);
    auto connection = connections.Add();
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    auto& socket = *factory.created.back();
    socket.PeerConnects();

    // Listeners that read what they are given, as the windows will.
    std::size_t seen = 0;
    std::vector<Subscription> subs;
    subs.push_back(connections.Events.ChannelPrivMsg.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string& text) {
            seen += channel->Name().size() + source->Nick().size() + text.size() + channel->Users()->Count();
        }));
    subs.push_back(connections.Events.ChannelPart.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string&) {
            // As the presentation does for a channel nobody shows: let it go.
            if (!channel->Joined() && source->IsUser()) {
                channel->Delete();
            }
        }));
    subs.push_back(
        connections.Events.UserQuit.connect([&](const auto&, const auto& source, const std::string& text) {
            seen += source->UserMask().size() + text.size();
        }));
    subs.push_back(connections.Events.MessageNotProcessed.connect(
        [&](const auto&, const std::string& text) { seen += text.size(); }));
    subs.push_back(connections.Events.ChannelTopicChange.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string& previous) {
            seen += channel->Topic().size() + previous.size() + (source ? source->Nick().size() : 0);
        }));

    socket.PeerSends(kScript);
    // The input arrives in two pieces so that framing across arrivals is exercised too.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    socket.PeerSends(bytes.substr(0, cut));
    socket.PeerSends(bytes.substr(cut));
    socket.PeerSends("\r\n");

    connections.Clear();
    gSink = seen;
    return 0;
}
