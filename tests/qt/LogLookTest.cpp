// How the log looks: nick colours, own and highlighted lines, wrap indent, palette, font,
// the marker line and the primary selection, under the offscreen platform.
#include "app/Settings.h"
#include "platform/qt/LogText.h"
#include "platform/qt/LogWidget.h"
#include "platform/qt/PreferencesDialog.h"
#include "platform/qtcore/QtSettingsStore.h"

#include "support/QtLoop.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPalette>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::test;

namespace {

QPalette LightPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
    palette.setColor(QPalette::Text, QColor(0x1E, 0x1E, 0x1E));
    return palette;
}

QPalette DarkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0x1D, 0x1F, 0x21));
    palette.setColor(QPalette::Text, QColor(0xE8, 0xE8, 0xE8));
    return palette;
}

// "[12:00] <nick> text": the style the core gives a said line.
LineStyle SaidBy(const std::string& nick, bool own = false, bool highlight = false)
{
    LineStyle style;
    style.kind = LineStyle::Kind::Message;
    style.own = own;
    style.highlight = highlight;
    style.nickStart = 9;
    style.nickLength = static_cast<std::uint32_t>(nick.size());
    style.textStart = 9 + style.nickLength + 2;
    return style;
}

TEST(NickColours, OneNickAsTheServerFoldsItHasOneColour)
{
    using logtext::NickColourIndex;
    using M = CaseMapping;
    struct Row {
        QString a, b;
        M mapping;
        bool same;
    };
    const std::vector<Row> rows = {
        {"bob", "BOB", M::Ascii, true},           {"bob", "Bob_", M::Rfc1459, true},
        {"bob", "bob__", M::StrictRfc1459, true}, {"bob[", "BOB{", M::Rfc1459, true},
        {"bob[", "BOB{", M::StrictRfc1459, true}, {"bob[", "BOB{", M::Ascii, false},
        {"[away]", "{AWAY}", M::Rfc1459, true},   {"[away]", "{away}", M::Ascii, false},
        {"a\\b~", "A|b^", M::Rfc1459, true},      {"a\\b~", "A|b~", M::StrictRfc1459, true},
        {"ab~", "ab^", M::StrictRfc1459, false},  {"ab~", "ab^", M::Ascii, false},
        {"bob", "bobby", M::Rfc1459, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.a.toStdString() + " " + row.b.toStdString() + " " +
                     std::to_string(static_cast<int>(row.mapping)));
        EXPECT_EQ(NickColourIndex(row.a, row.mapping) == NickColourIndex(row.b, row.mapping), row.same);
    }
    // Many nicks spread over the colours.
    std::set<int> used;
    for (int i = 0; i < 200; ++i) {
        const int index = NickColourIndex(QStringLiteral("user%1").arg(i), M::Rfc1459);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, logtext::kNickColours);
        used.insert(index);
    }
    EXPECT_EQ(used.size(), static_cast<std::size_t>(logtext::kNickColours));
}

TEST(NickColours, TheLogColoursByTheMappingItIsGiven)
{
    EnsureGuiApplication();
    LogWidget log;
    EXPECT_EQ(log.NickColour(u"bob["), log.NickColour(u"BOB{")); // rfc1459 until told
    log.SetNickCaseMapping(CaseMapping::Ascii);
    EXPECT_NE(log.NickColour(u"bob["), log.NickColour(u"BOB{"));
    EXPECT_EQ(log.NickColour(u"bob"), log.NickColour(u"BOB"));
}

