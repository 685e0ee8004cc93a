#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tellix {

// What the search of the logs decides, apart from the index that answers it.

// Typed search text as a full-text query that can never be a syntax error: each word, and
// each "quoted phrase", becomes one quoted string, and all of them must be found. Operators,
// stars, dashes and stray quotes are only text; control bytes (NUL too) part words as blanks
// do, and bytes that are not UTF-8 read as Windows-1252, as the logs hold them. Empty when
// nothing searchable is left.
std::string SearchMatchQuery(std::string_view typed);

// A line of a log file: "[2026-12-08T11:34:56+01:00] " and the window's line.
struct LogLine {
    // The stamp as written, without its brackets; empty when the line has none.
    std::string_view stamp;
    // When it was written, in seconds since 1970 (UTC), when the stamp reads as a time.
    std::optional<std::int64_t> utc;
    std::string_view text;
};
LogLine ParseLogLine(std::string_view line);

// A window's line as the index holds it: the formatting codes (and a colour's numbers) left
// out, so that a coloured word is found as the word.
void AppendIndexText(std::string_view text, std::string& out);

// A folder name of the log tree read back as the name it stands for ("%2F" as "/").
std::string LogNameFromFolder(std::string_view folder);

// A channel or nick as a filter compares it: ASCII letters in any case, and "[]\~" as the
// servers that fold them by RFC 1459 do.
std::string FoldSearchName(std::string_view name);

// One result as the terminal prints it: "[2026-12-08 11:34] #room <bob> text", the time as
// the line was stamped.
std::string SearchResultLine(std::string_view target, std::string_view logLine);

} // namespace tellix
