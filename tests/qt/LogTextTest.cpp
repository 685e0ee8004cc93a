// Decoding, formatting codes, links and words of the log, and its line store against a plain
// model of the held text.
#include "platform/qt/LogText.h"
#include "platform/qt/LogStore.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace tellix;
using namespace tellix::logtext;

namespace {

TEST(LogText, Utf8UnitsAcceptsOnlyStrictUtf8)
{
    struct Case {
        std::string bytes;
        std::int64_t units;
    };
    const std::vector<Case> cases = {
        {"", 0},
        {"plain", 5},
        {"caf\xC3\xA9", 4},
        {"\xE2\x82\xAC", 1},
        {"\xF0\x9F\x98\x80", 2},
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 3},
        {"\xC0\x80", -1},         // overlong
        {"\xC1\xBF", -1},         // overlong
        {"\xE0\x9F\xBF", -1},     // overlong
        {"\xF0\x8F\xBF\xBF", -1}, // overlong
        {"\xED\xA0\x80", -1},     // surrogate
        {"\xF4\x90\x80\x80", -1}, // above U+10FFFF
        {"\xF5\x80\x80\x80", -1},
        {"\x80", -1},
        {"a\xC3", -1},
        {"\xE2\x82", -1},
        {"\xE2\x28\xAC", -1},
        {"\xF0\x9F\x98\x28", -1},
        {"\xFF", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8Units(c.bytes), c.units) << testing::PrintToString(c.bytes);
    }
}

TEST(LogText, ScanBytesFindsHighBytesAndControlsAnywhere)
{
    // Every byte value at every offset of a 19-byte line (two words and a tail).
    for (int value = 0; value < 256; ++value) {
        for (std::size_t at = 0; at < 19; ++at) {
            std::string line(19, 'x');
            line[at] = static_cast<char>(value);
            const ByteScan scan = ScanBytes(line);
            ASSERT_EQ(scan.ascii, value < 0x80) << value << " at " << at;
            ASSERT_EQ(scan.controls, value < 0x20 || value == 0x7F) << value << " at " << at;
        }
    }
    EXPECT_TRUE(ScanBytes("").ascii);
    EXPECT_FALSE(ScanBytes("").controls);
}