TEST(NickColours, EveryColourIsLegibleAndItsOwnOnLightAndDarkBases)
{
    const std::vector<QColor> bases = {Qt::white, QColor(0xF0, 0xF0, 0xF0), QColor(0xFF, 0xFF, 0xE0),
                                       Qt::black, QColor(0x1D, 0x1F, 0x21), QColor(0x31, 0x36, 0x3B)};
    for (const QColor& base : bases) {
        std::set<QRgb> seen;
        for (int index = 0; index < logtext::kNickColours; ++index) {
            const QColor colour = logtext::NickColour(index, base);
            EXPECT_GE(logtext::Contrast(colour, base), 4.5) << base.name().toStdString() << " #" << index;
            seen.insert(colour.rgb());
        }
        EXPECT_EQ(seen.size(), static_cast<std::size_t>(logtext::kNickColours)) << base.name().toStdString();
    }
    EXPECT_NEAR(logtext::Contrast(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(logtext::Contrast(Qt::white, Qt::white), 1.0, 0.01);
}

class LogLookTest : public testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApplication();
        log = std::make_unique<LogWidget>();
        log->setFont(QFont("DejaVu Sans Mono", 10));
        log->setPalette(LightPalette());
        log->resize(400, 200);
    }

    void Show()
    {
        log->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(log.get()));
    }

    bool PaintedToEnd()
    {
        return PumpUntil([&] { return log->LastPaintedLine() == log->LineCount() - 1; });
    }

    int Row() const { return QFontMetrics(log->font()).lineSpacing(); }
    QImage Shot() const { return log->viewport()->grab().toImage(); }
    // The log's lines are at the top while they fit.
    QColor At(const QImage& image, int x, int line, int yInRow) const
    {
        return image.pixelColor(x, line * Row() + yInRow);
    }

    std::unique_ptr<LogWidget> log;
};

TEST_F(LogLookTest, ANickIsDrawnInItsColourKeptUntilThePaletteChanges)
{
    Show();
    const LineStyle style = SaidBy("bob");
    log->AppendLine("[12:00] <bob> hello", &style);
    ASSERT_TRUE(PaintedToEnd());
    const QColor colour = log->NickColour(u"bob");
    EXPECT_EQ(log->NickColour(u"BOB"), colour);
    EXPECT_GE(logtext::Contrast(colour, LightPalette().color(QPalette::Base)), 4.5);

    // Some pixels of the nick are in its hue, none of the rest of the line.
    const QImage image = Shot();
    const QFontMetricsF metrics(log->font());
    const int nickLeft = 3 + static_cast<int>(metrics.horizontalAdvance("[12:00] <"));
    const int nickRight = 3 + static_cast<int>(metrics.horizontalAdvance("[12:00] <bob"));
    int inNick = 0;
    int elsewhere = 0;
    for (int y = 0; y < Row(); ++y) {
        for (int x = 0; x < image.width() - 20; ++x) {
            // Anti-aliased glyphs blend with the base: the hue tells the nick's pixels.
            const QColor pixel = image.pixelColor(x, y);
            const int hueDistance = std::abs(pixel.hsvHue() - colour.hsvHue());
            if (pixel.hsvSaturation() > 60 && std::min(hueDistance, 360 - hueDistance) < 20) {
                (x >= nickLeft && x < nickRight ? inNick : elsewhere)++;
            }
        }
    }
    EXPECT_GT(inNick, 0);
    EXPECT_EQ(elsewhere, 0);

    log->setPalette(DarkPalette());
    const QColor onDark = log->NickColour(u"bob");
    EXPECT_NE(onDark, colour);
    EXPECT_GE(logtext::Contrast(onDark, DarkPalette().color(QPalette::Base)), 4.5);
}

TEST_F(LogLookTest, OwnAndHighlightedLinesAreSetApartOnLightAndDarkPalettes)
{
    Show();
    const LineStyle plain = SaidBy("bob");
    const LineStyle own = SaidBy("me", true);
    const LineStyle highlight = SaidBy("bob", false, true);
    log->AppendLine("[12:00] <bob> plain", &plain);
    log->AppendLine("[12:00] <me> mine", &own);
    log->AppendLine("[12:00] <bob> me: look", &highlight);
    for (const QPalette& palette : {LightPalette(), DarkPalette()}) {
        log->setPalette(palette);
        const QImage image = Shot();
        const QColor base = palette.color(QPalette::Base);
        const QColor text = palette.color(QPalette::Text);
        const int right = image.width() - 30; // past the text, before the scroll bar
        SCOPED_TRACE(base.name().toStdString());
        EXPECT_EQ(At(image, right, 0, Row() / 2), base);
        EXPECT_EQ(At(image, 0, 0, Row() / 2), base);

        const QColor ownTint = At(image, right, 1, Row() / 2);
        EXPECT_NE(ownTint, base);
        EXPECT_GE(logtext::Contrast(text, ownTint), 4.5);
        EXPECT_EQ(At(image, 0, 1, Row() / 2), ownTint) << "no mark in the margin";

        const QColor highlightTint = At(image, right, 2, Row() / 2);
        EXPECT_NE(highlightTint, base);
        EXPECT_NE(highlightTint, ownTint);
        EXPECT_GE(logtext::Contrast(text, highlightTint), 4.5);
        const QColor mark = At(image, 0, 2, Row() / 2);
        EXPECT_NE(mark, highlightTint) << "the margin holds a mark";
        EXPECT_GE(logtext::Contrast(mark, base), 2.0);
    }
    EXPECT_TRUE(log->StyleAt(2).highlight);
    EXPECT_TRUE(log->StyleAt(1).own);
    EXPECT_FALSE(log->StyleAt(0).own || log->StyleAt(0).highlight);
}

