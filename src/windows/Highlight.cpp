#include "windows/Highlight.h"

#include <array>
#include <cstring>

namespace tellix {

namespace {

constexpr char Fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsWordByte(unsigned char u)
{
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u >= 0x80) {
        return true;
    }
    switch (u) {
    case '-':
    case '[':
    case ']':
    case '\\':
    case '`':
    case '^':
    case '{':
    case '}':
    case '_':
    case '|':
        return true;
    default:
        return false;
    }
}

constexpr auto kWordBytes = [] {
    std::array<bool, 256> table{};
    for (std::size_t u = 0; u < table.size(); ++u) {
        table[u] = IsWordByte(static_cast<unsigned char>(u));
    }
    return table;
}();

constexpr bool IsWordChar(char c)
{
    return kWordBytes[static_cast<unsigned char>(c)];
}

constexpr bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool SameFolded(std::string_view word, std::string_view nick)
{
    if (word.size() != nick.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Fold(word[i]) != Fold(nick[i])) {
            return false;
        }
    }
    return true;
}

// Whether the nick stands at `offset` as a whole word, letter case aside. A digit before it may
// end a colour code, so it does not rule the word out; the walk decides.
bool MayNameAt(std::string_view line, std::size_t offset, std::string_view nick)
{
    const std::size_t after = offset + nick.size();
    // The edges first: inside a word, as most candidates are, the letters need no comparing.
    return after <= line.size() && (after == line.size() || !IsWordChar(line[after])) &&
           (offset == 0 || !IsWordChar(line[offset - 1]) || IsDigit(line[offset - 1])) &&
           SameFolded(line.substr(offset, nick.size()), nick);
}

// Whether the nick may stand in the line as a word. Most lines do not hold it at all, or only
// inside longer words ("me" in "message"), and memchr finds its first letter faster than a
// walk over every word. This runs on every message of every channel.
bool MayName(std::string_view line, std::string_view nick)
{
    const char lower = Fold(nick.front());
    const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 'a' + 'A') : lower;
    for (const char first : {lower, upper}) {
        const char* const end = line.data() + line.size();
        for (const char* at = line.data(); at < end; ++at) {
            at = static_cast<const char*>(std::memchr(at, first, static_cast<std::size_t>(end - at)));
            if (at == nullptr) {
                break;
            }
            if (MayNameAt(line, static_cast<std::size_t>(at - line.data()), nick)) {
                return true;
            }
        }
        if (upper == lower) {
            break;
        }
    }
    return false;
}

} // namespace

Highlight::Highlight(std::string_view words)
{
    std::string word;
    for (std::size_t i = 0; i <= words.size(); ++i) {
        if (i == words.size() || words[i] == ' ' || words[i] == '\t') {
            if (!word.empty()) {
                words_.insert(word);
                word.clear();
            }
        } else {
            word += Fold(words[i]);
        }
    }
}

bool Highlight::Names(std::string_view line, std::string_view ownNick) const
{
    if (words_.empty() && (ownNick.empty() || !MayName(line, ownNick))) {
        return false;
    }
    std::string folded;
    std::size_t i = 0;
    while (i < line.size()) {
        // A colour code's numbers belong to the code, not to the word after it.
        if (line[i] == '\x03') {
            ++i;
            for (int n = 0; n < 2 && i < line.size() && IsDigit(line[i]); ++n) {
                ++i;
            }
            if (i + 1 < line.size() && line[i] == ',' && IsDigit(line[i + 1])) {
                ++i;
                for (int n = 0; n < 2 && i < line.size() && IsDigit(line[i]); ++n) {
                    ++i;
                }
            }
            continue;
        }
        if (!IsWordChar(line[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && IsWordChar(line[i])) {
            ++i;
        }
        const std::string_view word = line.substr(start, i - start);
        if (!ownNick.empty() && SameFolded(word, ownNick)) {
            return true;
        }
        if (!words_.empty()) {
            folded.assign(word);
            for (char& c : folded) {
                c = Fold(c);
            }
            if (words_.contains(folded)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace tellix
