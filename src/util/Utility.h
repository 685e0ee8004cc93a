#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// A list of words whose first element has the number LowerBound.
struct WordList {
    std::vector<std::string> Words;
    std::int32_t LowerBound = 0;

    // The word with number `index`; an index outside the list reads as empty text.
    const std::string& At(std::int32_t index) const;
};

// A text no earlier call in this process returned; never empty.
std::string NewUniqueKey();

// A unique key kept as the number it is made from, for objects that exist by the ten
// thousand: its Text is what NewUniqueKey would have returned in its place.
class UniqueKey {
public:
    UniqueKey();
    std::string Text() const;

private:
    std::uint64_t number_;
};

std::string AppendLineEnd(std::string_view text, std::string_view lineEnd);

// Command words compare case-insensitively: ASCII letters upper-cased, other bytes kept.
std::string UpperCase(std::string_view word);
std::string LowerCase(std::string_view word);
// Names (networks, hosts) compare in any ASCII letter case.
bool SameIgnoringCase(std::string_view a, std::string_view b);

bool IsEmptyList(const WordList& list);

// Cuts `text` at every `separator`: a run of separators gives empty words, so joining
// the words again restores the text. The empty text gives the empty list. With a
// non-empty opening quote, a word that begins with it runs to the matching closing
// quote (a doubled closing quote stands for itself) and may hold separators.
WordList SplitQuoted(std::string_view text, std::string_view separator, std::string_view openQuote,
                     std::string_view closeQuote);

// Joins the words with `separator`. A word that holds the separator is put in quotes
// (closing quotes inside doubled), so SplitQuoted with the same quotes gives it back;
// every other word, empty ones and ones with quote characters included, comes out
// unchanged, so text rebuilt from typed words reads as it was typed.
std::string JoinQuoted(const WordList& list, std::string_view separator, std::string_view openQuote,
                       std::string_view closeQuote);

WordList SetLowerBound(WordList list, std::int32_t firstIndex);

std::int32_t LastIndex(const WordList& list, std::int32_t defaultIndex);

// Holds a text cut at a one-character delimiter. Fields count from 1, every
// delimiter counts (empty fields included), and a field beyond the last reads empty.
class FieldSplitter {
public:
    FieldSplitter(std::string_view text, char delimiter);

    std::int32_t Count() const { return static_cast<std::int32_t>(fields_.size()); }
    std::string_view Field(std::int32_t index) const;
    void Replace(std::int32_t index, std::string_view text);
    void Remove(std::int32_t index);
    // Fields from `first` to the last, joined by the delimiter again.
    std::string Join(std::int32_t first = 1) const;

private:
    std::vector<std::string> fields_;
    char delimiter_;
};

} // namespace tellix