TEST_F(LogLookTest, LinesFromTheLogsAreDimmedAndARuleDividesThemFromNewOnes)
{
    Show();
    const LineStyle history{LineStyle::Kind::History};
    const LineStyle divider{LineStyle::Kind::Divider};
    const LineStyle plain{};
    log->AppendLine("[2026-12-07 12:00] <bob> WWWWWWWW", &history);
    log->AppendLine("-- earlier --", &divider);
    log->AppendLine("[12:00] <bob> WWWWWWWW", &plain);
    ASSERT_TRUE(PaintedToEnd());
    for (const QPalette& palette : {LightPalette(), DarkPalette()}) {
        log->setPalette(palette);
        const QImage image = Shot();
        const QColor base = palette.color(QPalette::Base);
        SCOPED_TRACE(base.name().toStdString());
        // How far the line's ink gets from the base at most: less for a dimmed line.
        const auto ink = [&](int line) {
            int most = 0;
            for (int y = 0; y < Row(); ++y) {
                for (int x = 0; x < image.width() / 2; ++x) {
                    const QColor pixel = At(image, x, line, y);
                    most = std::max(most, std::abs(pixel.value() - base.value()));
                }
            }
            return most;
        };
        EXPECT_GT(ink(2), ink(0) + 40);
        EXPECT_GT(ink(0), 0) << "dimmed, still drawn";
        // The rule reaches past the divider's words, to the right edge; plain lines have none.
        const int right = image.width() - 30;
        const auto ruled = [&](int line) {
            for (int y = 0; y < Row(); ++y) {
                if (At(image, right, line, y) != base) {
                    return true;
                }
            }
            return false;
        };
        EXPECT_TRUE(ruled(1));
        EXPECT_FALSE(ruled(0));
        EXPECT_FALSE(ruled(2));
    }
}

TEST_F(LogLookTest, WrappedRowsStartUnderTheTextNotUnderTheTimeStamp)
{
    Show();
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "word" + std::to_string(i) + " ";
    }
    const LineStyle style = SaidBy("bob");
    log->AppendLine("[12:00] <bob> " + text, &style);
    log->AppendLine("[12:00] *** " + text); // no style: nothing known to indent under
    ASSERT_TRUE(PaintedToEnd());
    const QFontMetricsF metrics(log->font());
    const int textLeft = 3 + static_cast<int>(metrics.horizontalAdvance("[12:00] <bob> "));
    EXPECT_EQ(log->RowLeft(0, 0), 3);
    EXPECT_EQ(log->RowLeft(0, 1), textLeft);
    EXPECT_EQ(log->RowLeft(0, 2), textLeft);
    EXPECT_EQ(log->RowLeft(1, 1), 3);
    EXPECT_EQ(log->RowLeft(0, 100), -1);

    // A click at the start of the second row lands on its first character: a word of the text.
    log->verticalScrollBar()->setValue(0);
    QTest::mouseDClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(textLeft + 2, Row() + Row() / 2));
    EXPECT_TRUE(log->SelectedText().startsWith("word")) << log->SelectedText().toStdString();

    // In a narrow window the indent leaves room for the text.
    log->resize(120, 200);
    ASSERT_TRUE(PumpUntil([&] { return log->RowLeft(0, 1) >= 0 && log->RowLeft(0, 1) <= 3 + 57; }));
}

