#include "platform/qt/LogText.h"

#include "util/Cp1252.h"
#include "util/LineRoad.h"
#include "util/Utf8.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace tellix::logtext {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

constexpr std::array<std::uint32_t, 16> kPalette = {0xFFFFFF, 0x000000, 0x00007F, 0x009300, 0xFF0000, 0x7F0000,
                                                    0x9C009C, 0xFC7F00, 0xFFFF00, 0x00FC00, 0x009393, 0x00FFFF,
                                                    0x0000FC, 0xFF00FF, 0x7F7F7F, 0xD2D2D2};

// Whole eight-byte words of ASCII from `i`.
std::size_t AsciiWords(const char* p, std::size_t i, std::size_t n)
{
    const std::size_t from = i;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if ((w & kHighs) != 0) {
            break;
        }
    }
    return i - from;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Up to two digits at `i`; -1 when there are none.
int ReadColour(std::string_view s, std::size_t& i)
{
    if (i >= s.size() || !IsDigit(s[i])) {
        return -1;
    }
    int value = s[i++] - '0';
    if (i < s.size() && IsDigit(s[i])) {
        value = value * 10 + (s[i++] - '0');
    }
    return value;
}

std::uint8_t ColourIndex(int number)
{
    // 99 means the default; the extended numbers are not in our palette and draw as the default.
    return number >= 0 && number < 16 ? static_cast<std::uint8_t>(number) : Style::kDefaultColour;
}

bool IsWordDelimiter(QChar c)
{
    return c == u' ' || c == u'<' || c == u'>';
}

bool EndsLink(QChar c)
{
    return c.isSpace() || c == u'<' || c == u'>' || c == u'"';
}

} // namespace

TELLIX_LINE_ROAD ByteScan ScanBytes(std::string_view bytes)
{
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::uint64_t high = 0;
    std::uint64_t controls = 0;
    std::size_t i = 0;
    // Eight bytes at a time: exact for whether any byte is below 0x20 or equal to 0x7F.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        high |= w;
        controls |= (w - kOnes * 0x20) & ~w;
        const std::uint64_t del = w ^ (kOnes * 0x7F);
        controls |= (del - kOnes) & ~del;
    }
    high &= kHighs;
    controls &= kHighs;
    for (; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        high |= c & 0x80;
        controls |= (c < 0x20 || c == 0x7F) ? 1 : 0;
    }
    return {high == 0, controls != 0};
}

std::int64_t Utf8Units(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::int64_t units = 0;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            const std::size_t run = std::max<std::size_t>(1, AsciiWords(bytes.data(), i, n));
            i += run;
            units += static_cast<std::int64_t>(run);
            continue;
        }
        char32_t code = 0;
        const std::size_t length = Utf8Sequence(s + i, n - i, code);
        if (length == 0) {
            return -1;
        }
        units += length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

