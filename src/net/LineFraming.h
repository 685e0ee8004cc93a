#pragma once

#include "platform/TcpSocket.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tellix {

// The receive buffer of a connection: cuts received bytes into lines at exactly
// CR LF and hands each one on, without its CR LF, before the next is cut.
class LineFraming {
public:
    // IRC lines are at most 512 bytes, 8,703 with message tags; a line longer than this
    // is a broken or hostile peer's and is dropped up to its CR LF, whether it came in one
    // read or in pieces, and the line after it is handed on whole.
    static constexpr std::size_t MaxPendingLine = 64 * 1024;

    using LineHandler = std::function<void(const std::string&)>;

    // Appends `data` and hands on every line it completes. A handler may call Clear
    // (the lines still buffered are then dropped) or, from a nested event loop,
    // Receive again; every line is handed on exactly once, in order.
    void Receive(std::string_view data, const LineHandler& onLine);

    // Forgets everything buffered, so no line of an earlier connection is glued to
    // the first line of the next.
    void Clear();

    // The incomplete last line, waiting for its CR LF.
    std::string_view Pending() const { return std::string_view(buffer_).substr(consumed_); }

    // How many over-long lines were dropped.
    std::uint64_t DroppedLines() const { return droppedLines_; }

private:
    bool SkipDiscarded(std::string_view& data);
    void Compact();

    std::string buffer_;
    std::size_t consumed_ = 0;  // bytes of buffer_ already handed on
    std::size_t scanFrom_ = 0;  // no CR LF starts before this offset
    int depth_ = 0;             // nested Receive calls in progress
    bool discarding_ = false;   // dropping an over-long line up to its CR LF
    bool discardSawCr_ = false; // the dropped bytes ended in CR
    std::uint64_t droppedLines_ = 0;
};

// Sends one protocol line: the message cut at its first CR, LF or NUL (so no text
// can smuggle a second command), then CR LF, in one send, and only while the socket
// is connected; otherwise nothing happens.
void SendLine(TcpSocket& socket, std::string_view message);

} // namespace tellix
