#pragma once

#include "model/NickRanks.h"

#include <QColor>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text rules of the log, apart from any widget: decoding, formatting codes, what is shown
// for a held character, links and words.
namespace tellix::logtext {

using tellix::CaseMapping;

struct ByteScan {
    bool ascii = true;
    // A byte below 0x20 or 0x7F: a formatting code, a control character or a line break.
    bool controls = false;
};
ByteScan ScanBytes(std::string_view bytes);

// UTF-16 units of `bytes` when they are valid UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF), -1 otherwise.
std::int64_t Utf8Units(std::string_view bytes);

// Valid UTF-8 as UTF-16; a byte order mark is kept as a character.
QString DecodeUtf8(std::string_view utf8);

char16_t FromCp1252(unsigned char byte);
// Windows-1252 bytes appended to `out` as UTF-8, one UTF-16 unit per byte.
void AppendCp1252AsUtf8(std::string_view bytes, std::string& out);

constexpr bool IsFormattingCode(char32_t c)
{
    return c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
}

// A held character as drawn: control characters become their control pictures, and the
// characters a text layout would break the line at (NEL, the line and paragraph separators)
// the newline's, or what follows them would go unseen.
constexpr char16_t Shown(char16_t c)
{
    if (c < 0x20) {
        return static_cast<char16_t>(0x2400 + c);
    }
    if (c == 0x85 || c == 0x2028 || c == 0x2029) {
        return 0x2424;
    }
    return c == 0x7F ? char16_t{0x2421} : c;
}

struct Style {
    static constexpr std::uint8_t kDefaultColour = 16;
    std::uint8_t foreground = kDefaultColour;
    std::uint8_t background = kDefaultColour;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool reverse = false;

    std::uint16_t Pack() const;
    static Style Unpack(std::uint16_t packed);
    bool IsDefault() const { return *this == Style{}; }
    bool operator==(const Style&) const = default;
};

// At `start` (UTF-16 units into the line) `hidden` units of formatting codes, after which text
// is drawn in `style` up to the next mark.
struct FormatMark {
    std::uint32_t start = 0;
    std::uint32_t hidden = 0;
    Style style;
    bool operator==(const FormatMark&) const = default;
};

// The formatting codes of one line of valid UTF-8, as marks; `out` is left empty when the line
// has none.
void ParseFormatting(std::string_view utf8, std::vector<FormatMark>& out);

// How many nick colours there are.
constexpr int kNickColours = 16;
// The nick's colour number: a hash of the nick folded as the server folds nicks, trailing
// underscores left out, so "Bob", "bob" and "bob_" share one, and so do two spellings the
// server takes for one nick.
int NickColourIndex(QStringView nick, CaseMapping mapping);
// Colour number `index` drawn on `base`: an evenly spaced hue, darkened on a light base and
// lightened on a dark one until its contrast to the base is at least 4.5:1.
QColor NickColour(int index, const QColor& base);
// The contrast ratio of two colours, 1 to 21.
double Contrast(const QColor& a, const QColor& b);

// The mIRC colour `number` (0-15) as 0xRRGGBB.
std::uint32_t PaletteRgb(int number);

struct StyleSpan {
    int start = 0;
    int length = 0;
    Style style;
};

// A line as drawn: codes left out, control pictures in place, and where each shown unit is in
// the held line.
struct ShownLine {
    QString text;
    // The held offset of every shown unit and, last, the held length; empty when shown and held
    // offsets are the same.
    std::vector<int> heldOf;
    // Runs drawn in a style other than the default.
    std::vector<StyleSpan> spans;

    int HeldOffset(int shownIndex) const { return heldOf.empty() ? shownIndex : heldOf[shownIndex]; }
    // The first shown unit at or after the held offset.
    int ShownIndex(int heldOffset) const;
};
void Shape(QString held, std::span<const FormatMark> marks, ShownLine& out);

struct TextRange {
    int start = 0;
    int length = 0;
    bool operator==(const TextRange&) const = default;
};
// http, https, irc and ircs addresses in shown text, without trailing punctuation.
std::vector<TextRange> FindLinks(QStringView text);

// The word around `index`: delimited by spaces, '<' and '>', a trailing '.' left out.
TextRange WordAt(QStringView text, int index);

} // namespace tellix::logtext
