#include "util/LineTime.h"

#include <array>
#include <cstdio>

namespace tellix {

namespace {

std::optional<std::int64_t> gLineTime;
LineOrigin gLineOrigin;
std::uint64_t gReplays = 0;

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, std::int64_t& value)
{
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// The date of a count of days since 1970-01-01, the inverse of DaysFromCivil.
void CivilFromDays(std::int64_t z, std::int64_t& y, std::int64_t& m, std::int64_t& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

} // namespace

const LineOrigin& CurrentLineOrigin()
{
    return gLineOrigin;
}

LineOriginScope::LineOriginScope(const LineOrigin& origin) : previous_(gLineOrigin)
{
    gLineOrigin = origin;
}

LineOriginScope::~LineOriginScope()
{
    gLineOrigin = previous_;
}

std::uint64_t NewReplayNumber()
{
    return ++gReplays;
}

std::string FormatServerTime(std::int64_t ms)
{
    const std::int64_t days = (ms >= 0 ? ms : ms - 86'399'999) / 86'400'000;
    const std::int64_t rest = ms - days * 86'400'000;
    std::int64_t y = 0;
    std::int64_t m = 0;
    std::int64_t d = 0;
    CivilFromDays(days, y, m, d);
    std::array<char, 40> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ",
                      static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                      static_cast<long long>(rest / 3'600'000), static_cast<long long>(rest / 60'000 % 60),
                      static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
    return std::string(text.data(), static_cast<std::size_t>(length));
}

std::optional<std::int64_t> CurrentLineTime()
{
    return gLineTime;
}

LineTimeScope::LineTimeScope(std::optional<std::int64_t> time) : previous_(gLineTime)
{
    gLineTime = time;
}

LineTimeScope::~LineTimeScope()
{
    gLineTime = previous_;
}

std::optional<std::int64_t> ParseServerTime(std::string_view text)
{
    std::int64_t year = 0;
    std::int64_t month = 0;
    std::int64_t day = 0;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    if (text.size() < 20 || !Digits(text, 0, 4, year) || text[4] != '-' || !Digits(text, 5, 2, month) ||
        text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' || !Digits(text, 11, 2, hour) ||
        text[13] != ':' || !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    std::size_t at = 19;
    std::int64_t ms = 0;
    if (text[at] == '.') {
        // Any number of digits; the first three are milliseconds.
        std::size_t digits = 0;
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            if (digits < 3) {
                ms = ms * 10 + (text[at] - '0');
            }
            ++digits;
            ++at;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        for (; digits < 3; ++digits) {
            ms *= 10;
        }
    }
    if (at + 1 != text.size() || text[at] != 'Z') {
        return std::nullopt;
    }
    // What a log can name: a day of years 1970 to 9999, in every zone. The last day is left
    // out, so that no zone east of UTC makes it year 10000.
    if (year < 1970 || (year == 9999 && month == 12 && day == 31)) {
        return std::nullopt;
    }
    const std::int64_t days = DaysFromCivil(year, month, day);
    return ((days * 24 + hour) * 60 + minute) * 60 * 1000 + second * 1000 + ms;
}

} // namespace tellix
