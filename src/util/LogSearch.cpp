#include "util/LogSearch.h"

#include "util/Utf8.h"

#include <array>

namespace tellix {

namespace {

// Control bytes too: the index holds none, and a NUL would end the query's text early.
bool IsSpace(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7f;
}

// The tokenizer drops ASCII punctuation: a term of nothing else would be an empty phrase.
bool HasWordCharacter(std::string_view term)
{
    for (const char c : term) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z')) {
            return true;
        }
    }
    return false;
}

void AppendTerm(std::string_view term, std::string& out)
{
    if (!HasWordCharacter(term)) {
        return;
    }
    if (!out.empty()) {
        out += ' ';
    }
    out += '"';
    for (const char c : term) {
        if (c == '"') {
            out += '"'; // a quote inside a string is written twice
        }
        out += IsSpace(c) ? ' ' : c; // a phrase's words part there all the same
    }
    out += '"';
}

std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// "2026-12-08T11:34:56+01:00" (or "Z" for the offset).
std::optional<std::int64_t> StampTime(std::string_view stamp)
{
    const auto year = Digits(stamp, 0, 4);
    const auto month = Digits(stamp, 5, 2);
    const auto day = Digits(stamp, 8, 2);
    const auto hour = Digits(stamp, 11, 2);
    const auto minute = Digits(stamp, 14, 2);
    const auto second = Digits(stamp, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || stamp[4] != '-' || stamp[7] != '-' ||
        stamp[10] != 'T' || stamp[13] != ':' || stamp[16] != ':' || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    std::int64_t offset = 0;
    const std::string_view zone = stamp.substr(19);
    if (zone != "Z") {
        const auto offsetHours = Digits(zone, 1, 2);
        const auto offsetMinutes = Digits(zone, 4, 2);
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' || !offsetHours ||
            !offsetMinutes) {
            return std::nullopt;
        }
        offset = (*offsetHours * 60 + *offsetMinutes) * 60 * (zone[0] == '-' ? -1 : 1);
    }
    const std::int64_t days = DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    return days * 86400 + *hour * 3600 + *minute * 60 + *second - offset;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

std::string SearchMatchQuery(std::string_view typedBytes)
{
    // Read as the logs hold text: a byte that starts no UTF-8 character would swallow the
    // quote after it.
    const std::string text = ShownAsUtf8(typedBytes);
    const std::string_view typed = text;
    std::string query;
    std::size_t i = 0;
    while (i < typed.size()) {
        if (IsSpace(typed[i])) {
            ++i;
        } else if (typed[i] == '"') {
            // A phrase runs to the next quote; an unclosed one to the end.
            const std::size_t close = typed.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? typed.size() : close;
            AppendTerm(typed.substr(i + 1, end - i - 1), query);
            i = end + 1;
        } else {
            std::size_t end = i;
            while (end < typed.size() && !IsSpace(typed[end]) && typed[end] != '"') {
                ++end;
            }
            AppendTerm(typed.substr(i, end - i), query);
            i = end;
        }
    }
    return query;
}

LogLine ParseLogLine(std::string_view line)
{
    LogLine parsed;
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    parsed.text = line;
    if (line.empty() || line.front() != '[') {
        return parsed;
    }
    const std::size_t close = line.find("] ");
    if (close == std::string_view::npos || close > 40) {
        return parsed;
    }
    parsed.stamp = line.substr(1, close - 1);
    parsed.utc = StampTime(parsed.stamp);
    parsed.text = line.substr(close + 2);
    return parsed;
}

void AppendIndexText(std::string_view text, std::string& out)
{
    // Copied in runs between the codes: most lines have none and go in whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\x03') {
            out.append(text.substr(run, i - run));
            // ^C, up to two digits of foreground, then a comma and up to two of background.
            std::size_t j = i + 1;
            for (int n = 0; n < 2 && j < text.size() && text[j] >= '0' && text[j] <= '9'; ++n) {
                ++j;
            }
            if (j > i + 1 && j + 1 < text.size() && text[j] == ',' && text[j + 1] >= '0' && text[j + 1] <= '9') {
                ++j;
                for (int n = 0; n < 2 && j < text.size() && text[j] >= '0' && text[j] <= '9'; ++n) {
                    ++j;
                }
            }
            i = j - 1;
            run = j;
        } else if (c == '\x02' || c == '\x0f' || c == '\x16' || c == '\x1d' || c == '\x1f') {
            out.append(text.substr(run, i - run));
            run = i + 1;
        }
    }
    if (run < text.size()) {
        out.append(text.substr(run));
    }
}

std::string LogNameFromFolder(std::string_view folder)
{
    std::string name;
    name.reserve(folder.size());
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] == '%' && i + 2 < folder.size() && HexValue(folder[i + 1]) >= 0 &&
            HexValue(folder[i + 2]) >= 0) {
            name += static_cast<char>(HexValue(folder[i + 1]) * 16 + HexValue(folder[i + 2]));
            i += 2;
        } else {
            name += folder[i];
        }
    }
    return name;
}

std::string FoldSearchName(std::string_view name)
{
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        } else if (c == '[') {
            c = '{';
        } else if (c == ']') {
            c = '}';
        } else if (c == '\\') {
            c = '|';
        } else if (c == '~') {
            c = '^';
        }
    }
    return folded;
}

std::string SearchResultLine(std::string_view target, std::string_view logLine)
{
    const LogLine line = ParseLogLine(logLine);
    std::string out = "[";
    if (line.utc) {
        out.append(line.stamp.substr(0, 10));
        out += ' ';
        out.append(line.stamp.substr(11, 5));
    } else {
        out += '?';
    }
    out += "] ";
    out.append(target);
    out += ' ';
    out.append(line.text);
    return out;
}

} // namespace tellix
