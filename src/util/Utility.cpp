#include "util/Utility.h"

#include <algorithm>
#include <atomic>

namespace tellix {

const std::string& WordList::At(std::int32_t index) const
{
    static const std::string empty;
    const std::int64_t offset = static_cast<std::int64_t>(index) - LowerBound;
    if (offset < 0 || offset >= static_cast<std::int64_t>(Words.size())) {
        return empty;
    }
    return Words[static_cast<std::size_t>(offset)];
}

namespace {

std::uint64_t NextKeyNumber()
{
    // The model lives on the one user-interface thread; an atomic here costs a locked
    // instruction for every user a names reply brings.
    static std::uint64_t counter = 0;
    return ++counter;
}

} // namespace

std::string NewUniqueKey()
{
    return UniqueKey().Text();
}

UniqueKey::UniqueKey() : number_(NextKeyNumber()) {}

std::string UniqueKey::Text() const
{
    return "K" + std::to_string(number_);
}

std::string AppendLineEnd(std::string_view text, std::string_view lineEnd)
{
    std::string line;
    line.reserve(text.size() + lineEnd.size());
    line.append(text).append(lineEnd);
    return line;
}

bool IsEmptyList(const WordList& list)
{
    return list.Words.empty();
}

WordList SplitQuoted(std::string_view text, std::string_view separator, std::string_view openQuote,
                     std::string_view closeQuote)
{
    WordList list;
    if (text.empty()) {
        return list;
    }
    if (separator.empty()) {
        list.Words.emplace_back(text);
        return list;
    }
    const bool quoted = !openQuote.empty() && !closeQuote.empty();
    std::size_t pos = 0;
    while (true) {
        if (quoted && text.substr(pos).starts_with(openQuote)) {
            // A quoted word: up to the closing quote that a separator or the end follows.
            std::string word;
            std::size_t i = pos + openQuote.size();
            bool closed = false;
            while (i < text.size()) {
                if (text.substr(i).starts_with(closeQuote)) {
                    const std::size_t after = i + closeQuote.size();
                    if (text.substr(after).starts_with(closeQuote)) {
                        word.append(closeQuote);
                        i = after + closeQuote.size();
                        continue;
                    }
                    if (after == text.size() || text.substr(after).starts_with(separator)) {
                        closed = true;
                        i = after;
                        break;
                    }
                }
                word.push_back(text[i]);
                ++i;
            }
            if (closed) {
                list.Words.push_back(std::move(word));
                if (i == text.size()) {
                    return list;
                }
                pos = i + separator.size();
                continue;
            }
            // No closing quote: the word is taken as it stands.
        }
        const std::size_t next = text.find(separator, pos);
        if (next == std::string_view::npos) {
            list.Words.emplace_back(text.substr(pos));
            return list;
        }
        list.Words.emplace_back(text.substr(pos, next - pos));
        pos = next + separator.size();
    }
}

std::string JoinQuoted(const WordList& list, std::string_view separator, std::string_view openQuote,
                       std::string_view closeQuote)
{
    std::string text;
    const bool quoted = !openQuote.empty() && !closeQuote.empty();
    bool first = true;
    for (const std::string& word : list.Words) {
        if (!first) {
            text.append(separator);
        }
        first = false;
        if (quoted && !separator.empty() && word.find(separator) != std::string::npos) {
            text.append(openQuote);
            for (std::size_t i = 0; i < word.size();) {
                if (std::string_view(word).substr(i).starts_with(closeQuote)) {
                    text.append(closeQuote).append(closeQuote);
                    i += closeQuote.size();
                } else {
                    text.push_back(word[i++]);
                }
            }
            text.append(closeQuote);
        } else {
            text.append(word);
        }
    }
    return text;
}

namespace {

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string UpperCase(std::string_view word)
{
    std::string upper(word);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::string LowerCase(std::string_view word)
{
    std::string lower(word);
    for (char& c : lower) {
        c = AsciiLower(c);
    }
    return lower;
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

WordList SetLowerBound(WordList list, std::int32_t firstIndex)
{
    list.LowerBound = firstIndex;
    return list;
}

std::int32_t LastIndex(const WordList& list, std::int32_t defaultIndex)
{
    if (list.Words.empty()) {
        return defaultIndex;
    }
    return list.LowerBound + static_cast<std::int32_t>(list.Words.size()) - 1;
}

FieldSplitter::FieldSplitter(std::string_view text, char delimiter) : delimiter_(delimiter)
{
    std::size_t pos = 0;
    while (true) {
        const std::size_t next = text.find(delimiter, pos);
        if (next == std::string_view::npos) {
            fields_.emplace_back(text.substr(pos));
            return;
        }
        fields_.emplace_back(text.substr(pos, next - pos));
        pos = next + 1;
    }
}

std::string_view FieldSplitter::Field(std::int32_t index) const
{
    if (index < 1 || index > Count()) {
        return {};
    }
    return fields_[static_cast<std::size_t>(index - 1)];
}

void FieldSplitter::Replace(std::int32_t index, std::string_view text)
{
    if (index >= 1 && index <= Count()) {
        fields_[static_cast<std::size_t>(index - 1)] = std::string(text);
    }
}

void FieldSplitter::Remove(std::int32_t index)
{
    if (index >= 1 && index <= Count()) {
        fields_.erase(fields_.begin() + (index - 1));
    }
}

std::string FieldSplitter::Join(std::int32_t first) const
{
    std::string text;
    for (std::int32_t i = std::max<std::int32_t>(first, 1); i <= Count(); ++i) {
        if (i > std::max<std::int32_t>(first, 1)) {
            text.push_back(delimiter_);
        }
        text.append(fields_[static_cast<std::size_t>(i - 1)]);
    }
    return text;
}

} // namespace tellix
