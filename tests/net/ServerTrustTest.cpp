// Fingerprints as users type them, and servers as typed in the server box.
#include "net/ServerTrust.h"

#include <gtest/gtest.h>

#include <string>

using namespace tellix;

namespace {

const std::string kShown =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";

TEST(ServerTrust, FingerprintsAreReadInAnyCaseAndWithOrWithoutSeparators)
{
    const struct {
        std::string typed;
        std::string kept;
    } rows[] = {
        {kShown, kShown},
        {"abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", kShown},
        {"ab cd ef 01 23 45 67 89 AB CD EF 01 23 45 67 89 ab:cd:ef:01:23:45:67:89:ab:cd:ef:01:23:45:67:89",
         kShown},
        {"", ""},
        {"abcdef0123456789abcdef0123456789abcdef0123456789abcdef012345678", ""},   // 63 digits
        {"abcdef0123456789abcdef0123456789abcdef0123456789abcdef01234567890", ""}, // 65 digits
        {"gbcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789", ""},  // not hex
        {"abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789-", ""},
        {std::string(100000, 'a'), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NormaliseFingerprint(row.typed), row.kept) << row.typed.substr(0, 80);
    }
}

TEST(ServerTrust, AServerBoxTextIsHostAndPortAndNeverANameWithAColon)
{
    const struct {
        std::string typed;
        bool usable;
        std::string host;
        std::int32_t port;
    } rows[] = {
        {"irc.example.org", true, "irc.example.org", 0},
        {"irc.example.org:6697", true, "irc.example.org", 6697},
        {"127.0.0.1:1", true, "127.0.0.1", 1},
        {"irc.example.org:65535", true, "irc.example.org", 65535},
        {"[::1]:6697", true, "::1", 6697},
        {"[2001:db8::7]", true, "2001:db8::7", 0},
        {"2001:db8::7", true, "2001:db8::7", 0}, // a bare v6 address has no port
        {"irc.example.org:0", false, "", 0},
        {"irc.example.org:65536", false, "", 0},
        {"irc.example.org:", false, "", 0},
        {"irc.example.org:+1", false, "", 0},
        {"irc.example.org:66x", false, "", 0},
        {":6697", false, "", 0},
        {"[::1]6697", false, "", 0},
        {"[::1", false, "", 0},
        {"[]:6697", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& row : rows) {
        const auto address = SplitServerAddress(row.typed);
        ASSERT_EQ(address.has_value(), row.usable) << row.typed;
        if (address) {
            EXPECT_EQ(address->host, row.host) << row.typed;
            EXPECT_EQ(address->port, row.port) << row.typed;
        }
    }
}

} // namespace
