// Arbitrary typed lines into every kind of window, connected: the input line and the command
// interpreter must neither crash nor put a line on the wire that holds CR, LF or NUL inside it.
// Input: a first byte whose high bit leaves the client offline (never connected), then lines
// cut at LF. A line's first byte picks the window (low two bits: the status
// window, a channel window, a conversation window, a window with neither) and the road (next
// two bits: typed with Enter, run by the program with User false, completed with Tab first,
// or an earlier line brought back with the up arrow); the rest is what is typed.
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
#include <string>
#include <string_view>

using namespace tellix;

namespace {

const char* const kScript = ":irc.test 001 me :Welcome\r\n"
                            ":me!u@h JOIN :#a\r\n"
                            ":irc.test 353 me = #a :@me bob carol\r\n"
                            ":bob!b@h PRIVMSG me :hi\r\n";

// One line on the wire: its end and nowhere else a CR, an LF or a NUL.
void CheckWireLine(std::string_view sent)
{
    if (sent.size() < 2 || sent.substr(sent.size() - 2) != "\r\n") {
        std::abort();
    }
    if (sent.substr(0, sent.size() - 2).find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    test::RecordingToolkit toolkit;
    test::RecordingSocketFactory sockets;
    // The process-wide instance, as the program has it: EXIT lets go of it mid-command.
    Application::Instance() = std::make_shared<Application>(toolkit, sockets);
    Application& app = *Application::Instance();
    const auto connection = app.Connections().Item(1);
    test::RecordingSocket& socket = *sockets.created.back();
    socket.onSend = CheckWireLine;
    const bool offline = size > 0 && (data[0] & 0x80) != 0;
    if (!offline) {
        connection->InitialNick("me");
        connection->Connect("irc.test", 6667);
        socket.PeerConnects();
        socket.PeerSends(kScript);
    }
    app.Childs()->Add(false); // a window with neither channel nor partner

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        const std::string_view line = input.substr(start, end - start);
        start = end + 1;
        // EXIT ended the client: nothing is left to type into.
        if (Application::Instance() == nullptr) {
            break;
        }
        Childs* const childs = Application::Instance()->Childs();
        if (line.empty() || childs == nullptr) {
            continue;
        }
        const auto selector = static_cast<unsigned char>(line.front());
        const std::int32_t window = 1 + (selector & 3);
        if (window > childs->Count()) {
            continue;
        }
        const std::string typed(line.substr(1));
        auto& view = *static_cast<test::RecordingChildView*>(childs->Item(window)->Window());
        switch ((selector >> 2) & 3) {
        case 0:
            view.SetInputText("");
            view.Type(typed);
            view.KeyDown(13);
            break;
        case 1:
            Application::Instance()->ProcessCommand(typed, false, window);
            break;
        case 2:
            view.SetInputText("");
            view.Type(typed);
            view.KeyDown(9);
            view.KeyDown(13);
            break;
        default:
            for (std::size_t i = 0; i < typed.size() % 4 + 1; ++i) {
                view.KeyDown(38);
            }
            view.KeyDown(13);
            break;
        }
    }
    Application::Instance().reset();
    return 0;
}
