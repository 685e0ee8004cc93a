// Reading WHO replies: which fields an extended WHO asked for, where they come back, and the
// away flag.
#include "net/WhoReplies.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tellix {
namespace {

TEST(WhoReplies, TheFieldsComeBackInTheServersOrderWhateverOrderTheyWereAskedIn)
{
    struct Row {
        const char* sent;
        const char* fields;
        std::int32_t nick; // where n comes back, -1 for nowhere
        std::int32_t flags;
    };
    const Row rows[] = {
        {"WHO #room %nf", "nf", 0, 1},
        {"WHO #room %fn", "nf", 0, 1},
        {"who #room %tcuhnf,42", "tcuhnf", 4, 5},
        {"WHO #room :%nfr", "nfr", 0, 1},
        {"WHO #room %nnff", "nf", 0, 1},
        {"WHO #room %cuhsnar", "cuhsnar", 4, -1},
        {"WHO #room o%nf", "nf", 0, 1},
        {"WHO #room", "", -1, -1},
        {"WHO #room o", "", -1, -1},
        {"WHOIS bob", "", -1, -1},
        {"WHO", "", -1, -1},
        {"WHO #room %", "", -1, -1},
        {"WHO #room %,7", "", -1, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sent);
        const std::string fields = WhoxFields(row.sent);
        EXPECT_EQ(fields, row.fields);
        EXPECT_EQ(WhoxPosition(fields, 'n'), row.nick);
        EXPECT_EQ(WhoxPosition(fields, 'f'), row.flags);
    }
}

TEST(WhoReplies, GMeansAwayHMeansHereAndAnythingElseSaysNothing)
{
    const std::pair<const char*, std::optional<bool>> rows[] = {
        {"G", true},        {"G@", true},        {"G*+", true},       {"H", false},         {"H@", false},
        {"", std::nullopt}, {"*", std::nullopt}, {"g", std::nullopt}, {"@G", std::nullopt},
    };
    for (const auto& [flags, away] : rows) {
        EXPECT_EQ(WhoFlagsAway(flags), away) << flags;
    }
}

} // namespace
} // namespace tellix
