// The log widget through its public face, under the offscreen platform.
#include "platform/qt/LogWidget.h"

#include "support/QtLoop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QImage>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;
using namespace std::chrono_literals;

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void Open(const QUrl& url) { opened << url; }
};

class LogWidgetTest : public testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApplication();
        log = std::make_unique<LogWidget>();
        log->resize(400, 200);
    }

    void Show()
    {
        log->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(log.get()));
    }

    QScrollBar* Bar() const { return log->verticalScrollBar(); }
    int Row() const { return QFontMetrics(log->font()).lineSpacing(); }

    // Appends numbered lines of 9 characters ("line 0000"), so line k starts at 11 * k.
    void AppendNumbered(int from, int count)
    {
        for (int i = from; i < from + count; ++i) {
            log->AppendLine(QStringLiteral("line %1").arg(i, 4, 10, QLatin1Char('0')).toStdString());
        }
    }

    // Waits until the latest lines have been drawn.
    bool PaintedToEnd()
    {
        return PumpUntil([&] { return log->LastPaintedLine() == log->LineCount() - 1; });
    }

    // Waits until the repaint timer has taken in appended lines.
    bool RangeGrew(int oldMaximum)
    {
        return PumpUntil([&] { return Bar()->maximum() > oldMaximum; });
    }

    std::unique_ptr<LogWidget> log;
};

TEST_F(LogWidgetTest, HoldsLinesSeparatedByCrLf)
{
    log->AppendLine("one");
    EXPECT_EQ(log->HeldText(), "one");
    log->AppendLine("two\r\nthree");
    log->AppendLine("");
    log->AppendLine("a\rb\nc");
    EXPECT_EQ(log->HeldText(), "one\r\ntwo\r\nthree\r\n\r\na\rb\nc");
    EXPECT_EQ(log->LineCount(), 5);
    EXPECT_EQ(log->TextLength(), 3 + 2 + 3 + 2 + 5 + 2 + 0 + 2 + 5);

    // An empty log's empty line is taken over by the next one.
    LogWidget fresh;
    fresh.AppendLine("");
    EXPECT_EQ(fresh.LineCount(), 1);
    EXPECT_EQ(fresh.TextLength(), 0);
    fresh.AppendLine("x");
    EXPECT_EQ(fresh.HeldText(), "x");
    EXPECT_EQ(fresh.LineCount(), 1);
}

TEST_F(LogWidgetTest, DecodesUtf8RunsAndStrayBytesAsWindows1252)
{
    struct Case {
        std::string bytes;
        QString held;
    };
    const std::vector<Case> cases = {
        {"caf\xC3\xA9 \xE2\x82\xAC", QStringView(u"caf\u00E9 \u20AC").toString()},
        {"\xF0\x9F\x98\x80", QStringView(u"\U0001F600").toString()},
        {"\x80", QStringView(u"\u20AC").toString()},
        {"\xE9t\xE9", QStringView(u"\u00E9t\u00E9").toString()},
        {"\x81\x8D\x8F\x90\x9D", QStringView(u"\u0081\u008D\u008F\u0090\u009D").toString()},
        // Valid UTF-8 with stray bytes: only the stray bytes are Windows-1252.
        {"\xC3\xA9 \xFF", QStringView(u"\u00E9 \u00FF").toString()},
        {"\xF0\x9F\x98\x80\x93\xF0\x9F\x98\x80", QStringView(u"\U0001F600\u201C\U0001F600").toString()},
        {"\xE2\x82 \xE2\x82\xAC", QStringView(u"\u00E2\u201A \u20AC").toString()},
        {"\xEF\xBB\xBFx", QStringView(u"\uFEFFx").toString()},
        {"ok \xC3\xA9\r\n\xE9", QStringView(u"ok \u00E9\r\n\u00E9").toString()},
        {std::string("a\0b", 3), QStringView(u"a\u0000b", 3).toString()},
    };
    for (const Case& c : cases) {
        LogWidget widget;
        widget.AppendLine(c.bytes);
        EXPECT_EQ(widget.HeldText(), c.held) << testing::PrintToString(c.bytes);
        EXPECT_EQ(widget.TextLength(), c.held.size()) << testing::PrintToString(c.bytes);
    }
}

