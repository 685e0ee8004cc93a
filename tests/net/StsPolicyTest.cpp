// The strict transport policy as servers say it: what a value holds, and what is kept of it.
#include "net/StsPolicy.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <optional>
#include <string>

using namespace tellix;

namespace {

constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();

TEST(StsPolicy, AValueGivesOnlyTheValidKeysItKnowsTheFirstOfEach)
{
    struct Row {
        std::string value;
        std::optional<std::int32_t> port;
        std::optional<std::int64_t> duration;
    };
    const Row rows[] = {
        {"port=6697", 6697, {}},
        {"duration=300,port=6697,preload", 6697, 300},
        {"duration=0", {}, 0},
        {"", {}, {}},
        {"port,duration", {}, {}},
        {"port=,duration=", {}, {}},
        {"port=0", {}, {}},
        {"port=65535", 65535, {}},
        {"port=65536", {}, {}},
        {"port=+6697,duration=-1", {}, {}},
        {"port= 6697", {}, {}},
        {"port=66a97", {}, {}},
        {"PORT=6697,Duration=5", {}, {}},
        {"port=6697,port=7000,duration=5,duration=0", 6697, 5},
        {"port=x,port=7000", {}, {}},
        {"duration=99999999999999999999999999999", {}, kMost},
        {"port=99999999999999999999999999999", {}, {}},
        {std::string("port=6697\0,duration=1", 21), {}, 1},
        {"\xff\xfe=1,,,=,==,port=6697=1,port=6697", {}, {}},
        {"\x01\x7f,,,,port=6697", 6697, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const StsPolicy::Value parsed = StsPolicy::Parse(row.value);
        EXPECT_EQ(parsed.port, row.port);
        EXPECT_EQ(parsed.duration, row.duration);
    }
    // A megabyte of commas and keys is read in one pass.
    std::string flood;
    for (int i = 0; i < 100'000; ++i) {
        flood += "port=x,=,";
    }
    EXPECT_EQ(StsPolicy::Parse(flood + "duration=7").duration, 7);
}

TEST(StsPolicy, TheStsCapabilityIsFoundByItsWholeName)
{
    EXPECT_EQ(StsPolicy::FindIn("multi-prefix sts=port=6697 sasl=PLAIN"), "port=6697");
    EXPECT_EQ(StsPolicy::FindIn("sasl sts"), "");
    EXPECT_EQ(StsPolicy::FindIn("draft/sts=port=1 stsx=port=2 xsts=port=3  sasl"), std::nullopt);
    EXPECT_EQ(StsPolicy::FindIn(""), std::nullopt);
}

struct StsPolicyKept : testing::Test {
    std::map<std::string, std::string> file;
    std::int64_t now = 1'000;
    StsPolicy policy{{[this](const std::string& host) { return file[host]; },
                      [this](const std::string& host, const std::string& value) { file[host] = value; }},
                     [this] { return now; }};
};

TEST_F(StsPolicyKept, ADurationHeardOverTlsBindsTheHostInAnyCaseUntilItEnds)
{
    policy.Heard("IRC.Example.NET", 6697, "port=7000,duration=3600");
    EXPECT_EQ(file["irc.example.net"], "6697 4600") << "the port it was said on";
    now = 4'599;
    EXPECT_EQ(policy.SecurePort("irc.EXAMPLE.net"), 6697);
    now = 4'600;
    EXPECT_EQ(policy.SecurePort("irc.example.net"), std::nullopt);
    // Heard again later, it counts from then; without a duration nothing changes; 0 ends it.
    policy.Heard("irc.example.net", 6697, "duration=3600");
    policy.Heard("irc.example.net", 6697, "port=7000");
    EXPECT_EQ(file["irc.example.net"], "6697 8200");
    policy.Heard("irc.example.net", 6697, "duration=0");
    EXPECT_EQ(policy.SecurePort("irc.example.net"), std::nullopt);
    EXPECT_EQ(file["irc.example.net"], "");
    // Longer than the clock counts: to its end, not round to the past.
    policy.Heard("long.example", 6697, "duration=9223372036854775000");
    EXPECT_EQ(policy.SecurePort("long.example"), 6697);
}

TEST_F(StsPolicyKept, AStoredValueNotAsWrittenIsNoPolicy)
{
    for (const std::string stored : {"6697", "6697 ", "6697 5000x", "0 5000", "70000 5000", " 6697 5000",
                                     "6697  5000", "6697 -5000", "abc 5000"}) {
        file["irc.example.net"] = stored;
        EXPECT_EQ(policy.SecurePort("irc.example.net"), std::nullopt) << stored;
    }
}

TEST_F(StsPolicyKept, OnlyAPlainPlaceOfAHostUnderAPolicyMoves)
{
    file["irc.example.net"] = "6697 5000";
    struct Row {
        ServerPlace asked;
        ServerPlace goes;
    };
    const Row rows[] = {
        {{"irc.example.net", 6667, false}, {"irc.example.net", 6697, true}},
        {{"irc.example.net", 7000, true}, {"irc.example.net", 7000, true}},
        {{"other.example", 6667, false}, {"other.example", 6667, false}},
    };
    for (const Row& row : rows) {
        ServerPlace place = row.asked;
        EXPECT_EQ(policy.Route(place), row.goes.tls != row.asked.tls) << row.asked.host;
        EXPECT_EQ(place.port, row.goes.port);
        EXPECT_EQ(place.tls, row.goes.tls);
    }
}

} // namespace
