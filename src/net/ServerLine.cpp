#include "net/ServerLine.h"

namespace tellix {

ServerLine::ServerLine(std::string_view line) : line_(line)
{
    const std::size_t firstColon = line.find(':');
    if (firstColon != std::string_view::npos) {
        afterFirstColon_ = line.substr(firstColon + 1);
    }
    if (firstColon == std::string_view::npos) {
        return;
    }
    const std::string_view field1 = line.substr(0, firstColon);
    if (field1 == "PING ") {
        form_ = Form::Ping;
        return;
    }
    if (field1 == "ERROR ") {
        form_ = Form::Error;
        return;
    }
    if (firstColon != 0) {
        return;
    }
    form_ = Form::Prefixed;

    const std::string_view rest = line.substr(1);
    const std::size_t marker = rest.find(" :");
    if (marker != std::string_view::npos) {
        head_ = rest.substr(0, marker + 1); // keeps its blank, as the colon fields give it
        trailing_ = rest.substr(marker + 2);
        hasTrailing_ = true;
    } else {
        head_ = rest;
    }

    ForEachWord(head_, [this](std::string_view word) {
        if (wordCount_ < StoredWords) {
            words_[static_cast<std::size_t>(wordCount_)] = word;
        }
        ++wordCount_;
    });
}

std::string_view ServerLine::Word(std::int32_t k) const
{
    if (k < 1 || k > wordCount_ || k > StoredWords) {
        return {};
    }
    return words_[static_cast<std::size_t>(k - 1)];
}

} // namespace tellix
