// Which file of the logs a line goes to and how it reads there.
#include "windows/ChatLog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace tellix::test {
namespace {

struct FolderRow {
    const char* network;
    const char* target;
    CaseMapping mapping;
    std::string folder;
};

TEST(ChatLogNames, FoldersAreSafeAndOneChannelIsOneFolder)
{
    const std::string long120(120, 'a');
    // 99 ASCII bytes then a two-byte character: cut before it, not inside it.
    const std::string cutInside = std::string(99, 'b') + "\xc3\xa9";
    const std::string exactly(100, 'c');
    // A cut name ends in "~" and the whole name's FNV-1a hash.
    const auto hashOf = [](const std::string& name) {
        std::uint32_t hash = 2166136261U;
        for (const char c : name) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
        }
        char text[9];
        std::snprintf(text, sizeof text, "%08X", hash);
        return std::string(text);
    };
    const FolderRow rows[] = {
        {"Libera", "#Tellix", CaseMapping::Rfc1459, "Libera/#tellix"},
        {"Libera", "", CaseMapping::Rfc1459, "Libera/status"},
        {"net/work", "#a/b", CaseMapping::Ascii, "net%2Fwork/#a%2Fb"},
        {"net", "#a\\b", CaseMapping::Ascii, "net/#a%5Cb"},
        {"net", "..", CaseMapping::Ascii, "net/%2E."},
        {"..", "#x", CaseMapping::Ascii, "%2E./#x"},
        {"net", ".hidden", CaseMapping::Ascii, "net/%2Ehidden"},
        {"net", "#mid.dot", CaseMapping::Ascii, "net/#mid.dot"},
        {"net", "#a\x01\x1f\x7f", CaseMapping::Ascii, "net/#a%01%1F%7F"},
        {"net", "#100%", CaseMapping::Ascii, "net/#100%25"},
        {"net", long120.c_str(), CaseMapping::Ascii, "net/" + std::string(91, 'a') + "~" + hashOf(long120)},
        {"net", cutInside.c_str(), CaseMapping::Ascii, "net/" + std::string(91, 'b') + "~" + hashOf(cutInside)},
        {"net", exactly.c_str(), CaseMapping::Ascii, "net/" + exactly},
        {"net", "Status", CaseMapping::Ascii, "net/%73tatus"},
        {"net", "STATUS", CaseMapping::Rfc1459, "net/%73tatus"},
        {"net", "status_", CaseMapping::Ascii, "net/status_"},
        {"net", "#caf\xc3\xa9", CaseMapping::Ascii, "net/#caf\xc3\xa9"},
        {"net", "Nick[]\\~", CaseMapping::Rfc1459, "net/nick{}|^"},
        {"net", "Nick[]\\~", CaseMapping::StrictRfc1459, "net/nick{}|~"},
        {"net", "Nick[]\\~", CaseMapping::Ascii, "net/nick[]%5C~"},
    };
    for (const FolderRow& row : rows) {
        EXPECT_EQ(chatlog::Folder(row.network, row.target, row.mapping), row.folder)
            << row.network << " / " << row.target;
    }
    // Two long channels alike in their first hundred bytes keep their lines apart.
    const std::string one = "#" + std::string(120, 'l') + "one";
    const std::string two = "#" + std::string(120, 'l') + "two";
    EXPECT_NE(chatlog::Folder("net", one, CaseMapping::Ascii), chatlog::Folder("net", two, CaseMapping::Ascii));
    EXPECT_EQ(chatlog::Folder("net", one, CaseMapping::Ascii).size(), 4 + chatlog::kNameLimit);
    // An escape is never cut in half either.
    const std::string percents(40, '%');
    const std::string safe = chatlog::SafeName(percents);
    EXPECT_LE(safe.size(), chatlog::kNameLimit);
    const std::size_t tail = safe.rfind('~');
    ASSERT_NE(tail, std::string::npos) << safe;
    EXPECT_EQ(tail % 3, 0U) << safe;
    EXPECT_EQ(safe.find_first_not_of("%25"), tail) << safe;
}

TEST(ChatLogNames, LineTextIsUtf8WithControlsReplacedAndFormattingKept)
{
    const struct {
        std::string shown;
        std::string logged;
    } rows[] = {
        {"<bob> hi", "<bob> hi"},
        {"caf\xe9", "caf\xc3\xa9"},                       // Windows-1252
        {"caf\xc3\xa9 \x80", "caf\xc3\xa9 \xe2\x82\xac"}, // mixed: UTF-8 kept
        {"a\r\nb", "a\xef\xbf\xbd\xef\xbf\xbd"
                   "b"}, // one line stays one
        {"\x02"
         "b\x02 \x03"
         "4red\x0f \x16\x1d\x1f",
         "\x02"
         "b\x02 \x03"
         "4red\x0f \x16\x1d\x1f"},
        {"bell\x07 nul", "bell\xef\xbf\xbd nul"},
        {"del\x7f", "del\xef\xbf\xbd"},
        {"c1 \xc2\x9b", "c1 \xef\xbf\xbd"},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(chatlog::LineText(row.shown), row.logged) << row.shown;
    }
}

TEST(ChatLogNames, StampsCarryTheLocalOffsetAndReadBackToTheSameSecond)
{
    const char* const saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    const struct {
        const char* zone;
        std::int64_t second;
        const char* iso;
    } rows[] = {
        {"UTC0", 1'796'729'696, "2026-12-08T11:34:56+00:00"},
        {"CET-1", 1'796'729'696, "2026-12-08T12:34:56+01:00"},
        {"IST-5:30", 1'796'729'696, "2026-12-08T17:04:56+05:30"},
        {"EST5", 1'796'729'696, "2026-12-08T06:34:56-05:00"},
        // The local day, not UTC's.
        {"EST5", 1'796'705'000, "2026-12-07T23:43:20-05:00"},
    };
    for (const auto& row : rows) {
        ::setenv("TZ", row.zone, 1);
        ::tzset();
        chatlog::Stamps stamps;
        EXPECT_EQ(stamps.Iso(row.second), row.iso) << row.zone;
        EXPECT_EQ(stamps.Day(row.second), std::string(row.iso).substr(0, 10)) << row.zone;
        const std::string line = std::string("[") + row.iso + "] <bob> hi";
        const auto logged = chatlog::ParseLine(line);
        ASSERT_TRUE(logged) << row.iso;
        EXPECT_EQ(logged->second, row.second) << row.iso;
        EXPECT_EQ(logged->text, "<bob> hi");
    }
    if (saved != nullptr) {
        ::setenv("TZ", previous.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
    for (const char* broken :
         {"", "[2026-12-08T11:34:56+00:00]", "2026-12-08T11:34:56+00:00] x", "[2026-13-08T11:34:56+00:00] x",
          "[2026-12-08 11:34:56+00:00] x", "[2026-12-08T11:34:56Z     ] x"}) {
        EXPECT_FALSE(chatlog::ParseLine(broken)) << broken;
    }
}

} // namespace
} // namespace tellix::test
