#include "windows/ReplyIndex.h"

#include "util/Concat.h"
#include "util/Utf8.h"

namespace tellix {

namespace {

constexpr char kColour = '\x03';
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A colour code's numbers after its mark: "4", "04", "4,12".
std::size_t ColourDigits(std::string_view text, std::size_t at)
{
    const std::size_t start = at;
    for (std::size_t n = 0; n < 2 && at < text.size() && IsDigit(text[at]); ++n) {
        ++at;
    }
    if (at > start && at + 1 < text.size() && text[at] == ',' && IsDigit(text[at + 1])) {
        ++at;
        for (std::size_t n = 0; n < 2 && at < text.size() && IsDigit(text[at]); ++n) {
            ++at;
        }
    }
    return at - start;
}

} // namespace

std::string ReplyIndex::FirstWords(std::string_view text)
{
    // An action quotes what was done.
    if (text.starts_with("\x01"
                         "ACTION ") &&
        text.size() > 8) {
        text = text.substr(8, text.size() - 8 - (text.ends_with('\x01') ? 1 : 0));
    }
    std::string plain;
    for (std::size_t i = 0; i < text.size() && plain.size() <= kQuotedBytes * 4; ++i) {
        const char c = text[i];
        if (c == kColour) {
            i += ColourDigits(text, i + 1);
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != '\x7F') {
            plain += c;
        }
    }
    const std::size_t start = plain.find_first_not_of(' ');
    if (start == std::string::npos) {
        return {};
    }
    std::size_t end = start;
    std::size_t words = 0;
    while (end < plain.size() && words < kQuotedWords) {
        const std::size_t blank = plain.find(' ', end);
        end = blank == std::string::npos ? plain.size() : blank;
        ++words;
        if (end < plain.size()) {
            end = plain.find_first_not_of(' ', end);
            end = end == std::string::npos ? plain.size() : end;
        }
    }
    std::string_view kept = std::string_view(plain).substr(start, end - start);
    const bool more = start + kept.size() < plain.size() || kept.size() > kQuotedBytes;
    kept = kept.substr(0, Utf8Cut(kept, kQuotedBytes));
    while (kept.ends_with(' ')) {
        kept.remove_suffix(1);
    }
    return more ? Concat(kept, kEllipsis) : std::string(kept);
}

void ReplyIndex::Note(std::string_view id, std::string_view nick, std::string_view text)
{
    if (id.empty() || id.size() > kLongestId || byId_.contains(absl::string_view(id.data(), id.size()))) {
        return;
    }
    if (ring_.size() < kKept) {
        ring_.push_back({});
    } else if (const auto old = byId_.find(ring_[next_].id); old != byId_.end() && old->second == next_) {
        byId_.erase(old);
    }
    Line& line = ring_[next_];
    line.id.assign(id);
    line.nick.assign(nick);
    line.words = FirstWords(text);
    byId_.emplace(line.id, next_);
    next_ = (next_ + 1) % kKept;
}

std::string ReplyIndex::Quote(std::string_view id) const
{
    const auto found = byId_.find(absl::string_view(id.data(), id.size()));
    if (found == byId_.end()) {
        return {};
    }
    const Line& line = ring_[found->second];
    return Concat("> ", line.nick, ": ", line.words, " | ");
}

} // namespace tellix
