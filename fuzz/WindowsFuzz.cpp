// Arbitrary bytes from the "server" into the whole client: the connection, the windows it
// opens and what they write. The first two bytes may set a listener that, at a raise the
// bytes choose, closes the window showing what the event names, clears every window, or
// deletes the connection.
#include "app/Application.h"
#include "model/IRCChannel.h"
#include "model/IRCUser.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include "support/HostileListeners.h"
#include "support/RecordingSocket.h"
#include "support/RecordingToolkit.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using namespace tellix;

namespace {

const char* const kScript = ":irc.test 001 me :Welcome\r\n"
                            ":irc.test 005 me PREFIX=(ov)@+ :are supported\r\n"
                            ":me!u@h JOIN :#a\r\n"
                            ":irc.test 353 me = #a :@me +bob carol\r\n"
                            ":me!u@h JOIN :#b\r\n"
                            ":bob!b@h PRIVMSG me :hi\r\n";

volatile std::size_t gSink = 0;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    test::RecordingToolkit toolkit;
    test::RecordingSocketFactory sockets;
    Application app(toolkit, sockets);
    Childs& childs = *app.Childs();
    const auto connection = app.Connections().Item(1);
    std::vector<Subscription> subs;

    // Byte 0 picks an event (past the last: none); byte 1 the act (low two bits) and the raise.
    const auto& events = test::CollectionEvents();
    if (size >= 2 && data[0] < events.size()) {
        const unsigned act = data[1] & 3;
        const int nth = data[1] >> 2;
        auto raises = std::make_shared<int>(0);
        subs.push_back(events[data[0]].attach(
            app.Connections(), [&, act, nth, raises](const test::ConnectionPtr& raiser,
                                                     const test::ChannelPtr& channel, const test::UserPtr& user) {
                if (nth != 0 && ++*raises != nth) {
                    return;
                }
                if (act == 0) {
                    if (auto shown = channel ? childs.Item(channel) : user ? childs.Item(user) : nullptr) {
                        shown->CloseWindow(true);
                    }
                } else if (act == 1) {
                    childs.Clear();
                } else if (act == 2) {
                    raiser->Delete();
                }
            }));
        data += 2;
        size -= 2;
    }

    const std::int16_t slot = connection->SlotNumber();
    const auto peer = [&]() {
        return static_cast<test::RecordingSocket*>(app.Connections().SocketHost().wsConnection(slot));
    };
    const auto send = [&](const std::string& bytes) {
        if (test::RecordingSocket* socket = peer()) {
            socket->PeerSends(bytes);
        }
        toolkit.RunPosted();
    };
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    if (test::RecordingSocket* socket = peer()) {
        socket->PeerConnects();
    }
    send(kScript);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    send(bytes.substr(0, cut));
    send(bytes.substr(cut));
    send("\r\n");

    // Everything the windows hold can be read back, and they still take lines.
    std::size_t seen = 0;
    for (std::int32_t position = 1; position <= childs.Count(); ++position) {
        const auto& child = childs.Item(position);
        for (std::int32_t i = 0; i < child->NickCount(); ++i) {
            seen += child->NickItem(i).size();
        }
        seen += static_cast<test::RecordingChildView*>(child->Window())->text.size();
    }
    app.Echo(0, "to the active window");
    app.Echo(1, "to the status window");
    if (test::RecordingSocket* socket = peer()) {
        socket->PeerCloses();
    }
    gSink = seen;
    return 0;
}