QString DecodeUtf8(std::string_view utf8)
{
    QString text(static_cast<qsizetype>(utf8.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t length = 0;
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            out[length++] = c;
            ++i;
        } else if (c < 0xE0) {
            out[length++] = static_cast<char16_t>((c & 0x1F) << 6 | (s[i + 1] & 0x3F));
            i += 2;
        } else if (c < 0xF0) {
            out[length++] = static_cast<char16_t>((c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
            i += 3;
        } else {
            const char32_t code =
                (c & 0x07) << 18 | (s[i + 1] & 0x3F) << 12 | (s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
            out[length++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out[length++] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            i += 4;
        }
    }
    text.truncate(static_cast<qsizetype>(length));
    return text;
}

char16_t FromCp1252(unsigned char byte)
{
    return tellix::FromCp1252(byte);
}

void AppendCp1252AsUtf8(std::string_view bytes, std::string& out)
{
    tellix::AppendCp1252AsUtf8(bytes, out);
}

// The default style packs to 0 and a foreground colour with bold or italic stays below 128, so
// the usual styles take one byte as a varint.
std::uint16_t Style::Pack() const
{
    return static_cast<std::uint16_t>((foreground ^ kDefaultColour) | (bold ? 1 << 5 : 0) | (italic ? 1 << 6 : 0) |
                                      (underline ? 1 << 7 : 0) | (reverse ? 1 << 8 : 0) |
                                      (background ^ kDefaultColour) << 9);
}

Style Style::Unpack(std::uint16_t packed)
{
    Style style;
    style.foreground = static_cast<std::uint8_t>((packed & 0x1F) ^ kDefaultColour);
    style.bold = (packed & 1 << 5) != 0;
    style.italic = (packed & 1 << 6) != 0;
    style.underline = (packed & 1 << 7) != 0;
    style.reverse = (packed & 1 << 8) != 0;
    style.background = static_cast<std::uint8_t>(((packed >> 9) & 0x1F) ^ kDefaultColour);
    return style;
}

void ParseFormatting(std::string_view utf8, std::vector<FormatMark>& out)
{
    out.clear();
    Style style;
    std::uint32_t unit = 0;
    std::size_t i = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    while (i < utf8.size()) {
        // Up to the next code: one UTF-16 unit per byte that starts a character, two for a
        // four-byte sequence.
        while (i < utf8.size() && !(bytes[i] < 0x20 && IsFormattingCode(bytes[i]))) {
            unit += ((bytes[i] & 0xC0) != 0x80 ? 1U : 0U) + (bytes[i] >= 0xF0 ? 1U : 0U);
            ++i;
        }
        if (i == utf8.size()) {
            break;
        }
        const auto c = bytes[i];
        const std::size_t begin = i++;
        switch (c) {
        case 0x02:
            style.bold = !style.bold;
            break;
        case 0x1D:
            style.italic = !style.italic;
            break;
        case 0x1F:
            style.underline = !style.underline;
            break;
        case 0x16:
            style.reverse = !style.reverse;
            break;
        case 0x0F:
            style = Style{};
            break;
        case 0x03: {
            const int foreground = ReadColour(utf8, i);
            if (foreground < 0) {
                style.foreground = style.background = Style::kDefaultColour;
                break;
            }
            style.foreground = ColourIndex(foreground);
            // A comma belongs to the code only when a background number follows it.
            if (i + 1 < utf8.size() && utf8[i] == ',' && IsDigit(utf8[i + 1])) {
                ++i;
                style.background = ColourIndex(ReadColour(utf8, i));
            }
            break;
        }
        }
        const auto length = static_cast<std::uint32_t>(i - begin);
        if (!out.empty() && out.back().start + out.back().hidden == unit) {
            out.back().hidden += length;
            out.back().style = style;
        } else {
            out.push_back({unit, length, style});
        }
        unit += length;
    }
}

std::uint32_t PaletteRgb(int number)
{
    return kPalette[static_cast<std::size_t>(number & 15)];
}

int ShownLine::ShownIndex(int heldOffset) const
{
    if (heldOf.empty()) {
        return std::min(heldOffset, static_cast<int>(text.size()));
    }
    const auto end = heldOf.end() - 1;
    return static_cast<int>(std::lower_bound(heldOf.begin(), end, heldOffset) - heldOf.begin());
}

void Shape(QString line, std::span<const FormatMark> marks, ShownLine& out)
{
    out.heldOf.clear();
    out.spans.clear();
    if (marks.empty()) {
        // Shown as held, but for control pictures: the decoded text itself, no copy of a long line.
        out.text = std::move(line);
        for (QChar& c : out.text) {
            c = QChar(Shown(c.unicode()));
        }
        return;
    }
    out.text.clear();
    const QStringView held(line);
    const auto heldLength = static_cast<int>(held.size());
    out.text.resize(heldLength);
    QChar* shown = out.text.data();
    int length = 0;
    const auto copy = [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            shown[length++] = QChar(Shown(held[k].unicode()));
            out.heldOf.push_back(k);
        }
    };
    out.heldOf.reserve(static_cast<std::size_t>(heldLength) + 1);
    copy(0, std::min<int>(static_cast<int>(marks[0].start), heldLength));
    for (std::size_t m = 0; m < marks.size(); ++m) {
        const int from = std::min<int>(static_cast<int>(marks[m].start + marks[m].hidden), heldLength);
        const int to =
            m + 1 < marks.size() ? std::min<int>(static_cast<int>(marks[m + 1].start), heldLength) : heldLength;
        const int shownFrom = length;
        copy(from, to);
        if (length > shownFrom && !marks[m].style.IsDefault()) {
            out.spans.push_back({shownFrom, length - shownFrom, marks[m].style});
        }
    }
    out.heldOf.push_back(heldLength);
    out.text.truncate(length);
}

std::vector<TextRange> FindLinks(QStringView text)
{
    static constexpr std::array<QStringView, 4> kSchemes = {u"http://", u"https://", u"irc://", u"ircs://"};
    std::vector<TextRange> links;
    const auto n = static_cast<int>(text.size());
    int i = 0;
    while (i < n) {
        const QChar c = text[i];
        const bool candidate =
            (c == u'h' || c == u'H' || c == u'i' || c == u'I') && (i == 0 || !text[i - 1].isLetterOrNumber());
        std::size_t schemeLength = 0;
        if (candidate) {
            for (const QStringView scheme : kSchemes) {
                if (text.sliced(i).startsWith(scheme, Qt::CaseInsensitive)) {
                    schemeLength = static_cast<std::size_t>(scheme.size());
                    break;
                }
            }
        }
        if (schemeLength == 0) {
            ++i;
            continue;
        }
        int end = i + static_cast<int>(schemeLength);
        while (end < n && !EndsLink(text[end])) {
            ++end;
        }
        const int next = end;
        // Counted once: a run of ')' is trimmed one by one, and recounting would be quadratic.
        int opens = 0;
        int closes = 0;
        for (int k = i; k < end; ++k) {
            opens += text[k] == u'(' ? 1 : 0;
            closes += text[k] == u')' ? 1 : 0;
        }
        // Punctuation closing a sentence, and a ')' with no '(' to close.
        while (end > i) {
            const QChar last = text[end - 1];
            if (last == u'.' || last == u',' || last == u';' || last == u':' || last == u'!' || last == u'?' ||
                last == u'\'') {
                --end;
            } else if (last == u')' && opens < closes) {
                --end;
                --closes;
            } else {
                break;
            }
        }
        if (end > i + static_cast<int>(schemeLength)) {
            links.push_back({i, end - i});
        }
        i = std::max(next, i + 1);
    }
    return links;
}

TextRange WordAt(QStringView text, int index)
{
    const auto n = static_cast<int>(text.size());
    if (n == 0) {
        return {};
    }
    index = std::clamp(index, 0, n - 1);
    if (IsWordDelimiter(text[index])) {
        return {index, 1};
    }
    int start = index;
    while (start > 0 && !IsWordDelimiter(text[start - 1])) {
        --start;
    }
    int end = index + 1;
    while (end < n && !IsWordDelimiter(text[end])) {
        ++end;
    }
    if (end - start > 1 && text[end - 1] == u'.') {
        --end;
    }
    return {start, end - start};
}

int NickColourIndex(QStringView nick, CaseMapping mapping)
{
    while (nick.size() > 1 && nick.back() == u'_') {
        nick.chop(1);
    }
    // FNV-1a over the folded units: stable across runs and builds, unlike qHash.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const QChar c : nick) {
        char16_t unit = c.unicode();
        if (unit < 0x80) {
            unit = static_cast<unsigned char>(FoldNickChar(static_cast<char>(unit), mapping));
        }
        hash = (hash ^ unit) * 0x100000001b3ULL;
    }
    // FNV leaves a change in the last unit out of the low bits the colour is taken from; a
    // full final mix lets "bob[" and "bob{" differ where the server tells them apart.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return static_cast<int>(hash % kNickColours);
}

namespace {

double Luminance(const QColor& colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor NickColour(int index, const QColor& base)
{
    constexpr double kWanted = 4.6; // a little above 4.5, for rounding to 8-bit channels
    // Hues a step of 360 / 16 apart, started off red so that no nick looks like an error.
    const double hue = std::fmod(15.0 + index * (360.0 / kNickColours), 360.0) / 360.0;
    const bool darkBase = Luminance(base) < 0.2;
    double lightness = darkBase ? 0.62 : 0.42;
    QColor colour = QColor::fromHslF(static_cast<float>(hue), 0.75F, static_cast<float>(lightness));
    for (int step = 0; step < 40 && Contrast(colour, base) < kWanted; ++step) {
        lightness = std::clamp(lightness + (darkBase ? 0.02 : -0.02), 0.0, 1.0);
        colour = QColor::fromHslF(static_cast<float>(hue), 0.75F, static_cast<float>(lightness));
    }
    return colour;
}

} // namespace tellix::logtext