TEST_F(LogWidgetTest, SelectedTextIsTheTextAsShown)
{
    // Held: 0 ^B, 1-4 bold, 5 ^B, 6 ' ', 7 ^C, 8-12 "04,12", 13-15 red, 16 ^C, 17 ' ', 18 x, 19 ^A, 20 y
    log->AppendLine("\002bold\002 \00304,12red\003 x\001y");
    ASSERT_EQ(log->TextLength(), 21);
    struct Case {
        std::int64_t start;
        std::int64_t length;
        QString shown;
    };
    const std::vector<Case> cases = {
        {0, 21, QStringView(u"bold red x\u2401y").toString()},
        {1, 4, "bold"},
        {9, 7, "red"},
        {5, -4, "bold"},
        {18, 0, ""},
    };
    for (const Case& c : cases) {
        log->SetSelection(c.start, c.length);
        EXPECT_EQ(log->SelectedText(), c.shown) << c.start << "+" << c.length;
    }
    log->SetSelection(5, -4);
    EXPECT_EQ(log->SelectionStart(), 1);
    EXPECT_EQ(log->SelectionLength(), 4);
    log->SetSelection(-5, 1000);
    EXPECT_EQ(log->SelectionStart(), 0);
    EXPECT_EQ(log->SelectionLength(), 21);

    log->AppendLine("second");
    log->AppendLine("third");
    log->SetSelection(18, 23 + 6 + 2 + 2 - 18);
    EXPECT_EQ(log->SelectedText(), QStringView(u"x\u2401y\nsecond\nth").toString());
    log->SelectAll();
    log->Copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringView(u"bold red x\u2401y\nsecond\nthird").toString());
}

// A text layout breaks a line at NEL and the Unicode line and paragraph separators; drawn
// as they came, what follows them was not drawn at all, and a made-up line could follow.
TEST_F(LogWidgetTest, LineBreakingCharactersAreDrawnAsTheNewlinePicture)
{
    const auto drawn = [](const std::string& line) {
        LogWidget widget;
        widget.resize(600, 60);
        widget.setFont(QFont("DejaVu Sans Mono", 10));
        widget.AppendLine(line);
        widget.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
        EXPECT_TRUE(PumpUntil([&] { return widget.LastPaintedLine() == 0; }));
        return widget.viewport()->grab().toImage();
    };
    const QImage expected = drawn("<bob> one\u2424[12:00] <alice> two");
    for (const char* breaking : {"\u2028", "\u2029", "\u0085"}) {
        EXPECT_EQ(drawn(std::string("<bob> one") + breaking + "[12:00] <alice> two"), expected)
            << QString::fromUtf8(breaking).toStdString();
    }
}

TEST_F(LogWidgetTest, CaretAtTheEndFollowsNewLines)
{
    Show();
    AppendNumbered(0, 200);
    ASSERT_TRUE(PaintedToEnd());
    EXPECT_GT(Bar()->maximum(), 0);
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_EQ(log->SelectionStart(), log->TextLength());

    AppendNumbered(200, 50);
    ASSERT_TRUE(PaintedToEnd());
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
    EXPECT_EQ(log->SelectionStart(), log->TextLength());
    EXPECT_EQ(log->SelectionLength(), 0);

    // A narrower window keeps following.
    log->resize(200, 150);
    AppendNumbered(250, 5);
    ASSERT_TRUE(PaintedToEnd());
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
}

TEST_F(LogWidgetTest, ASelectionStaysPutWhileLinesArrive)
{
    Show();
    AppendNumbered(0, 200);
    ASSERT_TRUE(PaintedToEnd());
    log->SetSelection(11 * 150, 9);
    const int top = Bar()->value();
    const int maximum = Bar()->maximum();
    AppendNumbered(200, 100);
    ASSERT_TRUE(RangeGrew(maximum));
    EXPECT_EQ(Bar()->value(), top);
    EXPECT_EQ(log->SelectionStart(), 11 * 150);
    EXPECT_EQ(log->SelectionLength(), 9);
    EXPECT_EQ(log->SelectedText(), "line 0150");
}

