#pragma once

#include "model/NickRanks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// Which file of the logs a window's line goes to, and how it reads there. A line is
// "[2026-12-08T11:34:56+01:00] text" in <network>/<target>/<YYYY-MM-DD>.log, the day being
// the local day of the line's time.
namespace chatlog {

// The status window's folder beside the channels and partners of its network.
inline constexpr std::string_view kStatusTarget = "status";
// Longest folder name, in bytes; a longer one is cut at a character's start and ends in "~"
// and its whole name's hash, so that names alike in their first bytes stay apart.
inline constexpr std::size_t kNameLimit = 100;

// A name as a folder may carry it: `/`, `\`, NUL, control bytes and a leading `.` as %XX,
// `%` itself as %25, cut to kNameLimit bytes without splitting a UTF-8 character or an escape.
std::string SafeName(std::string_view name);
// A channel or nick folded as the server folds them, so that one channel is one folder.
std::string FoldTarget(std::string_view target, CaseMapping mapping);
// "<network>/<target>" for a target, already made safe; an empty target is the status window.
std::string Folder(std::string_view network, std::string_view target, CaseMapping mapping);

// A window's line as the log keeps it: UTF-8 (bytes that are not read as Windows-1252),
// control characters other than the formatting codes as U+FFFD, so one line stays one line.
std::string LineText(std::string_view shown);
void AppendLineText(std::string_view shown, std::string& out);

// The local time of a second as the log writes it, and its day, cached per second: a flood
// asks for the same second thousands of times.
class Stamps {
public:
    // "2026-12-08T11:34:56+01:00"
    const std::string& Iso(std::int64_t secondSinceEpoch);
    // "2026-12-08"
    std::string_view Day(std::int64_t secondSinceEpoch);

private:
    void Make(std::int64_t second);
    std::int64_t second_ = INT64_MIN;
    std::string iso_;
};

// A line read back: when it was said and what the window showed.
struct Logged {
    std::int64_t second = 0;
    std::string_view text;
};
// Nothing for a line not in the log's form.
std::optional<Logged> ParseLine(std::string_view line);

} // namespace chatlog
} // namespace tellix