TEST_F(LogLookTest, TheMarkerLineShowsWhereReadingStoppedAndGoesWithItsLine)
{
    Show();
    for (int i = 0; i < 3; ++i) {
        log->AppendLine("read " + std::to_string(i));
    }
    EXPECT_EQ(log->MarkerLine(), -1);
    log->MarkRead();
    EXPECT_EQ(log->MarkerLine(), -1) << "nothing new after it";
    log->AppendLine("new 0");
    log->AppendLine("new 1");
    EXPECT_EQ(log->MarkerLine(), 2);
    ASSERT_TRUE(PaintedToEnd());
    const QImage image = Shot();
    const QColor rule = At(image, 200, 2, Row() - 1);
    EXPECT_NE(rule, LightPalette().color(QPalette::Base));
    EXPECT_EQ(At(image, 200, 1, Row() - 1), LightPalette().color(QPalette::Base));

    // It moves on the next time.
    log->MarkRead();
    EXPECT_EQ(log->MarkerLine(), -1);
    log->AppendLine("new 2");
    EXPECT_EQ(log->MarkerLine(), 4);
}

TEST_F(LogLookTest, TheMarkerLineGoesWithItsLineWhenOlderLinesAreDropped)
{
    // A page of older lines, then the line read last.
    for (int i = 0; i < 4096; ++i) {
        log->AppendLine("old");
    }
    log->AppendLine("read");
    log->MarkRead();
    log->SetScrollbackLines(10);
    for (int i = 0; i < 21; ++i) {
        log->AppendLine("after");
    }
    ASSERT_TRUE(PumpUntil([&] { return log->LineCount() < 4096; }));
    ASSERT_EQ(log->MarkerLine(), 0);
    EXPECT_EQ(log->HeldText().split("\r\n").at(0), "read");
    for (int i = 0; i < 4200; ++i) {
        log->AppendLine("more");
    }
    ASSERT_TRUE(PumpUntil([&] { return log->LineCount() < 4200; }));
    EXPECT_EQ(log->MarkerLine(), -1);
}

TEST_F(LogLookTest, AMouseSelectionIsThePrimarySelection)
{
    Show();
    log->AppendLine("pick these words");
    ASSERT_TRUE(PaintedToEnd());
    QStringList published;
    QObject::connect(log.get(), &LogWidget::selectionPublished, [&](const QString& text) { published << text; });
    const QFontMetricsF metrics(log->font());
    const int y = Row() / 2;
    QTest::mousePress(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(3 + 1, y));
    QTest::mouseMove(log->viewport(),
                     QPoint(3 + static_cast<int>(metrics.horizontalAdvance("pick these")) + 1, y));
    QTest::mouseRelease(log->viewport(), Qt::LeftButton, Qt::NoModifier,
                        QPoint(3 + static_cast<int>(metrics.horizontalAdvance("pick these")) + 1, y));
    ASSERT_EQ(published, QStringList{"pick these"});
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
        EXPECT_EQ(clipboard->text(QClipboard::Selection), "pick these");
    }
    // A click that selects nothing publishes nothing.
    QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, y));
    EXPECT_EQ(published.size(), 1);
    QTest::mouseDClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(3 + 2, y));
    EXPECT_EQ(published.back(), "pick");
}

TEST_F(LogLookTest, TheFontComesFromTheSettingsOverTheWindowsOwn)
{
    QtSettingsStore settings;
    const std::string app = SettingsAppName();
    const std::string section(settings::Section);
    const auto set = [&](std::string_view key, const std::string& value) {
        settings.SaveSetting(app, section, std::string(key), value);
    };
    const QFont own("DejaVu Sans Mono", 10);
    log->SetBaseFont(own);
    EXPECT_EQ(log->font().family(), own.family());

    set(settings::LogFont, "DejaVu Serif");
    set(settings::LogFontSize, "14");
    log->ApplyPreferences();
    EXPECT_EQ(log->font().family(), "DejaVu Serif");
    EXPECT_DOUBLE_EQ(log->font().pointSizeF(), 14.0);

    // Every open log, at once, when the preferences are saved.
    LogWidget other;
    other.SetBaseFont(own);
    set(settings::LogFontSize, "12.5");
    Q_EMIT Preferences::Instance().Changed();
    EXPECT_DOUBLE_EQ(log->font().pointSizeF(), 12.5);
    EXPECT_DOUBLE_EQ(other.font().pointSizeF(), 12.5);

    // Nothing, or nonsense, is the window's own again.
    set(settings::LogFont, "");
    set(settings::LogFontSize, "huge");
    log->ApplyPreferences();
    EXPECT_EQ(log->font().family(), own.family());
    EXPECT_DOUBLE_EQ(log->font().pointSizeF(), own.pointSizeF());
    set(settings::LogFontSize, "");
}

