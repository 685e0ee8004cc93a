#pragma once

#include <absl/container/flat_hash_set.h>

#include <string>
#include <string_view>

namespace tellix {

// Whether a received line names the user: the own nick or one of the highlight words, as a
// whole word, letter case aside. Nick characters count as word characters, so "bob" is not
// named by "bobby" nor by "bob_".
class Highlight {
public:
    // Blank-separated words, as the setting holds them.
    explicit Highlight(std::string_view words = {});

    // One pass over the line, each word looked up once.
    bool Names(std::string_view line, std::string_view ownNick) const;

private:
    absl::flat_hash_set<std::string> words_; // folded
};

} // namespace tellix
