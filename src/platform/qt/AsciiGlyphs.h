#pragma once

#include <QFont>
#include <QRawFont>

#include <array>

class QPainter;
class QPointF;
class QString;

namespace tellix {

// Draws a line of printable ASCII in one font as a run of glyphs, without laying it out:
// shaping costs a nick list row most of its paint, and plain ASCII in a font that has every
// glyph needs none of it. Anything else is left to the caller's text layout.
class AsciiGlyphs {
public:
    // False, drawing nothing, when the text or the font needs a real layout.
    bool Draw(QPainter& painter, const QFont& font, const QPointF& baseline, const QString& text);

private:
    void Load(const QFont& font);

    QFont font_;
    bool loaded_ = false;
    QRawFont raw_;
    // For each ASCII code: its glyph (0 where the font has none) and its advance.
    std::array<quint32, 128> glyphs_{};
    std::array<qreal, 128> advances_{};
};

} // namespace tellix
