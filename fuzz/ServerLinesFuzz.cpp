// Arbitrary bytes from the "server", through line framing and the dispatcher, into a
// connection that has channels, users and listeners that poke at the model. The first two
// bytes may also set a hostile listener on one of the collection's events, which deletes the
// connection, or the channel or user the event names, at a raise the bytes choose.
#include "model/IRCChannel.h"
#include "model/IRCChannels.h"
#include "model/IRCUser.h"
#include "model/IRCUsers.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"

#include "support/HostileListeners.h"
#include "support/RecordingSocket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace tellix;

namespace {

const char* const kScript = ":irc.test 001 me :Welcome\r\n"
                            ":irc.test 005 me PREFIX=(qaohv)~&@%+ :are supported\r\n"
                            ":me!u@h JOIN :#a\r\n"
                            ":irc.test 353 me = #a :@me +bob %carol dave ~&erin\r\n"
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
    std::vector<Subscription> subs;

    // Byte 0 picks an event (past the last: none), byte 1 the victim and the raise (0: every one).
    const auto& events = test::CollectionEvents();
    if (size >= 2 && data[0] < events.size()) {
        const auto victim = (data[1] & 1) != 0 ? test::Victim::Named : test::Victim::Connection;
        subs.push_back(test::LetGo(connections, events[data[0]], victim, data[1] >> 1, [] {}));
        data += 2;
        size -= 2;
    }

    auto connection = connections.Add();
    const std::int16_t slot = connection->SlotNumber();
    // The socket goes with the connection when a listener deletes it.
    const auto peer = [&]() {
        return static_cast<test::RecordingSocket*>(connections.SocketHost().wsConnection(slot));
    };

    // Listeners that read what they are given, as the windows will.
    std::size_t seen = 0;
    subs.push_back(connections.Events.ChannelPrivMsg.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string& text) {
            seen += channel->Name().size() + source->Nick().size() + text.size() + channel->Users()->Count();
        }));
    subs.push_back(connections.Events.ChannelPart.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string&) {
            // As the presentation does for a channel nobody shows: let it go.
            if (!channel->Joined() && source->Parent() != nullptr && source->IsUser()) {
                channel->Delete();
            }
        }));
    subs.push_back(
        connections.Events.UserQuit.connect([&](const auto&, const auto& source, const std::string& text) {
            seen += source->UserMask().size() + text.size() + static_cast<std::size_t>(source->Index());
        }));
    subs.push_back(connections.Events.MessageNotProcessed.connect(
        [&](const auto&, const std::string& text) { seen += text.size(); }));
    subs.push_back(connections.Events.ChannelTopicChange.connect(
        [&](const auto&, const auto& channel, const auto& source, const std::string& previous) {
            seen += channel->Topic().size() + previous.size() + (source ? source->Nick().size() : 0);
        }));

    if (!connection->Deleted()) {
        // An account that goes on when the login fails: the login's lines are read, and the
        // connection stays for the rest of the input.
        ConnectOptions options;
        options.account = "me";
        options.accountPassword = "pw";
        options.continueUnidentified = true;
        connection->Options(options);
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
    }
    const auto send = [&](const std::string& bytes) {
        if (test::RecordingSocket* socket = peer()) {
            socket->PeerSends(bytes);
        }
    };
    if (test::RecordingSocket* socket = peer()) {
        socket->PeerConnects();
    }
    send(kScript);
    // The input arrives in two pieces so that framing across arrivals is exercised too.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    send(bytes.substr(0, cut));
    send(bytes.substr(cut));
    send("\r\n");
    if (test::RecordingSocket* socket = peer()) {
        socket->PeerCloses();
    }

    connections.Clear();
    gSink = seen;
    return 0;
}
