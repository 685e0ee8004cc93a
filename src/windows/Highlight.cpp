#include "windows/Highlight.h"

namespace tellix {

namespace {

constexpr char Fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || u >= 0x80) {
        return true;
    }
    switch (c) {
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
