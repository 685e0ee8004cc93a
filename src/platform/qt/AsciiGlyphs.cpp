#include "platform/qt/AsciiGlyphs.h"

#include <QGlyphRun>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QString>

namespace tellix {

void AsciiGlyphs::Load(const QFont& font)
{
    font_ = font;
    loaded_ = true;
    glyphs_.fill(0);
    advances_.fill(0);
    // Kerning and ligatures move glyphs by their neighbours: only a layout knows where.
    if (font.kerning() && !font.fixedPitch() && !QFontInfo(font).fixedPitch()) {
        raw_ = QRawFont();
        return;
    }
    raw_ = QRawFont::fromFont(font);
    if (!raw_.isValid()) {
        return;
    }
    QString printable;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        printable.append(QChar(c));
    }
    const QList<quint32> glyphs = raw_.glyphIndexesForString(printable);
    if (glyphs.size() != printable.size()) {
        raw_ = QRawFont();
        return;
    }
    const QList<QPointF> advances = raw_.advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < glyphs.size() && i < advances.size(); ++i) {
        glyphs_[static_cast<std::size_t>(0x20 + i)] = glyphs[i];
        advances_[static_cast<std::size_t>(0x20 + i)] = advances[i].x();
    }
}

bool AsciiGlyphs::Draw(QPainter& painter, const QFont& font, const QPointF& baseline, const QString& text)
{
    if (!loaded_ || font != font_) {
        Load(font);
    }
    if (!raw_.isValid() || text.isEmpty()) {
        return false;
    }
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    qreal x = 0;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code >= glyphs_.size() || glyphs_[code] == 0) {
            return false;
        }
        glyphs.append(glyphs_[code]);
        positions.append(QPointF(x, 0));
        x += advances_[code];
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(baseline, run);
    return true;
}

} // namespace tellix
