#include "util/TerminalText.h"

#include "util/Cp1252.h"

#include <cstddef>

namespace tellix {

namespace {

constexpr bool IsFormattingCode(char32_t c)
{
    return c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
}

void AppendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendShown(char32_t c, std::string& out)
{
    if (c < 0x20) {
        AppendUtf8(IsFormattingCode(c) ? c : 0x2400 + c, out);
    } else if (c == 0x7F) {
        AppendUtf8(0x2421, out);
    } else if (c >= 0x80 && c < 0xA0) {
        // Unicode has no pictures for C1; as UTF-8 (C2 80-9F) many terminals would obey them.
        constexpr char kHex[] = "0123456789ABCDEF";
        out.push_back('<');
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0xF]);
        out.push_back('>');
    } else {
        AppendUtf8(c, out);
    }
}

// The length of the strict UTF-8 sequence at `i` (no overlong forms, no surrogates, nothing
// above U+10FFFF) with its code point in `code`; 0 when the bytes there are not one.
std::size_t Utf8Sequence(const unsigned char* s, std::size_t i, std::size_t n, char32_t& code)
{
    const unsigned char c = s[i];
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : low;
        high = c == 0xED ? 0x9F : high;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        low = c == 0xF0 ? 0x90 : low;
        high = c == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (n - i < length || s[i + 1] < low || s[i + 1] > high) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (s[i + k] & 0x3F);
    }
    return length;
}

// One pass: a line is read as UTF-8 until a byte shows it is not, and then once more from its
// start as Windows-1252, so no byte is looked at more than twice.
void Append(std::string_view prefix, std::string_view text, bool cutLines, std::string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    out.reserve(out.size() + prefix.size() + n + 1);
    out.append(prefix);
    std::size_t lineStart = 0;
    std::size_t shownStart = out.size();
    bool cp1252 = false;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
            ++i;
        } else if (c < 0x80) {
            if (cutLines && c == '\r' && i + 1 < n && s[i + 1] == '\n') {
                out.push_back('\n');
                out.append(prefix);
                i += 2;
                lineStart = i;
                shownStart = out.size();
                cp1252 = false;
            } else {
                AppendShown(c, out);
                ++i;
            }
        } else if (cp1252) {
            AppendShown(FromCp1252(c), out);
            ++i;
        } else {
            char32_t code = 0;
            const std::size_t length = Utf8Sequence(s, i, n, code);
            if (length == 0) {
                out.resize(shownStart);
                i = lineStart;
                cp1252 = true;
            } else {
                AppendShown(code, out);
                i += length;
            }
        }
    }
}

} // namespace

void AppendTerminalText(std::string_view bytes, std::string& out)
{
    Append({}, bytes, false, out);
}

void AppendTerminalLines(std::string_view prefix, std::string_view text, std::string& out)
{
    Append(prefix, text, true, out);
    out.push_back('\n');
}

} // namespace tellix
