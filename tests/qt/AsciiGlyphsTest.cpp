// Plain ASCII drawn as a glyph run looks exactly as the text layout draws it; whatever the
// run cannot draw so is left to the layout.
#include "platform/qt/AsciiGlyphs.h"

#include "support/QtLoop.h"

#include <QFont>
#include <QFontInfo>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace tellix;

namespace {

QImage Drawn(const QFont& font, const std::function<void(QPainter&)>& draw)
{
    QImage image(400, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.setFont(font);
    draw(painter);
    return image;
}

QFont ListFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    QFont::insertSubstitutions(
        QStringLiteral("Courier New"),
        {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine"), QStringLiteral("DejaVu Sans Mono")});
    return font;
}

} // namespace

TEST(AsciiGlyphs, DrawsPlainAsciiAsTheLayoutWouldAndLeavesTheRestToIt)
{
    test::EnsureGuiApplication();
    const QFont font = ListFont();
    ASSERT_TRUE(QFontInfo(font).fixedPitch()) << "the list's face should be a fixed-pitch one";
    struct Row {
        const char16_t* text;
        bool drawn;
    };
    const Row rows[] = {
        {u"user1234", true},
        {u"@AVeryLong_nick[]{}\\|^~-`", true},
        {u"+ spaced out ", true},
        {u"n\u00f6t ascii", false},
        {u"tab\there", false},
        {u"\u3042\u3044", false},
        {u"", false},
    };
    AsciiGlyphs glyphs;
    for (const Row& row : rows) {
        const QString text = QString::fromUtf16(row.text);
        bool drawn = false;
        const QImage fast = Drawn(font, [&](QPainter& p) { drawn = glyphs.Draw(p, font, QPointF(3, 25), text); });
        EXPECT_EQ(drawn, row.drawn) << text.toStdString();
        const QImage laidOut = Drawn(font, [&](QPainter& p) { p.drawText(QPointF(3, 25), text); });
        if (row.drawn) {
            EXPECT_TRUE(fast == laidOut) << text.toStdString();
        } else {
            EXPECT_TRUE(fast == Drawn(font, [](QPainter&) {})) << "drew " << text.toStdString();
        }
    }
}

TEST(AsciiGlyphs, AKernedFaceIsLeftToTheLayout)
{
    test::EnsureGuiApplication();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(12);
    font.setStyleHint(QFont::SansSerif);
    if (QFontInfo(font).fixedPitch()) {
        GTEST_SKIP() << "no proportional face here";
    }
    ASSERT_TRUE(font.kerning());
    AsciiGlyphs glyphs;
    bool drawn = true;
    Drawn(font, [&](QPainter& p) { drawn = glyphs.Draw(p, font, QPointF(3, 25), QStringLiteral("AVAWAY")); });
    EXPECT_FALSE(drawn);
    // The same face without kerning has nothing a run cannot do.
    font.setKerning(false);
    Drawn(font, [&](QPainter& p) { drawn = glyphs.Draw(p, font, QPointF(3, 25), QStringLiteral("AVAWAY")); });
    EXPECT_TRUE(drawn);
}