TEST(LogText, Cp1252MapsEveryByteToOneCharacter)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    std::string utf8;
    AppendCp1252AsUtf8(all, utf8);
    const QString decoded = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(Utf8Units(utf8), 256);
    const std::vector<std::pair<int, char16_t>> expected = {
        {0x41, u'A'},      {0x80, u'\u20AC'}, {0x81, u'\u0081'}, {0x8D, u'\u008D'},
        {0x8F, u'\u008F'}, {0x90, u'\u0090'}, {0x9D, u'\u009D'}, {0x92, u'\u2019'},
        {0x9F, u'\u0178'}, {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'}, {0xFF, u'\u00FF'}};
    for (const auto& [byte, character] : expected) {
        EXPECT_EQ(decoded[byte].unicode(), character) << byte;
        EXPECT_EQ(FromCp1252(static_cast<unsigned char>(byte)), character) << byte;
    }
}

Style Make(int foreground, int background, bool bold = false, bool italic = false, bool underline = false,
           bool reverse = false)
{
    return {static_cast<std::uint8_t>(foreground),
            static_cast<std::uint8_t>(background),
            bold,
            italic,
            underline,
            reverse};
}

TEST(LogText, ParseFormattingGivesHiddenCodesAndStyles)
{
    constexpr int D = Style::kDefaultColour;
    struct Case {
        std::string line;
        std::vector<FormatMark> marks;
    };
    const std::vector<Case> cases = {
        {"plain \001 text", {}},
        {"\002bold\002 x", {{0, 1, Make(D, D, true)}, {5, 1, Make(D, D)}}},
        {"\00304,12red", {{0, 6, Make(4, 12)}}},
        {"\0034,x", {{0, 2, Make(4, D)}}},
        {"\003123", {{0, 3, Make(12, D)}}},
        {"\00399,99x", {{0, 6, Make(D, D)}}},
        {"\00350x", {{0, 3, Make(D, D)}}},
        {"\00304x\003y", {{0, 3, Make(4, D)}, {4, 1, Make(D, D)}}},
        {"\0033,5a\0037b", {{0, 4, Make(3, 5)}, {5, 2, Make(7, 5)}}},
        {"\003,5", {{0, 1, Make(D, D)}}},
        {"\002\035\037a\017b", {{0, 3, Make(D, D, true, true, true)}, {4, 1, Make(D, D)}}},
        {"\026r\026", {{0, 1, Make(D, D, false, false, false, true)}, {2, 1, Make(D, D)}}},
        {"\002\00305x", {{0, 4, Make(5, D, true)}}},
        {"\xC3\xA9\002x", {{1, 1, Make(D, D, true)}}},
        {"\xF0\x9F\x98\x80\002x", {{2, 1, Make(D, D, true)}}},
    };
    std::vector<FormatMark> marks;
    for (const Case& c : cases) {
        ParseFormatting(c.line, marks);
        EXPECT_EQ(marks, c.marks) << testing::PrintToString(c.line);
    }
}

TEST(LogText, ShapeHidesCodesAndShowsControlPictures)
{
    const std::string line = "\002a\001\002b\177";
    std::vector<FormatMark> marks;
    ParseFormatting(line, marks);
    ShownLine shown;
    Shape(QString::fromUtf8(line.c_str()), marks, shown);
    EXPECT_EQ(shown.text, QStringView(u"a\u2401b\u2421").toString());
    EXPECT_EQ(shown.heldOf, (std::vector<int>{1, 2, 4, 5, 6}));
    ASSERT_EQ(shown.spans.size(), 1u);
    EXPECT_EQ(shown.spans[0].start, 0);
    EXPECT_EQ(shown.spans[0].length, 2);
    EXPECT_TRUE(shown.spans[0].style.bold);
    // A held offset on a code maps to the next shown character.
    EXPECT_EQ(shown.ShownIndex(0), 0);
    EXPECT_EQ(shown.ShownIndex(3), 2);
    EXPECT_EQ(shown.ShownIndex(6), 4);

    Shape(QStringLiteral("x\ty"), {}, shown);
    EXPECT_EQ(shown.text, QStringView(u"x\u2409y").toString());
    EXPECT_TRUE(shown.heldOf.empty());
}

TEST(LogText, FindLinksStopsAtSpacesAndDropsTrailingPunctuation)
{
    struct Case {
        QString text;
        QStringList links;
    };
    const std::vector<Case> cases = {
        {"see http://a.b/c.", {"http://a.b/c"}},
        {"(https://x.org/a_(b)), ok", {"https://x.org/a_(b)"}},
        {"(https://x.org/a)", {"https://x.org/a"}},
        {"irc://net/#chan, ircs://n:6697/#a!", {"irc://net/#chan", "ircs://n:6697/#a"}},
        {"<HTTP://CAPS.ORG/>", {"HTTP://CAPS.ORG/"}},
        {"xhttp://no http:// ftp://no", {}},
        {"a http://q?x=1&y=2 b", {"http://q?x=1&y=2"}},
    };
    for (const Case& c : cases) {
        QStringList found;
        for (const TextRange& link : FindLinks(c.text)) {
            found << c.text.mid(link.start, link.length);
        }
        EXPECT_EQ(found, c.links) << c.text.toStdString();
    }
}

TEST(LogText, FindLinksOnHostileShapes)
{
    const QString parens = QString(u')').repeated(5000);
    const QString opens = QString(u'(').repeated(300);
    const QString closes = QString(u')').repeated(700);
    const QString many = QStringLiteral("http://a.example/(x) ").repeated(2000);
    const QString glued = QStringLiteral("(http://x)").repeated(1000);
    const QString rtl =
        QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 http://a.b/\xD7\xA9 ").repeated(500);
    struct Case {
        const char* name;
        QString text;
        // Where the links are: first start, count, and the distance from one to the next.
        int first;
        int length;
        int count;
        int step;
    };
    const std::vector<Case> cases = {
        {"only closing parens", "see http://" + parens, 0, 0, 0, 0},
        {"more closing than opening", "http://a/" + opens + closes, 0, 9 + 600, 1, 0},
        {"sentence ends then parens", "http://x" + QString(u'.').repeated(3000) + parens, 0, 8, 1, 0},
        {"a link every few characters", many, 0, 20, 2000, 21},
        {"glued links are one", glued, 1, 10 * 1000 - 2, 1, 0},
        {"scheme and nothing else", QStringLiteral("http://.,;:!?' ").repeated(3000), 0, 0, 0, 0},
        {"right to left around links", rtl, 6, 12, 500, 19},
    };
    for (const Case& c : cases) {
        const std::vector<TextRange> links = FindLinks(c.text);
        ASSERT_EQ(static_cast<int>(links.size()), c.count) << c.name;
        for (int k = 0; k < c.count; ++k) {
            EXPECT_EQ(links[static_cast<std::size_t>(k)], (TextRange{c.first + k * c.step, c.length}))
                << c.name << " link " << k;
        }
    }
}

TEST(LogText, WordAtUsesSpacesAndAnglesAsDelimiters)
{
    struct Case {
        QString text;
        int index;
        QString word;
    };
    const std::vector<Case> cases = {
        {"hello <nick> world.", 14, "world"},
        {"hello <nick> world.", 8, "nick"},
        {"hello <nick> world.", 6, "<"},
        {"a.b. c", 0, "a.b"},
        {"x", 5, "x"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        const TextRange word = WordAt(c.text, c.index);
        EXPECT_EQ(c.text.mid(word.start, word.length), c.word) << c.text.toStdString() << " @" << c.index;
    }
}

// A line of the random log, and what it holds once decoded.
struct ModelLine {
    std::string bytes;
    QString held;
};

ModelLine RandomLine(std::mt19937& random)
{
    // 0xFF is never part of UTF-8: it alone is read as Windows-1252, the runs around it as UTF-8.
    static const std::vector<std::string> pieces = {
        "word ", "\xC3\xA9",         "\xE2\x82\xAC", "\002", "\00304,2", "\035\037\026",
        "\017",  "\xF0\x9F\x98\x80", "\001",         "\r",   "",         "\xFF"};
    ModelLine line;
    for (int i = static_cast<int>(random() % 8); i > 0; --i) {
        const std::string& piece = pieces[random() % pieces.size()];
        line.bytes += piece;
        line.held += piece == "\xFF" ? QString(QChar(0xFF)) : QString::fromUtf8(piece);
    }
    return line;
}

TEST(LogStore, MatchesAPlainModelAcrossPages)
{
    // A small page limit closes pages early as well as every 4096 lines.
    for (const std::uint32_t limit : {std::uint32_t{40}, std::numeric_limits<std::uint32_t>::max()}) {
        LogStore store(limit);
        std::mt19937 random(limit);
        std::vector<QString> held;
        for (int i = 0; i < 9000; ++i) {
            const ModelLine line = RandomLine(random);
            store.Append(line.bytes);
            held.push_back(line.held);
        }
        ASSERT_EQ(store.LineCount(), static_cast<std::int64_t>(held.size()));
        std::int64_t position = 0;
        std::vector<FormatMark> marks;
        std::vector<FormatMark> expected;
        for (std::size_t n = 0; n < held.size(); ++n) {
            const auto line = static_cast<std::int64_t>(n);
            ASSERT_EQ(store.LineStart(line), position) << n;
            ASSERT_EQ(store.LineLength(line), held[n].size()) << n;
            const std::string_view utf8 = store.LineUtf8(line);
            ASSERT_EQ(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), held[n]) << n;
            store.Formatting(line, marks);
            ParseFormatting(utf8, expected);
            ASSERT_EQ(marks, expected) << n;
            ASSERT_EQ(store.LineAt(position), line);
            ASSERT_EQ(store.LineAt(position + held[n].size()), line);
            ASSERT_EQ(store.LineAt(position + held[n].size() + 1), line);
            position += held[n].size() + 2;
        }
        EXPECT_EQ(store.TextLength(), position - 2);
        EXPECT_EQ(store.LineAt(store.TextLength() + 10), store.LineCount() - 1);
    }
}

TEST(LogStore, TrimKeepsExactlyTheNewestLinesInWholePages)
{
    struct Case {
        std::uint32_t pageTextLimit;
        std::int64_t keep;
        int appended;
    };
    const std::vector<Case> cases = {
        {std::numeric_limits<std::uint32_t>::max(), 5000, 9096}, // not past a page over: nothing goes
        {std::numeric_limits<std::uint32_t>::max(), 5000, 9097},
        {std::numeric_limits<std::uint32_t>::max(), 1000, 30000},
        {40, 1000, 9000}, // small pages, closed early
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pageTextLimit << " keep " << c.keep << " of " << c.appended);
        LogStore store(c.pageTextLimit);
        std::mt19937 random(static_cast<unsigned>(c.appended));
        std::vector<QString> held;
        std::int64_t droppedLines = 0;
        std::int64_t droppedPositions = 0;
        for (int i = 0; i < c.appended; ++i) {
            const ModelLine line = RandomLine(random);
            store.Append(line.bytes);
            held.push_back(line.held);
            // Trimmed at every line: it must cost nothing until a page is due.
            const LogStore::Dropped dropped = store.Trim(c.keep);
            droppedLines += dropped.lines;
            droppedPositions += dropped.positions;
        }
        const auto total = static_cast<std::int64_t>(held.size());
        ASSERT_EQ(store.LineCount(), total - droppedLines);
        EXPECT_GE(store.LineCount(), std::min(total, c.keep));
        EXPECT_LE(store.LineCount(), c.keep + LogStore::kLinesPerPage);
        EXPECT_EQ(droppedLines > 0, total > c.keep + LogStore::kLinesPerPage);

        std::int64_t position = 0;
        std::int64_t expectedDrop = 0;
        std::vector<FormatMark> marks;
        std::vector<FormatMark> expected;
        for (std::int64_t line = 0; line < store.LineCount(); ++line) {
            const QString& text = held[static_cast<std::size_t>(droppedLines + line)];
            ASSERT_EQ(store.LineStart(line), position) << line;
            const std::string_view utf8 = store.LineUtf8(line);
            ASSERT_EQ(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), text) << line;
            store.Formatting(line, marks);
            ParseFormatting(utf8, expected);
            ASSERT_EQ(marks, expected) << line;
            ASSERT_EQ(store.LineAt(position + text.size()), line);
            position += text.size() + 2;
        }
        EXPECT_EQ(store.TextLength(), position - 2);
        for (std::int64_t line = 0; line < droppedLines; ++line) {
            expectedDrop += held[static_cast<std::size_t>(line)].size() + 2;
        }
        EXPECT_EQ(droppedPositions, expectedDrop);
    }
}

