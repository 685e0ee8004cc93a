#include "windows/Highlight.h"
#include "util/LineRoad.h"

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

// Sixteen bytes compared at once (SSE2, NEON or plain code, as the compiler builds it).
using Bytes16 = unsigned char __attribute__((vector_size(16)));
// What comparing two of them gives: all ones where they agree.
using Mask16 = signed char __attribute__((vector_size(16)));

constexpr std::size_t kLongestQuickLine = 512;
constexpr std::size_t kLongestQuickNick = 16;

// Whether the nick may stand in the line as a word. This runs on every message of every
// channel and most lines do not name the user, so it compares sixteen places at a time without
// a branch on what it finds: the nick's first two bytes, case folded by setting 0x20 (which
// never parts two bytes that fold alike), with no letter right before or right after. It may
// answer yes wrongly (a nick character at an edge, a digit of a colour code before it); the
// walk over the words decides then.
TELLIX_LINE_ROAD bool MayName(std::string_view line, std::string_view nick)
{
    if (line.size() > kLongestQuickLine || nick.size() > kLongestQuickNick) {
        return true;
    }
    // The line between blanks, so that its first and last bytes have neighbours too, with
    // room for the last block's loads past its end.
    unsigned char padded[1 + kLongestQuickLine + 2 * 16 + kLongestQuickNick];
    padded[0] = ' ';
    std::memcpy(padded + 1, line.data(), line.size());
    std::memset(padded + 1 + line.size(), ' ', 2 * 16 + kLongestQuickNick);
    const auto load = [&](std::size_t at) {
        Bytes16 bytes;
        std::memcpy(&bytes, padded + at, sizeof bytes);
        return bytes | 0x20;
    };
    // 'a'..'z' moved to the lowest signed bytes, so one signed comparison finds them.
    const auto letter = [](Bytes16 folded) {
        return reinterpret_cast<Mask16>(folded + static_cast<unsigned char>(0x80 - 'a')) < -128 + 26;
    };
    const auto first = static_cast<unsigned char>(nick[0] | 0x20);
    const auto second = static_cast<unsigned char>(nick.size() > 1 ? nick[1] | 0x20 : 0);
    Mask16 found{};
    for (std::size_t at = 1; at <= line.size(); at += 16) {
        Mask16 here = (load(at) == first) & ~letter(load(at - 1)) & ~letter(load(at + nick.size()));
        // A nick of one letter pairs with whatever follows it.
        if (nick.size() > 1) {
            here &= load(at + 1) == second;
        }
        found |= here;
    }
    std::uint64_t halves[2];
    std::memcpy(halves, &found, sizeof halves);
    return (halves[0] | halves[1]) != 0;
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

TELLIX_LINE_ROAD bool Highlight::Names(std::string_view line, std::string_view ownNick) const
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