TEST_F(LogLookTest, CtrlFFindsTextMarksEveryMatchAndWalksThem)
{
    Show();
    for (int i = 0; i < 200; ++i) {
        const std::string said = i == 10 ? "a Needle here" : i == 120 ? "\002NEEDLE\002 and needle" : "hay";
        log->AppendLine("line " + std::to_string(i) + " " + said);
    }
    ASSERT_TRUE(PaintedToEnd());
    QTest::keyClick(log.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(log->FindOpen());
    EXPECT_TRUE(log->FindField()->hasFocus());
    QTest::keyClicks(log->FindField(), "neeDLE");
    // Typing searches after a pause.
    ASSERT_TRUE(PumpUntil([&] { return log->MatchCount() == 3; }));
    // The newest first, selected and in view.
    EXPECT_EQ(log->CurrentMatch(), 2);
    EXPECT_EQ(log->SelectedText(), "needle");
    const auto inView = [&](int line) {
        const int top = log->verticalScrollBar()->value();
        return line >= top && line < top + log->viewport()->height() / Row();
    };
    EXPECT_TRUE(inView(120));

    QTest::keyClick(log->FindField(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(log->CurrentMatch(), 1);
    EXPECT_EQ(log->SelectedText(), "NEEDLE");
    QTest::keyClick(log->FindField(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(log->CurrentMatch(), 0);
    EXPECT_EQ(log->SelectedText(), "Needle");
    EXPECT_TRUE(inView(10));
    // Enter goes on, and round.
    QTest::keyClick(log->FindField(), Qt::Key_Return);
    EXPECT_EQ(log->CurrentMatch(), 1);
    QTest::keyClick(log->FindField(), Qt::Key_Return);
    QTest::keyClick(log->FindField(), Qt::Key_Return);
    EXPECT_EQ(log->CurrentMatch(), 0);
    EXPECT_TRUE(inView(10));

    // The other matches are marked: on line 120 the second, not current, has a background.
    QTest::keyClick(log->FindField(), Qt::Key_Return);
    ASSERT_TRUE(inView(120));
    const int y = (120 - log->verticalScrollBar()->value()) * Row() + Row() / 2;
    const QFontMetricsF metrics(log->font());
    const int x = 3 + static_cast<int>(metrics.horizontalAdvance("line 120 NEEDLE and ")) + 1;
    const QImage image = Shot();
    EXPECT_NE(image.pixelColor(x, y), LightPalette().color(QPalette::Base));
    EXPECT_EQ(image.pixelColor(x, Row() * 0 + y - Row()), LightPalette().color(QPalette::Base));

    // Lines that come later are searched too.
    log->AppendLine("late needle");
    ASSERT_TRUE(PumpUntil([&] { return log->MatchCount() == 4; }));

    // Escape closes the bar and drops the marks.
    QTest::keyClick(log->FindField(), Qt::Key_Escape);
    EXPECT_FALSE(log->FindOpen());
    EXPECT_EQ(log->MatchCount(), 0);
}

TEST_F(LogLookTest, FindingSomethingAbsentSaysSo)
{
    Show();
    log->AppendLine("nothing to see");
    log->OpenFind();
    log->FindField()->setText("absent");
    log->FindNow();
    EXPECT_EQ(log->MatchCount(), 0);
    EXPECT_EQ(log->CurrentMatch(), -1);
    log->FindNext();
    log->FindPrevious();
    EXPECT_EQ(log->CurrentMatch(), -1);
    EXPECT_EQ(log->SelectionLength(), 0);
    log->CloseFind();
}

} // namespace
