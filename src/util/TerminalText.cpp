#include "util/TerminalText.h"

#include "util/Cp1252.h"
#include "util/Utf8.h"

#include <cstddef>

namespace tellix {

namespace {

constexpr bool IsFormattingCode(char32_t c)
{
    return c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
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

// One pass, by runs: valid UTF-8 as UTF-8, each byte that does not start a valid sequence as
// Windows-1252.
void Append(std::string_view prefix, std::string_view text, bool cutLines, std::string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    out.reserve(out.size() + prefix.size() + n + 1);
    out.append(prefix);
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c >= 0x20 && c < 0x7F) {
            const std::size_t end = PrintableAsciiEnd(s, i, n);
            out.append(text.substr(i, end - i));
            i = end;
        } else if (c < 0x80) {
            if (cutLines && c == '\r' && i + 1 < n && s[i + 1] == '\n') {
                out.push_back('\n');
                out.append(prefix);
                i += 2;
            } else {
                AppendShown(c, out);
                ++i;
            }
        } else {
            char32_t code = 0;
            const std::size_t length = Utf8Sequence(s + i, n - i, code);
            if (length == 0) {
                AppendShown(FromCp1252(c), out);
                ++i;
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
