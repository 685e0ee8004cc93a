// The topic bar on its own: how a topic is drawn, what it says of the setter, and editing.
#include "platform/qt/TopicBar.h"
#include "platform/qt/IrcLinks.h"
#include "platform/qt/LogText.h"
#include "support/QtLoop.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tellix::test {
namespace {

// The format of the shown character at `index` of a rich text.
QTextCharFormat FormatAt(QTextDocument& document, int index)
{
    QTextCursor cursor(&document);
    cursor.setPosition(index);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

TEST(TopicBar, DrawsFormattingPicturesAndLinksAsTheLogDoes)
{
    EnsureGuiApplication();
    const QPalette palette = QApplication::palette();
    const QString red = QColor::fromRgb(static_cast<QRgb>(logtext::PaletteRgb(4))).name();
    const QString blue = QColor::fromRgb(static_cast<QRgb>(logtext::PaletteRgb(5))).name();
    const QString none;
    const QString link = QStringLiteral("(link)"); // the document's own link colour
    struct Probe {
        int index;
        bool bold;
        QString colour;     // foreground: empty for the default
        QString background; // empty for the default
        QString href;       // empty when no link
    };
    struct Row {
        std::string topic;
        QString shown;
        std::vector<Probe> probes;
    };
    const std::vector<Row> rows = {
        {"plain topic", QStringLiteral("plain topic"), {{0, false, none, none, none}}},
        {"\x02"
         "bold\x02 rest",
         QStringLiteral("bold rest"),
         {{0, true, none, none, none}, {5, false, none, none, none}}},
        {"\x03"
         "04red\x0F plain",
         QStringLiteral("red plain"),
         {{0, false, red, none, none}, {4, false, none, none, none}}},
        {"\x16rev",
         QStringLiteral("rev"),
         {{0, false, palette.color(QPalette::Base).name(), palette.color(QPalette::Text).name(), none}}},
        {"see https://example.org/x now",
         QStringLiteral("see https://example.org/x now"),
         {{0, false, none, none, none},
          {4, false, link, none, QStringLiteral("https://example.org/x")},
          {26, false, none, none, none}}},
        // A link across a colour change is one link.
        {"\x03"
         "04http://x.org/\x03"
         "05ab",
         QStringLiteral("http://x.org/ab"),
         {{0, false, red, none, QStringLiteral("http://x.org/ab")},
          {14, false, blue, none, QStringLiteral("http://x.org/ab")}}},
        {"bell\x07 and \r\n", QStringLiteral("bell\u2407 and \u240D\u240A"), {{4, false, none, none, none}}},
        {"<b>not html</b> &amp;", QStringLiteral("<b>not html</b> &amp;"), {{3, false, none, none, none}}},
        {"\xE9t\xE9", QStringLiteral("\u00E9t\u00E9"), {{0, false, none, none, none}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.topic);
        QTextDocument document;
        document.setHtml(TopicBar::TopicHtml(row.topic, palette, TopicBar::kShownMost));
        EXPECT_EQ(document.toPlainText(), row.shown);
        for (const Probe& probe : row.probes) {
            SCOPED_TRACE(probe.index);
            const QTextCharFormat format = FormatAt(document, probe.index);
            EXPECT_EQ(format.fontWeight() >= QFont::Bold, probe.bold);
            if (probe.colour != link) {
                EXPECT_EQ(format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color().name()
                                                                           : QString(),
                          probe.colour);
            }
            EXPECT_EQ(format.hasProperty(QTextFormat::BackgroundBrush) ? format.background().color().name()
                                                                       : QString(),
                      probe.background);
            EXPECT_EQ(format.isAnchor() ? format.anchorHref() : QString(), probe.href);
        }
    }

    // A topic far longer than a bar shows is cut, with an ellipsis.
    const std::string huge(64 * 1024, 'a');
    QTextDocument document;
    document.setHtml(TopicBar::TopicHtml(huge, palette, TopicBar::kShownMost));
    EXPECT_EQ(document.toPlainText(), QString(TopicBar::kShownMost, QLatin1Char('a')) + QChar(0x2026));
}

TEST(TopicBar, SaysWhoSetItAndWhen)
{
    EnsureGuiApplication();
    EXPECT_EQ(TopicBar::DetailsText("", 0), QString());
    EXPECT_EQ(TopicBar::DetailsText("anna", 0), QStringLiteral("set by anna"));
    EXPECT_EQ(TopicBar::DetailsText("a\x01\x1B[2Jb", 0), QStringLiteral("set by a\u2401\u241B[2Jb"));
    const QString when = TopicBar::DetailsText("anna", 1'700'000'000'000);
    EXPECT_TRUE(when.startsWith(QStringLiteral("set by anna, "))) << when.toStdString();
    EXPECT_GT(when.size(), QStringLiteral("set by anna, ").size());
    EXPECT_TRUE(TopicBar::DetailsText("", 1'700'000'000'000).startsWith(QStringLiteral("set ")));
}

// Who set it is shown beside the topic only while the whole topic fits; the tooltip holds the
// whole topic, who set it, and how to edit it, as text, never as markup.
TEST(TopicBar, ALongTopicTakesTheWholeBarAndTheTooltipHoldsAll)
{
    EnsureGuiApplication();
    QWidget window;
    auto* const bar = new TopicBar(&window);
    bar->resize(600, 30);
    window.show();
    bar->SetTopic("short and \x02"
                  "bold\x02",
                  "anna", 0);
    EXPECT_TRUE(bar->DetailsLabel()->isVisible());
    const QString shortTip = bar->TopicLabel()->toolTip();
    EXPECT_TRUE(shortTip.contains(QStringLiteral("short and bold"))) << shortTip.toStdString();
    EXPECT_TRUE(shortTip.contains(QStringLiteral("set by anna")));
    EXPECT_TRUE(shortTip.contains(QStringLiteral("Double-click to edit the topic")));

    const std::string longTopic =
        "a topic with <b>markup</b> and a link https://example.org/x " + std::string(200, 'w');
    bar->SetTopic(longTopic, "anna", 0);
    EXPECT_FALSE(bar->DetailsLabel()->isVisible()) << "the setter took room the topic needs";
    const QString tip = bar->TopicLabel()->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("&lt;b&gt;markup&lt;/b&gt;"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QString(200, QLatin1Char('w'))));
    EXPECT_TRUE(tip.contains(QStringLiteral("set by anna")));

    bar->resize(5000, 30);
    EXPECT_TRUE(PumpUntil([&] { return bar->DetailsLabel()->isVisible(); })) << "room again, the setter is back";
    bar->resize(600, 30);
    EXPECT_TRUE(PumpUntil([&] { return !bar->DetailsLabel()->isVisible(); }));
}

TEST(TopicBar, ADoubleClickEditsEnterHandsOnEscapePutsBack)
{
    EnsureGuiApplication();
    QWidget window;
    auto* const bar = new TopicBar(&window);
    std::vector<std::string> edited;
    bar->SetEdited([&](const std::string& topic) { edited.push_back(topic); });
    bar->resize(400, 30);
    window.show();
    bar->SetTopic("the \x02old\x02 topic", "anna", 0);
    EXPECT_EQ(bar->DetailsLabel()->text(), QStringLiteral("set by anna"));

    QTest::mouseDClick(bar->TopicLabel(), Qt::LeftButton);
    ASSERT_TRUE(bar->Editing());
    EXPECT_EQ(bar->Editor()->text(), QStringLiteral("the \x02old\x02 topic"));
    QTest::keyClick(bar->Editor(), Qt::Key_Escape);
    EXPECT_FALSE(bar->Editing());
    EXPECT_TRUE(edited.empty());

    QTest::mouseDClick(bar->TopicLabel(), Qt::LeftButton);
    ASSERT_TRUE(bar->Editing());
    bar->Editor()->clear();
    QTest::keyClicks(bar->Editor(), QStringLiteral("neu: "));
    bar->Editor()->insert(QStringLiteral("\u00FC"));
    QTest::keyClick(bar->Editor(), Qt::Key_Return);
    EXPECT_FALSE(bar->Editing());
    EXPECT_EQ(edited, std::vector<std::string>{"neu: \xC3\xBC"});
}

TEST(TopicBar, AnIrcLinkGoesToThisProcessNeverToTheDesktop)
{
    EnsureGuiApplication();
    std::vector<QString> opened;
    {
        const IrcLinks links([&](const QString& address) { opened.push_back(address); });
        QWidget window;
        auto* const bar = new TopicBar(&window);
        bar->SetTopic("join irc://irc.example.org/#room or ircs://irc.example.org:7000/x", "", 0);
        Q_EMIT bar->TopicLabel()->linkActivated(QStringLiteral("irc://irc.example.org/#room"));
        Q_EMIT bar->TopicLabel()->linkActivated(QStringLiteral("ircs://irc.example.org:7000/x"));
        ASSERT_TRUE(PumpUntil([&] { return opened.size() == 2; }));
        EXPECT_EQ(opened, (std::vector<QString>{QStringLiteral("irc://irc.example.org/#room"),
                                                QStringLiteral("ircs://irc.example.org:7000/x")}));
    }
}

} // namespace
} // namespace tellix::test
