// The nick list's entries against the plainest list that could hold them: a vector scanned
// from the top.
#include "windows/NickList.h"

#include "util/Collection.h"
#include "util/CoreError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tellix {
namespace {

struct Plain {
    std::vector<std::string> entries;
    std::int32_t Find(const std::string& nick) const
    {
        const auto it = std::find(entries.begin(), entries.end(), nick);
        return it == entries.end() ? -1 : static_cast<std::int32_t>(it - entries.begin());
    }
};

void ExpectSame(NickList& list, const Plain& plain, const std::vector<std::string>& nicks)
{
    ASSERT_EQ(list.Count(), static_cast<std::int32_t>(plain.entries.size()));
    for (std::int32_t i = 0; i < list.Count(); ++i) {
        ASSERT_EQ(list.Item(i), plain.entries[static_cast<std::size_t>(i)]) << "position " << i;
    }
    for (const std::string& nick : nicks) {
        ASSERT_EQ(list.Find(nick), plain.Find(nick)) << nick;
    }
}

// Few distinct nicks, so that duplicates (from renames) meet often; enough operations that
// gaps build up and are squeezed out many times. Without lookups along the way, the index is
// made only at the end, from whatever the list went through.
void Shuffle(bool lookups)
{
    std::mt19937 random(lookups ? 7 : 11);
    std::vector<std::string> nicks;
    for (int i = 0; i < 40; ++i) {
        nicks.push_back("n" + std::to_string(i));
    }
    NickList list;
    Plain plain;
    for (int step = 0; step < 20000; ++step) {
        const std::string& nick = nicks[random() % nicks.size()];
        const auto size = static_cast<std::int32_t>(plain.entries.size());
        unsigned operation = random() % 7;
        if (!lookups && (operation == 2 || operation == 6)) {
            operation = 0; // appending only if absent, or removing by nick, looks the nick up
        }
        switch (operation) {
        case 0:
        case 1:
            list.Append(nick);
            plain.entries.push_back(nick);
            break;
        case 2:
            // Half the time with the hash a user keeps of its nick.
            if (step % 2 == 0 ? list.AppendIfAbsent(nick) : list.AppendIfAbsent(nick, ExactText::Hash(nick))) {
                ASSERT_EQ(plain.Find(nick), -1);
                plain.entries.push_back(nick);
            } else {
                ASSERT_NE(plain.Find(nick), -1);
            }
            break;
        case 3:
            if (size > 0) {
                const auto at = static_cast<std::int32_t>(random() % static_cast<unsigned>(size));
                list.Replace(at, nick);
                plain.entries[static_cast<std::size_t>(at)] = nick;
            }
            break;
        case 6: {
            const std::int32_t at = plain.Find(nick);
            ASSERT_EQ(list.RemoveFirst(nick), at) << nick;
            if (at >= 0) {
                plain.entries.erase(plain.entries.begin() + at);
            }
            break;
        }
        default:
            if (size > 0) {
                // Now and then the last one, which leaves no gap.
                const auto at = random() % 4 == 0
                                    ? size - 1
                                    : static_cast<std::int32_t>(random() % static_cast<unsigned>(size));
                list.RemoveAt(at);
                plain.entries.erase(plain.entries.begin() + at);
            }
            break;
        }
        if (lookups && step % 97 == 0) {
            ExpectSame(list, plain, nicks);
        }
    }
    ExpectSame(list, plain, nicks);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Find("n1"), -1);
}

TEST(NickList, AnswersAsAScanFromTheTopThroughAppendsRenamesAndRemovals)
{
    Shuffle(true);
}

TEST(NickList, AnIndexMadeLateAnswersTheSame)
{
    Shuffle(false);
}

// Renames leave their old texts behind; once they are most of what is kept they go, and
// every entry, lookup and duplicate chain stays as it was.
TEST(NickList, ManyRenamesKeepEntriesAndLookups)
{
    for (const bool indexed : {false, true}) {
        NickList list;
        Plain plain;
        std::vector<std::string> nicks;
        for (int i = 0; i < 50; ++i) {
            nicks.push_back("somebody_with_a_long_nick_" + std::to_string(i % 25)); // each twice
            list.Append(nicks.back());
            plain.entries.push_back(nicks.back());
        }
        if (indexed) {
            ASSERT_EQ(list.Find(nicks[3]), 3);
        }
        for (int step = 0; step < 5000; ++step) {
            const auto at = static_cast<std::int32_t>((step * 7) % 50);
            const std::string nick = "renamed_to_another_long_nick_" + std::to_string(step % 60);
            list.Replace(at, nick);
            plain.entries[static_cast<std::size_t>(at)] = nick;
            nicks.push_back(nick);
            if (step % 499 == 0) {
                ExpectSame(list, plain, {nicks.front(), nick, nicks[nicks.size() / 2]});
            }
        }
        std::sort(nicks.begin(), nicks.end());
        nicks.erase(std::unique(nicks.begin(), nicks.end()), nicks.end());
        ExpectSame(list, plain, nicks);
        // Removing through the index after all that still finds the first of equal texts.
        for (const std::string& nick : nicks) {
            const std::int32_t at = plain.Find(nick);
            ASSERT_EQ(list.RemoveFirst(nick), at) << nick;
            if (at >= 0) {
                plain.entries.erase(plain.entries.begin() + at);
            }
        }
        ExpectSame(list, plain, nicks);
    }
}

TEST(NickList, PositionsOutsideTheListFail)
{
    NickList list;
    list.Append("anna");
    EXPECT_THROW(list.Item(1), CoreError);
    EXPECT_THROW(list.Item(-1), CoreError);
    EXPECT_THROW(list.RemoveAt(1), CoreError);
    EXPECT_THROW(list.Replace(-1, "x"), CoreError);
    EXPECT_EQ(list.Item(0), "anna");
}

} // namespace
} // namespace tellix
