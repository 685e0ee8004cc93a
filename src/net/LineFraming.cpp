#include "net/LineFraming.h"

#include "util/LineRoad.h"
#include "util/Utility.h"

#include <algorithm>
#include <cstring>

namespace tellix {

namespace {

// Offset of the first CR LF at or after `from`, or npos.
std::size_t FindCrLf(const std::string& text, std::size_t from)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin + from;
    while (p < end) {
        const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
        if (cr == nullptr) {
            return std::string::npos;
        }
        const char* at = static_cast<const char*>(cr);
        if (at + 1 < end && at[1] == '\n') {
            return static_cast<std::size_t>(at - begin);
        }
        p = at + 1;
    }
    return std::string::npos;
}

} // namespace

TELLIX_LINE_ROAD void LineFraming::Receive(std::string_view data, const LineHandler& onLine)
{
    if (!SkipDiscarded(data)) {
        return;
    }
    buffer_.append(data);

    struct DepthGuard {
        LineFraming& framing;
        explicit DepthGuard(LineFraming& f) : framing(f) { ++framing.depth_; }
        ~DepthGuard()
        {
            if (--framing.depth_ == 0) {
                framing.Compact();
            }
        }
    } guard(*this);

    while (true) {
        const std::size_t crlf = FindCrLf(buffer_, std::max(scanFrom_, consumed_));
        if (crlf == std::string::npos) {
            const bool endsInCr = !buffer_.empty() && buffer_.back() == '\r';
            scanFrom_ = std::max(consumed_, buffer_.size() - (endsInCr ? 1 : 0));
            // The CR a line may end in is not yet part of it.
            if (scanFrom_ - consumed_ > MaxPendingLine) {
                // Over-long whatever comes next: dropped now, up to its CR LF.
                discarding_ = true;
                discardSawCr_ = endsInCr;
                ++droppedLines_;
                buffer_.resize(consumed_);
                scanFrom_ = consumed_;
            }
            return;
        }
        const std::size_t begin = consumed_;
        consumed_ = crlf + 2;
        scanFrom_ = consumed_;
        if (crlf - begin > MaxPendingLine) {
            // The same line in pieces would have been dropped: so is it whole.
            ++droppedLines_;
            continue;
        }
        std::string line = buffer_.substr(begin, crlf - begin);
        onLine(line);
    }
}

bool LineFraming::SkipDiscarded(std::string_view& data)
{
    if (!discarding_) {
        return true;
    }
    std::size_t end = std::string_view::npos;
    if (discardSawCr_ && !data.empty() && data.front() == '\n') {
        end = 1;
    } else {
        const std::size_t crlf = data.find("\r\n");
        if (crlf != std::string_view::npos) {
            end = crlf + 2;
        }
    }
    if (end == std::string_view::npos) {
        if (!data.empty()) {
            discardSawCr_ = data.back() == '\r';
        }
        return false;
    }
    discarding_ = false;
    discardSawCr_ = false;
    data.remove_prefix(end);
    return true;
}

void LineFraming::Compact()
{
    buffer_.erase(0, consumed_);
    scanFrom_ -= std::min(scanFrom_, consumed_);
    consumed_ = 0;
    // A dropped line or a flood's burst leaves no large buffer behind.
    if (buffer_.capacity() > 2 * MaxPendingLine && buffer_.size() <= MaxPendingLine) {
        std::string(buffer_).swap(buffer_);
    }
}

void LineFraming::Clear()
{
    // An outer Receive in progress then finds nothing more to cut.
    buffer_.clear();
    consumed_ = 0;
    scanFrom_ = 0;
    discarding_ = false;
    discardSawCr_ = false;
}

void SendLine(TcpSocket& socket, std::string_view message)
{
    if (socket.State() != TcpSocket::StateConnected) {
        return;
    }
    const std::size_t cut = message.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string_view::npos) {
        message = message.substr(0, cut);
    }
    socket.SendData(AppendLineEnd(message, "\r\n"));
}

} // namespace tellix
