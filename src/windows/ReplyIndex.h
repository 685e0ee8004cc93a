#pragma once

#include <absl/container/flat_hash_map.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tellix {

// The last lines of a window by their message id (the server's msgid tag), with what a reply to
// one quotes of it: its sender and first words. Bounded: the oldest goes when a new one comes,
// and a lookup is one hash probe.
class ReplyIndex {
public:
    static constexpr std::size_t kKept = 256;
    // Longer ids are kept by no line: no server makes them, and each would cost its length.
    static constexpr std::size_t kLongestId = 128;
    static constexpr std::size_t kQuotedWords = 3;
    static constexpr std::size_t kQuotedBytes = 32;

    void Note(std::string_view id, std::string_view nick, std::string_view text);
    // "> alice: the build is… | " for a reply to a line kept here; empty for any other.
    std::string Quote(std::string_view id) const;
    std::size_t Count() const { return byId_.size(); }

    // The first words of `text` as a quote shows them: formatting and control codes dropped,
    // "…" where more followed.
    static std::string FirstWords(std::string_view text);

private:
    struct Line {
        std::string id;
        std::string nick;
        std::string words;
    };
    std::vector<Line> ring_;
    std::size_t next_ = 0;
    absl::flat_hash_map<std::string, std::size_t> byId_;
};

} // namespace tellix
