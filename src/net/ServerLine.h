#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// One received line cut the way the dispatcher reads it, as views into the line.
//
// The head is the text between the leading colon and the trailing part, cut at every
// single blank (empty words count). The trailing part begins at the first " :" after
// the leading colon, the IRC rule; when the line's second colon is that one, this is
// simply the text between the first and second colon and the text after the second.
// Servers may also write a last parameter without its colon, or a lone parameter as
// the trailing part; the Param... reads find a parameter wherever it was written.
//
// A line may open with message tags ("@key=value;key2 "); they are set aside and the rest is
// read as a line without them.
class ServerLine {
public:
    enum class Form { Ping, Error, Prefixed, Other };

    explicit ServerLine(std::string_view line);

    Form Kind() const { return form_; }
    // The line without its tags.
    std::string_view Line() const { return line_; }
    // The tags as written, without the "@" and the blank after them.
    std::string_view Tags() const { return tags_; }
    // The value of tag `key`, unescaped; empty for a key without value. Nothing when the line
    // does not carry the key.
    std::optional<std::string> Tag(std::string_view key) const;
    // The same as written, not unescaped: for values compared as they came (a msgid, a batch).
    std::optional<std::string_view> RawTag(std::string_view key) const;
    // Everything after the first colon, inner colons included.
    std::string_view AfterFirstColon() const { return afterFirstColon_; }
    // A PING's parameters as written, for the PONG that answers it.
    std::string_view PingParams() const { return pingParams_; }

    bool HasTrailing() const { return hasTrailing_; }
    std::string_view Trailing() const { return trailing_; }
    std::string_view Head() const { return head_; }

    std::int32_t WordCount() const { return wordCount_; }
    // Word k of the head, counted from 1; beyond the last it reads empty. Only the
    // first eight are kept: no command reads further.
    std::string_view Word(std::int32_t k) const;
    // Word k of the head however far it is: past the first eight it is found by a scan.
    std::string_view AnyWord(std::int32_t k) const;

    std::string_view Sender() const { return Word(1); }
    std::string_view Command() const { return Word(2); }
    std::string_view Target() const { return Word(3); }

    // A text parameter that is the last one of its command and sits at head word
    // `word` when written without a colon: the trailing part when there is one,
    // otherwise that word.
    std::string_view LastParam(std::int32_t word) const { return hasTrailing_ ? trailing_ : Word(word); }

    // True when the parameter that belongs at head word `word` was written as the
    // trailing part instead (":nick!user@host PART :#chan"): the head ends there.
    bool InTrailing(std::int32_t word) const { return hasTrailing_ && word == wordCount_ && Word(word).empty(); }

    // The trailing part up to its first colon: the third colon field of a line whose
    // second colon opens the trailing part.
    std::string_view TrailingToColon() const { return trailing_.substr(0, trailing_.find(':')); }

private:
    static constexpr std::int32_t StoredWords = 8;

    void SplitHead(std::string_view rest);

    std::string_view tags_;
    std::string_view line_;
    std::string_view afterFirstColon_;
    std::string_view pingParams_;
    std::string_view head_;
    std::string_view trailing_;
    std::array<std::string_view, StoredWords> words_{};
    std::int32_t wordCount_ = 0;
    bool hasTrailing_ = false;
    Form form_ = Form::Other;
};

// Calls `onTag(key, value)` for each tag of `tags` as a line carries them ("a=1;b"), in order;
// the value as written, empty for a key without one.
template <class F> void ForEachTag(std::string_view tags, F&& onTag)
{
    while (!tags.empty()) {
        const std::size_t end = tags.find(';');
        const std::string_view tag = tags.substr(0, end);
        tags = end == std::string_view::npos ? std::string_view() : tags.substr(end + 1);
        const std::size_t equals = tag.find('=');
        onTag(tag.substr(0, equals),
              equals == std::string_view::npos ? std::string_view() : tag.substr(equals + 1));
    }
}

// The value of tag `key` among `tags` as a line carries them ("a=1;b"), unescaped; empty for a
// key without value, nothing when the key is not there. A key given twice: the last counts.
std::optional<std::string> FindTag(std::string_view tags, std::string_view key);

// A tag value as written on the wire, made plain: "\:" is ";", "\s" a blank, "\\" a backslash,
// "\r" and "\n" CR and LF; any other escaped character stands for itself, and a lone
// backslash at the end goes.
std::string UnescapeTagValue(std::string_view value);

// A value made fit for a tag, or a bouncer's network attribute: the reverse of UnescapeTagValue.
std::string EscapeTagValue(std::string_view value);

// Calls `onName` for each word of a text cut at every single blank (empty words included).
template <class F> void ForEachWord(std::string_view text, F&& onName)
{
    std::size_t pos = 0;
    while (true) {
        const std::size_t blank = text.find(' ', pos);
        if (blank == std::string_view::npos) {
            onName(text.substr(pos));
            return;
        }
        onName(text.substr(pos, blank - pos));
        pos = blank + 1;
    }
}

} // namespace tellix