// Older lines put before the first line kept read as if appended there first: every line at
// its place, positions counted on, and the positions of the lines held before moved by what came.
TEST(LogStore, PrependedLinesComeBeforeTheFirstLineKept)
{
    struct Case {
        const char* what;
        std::uint32_t pageTextLimit;
        int held;                   // appended first
        std::int64_t keep;          // then trimmed to, 0 for not
        std::vector<int> prepended; // then put before, one batch after another
    };
    const std::vector<Case> cases = {
        {"into an empty store", std::numeric_limits<std::uint32_t>::max(), 0, 0, {5}},
        {"before a few lines", std::numeric_limits<std::uint32_t>::max(), 7, 0, {3, 1}},
        {"across pages both sides", 40, 300, 0, {200, 50}},
        {"after a trim that kept part of a chunk", std::numeric_limits<std::uint32_t>::max(), 9200, 5000, {6000}},
        {"small pages after a trim", 40, 9000, 1000, {100, 4200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogStore store(c.pageTextLimit);
        std::mt19937 random(static_cast<unsigned>(c.held + 1));
        std::deque<QString> held;
        for (int i = 0; i < c.held; ++i) {
            const ModelLine line = RandomLine(random);
            store.Append(line.bytes);
            held.push_back(line.held);
        }
        if (c.keep > 0) {
            const std::int64_t dropped = store.Trim(c.keep).lines;
            held.erase(held.begin(), held.begin() + dropped);
        }
        const std::int64_t firstBefore = store.FirstLine();
        std::int64_t totalPrepended = 0;
        for (const int count : c.prepended) {
            totalPrepended += count;
            LogStore older;
            std::vector<QString> olderHeld;
            std::int64_t units = 0;
            for (int i = 0; i < count; ++i) {
                const ModelLine line = RandomLine(random);
                older.Append(line.bytes);
                olderHeld.push_back(line.held);
                units += line.held.size() + 2;
            }
            const bool empty = store.LineCount() == 0;
            const LogStore::Dropped added = store.Prepend(std::move(older));
            EXPECT_EQ(added.lines, count);
            EXPECT_EQ(added.positions, empty ? 0 : units);
            held.insert(held.begin(), olderHeld.begin(), olderHeld.end());
        }
        ASSERT_EQ(store.LineCount(), static_cast<std::int64_t>(held.size()));
        EXPECT_EQ(store.FirstLine(), firstBefore - totalPrepended) << "numbered just before, without a gap";
        std::int64_t position = 0;
        std::vector<FormatMark> marks;
        std::vector<FormatMark> expected;
        for (std::int64_t line = 0; line < store.LineCount(); ++line) {
            const QString& text = held[static_cast<std::size_t>(line)];
            ASSERT_EQ(store.LineStart(line), position) << line;
            ASSERT_EQ(store.LineLength(line), text.size()) << line;
            const std::string_view utf8 = store.LineUtf8(line);
            ASSERT_EQ(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), text) << line;
            store.Formatting(line, marks);
            ParseFormatting(utf8, expected);
            ASSERT_EQ(marks, expected) << line;
            ASSERT_EQ(store.LineAt(position), line) << line;
            position += text.size() + 2;
        }
        EXPECT_EQ(store.TextLength(), std::max<std::int64_t>(0, position - 2));
        // Lines appended after still go at the end, and a trim still drops the oldest first.
        store.Append("after");
        EXPECT_EQ(store.LineUtf8(store.LineCount() - 1), "after");
        const std::int64_t before = store.LineCount();
        const std::int64_t dropped = store.Trim(100).lines;
        EXPECT_EQ(store.LineCount(), before - dropped);
        if (dropped > 0) {
            const QString& first = held[static_cast<std::size_t>(dropped)];
            const std::string_view utf8 = store.LineUtf8(0);
            EXPECT_EQ(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), first);
        }
    }
}

} // namespace