TEST_F(LogWidgetTest, ScrollingUpStopsFollowingAndTheBottomResumesIt)
{
    Show();
    log->setFocus();
    AppendNumbered(0, 200);
    ASSERT_TRUE(PaintedToEnd());

    QTest::keyClick(log.get(), Qt::Key_PageUp);
    const int top = Bar()->value();
    ASSERT_LT(top, Bar()->maximum());
    EXPECT_EQ(log->SelectionStart(), 11 * top);
    EXPECT_EQ(log->SelectionLength(), 0);

    // The wheel moves the caret with the view too.
    QWheelEvent wheel(QPointF(50, 50), log->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log->viewport(), &wheel);
    const int wheeled = Bar()->value();
    ASSERT_LT(wheeled, top);
    EXPECT_EQ(log->SelectionStart(), 11 * wheeled);

    const int maximum = Bar()->maximum();
    AppendNumbered(200, 100);
    ASSERT_TRUE(RangeGrew(maximum));
    EXPECT_EQ(Bar()->value(), wheeled);
    EXPECT_EQ(log->SelectionStart(), 11 * wheeled);

    QTest::keyClick(log.get(), Qt::Key_PageDown);
    EXPECT_GT(Bar()->value(), wheeled);
    Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(log->SelectionStart(), log->TextLength());
    AppendNumbered(300, 20);
    ASSERT_TRUE(PaintedToEnd());
    EXPECT_EQ(Bar()->value(), Bar()->maximum());

    // A resize keeps the top line.
    Bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    const int anchored = Bar()->value();
    log->resize(250, 180);
    EXPECT_EQ(Bar()->value(), anchored);

    // Back at the end on request, from anywhere.
    Bar()->triggerAction(QAbstractSlider::SliderToMinimum);
    log->SetSelection(log->TextLength(), 0);
    EXPECT_EQ(Bar()->value(), Bar()->maximum());
}

// Older lines fetched go above the first line: what the user looked at, selected or marked
// stays on its text, and scrolling up at the top asks for more.
TEST_F(LogWidgetTest, OlderLinesGoAboveAndTheViewSelectionAndMarkerStayOnTheirText)
{
    struct Case {
        const char* name;
        std::function<void(LogWidget&)> before;
        std::function<void(LogWidget&)> after;
    };
    // Twenty lines of 9 characters and their line breaks come above.
    static constexpr int kAbove = 20;
    static constexpr std::int64_t kShift = 11 * kAbove;
    const std::vector<Case> cases = {
        {"the end is followed on", [](LogWidget&) {},
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), l.TextLength());
             EXPECT_EQ(l.verticalScrollBar()->value(), l.verticalScrollBar()->maximum());
         }},
        {"a selection moves with its text", [](LogWidget& l) { l.SetSelection(11 * 20, 9); },
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), 11 * 20 + kShift);
             EXPECT_EQ(l.SelectedText(), "line 0120");
         }},
        {"a view at the top stays on its line", [](LogWidget& l) { l.verticalScrollBar()->setValue(0); },
         [](LogWidget& l) {
             EXPECT_EQ(l.verticalScrollBar()->value(), kAbove);
             EXPECT_EQ(l.SelectionStart(), kShift);
         }},
        {"the marker stays under its line", [](LogWidget& l) { l.MarkRead(5); },
         [](LogWidget& l) { EXPECT_EQ(l.MarkerLine(), l.LineCount() - 1 - 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log = std::make_unique<LogWidget>();
        log->resize(400, 200);
        Show();
        AppendNumbered(100, 50);
        ASSERT_TRUE(PaintedToEnd());
        c.before(*log);
        std::vector<StyledLine> older;
        for (int i = 80; i < 100; ++i) {
            older.push_back(
                {QStringLiteral("line %1").arg(i, 4, 10, QLatin1Char('0')).toStdString(), LineStyle{}});
        }
        log->PrependLines(older);
        EXPECT_EQ(log->LineCount(), 70);
        EXPECT_TRUE(log->HeldText().startsWith("line 0080\r\nline 0081\r\n"));
        EXPECT_TRUE(log->HeldText().contains("line 0099\r\nline 0100\r\n"));
        EXPECT_TRUE(log->HeldText().endsWith("\r\nline 0149"));
        c.after(*log);
    }

    // Read elsewhere up to a line: the marker goes under it.
    log->MarkRead(0);
    EXPECT_EQ(log->MarkerLine(), -1) << "nothing after it";
    log->MarkRead(3);
    EXPECT_EQ(log->MarkerLine(), log->LineCount() - 4);
    log->MarkRead(1000);
    EXPECT_EQ(log->MarkerLine(), 0);

    // The wheel, the keys and the scroll bar at the top each ask for older lines.
    int asked = 0;
    QObject::connect(log.get(), &LogWidget::olderWanted, [&asked] { ++asked; });
    Bar()->setValue(3);
    EXPECT_EQ(asked, 0);
    Bar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(asked, 1);
    QWheelEvent wheel(QPointF(50, 50), log->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log->viewport(), &wheel);
    EXPECT_EQ(asked, 2);
    log->setFocus();
    QTest::keyClick(log.get(), Qt::Key_PageUp);
    EXPECT_EQ(asked, 3);
    QWheelEvent down(QPointF(50, 50), log->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(log->viewport(), &down);
    EXPECT_EQ(asked, 3);
}

TEST_F(LogWidgetTest, MouseSelectsWordsLinesAndDrags)
{
    Show();
    log->AppendLine("aaaa <bbbbbbbbbbbbbbbbbbbbbbbb>. cc");
    log->AppendLine("second line here");
    ASSERT_TRUE(PaintedToEnd());
    const QFontMetrics metrics(log->font());
    const QPoint onWord(metrics.horizontalAdvance("aaaa <bbbbbbbbbb"), Row() / 2);
    QWidget* viewport = log->viewport();

    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    EXPECT_EQ(log->SelectedText(), "bbbbbbbbbbbbbbbbbbbbbbbb");
    EXPECT_EQ(log->SelectionStart(), 6);

    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    EXPECT_EQ(log->SelectedText(), "aaaa <bbbbbbbbbbbbbbbbbbbbbbbb>. cc");

    // A press long after the double-click is a plain click: the caret, no selection.
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, onWord);
    EXPECT_EQ(log->SelectionLength(), 0);

    // Drag from the start of the first line into the second.
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(1, Row() / 2));
    QTest::mouseMove(viewport, QPoint(metrics.horizontalAdvance("second") + 4, Row() + Row() / 2));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier,
                        QPoint(metrics.horizontalAdvance("second") + 4, Row() + Row() / 2));
    EXPECT_EQ(log->SelectedText(), "aaaa <bbbbbbbbbbbbbbbbbbbbbbbb>. cc\nsecond");

    log->setFocus();
    QTest::keyClick(log.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "aaaa <bbbbbbbbbbbbbbbbbbbbbbbb>. cc\nsecond");
}

