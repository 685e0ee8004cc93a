#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tellix {

// The masks whose senders the user does not want to hear: nick!user@host with `*` and `?`
// wildcards, letters compared in any case ([ ] \ as { } |, the IRC way).
//
// A received line costs one look-up, not a walk over every mask: a mask with a literal nick
// is found by the sender's nick, one with a wildcard nick but a literal host by the sender's
// host, and only the masks wild in both are tried one by one (a rare kind; `*!*@*` and
// the like).
class IgnoreList {
public:
    // "bob" reads as bob!*@*, "u@h" as *!u@h, "bob!u" as bob!u@*; empty for the empty text or
    // one with a blank, which no mask holds.
    static std::string Normalise(std::string_view mask);
    // True when `mask` ([]) or `text` match with `*` any run of bytes and `?` any one byte.
    static bool WildMatch(std::string_view mask, std::string_view text);

    // False when the mask is no mask or is held already.
    bool Add(std::string_view mask);
    // The held mask that `mask` names, taken out; empty when none was held.
    std::string Remove(std::string_view mask);
    void Clear();
    // The masks as added, normalised, in the order they came.
    const std::vector<std::string>& Masks() const { return masks_; }
    bool Empty() const { return masks_.empty(); }

    // Whether a line from `sender` (nick!user@host, or a lone nick) is ignored.
    bool Matches(std::string_view sender) const;

    // The masks as one text, blank-separated, as the settings keep them; and back.
    std::string Text() const;
    void SetText(std::string_view text);

private:
    void Rebuild();

    std::vector<std::string> masks_;
    std::unordered_set<std::string> held_; // folded
    // Folded masks by folded literal nick, by folded literal host, and the rest.
    std::unordered_multimap<std::string, std::string> byNick_;
    std::unordered_multimap<std::string, std::string> byHost_;
    std::vector<std::string> wild_;
};

} // namespace tellix
