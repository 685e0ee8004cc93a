#include "windows/ReplyTexts.h"

#include "net/ServerLine.h"
#include "util/Concat.h"
#include "util/Utility.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tellix {

namespace {

using Where = ReadableReply::Where;

struct Row {
    std::string_view numeric;
    // The text, "*** " in front. {k} is parameter k after our own nick, {k+} it and all after
    // it, {k:d} a count of seconds as a duration, {k:n} a count, {k:t} seconds since 1970 as a
    // UTC time. A part in [ ] goes when a parameter in it is missing or unreadable; anything
    // else missing leaves the reply without a line.
    std::string_view text;
    Where where = Where::Asker;
    std::int32_t about = 0; // the parameter naming the channel or partner; 0 for none
    bool onlyAsked = false;
};

// One row per numeric, in order: a line finds its row by halving.
constexpr std::array kRows{
    Row{"221", "Your user modes: {1+}"},
    // WHOIS lines whose text reads on from the nick: "has client certificate fingerprint ...",
    // "is a registered nick", "is identified", "is connecting from ...", "is using modes ...".
    Row{"276", "{1} {2}"},
    Row{"301", "{1} is away: {2}", Where::Partner, 1},
    Row{"305", "You are no longer marked as away"},
    Row{"306", "You are marked as away"},
    Row{"307", "{1} {2}"},
    Row{"311", "{1} is {2}@{3}[ ({5})]"},
    Row{"312", "{1} is on {2}[ ({3})]"},
    Row{"313", "{1} is an IRC operator"},
    Row{"315", "End of WHO for {1}"},
    Row{"317", "{1} has been idle {2:d}[, signed on {3:t}]"},
    Row{"318", "End of WHOIS for {1}"},
    Row{"319", "{1} is in {2}"},
    Row{"320", "{1} {2}"},
    Row{"321", "Channels: name, users, topic"},
    Row{"322", "{1} ({2:n})[ {3}]"},
    Row{"323", "End of channel list"},
    Row{"324", "Modes of {1}: {2+}", Where::Channel, 1},
    Row{"329", "{1} was created {2:t}", Where::Channel, 1},
    Row{"330", "{1} is logged in as {2}"},
    Row{"341", "Inviting {1} to {2}"},
    Row{"352", "{1} {5} {6} {2}@{3}[ ({7})]"},
    Row{"353", "Names in {2}: {3}", Where::Asker, 0, true},
    Row{"354", "WHO: {1+}"},
    Row{"366", "End of names in {1}", Where::Asker, 0, true},
    Row{"367", "Ban on {1}: {2}[ set by {3}][ {4:t}]", Where::Channel, 1},
    Row{"368", "End of ban list of {1}", Where::Channel, 1},
    Row{"378", "{1} {2}"},
    Row{"379", "{1} {2}"},
    Row{"401", "{1}: no such nick or channel"},
    Row{"403", "{1}: no such channel"},
    Row{"404", "{1}: cannot send to channel", Where::Channel, 1},
    Row{"406", "{1}: there was no such nick"},
    Row{"441", "{1} is not on {2}", Where::Channel, 2},
    Row{"442", "{1}: you are not on that channel", Where::Channel, 1},
    Row{"443", "{1} is already on {2}", Where::Channel, 2},
    Row{"461", "{1}: not enough parameters"},
    Row{"472", "{1}: unknown mode"},
    Row{"478", "{1}: the list is full", Where::Channel, 1},
    Row{"481", "Permission denied: you are not an IRC operator"},
    Row{"482", "{1}: you are not a channel operator", Where::Channel, 1},
    Row{"671", "{1} is using a secure connection"},
};

// The parameters after the numeric's own target (our nick), the trailing part last.
std::vector<std::string_view> Params(const ServerLine& line)
{
    std::vector<std::string_view> params;
    std::int32_t last = line.WordCount();
    if (line.HasTrailing() && last > 0 && line.Word(last).empty()) {
        --last; // the head's end before " :"
    }
    // A WHO reply's flags sit past the words a line keeps at hand.
    constexpr std::int32_t kMostParams = 18;
    for (std::int32_t word = 4; word <= std::min(last, kMostParams); ++word) {
        params.push_back(line.AnyWord(word));
    }
    if (line.HasTrailing()) {
        params.push_back(line.Trailing());
    }
    return params;
}

// Control characters other than the IRC formatting codes read as U+FFFD.
void AppendSound(std::string& out, std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool formatting =
            byte == 0x02 || byte == 0x03 || byte == 0x0F || byte == 0x16 || byte == 0x1D || byte == 0x1F;
        if ((byte < 0x20 && !formatting) || byte == 0x7F) {
            out += "\xEF\xBF\xBD";
        } else {
            out += c;
        }
    }
}

