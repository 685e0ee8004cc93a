// The input line: history on the arrow keys, Enter's four roads, Tab completing nicks.
#include "WindowsFixture.h"

namespace tellix::test {
namespace {

constexpr std::int32_t kUp = 38;
constexpr std::int32_t kDown = 40;
constexpr std::int32_t kEnter = 13;
constexpr std::int32_t kTab = 9;

struct InputLine : WindowsFixture {
    InputLine()
    {
        Online();
        Receive(":me!u@h JOIN :#room");
        Receive(":irc.test 353 me = #room :me Anna bob annie");
        socket.sent.clear();
        NewLines(1);
        NewLines(2);
    }
    void Submit(std::int32_t window, const std::string& typed)
    {
        View(window).Type(typed);
        View(window).KeyDown(kEnter);
    }
};

TEST_F(InputLine, HistoryKeepsTheNewestFiftyAndBrowsingGivesBackWhatWasBeingTyped)
{
    RecordingChildView& view = View(1);
    EXPECT_FALSE(view.KeyDown(kDown)); // nothing to browse: taken, nothing changes
    for (int i = 1; i <= 51; ++i) {
        Submit(1, "/echo 1 line " + std::to_string(i));
    }
    EXPECT_EQ(childs.Item(1)->InputHistory().size(), 50u);
    EXPECT_EQ(childs.Item(1)->InputHistory().front(), "/echo 1 line 2");

    view.Type("half typed");
    view.inputSelStart = 4;
    view.inputSelLength = 2;
    EXPECT_FALSE(view.KeyDown(kUp));
    EXPECT_EQ(view.inputText, "/echo 1 line 51");
    EXPECT_EQ(view.inputSelStart, 15);
    for (int i = 0; i < 49; ++i) {
        view.KeyDown(kUp);
    }
    EXPECT_EQ(view.inputText, "/echo 1 line 2");
    view.KeyDown(kUp); // the oldest stays
    EXPECT_EQ(view.inputText, "/echo 1 line 2");
    view.KeyDown(kDown);
    EXPECT_EQ(view.inputText, "/echo 1 line 3");
    for (int i = 0; i < 48; ++i) {
        view.KeyDown(kDown);
    }
    EXPECT_EQ(view.inputText, "/echo 1 line 51");
    view.KeyDown(kDown);
    EXPECT_EQ(view.inputText, "half typed");
    EXPECT_EQ(view.inputSelStart, 6); // the caret where the selection ended
    view.KeyDown(kDown);
    EXPECT_EQ(view.inputText, "half typed");
}

TEST_F(InputLine, EnterTakesOneOfFourRoads)
{
    // A slash runs the rest as a command; a lone slash is the empty command.
    Submit(2, "/msg bob hi");
    EXPECT_EQ(NewLines(2), Texts{"-> bob: hi"});
    Submit(2, "/");
    EXPECT_EQ(NewLines(2), Texts{"Empty command given. []"});
    // In the status window a plain line is sent raw.
    Submit(1, "PING now");
    EXPECT_EQ(NewLines(1), Texts{"-> Server: [PING now]"});
    // A channel window says it, through its default command.
    Submit(2, "hello  all");
    EXPECT_EQ(NewLines(2), Texts{"<me> hello  all"});
    // Without a default command the line goes straight to the channel.
    childs.Item(2)->DefaultCommand("");
    Submit(2, "direct");
    EXPECT_EQ(NewLines(2), Texts{"<me> direct"});
    EXPECT_EQ(Sent(),
              (Texts{"PRIVMSG bob :hi", "PING now", "PRIVMSG #room :hello  all", "PRIVMSG #room :direct"}));
    EXPECT_EQ(View(2).inputText, "");

    // An empty line only beeps; a line break never enters the box.
    const int beeps = toolkit.beeps;
    View(2).KeyDown(kEnter);
    EXPECT_EQ(toolkit.beeps, beeps + 1);
    View(2).Type("a\rb\nc");
    EXPECT_EQ(View(2).inputText, "abc");
    EXPECT_EQ(childs.Item(2)->InputHistory().size(), 4u);

    // A line may close its own window: nothing of it is touched afterwards.
    View(2).SetInputText("");
    Submit(2, "/window close");
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(Sent(), Texts{"PART #room :"});
}

TEST_F(InputLine, TabCompletesTheWordBeforeTheCaretFromTheNickList)
{
    RecordingChildView& view = View(2);
    struct Row {
        std::string typed;
        std::int64_t caret;
        std::vector<std::string> afterEachTab;
    };
    const std::vector<Row> rows = {
        {"an", 2, {"Anna: ", "annie: ", "Anna: "}},
        {"hi BO", 5, {"hi bob "}},
        {"hi an and more", 5, {"hi Anna  and more", "hi annie  and more"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        view.SetInputText(row.typed);
        view.inputSelStart = row.caret;
        for (const std::string& expected : row.afterEachTab) {
            EXPECT_FALSE(view.KeyDown(kTab));
            EXPECT_EQ(view.inputText, expected);
        }
    }
    // The caret ends after the completion; typing on starts a new word.
    view.SetInputText("an");
    view.inputSelStart = 2;
    view.KeyDown(kTab);
    EXPECT_EQ(view.inputSelStart, 6);
    view.Type("x");
    view.KeyDown(kTab);
    EXPECT_EQ(toolkit.beeps, 1); // "x" matches nobody
    const int beeps = toolkit.beeps;
    view.SetInputText("");
    view.KeyDown(kTab);
    EXPECT_EQ(toolkit.beeps, beeps + 1);
    EXPECT_EQ(Sent(), Texts{});
}

TEST_F(InputLine, APasteEntersEachOfItsLinesAndManyLinesAskFirst)
{
    RecordingChildView& view = View(2);
    // Pasted over the selection: what stood before it starts the first line, what stood after
    // it ends the last; CR LF, LF and CR all break lines, and empty lines send nothing.
    view.SetInputText("so: [gone] end");
    view.inputSelStart = 4;
    view.inputSelLength = 6;
    EXPECT_TRUE(view.Paste("one\r\n\r\ntwo\rthree\n"));
    EXPECT_EQ(NewLines(2), (Texts{"<me> so: one", "<me> two", "<me> three", "<me>  end"}));
    EXPECT_EQ(Sent(), (Texts{"PRIVMSG #room :so: one", "PRIVMSG #room :two", "PRIVMSG #room :three",
                             "PRIVMSG #room : end"}));
    EXPECT_EQ(childs.Item(2)->InputHistory().back(), " end");
    EXPECT_EQ(view.inputText, "");
    // Text of one line is the box's to insert.
    EXPECT_FALSE(view.Paste("plain"));
    EXPECT_EQ(view.inputText, "plain");
    EXPECT_EQ(Sent(), Texts{});

    struct Row {
        std::int32_t window;
        std::string question;
        bool yes;
        std::size_t sent;
    };
    const std::vector<Row> rows = {
        {2, "Send 6 lines to #room?", false, 0},
        {2, "Send 6 lines to #room?", true, 6},
        {1, "Send 6 lines to the status window?", true, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.question);
        RecordingChildView& asked = View(row.window);
        asked.SetInputText("kept");
        asked.answer = row.yes;
        asked.questions.clear();
        EXPECT_TRUE(asked.Paste("1\n2\n3\n4\n5\n6"));
        EXPECT_EQ(asked.questions, Texts{row.question});
        EXPECT_EQ(Sent().size(), row.sent);
        EXPECT_EQ(asked.inputText, row.yes ? "" : "kept");
    }
    // Five lines go unasked.
    view.questions.clear();
    view.SetInputText("");
    view.Paste("1\n2\n3\n4\n5");
    EXPECT_EQ(view.questions, Texts{});
    EXPECT_EQ(Sent().size(), 5u);

    // A line that closes its window ends the paste.
    view.Paste("/window close\nafter");
    EXPECT_EQ(childs.Count(), 1);
    EXPECT_EQ(Sent(), Texts{"PART #room :"});
}

} // namespace
} // namespace tellix::test
