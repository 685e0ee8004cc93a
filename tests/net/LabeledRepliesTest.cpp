// Which command a labelled reply answers: one line, an ACK, a batch (nested too), and labels
// that are not ours or were answered already.
#include "net/LabeledReplies.h"
#include "net/ServerLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tellix {
namespace {

// Each line received in turn, and whom the table says it answers ("" for no one).
std::vector<std::string> Hear(LabeledReplies& labels, const std::vector<std::string>& lines)
{
    std::vector<std::string> askers;
    for (const std::string& line : lines) {
        askers.push_back(labels.Hear(ServerLine(line)).value_or(""));
    }
    return askers;
}

TEST(LabeledReplies, EachReplyGoesToWhoAskedAndOnlyOnce)
{
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        std::vector<std::string> askers;
    };
    // t1 was asked by window A, t2 by window B.
    const std::vector<Row> rows = {
        {"one line", {"@label=t1 :irc.test 401 me bob :No such nick"}, {"A"}},
        {"an ACK", {"@label=t2 :irc.test ACK"}, {"B"}},
        {"a batch, its lines and its end",
         {"@label=t1 :irc.test BATCH +w labeled-response", "@batch=w :irc.test 311 me bob u h * :Bob",
          "@batch=w;time=2024-01-01T00:00:00.000Z :irc.test 318 me bob :End", ":irc.test BATCH -w",
          "@batch=w :irc.test 311 me bob u h * :late"},
         {"A", "A", "A", "A", ""}},
        {"a nested batch",
         {"@label=t2 :irc.test BATCH +o labeled-response", "@batch=o :irc.test BATCH +i netjoin",
          "@batch=i :bob!u@h JOIN #room", ":irc.test BATCH -i", "@batch=o :irc.test 366 me #room :End",
          ":irc.test BATCH -o"},
         {"B", "B", "B", "B", "B", "B"}},
        {"two answered out of order", {"@label=t2 :irc.test ACK", "@label=t1 :irc.test 305 me :back"}, {"B", "A"}},
        {"a label answered twice", {"@label=t1 :irc.test ACK", "@label=t1 :irc.test 401 me x :No"}, {"A", ""}},
        {"a label never given",
         {"@label=t9 :irc.test ACK", "@label= :irc.test ACK", "@label :irc.test ACK"},
         {"", "", ""}},
        {"a batch nobody asked for", {"@batch=z :irc.test 311 me bob u h * :Bob", ":irc.test BATCH -z"}, {"", ""}},
        {"lines without tags", {":irc.test 311 me bob u h * :Bob", "PING :x"}, {"", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LabeledReplies labels;
        ASSERT_EQ(labels.Start("A"), "t1");
        ASSERT_EQ(labels.Start("B"), "t2");
        EXPECT_EQ(Hear(labels, row.lines), row.askers);
    }
}

TEST(LabeledReplies, AServerThatNeverAnswersLeavesBoundedState)
{
    LabeledReplies labels;
    for (int i = 0; i < 10'000; ++i) {
        labels.Start("A");
    }
    EXPECT_EQ(labels.Waiting(), LabeledReplies::kMostPending);
    // The newest are kept, the oldest given up.
    EXPECT_EQ(labels.Hear(ServerLine("@label=t10000 :irc.test ACK")), std::optional<std::string>("A"));
    EXPECT_EQ(labels.Hear(ServerLine("@label=t1 :irc.test ACK")), std::nullopt);

    // Batches opened and never closed.
    for (int i = 0; i < 1000; ++i) {
        const std::string label = labels.Start("B");
        labels.Hear(
            ServerLine("@label=" + label + " :irc.test BATCH +b" + std::to_string(i) + " labeled-response"));
    }
    EXPECT_EQ(labels.OpenBatches(), LabeledReplies::kMostBatches);
    EXPECT_EQ(labels.Hear(ServerLine("@batch=b999 :irc.test 318 me bob :End")), std::optional<std::string>("B"));

    labels.Reset();
    EXPECT_EQ(labels.Waiting(), 0U);
    EXPECT_EQ(labels.OpenBatches(), 0U);
    EXPECT_EQ(labels.Hear(ServerLine("@batch=b999 :irc.test 318 me bob :End")), std::nullopt);
}

} // namespace
} // namespace tellix
