#include "util/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

using namespace tellix;

// Bytes that are not strict UTF-8 are read as Windows-1252 one by one, the valid characters
// around them stay UTF-8, as the log reads them.
TEST(TerminalText, DecodesLineByLineAsTheLogDoes)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::string lines;
    };
    const Case cases[] = {
        {"four-byte UTF-8", "\xf0\x9f\x98\x80 \xc3\xa9", "> \xf0\x9f\x98\x80 \xc3\xa9\n"},
        {"overlong NUL", "\xc3\xa9\xc0\x80", "> \xc3\xa9\xc3\x80\xe2\x82\xac\n"},
        {"surrogate", "\xed\xa0\x80", "> \xc3\xad\xc2\xa0\xe2\x82\xac\n"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "> \xc3\xb4<90>\xe2\x82\xac\xe2\x82\xac\n"},
        {"cut short at the end", "\xe2\x82", "> \xc3\xa2\xe2\x80\x9a\n"},
        {"C1 after a valid character, undefined bytes", "\xc3\xa9\x81\x9d", "> \xc3\xa9<81><9D>\n"},
        {"each line", "\xe9\r\n\xc3\xa9\r\n", "> \xc3\xa9\n> \xc3\xa9\n> \n"},
        {"bare CR and LF", "a\rb\nc\r",
         "> a\xe2\x90\x8d"
         "b\xe2\x90\x8a"
         "c\xe2\x90\x8d\n"},
        {"NUL, ESC, DEL, C1", std::string("\0\x1b\x7f\xc2\x80\xc2\x9f\xc2\xa0", 9),
         "> \xe2\x90\x80\xe2\x90\x9b\xe2\x90\xa1<80><9F>\xc2\xa0\n"},
    };
    for (const Case& c : cases) {
        std::string lines;
        AppendTerminalLines("> ", c.bytes, lines);
        EXPECT_EQ(lines, c.lines) << c.what;
    }
    std::string text = "= ";
    AppendTerminalText("a\r\nb", text);
    EXPECT_EQ(text, "= a\xe2\x90\x8d\xe2\x90\x8a"
                    "b");
}