TEST_F(LogWidgetTest, LongLinesWrapAndHitTestingUsesTheRows)
{
    // A proportional font, and a monospace one whose plain ASCII lines are measured without layout.
    for (const char* family : {"DejaVu Sans", "DejaVu Sans Mono"}) {
        SCOPED_TRACE(family);
        log = std::make_unique<LogWidget>();
        log->resize(400, 200);
        log->setFont(QFont(family, 10));
        Show();
        AppendNumbered(0, 50);
        std::string words;
        for (int i = 0; i < 100; ++i) {
            words += "w" + std::to_string(10 + i) + " ";
        }
        log->AppendLine(words);
        ASSERT_TRUE(PaintedToEnd());
        // The long line takes several rows, so fewer lines fit above it.
        const int rows = log->viewport()->height() / Row();
        EXPECT_GE(Bar()->value(), 51 - rows + 3);

        // A double-click on the long line's second row picks a word there, not on its first row.
        const int top = (50 - Bar()->value()) * Row();
        QTest::mouseDClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(8, top + Row() + Row() / 2));
        const QString word = log->SelectedText();
        EXPECT_TRUE(QRegularExpression("^w\\d+$").match(word).hasMatch()) << word.toStdString();
        EXPECT_NE(word, "w10");
    }
}

TEST_F(LogWidgetTest, HugeLinesWrapIntoRowsThatFit)
{
    log->setFont(QFont("DejaVu Sans Mono", 10));
    Show();
    const QFontMetricsF metrics(log->font());
    const double width = log->viewport()->width() - 6; // the margins
    const auto fit = [&](QChar c) { return static_cast<int>(width / metrics.horizontalAdvance(c)); };
    const int columns = fit(u'x');
    struct Case {
        const char* name;
        std::string line;
        // Where the fourth row starts.
        int rowThree;
    };
    const std::vector<Case> cases = {
        {"one giant word", std::string(60000, 'x'), 3 * columns},
        {"words break after a blank",
         [] {
             std::string s;
             while (s.size() < 60000) {
                 s += "abcdefghi ";
             }
             return s;
         }(),
         3 * ((columns + 1) / 10 * 10)},
        {"wide characters break anywhere",
         [] {
             std::string s;
             for (int i = 0; i < 20000; ++i) {
                 s += "\xE6\x97\xA5";
             }
             return s;
         }(),
         3 * fit(QChar(0x65E5))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->SetSelection(0, 0);
        log->AppendLine(c.line);
        log->SetSelection(log->TextLength(), 0);
        ASSERT_TRUE(PaintedToEnd());
        const std::int64_t lineStart =
            log->TextLength() - static_cast<std::int64_t>(QString::fromStdString(c.line).size());
        Bar()->setValue(static_cast<int>(log->LineCount() - 1));
        QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(4, 3 * Row() + Row() / 2));
        EXPECT_EQ(log->SelectionStart() - lineStart, c.rowThree);
    }
}

