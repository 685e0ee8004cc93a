#include "net/ServerLine.h"
#include "util/LineRoad.h"

#include <algorithm>

namespace tellix {

TELLIX_LINE_ROAD ServerLine::ServerLine(std::string_view line)
{
    if (line.starts_with('@')) {
        const std::size_t blank = line.find(' ');
        tags_ = line.substr(1, blank == std::string_view::npos ? std::string_view::npos : blank - 1);
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        // Some servers pad with more than one blank.
        line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    }
    line_ = line;
    const std::size_t firstColon = line.find(':');
    if (firstColon != std::string_view::npos) {
        afterFirstColon_ = line.substr(firstColon + 1);
    }
    // Every form of PING is answered, with or without a colon or a prefix: one left
    // unanswered costs the link.
    if (line.starts_with("PING ")) {
        form_ = Form::Ping;
        pingParams_ = line.substr(5);
        return;
    }
    if (firstColon == std::string_view::npos) {
        return;
    }
    const std::string_view field1 = line.substr(0, firstColon);
    if (field1 == "ERROR ") {
        form_ = Form::Error;
        return;
    }
    if (firstColon != 0) {
        return;
    }
    form_ = Form::Prefixed;
    SplitHead(line.substr(1));
    const std::size_t params = 1 + Sender().size() + 1 + Command().size() + 1;
    if (Command() == "PING" && params < line.size()) {
        form_ = Form::Ping;
        pingParams_ = line.substr(params);
    }
}

void ServerLine::SplitHead(std::string_view rest)
{
    const auto addWord = [this](std::string_view word) {
        if (wordCount_ < StoredWords) {
            words_[static_cast<std::size_t>(wordCount_)] = word;
        }
        ++wordCount_;
    };
    // The words up to the first " :", found in the same pass: the head keeps that blank, as
    // the colon fields give it, and so ends with an empty word.
    std::size_t pos = 0;
    while (true) {
        const std::size_t blank = rest.find(' ', pos);
        if (blank == std::string_view::npos) {
            head_ = rest;
            addWord(rest.substr(pos));
            return;
        }
        addWord(rest.substr(pos, blank - pos));
        pos = blank + 1;
        if (pos < rest.size() && rest[pos] == ':') {
            head_ = rest.substr(0, pos);
            trailing_ = rest.substr(pos + 1);
            hasTrailing_ = true;
            addWord({});
            return;
        }
    }
}

std::string_view ServerLine::Word(std::int32_t k) const
{
    if (k < 1 || k > wordCount_ || k > StoredWords) {
        return {};
    }
    return words_[static_cast<std::size_t>(k - 1)];
}

std::string_view ServerLine::AnyWord(std::int32_t k) const
{
    if (k <= StoredWords) {
        return Word(k);
    }
    if (k > wordCount_) {
        return {};
    }
    std::int32_t at = 0;
    std::string_view found;
    ForEachWord(head_, [&](std::string_view word) {
        if (++at == k) {
            found = word;
        }
    });
    return found;
}

std::optional<std::string> ServerLine::Tag(std::string_view key) const
{
    return FindTag(tags_, key);
}

std::optional<std::string> FindTag(std::string_view tags, std::string_view key)
{
    std::optional<std::string> found;
    ForEachTag(tags, [&](std::string_view name, std::string_view value) {
        if (name == key) {
            found = UnescapeTagValue(value); // a key given twice: the last one counts
        }
    });
    return found;
}

std::optional<std::string_view> ServerLine::RawTag(std::string_view key) const
{
    std::optional<std::string_view> found;
    std::string_view rest = tags_;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view tag = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t equals = tag.find('=');
        if (tag.substr(0, equals) == key) {
            found = equals == std::string_view::npos ? std::string_view() : tag.substr(equals + 1);
        }
    }
    return found;
}

std::string EscapeTagValue(std::string_view value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case ';':
            escaped += "\\:";
            break;
        case ' ':
            escaped += "\\s";
            break;
        case '\\':
            escaped += "\\\\";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\n':
            escaped += "\\n";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string UnescapeTagValue(std::string_view value)
{
    std::string plain;
    plain.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            plain += value[i];
            continue;
        }
        if (++i == value.size()) {
            break;
        }
        switch (value[i]) {
        case ':':
            plain += ';';
            break;
        case 's':
            plain += ' ';
            break;
        case 'r':
            plain += '\r';
            break;
        case 'n':
            plain += '\n';
            break;
        default:
            plain += value[i];
            break;
        }
    }
    return plain;
}

} // namespace tellix
