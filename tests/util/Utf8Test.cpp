#include "util/Utf8.h"

#include <gtest/gtest.h>

#include <string>

using namespace tellix;

// Mixed lines are read by runs: valid UTF-8 stays, only the bytes that are not part of a valid
// sequence are read as Windows-1252, one character each.
TEST(ShownAsUtf8, DecodesByRuns)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::string shown;
        std::int64_t units; // UTF-16 units of what is shown
    };
    const Case cases[] = {
        {"ASCII", "hello", "hello", 5},
        {"valid two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
         "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", 4},
        {"invalid lead byte",
         "a\xff"
         "b",
         "a\xc3\xbf"
         "b",
         3},
        {"lone continuation byte", "\x80x", "\xe2\x82\xacx", 2},
        {"sequence cut short at the end", "ok \xe2\x82", "ok \xc3\xa2\xe2\x80\x9a", 5},
        {"sequence cut short by ASCII", "\xe2\x82z", "\xc3\xa2\xe2\x80\x9az", 3},
        {"overlong slash", "\xc0\xaf", "\xc3\x80\xc2\xaf", 2},
        {"overlong three bytes", "\xe0\x80\xaf", "\xc3\xa0\xe2\x82\xac\xc2\xaf", 3},
        {"surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac", 3},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac", 4},
        {"Latin-1 word between UTF-8 words", "caf\xc3\xa9 na\xefve \xe2\x82\xac",
         "caf\xc3\xa9 na\xc3\xafve \xe2\x82\xac", 12},
        {"Windows-1252 quotes then an emoji", "\x93hi\x94 \xf0\x9f\x98\x80",
         "\xe2\x80\x9chi\xe2\x80\x9d \xf0\x9f\x98\x80", 7},
        {"undefined Windows-1252 bytes keep their C1 code points", "\x81\x8d\x8f\x90\x9d",
         "\xc2\x81\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d", 5},
        {"empty", "", "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownAsUtf8(c.bytes), c.shown) << c.what;
        std::string out = "x";
        EXPECT_EQ(AppendShownUtf8(c.bytes, out), c.units) << c.what;
        EXPECT_EQ(out, "x" + c.shown) << c.what;
        EXPECT_TRUE(IsUtf8(out)) << c.what;
    }
}

// The eight-at-a-time scan must stop at exactly the first byte outside 0x20..0x7E, wherever
// it falls in a word and whatever bytes come after it.
TEST(PrintableAsciiEnd, StopsAtTheFirstByteThatIsNotPrintable)
{
    for (int byte = 0; byte < 256; ++byte) {
        const bool printable = byte >= 0x20 && byte < 0x7F;
        for (std::size_t at = 0; at < 19; ++at) {
            std::string text(19, 'a');
            text[at] = static_cast<char>(byte);
            text += "\xff\x01";
            const auto* s = reinterpret_cast<const unsigned char*>(text.data());
            ASSERT_EQ(PrintableAsciiEnd(s, 0, text.size()), printable ? 19 : at) << byte << " at " << at;
            ASSERT_EQ(PrintableAsciiEnd(s, at, at + 1), printable ? at + 1 : at) << byte << " alone";
        }
    }
}