TEST_F(LogWidgetTest, ContextMenuCopiesAndSelectsAll)
{
    Show();
    log->AppendLine("first");
    log->AppendLine("\002second");
    ASSERT_TRUE(PaintedToEnd());
    QStringList seen;
    const auto choose = [&](const QString& choice) {
        QTimer::singleShot(0, [&, choice] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions()) {
                seen << action->text() + (action->isEnabled() ? "" : " (off)");
                if (action->text() == choice) {
                    menu->setActiveAction(action);
                }
            }
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                log->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(log->viewport(), &event);
    };
    choose("Select All");
    EXPECT_EQ(seen, QStringList({"Copy (off)", "Select All"}));
    EXPECT_EQ(log->SelectionStart(), 0);
    EXPECT_EQ(log->SelectionLength(), log->TextLength());
    seen.clear();
    choose("Copy");
    EXPECT_EQ(seen, QStringList({"Copy", "Select All"}));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "first\nsecond");
}

TEST_F(LogWidgetTest, LinksShowAHandAndOpenOnAClick)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    Show();
    log->AppendLine("go to https://example.org/page. now");
    ASSERT_TRUE(PaintedToEnd());
    const QFontMetrics metrics(log->font());
    const QPoint onLink(metrics.horizontalAdvance("go to https://exa"), Row() / 2);
    const QPoint offLink(metrics.horizontalAdvance("g"), Row() / 2);
    QWidget* viewport = log->viewport();

    QMouseEvent hover(QEvent::MouseMove, onLink, viewport->mapToGlobal(onLink), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(viewport, &hover);
    EXPECT_EQ(viewport->cursor().shape(), Qt::PointingHandCursor);
    QMouseEvent away(QEvent::MouseMove, offLink, viewport->mapToGlobal(offLink), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &away);
    EXPECT_NE(viewport->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, onLink);
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], QUrl("https://example.org/page"));
    // The click did not move the caret: the log still follows.
    EXPECT_EQ(log->SelectionStart(), log->TextLength());

    // A drag that starts on a link selects instead.
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, onLink);
    QTest::mouseMove(viewport, offLink);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, offLink);
    EXPECT_EQ(catcher.opened.size(), 1);
    EXPECT_GT(log->SelectionLength(), 0);
    QDesktopServices::unsetUrlHandler("https");
}

TEST_F(LogWidgetTest, FormattingIsPaintedNotPrinted)
{
    Show();
    // Spaces on a red background, then reversed spaces: black background.
    log->AppendLine("\00300,04          \017\026          ");
    ASSERT_TRUE(PaintedToEnd());
    const auto count = [](const QImage& image, QColor colour) {
        int found = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                found += image.pixelColor(x, y) == colour ? 1 : 0;
            }
        }
        return found;
    };
    const QImage before = log->viewport()->grab().toImage();
    EXPECT_GT(count(before, QColor(255, 0, 0)), 20);
    EXPECT_GT(count(before, QColor(0, 0, 0)), 20);
    const QColor highlight = log->palette().color(QPalette::Highlight);
    EXPECT_EQ(count(before, highlight), 0);
    log->SelectAll();
    const QImage selected = log->viewport()->grab().toImage();
    EXPECT_GT(count(selected, highlight), 20);
}

// Lines "line 000000" of 11 characters: line k starts at 13 * k until a trim.
void AppendWide(LogWidget& log, int from, int count)
{
    for (int i = from; i < from + count; ++i) {
        log.AppendLine(QStringLiteral("line %1").arg(i, 6, 10, QLatin1Char('0')).toStdString());
    }
}

