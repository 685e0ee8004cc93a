#include "windows/ChatLog.h"

#include "util/Cp1252.h"
#include "util/Utf8.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace tellix::chatlog {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsFormattingCode(char32_t c)
{
    return c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
}

bool IsControl(char32_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    return sys_days(year(static_cast<int>(y)) / month(m) / day(d)).time_since_epoch().count();
}

bool Digits(std::string_view s, std::size_t at, std::size_t n, std::int64_t& value)
{
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') {
            return false;
        }
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// How much of `name` fits in `limit` bytes, escaped; `out` gets it.
std::size_t SafePrefix(std::string_view name, std::size_t limit, std::string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        const bool escape = c == '/' || c == '\\' || c == '%' || c < 0x20 || c == 0x7F || (i == 0 && c == '.');
        std::size_t take = 1;
        if (!escape && c >= 0x80) {
            char32_t code = 0;
            take = std::max<std::size_t>(1, Utf8Sequence(s + i, n - i, code));
        }
        const std::size_t adds = escape ? 3 : take;
        if (out.size() + adds > limit) {
            break;
        }
        if (escape) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out.append(name.substr(i, take));
        }
        i += take;
    }
    return i;
}

// FNV-1a: the same on every run and machine, as a folder's name must be.
std::uint32_t StableHash(std::string_view text)
{
    std::uint32_t hash = 2166136261U;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    }
    return hash;
}

} // namespace

std::string SafeName(std::string_view name)
{
    std::string out;
    out.reserve(std::min(name.size(), kNameLimit));
    if (SafePrefix(name, kNameLimit, out) == name.size()) {
        return out;
    }
    // Cut: the whole name's hash ends it, so two long names that start alike stay apart.
    constexpr std::size_t kTail = 9; // "~" and eight hex digits
    out.clear();
    SafePrefix(name, kNameLimit - kTail, out);
    const std::uint32_t hash = StableHash(name);
    out += '~';
    for (int shift = 28; shift >= 0; shift -= 4) {
        out += kHex[(hash >> shift) & 0x0F];
    }
    return out;
}

std::string FoldTarget(std::string_view target, CaseMapping mapping)
{
    std::string out(target);
    for (char& c : out) {
        c = FoldNickChar(c, mapping);
    }
    return out;
}

std::string Folder(std::string_view network, std::string_view target, CaseMapping mapping)
{
    std::string folder = SafeName(network);
    folder += '/';
    if (target.empty()) {
        folder += kStatusTarget;
        return folder;
    }
    std::string name = SafeName(FoldTarget(target, mapping));
    if (name == kStatusTarget) {
        name.replace(0, 1, "%73"); // a partner named Status is not the status window
    }
    folder += name;
    return folder;
}

std::string LineText(std::string_view shown)
{
    std::string out;
    AppendLineText(shown, out);
    return out;
}

void AppendLineText(std::string_view shown, std::string& out)
{
    out.reserve(out.size() + shown.size());
    const auto* s = reinterpret_cast<const unsigned char*>(shown.data());
    const std::size_t n = shown.size();
    std::size_t i = 0;
    while (i < n) {
        // Plain ASCII runs are the common case: copied as they are.
        const std::size_t run = PrintableAsciiEnd(s, i, n);
        out.append(shown.substr(i, run - i));
        i = run;
        if (i >= n) {
            break;
        }
        char32_t code = 0;
        std::size_t length = Utf8Sequence(s + i, n - i, code);
        if (length == 0) {
            code = FromCp1252(s[i]);
            length = 1;
        }
        AppendUtf8(IsControl(code) && !IsFormattingCode(code) ? char32_t{0xFFFD} : code, out);
        i += length;
    }
}

const std::string& Stamps::Iso(std::int64_t second)
{
    if (second != second_) {
        Make(second);
    }
    return iso_;
}

std::string_view Stamps::Day(std::int64_t second)
{
    return std::string_view(Iso(second)).substr(0, 10);
}

void Stamps::Make(std::int64_t second)
{
    const auto t = static_cast<std::time_t>(second);
    std::tm local{};
    localtime_r(&t, &local);
    std::array<char, 40> text{};
    std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    length += static_cast<std::size_t>(std::snprintf(text.data() + length, text.size() - length, "%c%02ld:%02ld",
                                                     offset < 0 ? '-' : '+', minutes / 60, minutes % 60));
    iso_.assign(text.data(), length);
    second_ = second;
}

std::optional<Logged> ParseLine(std::string_view line)
{
    // "[YYYY-MM-DDThh:mm:ss+hh:mm] text"
    constexpr std::size_t kStamp = 25;
    if (line.size() < kStamp + 3 || line[0] != '[' || line[kStamp + 1] != ']' || line[kStamp + 2] != ' ') {
        return std::nullopt;
    }
    const std::string_view stamp = line.substr(1, kStamp);
    std::int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, oh = 0, om = 0;
    if (!Digits(stamp, 0, 4, y) || stamp[4] != '-' || !Digits(stamp, 5, 2, mo) || stamp[7] != '-' ||
        !Digits(stamp, 8, 2, d) || stamp[10] != 'T' || !Digits(stamp, 11, 2, h) || stamp[13] != ':' ||
        !Digits(stamp, 14, 2, mi) || stamp[16] != ':' || !Digits(stamp, 17, 2, s) ||
        (stamp[19] != '+' && stamp[19] != '-') || !Digits(stamp, 20, 2, oh) || stamp[22] != ':' ||
        !Digits(stamp, 23, 2, om) || mo < 1 || mo > 12 || d < 1 || d > 31) {
        return std::nullopt;
    }
    const std::int64_t offset = (oh * 60 + om) * 60 * (stamp[19] == '-' ? -1 : 1);
    Logged logged;
    logged.second = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
                    mi * 60 + s - offset;
    logged.text = line.substr(kStamp + 3);
    return logged;
}

} // namespace tellix::chatlog