// A style's byte offsets become offsets into the held line, whatever the bytes before them
// decode to; lines without one read as plain, and a style too far in keeps no nick.
TEST(LogStore, KeepsEachLinesStyleInHeldUnits)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::uint32_t nickStart;
        std::uint32_t nickLength;
        std::uint32_t textStart;
        QString nick; // as held; empty when none is kept
        QString text;
    };
    const std::vector<Case> cases = {
        {"ASCII", "[12:00] <bob> hi", 9, 3, 14, "bob", "hi"},
        {"UTF-8 nick", "[12:00] <j\xC3\xB6rg> hi", 9, 5, 16, QString::fromUtf8("j\xC3\xB6rg"), "hi"},
        {"emoji before the nick", "\xF0\x9F\x98\x80 <bob> hi", 6, 3, 11, "bob", "hi"},
        {"stray byte in the nick", "[12:00] <b\xE9> hi", 9, 2, 13, QString::fromUtf8("b\xC3\xA9"), "hi"},
        {"formatting before the text", "[12:00] <bob> \002hi", 9, 3, 14, "bob", "\002hi"},
        {"past what is kept", std::string(300, 'x') + " <bob> hi", 302, 3, 307, "", ""},
    };
    LogStore store(64); // small pages: lines on several
    for (int round = 0; round < 3; ++round) {
        for (const Case& c : cases) {
            LineStyle style;
            style.kind = LineStyle::Kind::Message;
            style.highlight = round == 1;
            style.nickStart = c.nickStart;
            style.nickLength = c.nickLength;
            style.textStart = c.textStart;
            store.Append(c.bytes, &style);
            store.Append("plain\r\nsecond");
        }
    }
    for (std::int64_t line = 0; line < store.LineCount(); ++line) {
        const Case& c = cases[static_cast<std::size_t>(line / 3 % cases.size())];
        SCOPED_TRACE(std::string(c.what) + " line " + std::to_string(line));
        const LineStyle style = store.StyleOf(line);
        if (line % 3 != 0) {
            EXPECT_EQ(style, LineStyle{});
            continue;
        }
        const QString held = QString::fromUtf8(store.LineUtf8(line));
        EXPECT_EQ(style.kind, LineStyle::Kind::Message);
        EXPECT_EQ(style.highlight, line / 3 / static_cast<std::int64_t>(cases.size()) == 1);
        EXPECT_EQ(held.mid(style.nickStart, style.nickLength), c.nick);
        if (!c.nick.isEmpty()) {
            EXPECT_EQ(held.mid(style.textStart), c.text);
        }
    }
}