TEST_F(LogWidgetTest, TrimmingKeepsSelectionCaretAndViewOnTheirText)
{
    // 5,000 lines kept: the 9,097th line drops the first page of 4,096, on the next frame.
    constexpr int kKeep = 5000;
    constexpr int kFull = kKeep + 4096;
    constexpr std::int64_t kShift = 13 * 4096;
    struct Case {
        const char* name;
        std::function<void(LogWidget&)> before;
        std::function<void(LogWidget&)> after;
    };
    const std::vector<Case> cases = {
        {"a selection inside the dropped text is cleared", [](LogWidget& l) { l.SetSelection(13 * 100, 13 * 50); },
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), 0);
             EXPECT_EQ(l.SelectionLength(), 0);
         }},
        {"a selection across the cut keeps its kept part",
         [](LogWidget& l) { l.SetSelection(13 * 4000 + 5, 13 * 200); },
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), 0);
             EXPECT_EQ(l.SelectionLength(), 13 * 104 + 5);
             EXPECT_TRUE(l.SelectedText().startsWith("line 004096\nline 004097\n"));
             EXPECT_TRUE(l.SelectedText().endsWith("\nline 004199\nline "));
         }},
        {"a selection after the cut moves with its text", [](LogWidget& l) { l.SetSelection(13 * 6000, 11); },
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), 13 * 6000 - kShift);
             EXPECT_EQ(l.SelectedText(), "line 006000");
         }},
        {"a caret after the cut moves with its text", [](LogWidget& l) { l.SetSelection(13 * 7000 + 3, 0); },
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), 13 * 7000 + 3 - kShift);
             EXPECT_EQ(l.SelectionLength(), 0);
         }},
        {"a view scrolled up stays on its top line", [](LogWidget& l) { l.verticalScrollBar()->setValue(6000); },
         [](LogWidget& l) {
             EXPECT_EQ(l.verticalScrollBar()->value(), 6000 - 4096);
             EXPECT_EQ(l.SelectionStart(), 13 * (6000 - 4096));
             l.SetSelection(l.SelectionStart(), 11);
             EXPECT_EQ(l.SelectedText(), "line 006000");
         }},
        {"a view on dropped lines goes to the first kept one",
         [](LogWidget& l) { l.verticalScrollBar()->setValue(10); },
         [](LogWidget& l) {
             EXPECT_EQ(l.verticalScrollBar()->value(), 0);
             EXPECT_EQ(l.SelectionStart(), 0);
         }},
        {"the end is followed on", [](LogWidget&) {},
         [](LogWidget& l) {
             EXPECT_EQ(l.SelectionStart(), l.TextLength());
             EXPECT_EQ(l.verticalScrollBar()->value(), l.verticalScrollBar()->maximum());
             EXPECT_TRUE(PumpUntil([&] { return l.LastPaintedLine() == l.LineCount() - 1; }));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log = std::make_unique<LogWidget>();
        log->resize(400, 200);
        log->SetScrollbackLines(kKeep);
        Show();
        AppendWide(*log, 0, kFull);
        ASSERT_TRUE(PaintedToEnd());
        ASSERT_EQ(log->LineCount(), kFull); // a page over the limit, not past it: nothing goes
        c.before(*log);
        AppendWide(*log, kFull, 1);
        ASSERT_TRUE(PumpUntil([&] { return log->LineCount() < kFull; }));
        EXPECT_EQ(log->LineCount(), kFull + 1 - 4096);
        EXPECT_TRUE(log->HeldText().startsWith("line 004096\r\nline 004097\r\n"));
        EXPECT_TRUE(log->HeldText().endsWith("\r\nline 009096"));
        c.after(*log);
    }
}

TEST_F(LogWidgetTest, AMillionLinesAreFoundByPositionAndScroll)
{
    constexpr int kLines = 1'000'000;
    log->SetScrollbackLines(kLines);
    constexpr int kMiddle = kLines / 2;
    std::int64_t middleStart = 0;
    std::string line;
    for (int i = 0; i < kLines; ++i) {
        line = "line " + std::to_string(i);
        if (i < kMiddle) {
            middleStart += static_cast<std::int64_t>(line.size()) + 2;
        }
        log->AppendLine(line);
    }
    ASSERT_EQ(log->LineCount(), kLines);
    log->SetSelection(middleStart, 11);
    EXPECT_EQ(log->SelectedText(), "line 500000");

    log->SetSelection(log->TextLength(), 0);
    Show();
    ASSERT_TRUE(PaintedToEnd());
    log->SetSelection(0, 0);
    Bar()->setValue(kMiddle);
    EXPECT_EQ(log->SelectionStart(), middleStart);
    // The view at the middle shows the lines after it, as many as fit.
    EXPECT_TRUE(PumpUntil([&] { return log->LastPaintedLine() == kMiddle + log->viewport()->height() / Row(); }))
        << log->LastPaintedLine();
    EXPECT_EQ(Bar()->value(), kMiddle);
}

} // namespace

#include "LogWidgetTest.moc"