std::optional<std::uint64_t> Count(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> UtcTime(std::string_view text)
{
    const std::optional<std::uint64_t> seconds = Count(text);
    constexpr std::uint64_t kLatest = 253'402'300'799; // 9999-12-31 23:59:59
    if (!seconds || *seconds > kLatest) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds{static_cast<std::int64_t>(*seconds)}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{at - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d UTC", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return std::string(buffer);
}

// Fills one placeholder ("2", "2+", "2:d"); false when its parameter is missing or unreadable.
bool Fill(std::string& out, std::string_view pattern, const std::vector<std::string_view>& params)
{
    std::size_t index = 0;
    const auto [end, error] = std::from_chars(pattern.data(), pattern.data() + pattern.size(), index);
    if (error != std::errc() || index < 1 || index > params.size() || params[index - 1].empty()) {
        return false;
    }
    const std::string_view rest(end, static_cast<std::size_t>(pattern.data() + pattern.size() - end));
    const std::string_view value = params[index - 1];
    if (rest == "+") {
        for (std::size_t k = index - 1; k < params.size(); ++k) {
            if (k > index - 1) {
                out += ' ';
            }
            AppendSound(out, params[k]);
        }
    } else if (rest == ":d" || rest == ":n") {
        const std::optional<std::uint64_t> count = Count(value);
        if (!count) {
            return false;
        }
        out += rest == ":d" ? Duration(*count) : std::to_string(*count);
    } else if (rest == ":t") {
        const std::optional<std::string> time = UtcTime(value);
        if (!time) {
            return false;
        }
        out += *time;
    } else {
        AppendSound(out, value);
    }
    return true;
}

// The row's text with its parameters; nothing when a parameter outside [ ] is missing.
std::optional<std::string> Render(std::string_view text, const std::vector<std::string_view>& params)
{
    std::string out = "*** ";
    std::size_t optionalStart = std::string::npos; // where out stood at the open [
    bool optionalOk = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[') {
            optionalStart = out.size();
            optionalOk = true;
        } else if (c == ']') {
            if (!optionalOk) {
                out.resize(optionalStart);
            }
            optionalStart = std::string::npos;
        } else if (c == '{') {
            const std::size_t close = text.find('}', i);
            const bool filled = Fill(out, text.substr(i + 1, close - i - 1), params);
            if (!filled && optionalStart == std::string::npos) {
                return std::nullopt;
            }
            optionalOk = optionalOk && filled;
            i = close;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string Duration(std::uint64_t seconds)
{
    const std::uint64_t days = seconds / 86400;
    const std::uint64_t hours = seconds / 3600 % 24;
    const std::uint64_t minutes = seconds / 60 % 60;
    std::string out;
    const auto part = [&](std::uint64_t value, char unit) {
        if (value != 0 || (unit == 's' && out.empty())) {
            AppendTo(out, out.empty() ? "" : " ", value, std::string(1, unit));
        }
    };
    part(days, 'd');
    part(hours, 'h');
    part(minutes, 'm');
    part(seconds % 60, 's');
    return out;
}

std::optional<ListedChannel> ReadListedChannel(const ServerLine& line)
{
    if (line.Command() != "322") {
        return std::nullopt;
    }
    const std::vector<std::string_view> params = Params(line);
    const std::optional<std::uint64_t> users = params.size() >= 2 ? Count(params[1]) : std::nullopt;
    if (!users || params[0].empty()) {
        return std::nullopt;
    }
    ListedChannel channel;
    AppendSound(channel.name, params[0]);
    channel.users = *users;
    if (params.size() >= 3) {
        AppendSound(channel.topic, params[2]);
    }
    return channel;
}

std::optional<ReadableReply> ReadReply(const ServerLine& line)
{
    const std::string_view numeric = line.Command();
    const auto row = std::lower_bound(kRows.begin(), kRows.end(), numeric,
                                      [](const Row& r, std::string_view n) { return r.numeric < n; });
    if (row == kRows.end() || row->numeric != numeric) {
        return std::nullopt;
    }
    const std::vector<std::string_view> params = Params(line);
    ReadableReply reply;
    reply.numeric = numeric;
    reply.where = row->where;
    reply.onlyAsked = row->onlyAsked;
    if (row->about >= 1 && static_cast<std::size_t>(row->about) <= params.size()) {
        reply.about = params[static_cast<std::size_t>(row->about) - 1];
    }
    if (numeric == "353" && params.size() >= 2) {
        reply.about = params[1]; // the channel, after the kind of channel
    } else if (numeric == "366" && !params.empty()) {
        reply.about = params[0];
    }
    reply.text = Render(row->text, params).value_or("");
    return reply;
}

std::string CtcpReplyText(std::string_view nick, std::string_view reply, std::optional<std::int64_t> roundTripMs)
{
    const std::size_t blank = reply.find(' ');
    const std::string_view command = reply.substr(0, blank);
    const std::string_view rest = blank == std::string_view::npos ? std::string_view() : reply.substr(blank + 1);
    const std::string upper = UpperCase(command);
    std::string out = "*** CTCP ";
    AppendSound(out, upper);
    out += " reply from ";
    AppendSound(out, nick);
    if (upper == "PING" && roundTripMs && *roundTripMs >= 0) {
        const std::int64_t ms = *roundTripMs;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, ": %lld.%03lld s", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000));
        return out + seconds;
    }
    if (!rest.empty()) {
        out += ": ";
        AppendSound(out, rest);
    }
    return out;
}

} // namespace tellix
