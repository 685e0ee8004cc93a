// Arbitrary text pasted into the input line of a connected client: whatever it holds, no line
// on the wire may carry a CR, LF or NUL inside it, and none may be longer than the server
// relays whole, our prefix in front and the CR LF counted.
// Input: a first byte whose low two bits pick the window (the status window, a channel window,
// a conversation window, a window with neither), whose next bit answers the question a long
// paste asks, and whose next bit leaves our own mask unknown (the longest one is assumed);
// then the pasted bytes, several pastes where a 0xFF byte stands between them.
#include "app/Application.h"
#include "net/IRCConnection.h"
#include "net/IRCConnections.h"
#include "windows/Child.h"
#include "windows/Childs.h"

#include "support/RecordingSocket.h"
#include "support/RecordingToolkit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

using namespace tellix;

namespace {

constexpr std::size_t kServerLine = 512;

const char* const kWelcome = ":irc.test 001 me :Welcome\r\n";
const char* const kRoom = ":me!u@h JOIN :#a\r\n"
                          ":irc.test 353 me = #a :@me bob carol\r\n"
                          ":bob!b@h PRIVMSG me :hi\r\n";
const char* const kRoomUnmasked = ":me JOIN :#a\r\n"
                                  ":irc.test 353 me = #a :@me bob carol\r\n"
                                  ":bob!b@h PRIVMSG me :hi\r\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    test::RecordingToolkit toolkit;
    test::RecordingSocketFactory sockets;
    // The process-wide instance, as the program has it: a pasted /exit lets go of it.
    Application::Instance() = std::make_shared<Application>(toolkit, sockets);
    Application& app = *Application::Instance();
    const std::shared_ptr<IRCConnection> connection = app.Connections().Item(1);
    test::RecordingSocket& socket = *sockets.created.back();
    socket.onSend = [&connection](std::string_view sent) {
        if (sent.size() < 2 || sent.substr(sent.size() - 2) != "\r\n") {
            std::abort();
        }
        if (sent.substr(0, sent.size() - 2).find_first_of(std::string_view("\r\n\0", 3)) !=
            std::string_view::npos) {
            std::abort();
        }
        if (connection->RelayPrefixLength() + sent.size() > kServerLine) {
            std::abort();
        }
    };
    const unsigned char selector = data[0];
    connection->InitialNick("me");
    connection->Connect("irc.test", 6667);
    socket.PeerConnects();
    socket.PeerSends(kWelcome);
    socket.PeerSends((selector & 8) != 0 ? kRoomUnmasked : kRoom);
    app.Childs()->Add(false); // a window with neither channel nor partner

    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\xFF', start);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        const std::string pasted(input.substr(start, end - start));
        start = end + 1;
        // A pasted line may close the window or end the client: the view is looked up anew.
        const auto view = [window = 1 + (selector & 3)]() -> test::RecordingChildView* {
            Childs* const childs = Application::Instance() ? Application::Instance()->Childs() : nullptr;
            if (childs == nullptr || window > childs->Count()) {
                return nullptr;
            }
            return static_cast<test::RecordingChildView*>(childs->Item(window)->Window());
        };
        if (view() == nullptr) {
            break;
        }
        view()->answer = (selector & 4) != 0;
        view()->Paste(pasted);
        if (view() != nullptr) {
            view()->KeyDown(13); // what stayed in the box, a paste of one line, is entered too
        }
    }
    socket.onSend = nullptr;
    Application::Instance().reset();
    return 0;
}
