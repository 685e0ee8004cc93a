#include "model/UserMask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tellix::BuildUserMask;
using tellix::CompareUserMasks;
using tellix::ParseUserMask;
using tellix::UserMaskNick;
using tellix::UserMaskRecord;

namespace {

struct Example {
    std::string text;
    std::string nick;
    std::string user;
    std::string host;
    std::int32_t info;
};

// Every text of up to `length` characters over "a", "!" and "@".
std::vector<std::string> AllTexts(std::size_t length)
{
    std::vector<std::string> texts{""};
    for (std::size_t begin = 0, n = 0; n < length; ++n) {
        const std::size_t end = texts.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (char c : {'a', '!', '@'}) {
                texts.push_back(texts[i] + c);
            }
        }
        begin = end;
    }
    return texts;
}

} // namespace

TEST(UserMask, ParseSplitsAtTheFirstBangAndTheLastAt)
{
    const std::vector<Example> examples{
        {"a!b@c", "a", "b", "c", 7},     {"a", "a", "", "", 1},           {"b@c", "", "b", "c", 6},
        {"a!b", "a", "", "", 1},         {"a!@c", "a", "", "c", 5},       {"!b@c", "", "b", "c", 6},
        {"a!b!c@d", "a", "b!c", "d", 7}, {"a!b@c@d", "a", "b@c", "d", 7}, {"", "", "", "", 0},
    };
    for (const Example& e : examples) {
        const UserMaskRecord r = ParseUserMask(e.text);
        EXPECT_EQ(r.Nick, e.nick) << e.text;
        EXPECT_EQ(r.User, e.user) << e.text;
        EXPECT_EQ(r.Host, e.host) << e.text;
        EXPECT_EQ(r.Info, e.info) << e.text;
    }
}

TEST(UserMask, AtBeforeTheFirstBangGivesNickAndHostButNoUser)
{
    const UserMaskRecord r = ParseUserMask("x@y!z");
    EXPECT_EQ(r.Nick, "x@y");
    EXPECT_EQ(r.User, "");
    EXPECT_EQ(r.Host, "y!z");
    EXPECT_EQ(r.Info, 5);

    const UserMaskRecord s = ParseUserMask("@!");
    EXPECT_EQ(s.Nick, "@");
    EXPECT_EQ(s.Host, "!");
    EXPECT_EQ(s.Info, 5);
}

TEST(UserMask, ParsePartsArePiecesOfTheText)
{
    // Whatever the text: the nick opens it, the host closes it, a user part sits
    // between the separators, and Info tells which parts are present.
    // UserMaskNick agrees with the full parse.
    for (const std::string& text : AllTexts(6)) {
        const UserMaskRecord r = ParseUserMask(text);
        const bool bang = text.find('!') != std::string::npos;
        const bool at = text.find('@') != std::string::npos;
        EXPECT_EQ(r.Info, (r.Nick.empty() ? 0 : 1) | (r.User.empty() ? 0 : 2) | (r.Host.empty() ? 0 : 4)) << text;
        EXPECT_EQ(UserMaskNick(text), r.Nick) << text;
        EXPECT_TRUE(text.starts_with(r.Nick)) << text;
        EXPECT_EQ(r.Nick.find('!'), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with((at ? "@" : "") + r.Host)) << text;
        if (!r.User.empty()) {
            EXPECT_EQ((bang ? r.Nick + "!" : "") + r.User + "@" + r.Host, text);
        }
        if (!bang && !at) {
            EXPECT_EQ(r.Nick, text);
        }
    }
}

TEST(UserMask, BuildAlwaysWritesBothSeparators)
{
    EXPECT_EQ(BuildUserMask(UserMaskRecord{}), "!@");
    EXPECT_EQ(BuildUserMask(UserMaskRecord{"a", "", "", 7}), "a!@");
    EXPECT_EQ(BuildUserMask(UserMaskRecord{"", "", "c", 0}), "!@c");
    EXPECT_EQ(BuildUserMask(UserMaskRecord{"a", "b", "c", 0}), "a!b@c");
    // A mask of parts without separators reads back as the same parts.
    const UserMaskRecord r = ParseUserMask(BuildUserMask(UserMaskRecord{"nick", "~user", "host.example", 0}));
    EXPECT_EQ(r.Nick, "nick");
    EXPECT_EQ(r.User, "~user");
    EXPECT_EQ(r.Host, "host.example");
    EXPECT_EQ(r.Info, 7);
}

TEST(UserMask, CompareSetsOneBitPerExactlyEqualPart)
{
    const UserMaskRecord abc = ParseUserMask("a!b@c");
    EXPECT_EQ(CompareUserMasks(abc, abc), 7);
    EXPECT_EQ(CompareUserMasks(abc, ParseUserMask("A!b@c")), 6);
    EXPECT_EQ(CompareUserMasks(abc, ParseUserMask("a!B@c")), 5);
    EXPECT_EQ(CompareUserMasks(abc, ParseUserMask("a!b@C")), 3);
    EXPECT_EQ(CompareUserMasks(abc, ParseUserMask("a")), 1);
    EXPECT_EQ(CompareUserMasks(ParseUserMask(""), ParseUserMask("!@")), 7);
    EXPECT_EQ(CompareUserMasks(abc, ParseUserMask("*!*@*")), 0);
    // Info takes no part.
    UserMaskRecord other = abc;
    other.Info = 0;
    EXPECT_EQ(CompareUserMasks(abc, other), 7);
}
