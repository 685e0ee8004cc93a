// The texts of the log search: the query the index is asked, the lines it reads, the line the
// terminal prints.
#include "util/LogSearch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tellix {
namespace {

struct QueryCase {
    const char* typed;
    const char* query;
};

TEST(LogSearch, TypedWordsBecomeQuotedTermsThatCannotBeOperators)
{
    const std::vector<QueryCase> cases = {
        {"hello", R"x("hello")x"},
        {"  hello   world ", R"x("hello" "world")x"},
        {R"x("quiet harbour" rain)x", R"x("quiet harbour" "rain")x"},
        {R"x(rain "quiet harbour)x", R"x("rain" "quiet harbour")x"},
        {R"x(say"what)x", R"x("say" "what")x"},
        {"NEAR(a b)", R"x("NEAR(a" "b)")x"},
        {"a OR b NOT c AND d", R"x("a" "OR" "b" "NOT" "c" "AND" "d")x"},
        {"-rain pre* ^start col:x", R"x("-rain" "pre*" "^start" "col:x")x"},
        {R"x(" "" """)x", ""},
        {"- * ( ) : ^ + .", ""},
        {"", ""},
        {"Straße naïve", R"x("Straße" "naïve")x"},
        {"\tTab\nline", R"x("Tab" "line")x"},
    };
    for (const QueryCase& c : cases) {
        EXPECT_EQ(SearchMatchQuery(c.typed), c.query) << "typed: " << c.typed;
    }
}

// What the index would read as the end of the text, or as a character swallowing the quote
// after it, is made harmless: the query is still the words.
TEST(LogSearch, ControlBytesPartWordsAndOtherBytesReadAsTheLogsHoldThem)
{
    struct Case {
        std::string typed;
        std::string query;
    };
    const std::vector<Case> cases = {
        {std::string("rain\0harbour", 12), R"x("rain" "harbour")x"},
        {std::string("\"quiet\0harbour\"", 15), R"x("quiet harbour")x"},
        {std::string("\0", 1), ""},
        {"\x01rain\x7f\x1b[2J", R"x("rain" "[2J")x"},
        // An unfinished UTF-8 character before a quote: Windows-1252, as the logs hold it.
        {"\"\xe2\x82\" rain", "\"\xc3\xa2\xe2\x80\x9a\" \"rain\""},
        {"caf\xe9", "\"caf\xc3\xa9\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SearchMatchQuery(c.typed), c.query) << "typed: " << c.typed;
    }
}

std::int64_t Utc(int year, unsigned month, unsigned day, int hour, int minute, int second)
{
    using namespace std::chrono;
    const sys_days date = std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day);
    return date.time_since_epoch().count() * 86400LL + hour * 3600 + minute * 60 + second;
}

struct LineCase {
    const char* line;
    const char* stamp;
    bool timed;
    std::int64_t utc;
    const char* text;
};

TEST(LogSearch, LogLinesGiveTheirTimeAndText)
{
    const std::vector<LineCase> cases = {
        {"[2026-12-08T11:34:56+01:00] <bob> hi\n", "2026-12-08T11:34:56+01:00", true, Utc(2026, 12, 8, 10, 34, 56),
         "<bob> hi"},
        {"[2026-12-08T01:00:00-05:30] * anna waves", "2026-12-08T01:00:00-05:30", true, Utc(2026, 12, 8, 6, 30, 0),
         "* anna waves"},
        {"[2024-02-29T23:59:59Z] leap", "2024-02-29T23:59:59Z", true, Utc(2024, 2, 29, 23, 59, 59), "leap"},
        {"[1999-01-01T00:00:00+00:00] ] bracket", "1999-01-01T00:00:00+00:00", true, Utc(1999, 1, 1, 0, 0, 0),
         "] bracket"},
        {"[2026-13-08T11:34:56+01:00] bad month", "2026-13-08T11:34:56+01:00", false, 0, "bad month"},
        {"[yesterday] said", "yesterday", false, 0, "said"},
        {"no stamp at all", "", false, 0, "no stamp at all"},
        {"[2026-12-08T11:34:56+01:00]no space", "", false, 0, "[2026-12-08T11:34:56+01:00]no space"},
        {"", "", false, 0, ""},
    };
    for (const LineCase& c : cases) {
        const LogLine parsed = ParseLogLine(c.line);
        EXPECT_EQ(parsed.stamp, c.stamp) << c.line;
        EXPECT_EQ(parsed.utc.has_value(), c.timed) << c.line;
        if (c.timed && parsed.utc) {
            EXPECT_EQ(*parsed.utc, c.utc) << c.line;
        }
        EXPECT_EQ(parsed.text, c.text) << c.line;
    }
}

struct TextCase {
    const char* in;
    const char* out;
};

TEST(LogSearch, IndexTextDropsFormattingButKeepsWords)
{
    const std::vector<TextCase> cases = {
        {"\x02"
         "bold\x02 word",
         "bold word"},
        {"\x03"
         "04red\x03 plain",
         "red plain"},
        {"\x03"
         "04,12both\x0f",
         "both"},
        {"\x03"
         "4,x",
         ",x"},
        {"\x03"
         "123",
         "3"},
        {"\x1d"
         "it\x1f"
         "un\x16rev",
         "itunrev"},
        {"<bob> caf\xc3\xa9", "<bob> caf\xc3\xa9"},
        {"\x03", ""},
        {"a\x03"
         "9b\x02"
         "c\x03,1d",
         "abc,1d"},
        {"before \x03"
         "12,34after\x0f end",
         "before after end"},
    };
    for (const TextCase& c : cases) {
        std::string out;
        AppendIndexText(c.in, out);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(LogSearch, FolderNamesAndFilterNames)
{
    const std::vector<TextCase> folders = {
        {"#tellix", "#tellix"}, {"%2Eprofile", ".profile"}, {"a%2Fb%25c", "a/b%c"}, {"50%", "50%"}, {"%zz", "%zz"},
    };
    for (const TextCase& c : folders) {
        EXPECT_EQ(LogNameFromFolder(c.in), c.out) << c.in;
    }
    const std::vector<TextCase> names = {
        {"#TeLLix", "#tellix"},
        {"[Bob]\\~", "{bob}|^"},
        {"#Stra\xc3\x9f"
         "e",
         "#stra\xc3\x9f"
         "e"},
    };
    for (const TextCase& c : names) {
        EXPECT_EQ(FoldSearchName(c.in), c.out) << c.in;
    }
}

struct ResultCase {
    const char* target;
    const char* line;
    const char* shown;
};

TEST(LogSearch, ResultLinesReadAsTheTerminalPrintsThem)
{
    const std::vector<ResultCase> cases = {
        {"#room", "[2026-12-08T11:34:56+01:00] <bob> text", "[2026-12-08 11:34] #room <bob> text"},
        {"bob", "[2026-01-02T00:05:00-08:00] * bob waves", "[2026-01-02 00:05] bob * bob waves"},
        {"status", "damaged line", "[?] status damaged line"},
    };
    for (const ResultCase& c : cases) {
        EXPECT_EQ(SearchResultLine(c.target, c.line), c.shown) << c.line;
    }
}

} // namespace
} // namespace tellix
