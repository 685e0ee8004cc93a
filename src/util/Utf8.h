#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tellix {

// The length of the strict UTF-8 sequence at the start of `s` (`n` bytes left): no overlong
// forms, no surrogates, nothing above U+10FFFF; 0 when the bytes there are not one. Its code
// point goes to `code`. Inline: the log reads every received character through it.
inline std::size_t Utf8Sequence(const unsigned char* s, std::size_t n, char32_t& code)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        code = c;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : low;   // overlong
        high = c == 0xED ? 0x9F : high; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        low = c == 0xF0 ? 0x90 : low;   // overlong
        high = c == 0xF4 ? 0x8F : high; // above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((s[k] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (s[k] & 0x3F);
    }
    return length;
}

// Where the run of printable ASCII (0x20..0x7E) that starts at `i` ends, eight bytes at a time:
// the plain text most lines are, copied whole rather than byte by byte.
inline std::size_t PrintableAsciiEnd(const unsigned char* s, std::size_t i, std::size_t n)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        // A high bit where a byte is below 0x20 (exact for "any"), 0x7F, or 0x80 and above.
        const std::uint64_t below = (w - kOnes * 0x20) & ~w;
        const std::uint64_t above = (w + kOnes) | w;
        if (((below | above) & kHighs) != 0) {
            break;
        }
    }
    while (i < n && s[i] >= 0x20 && s[i] < 0x7F) {
        ++i;
    }
    return i;
}

// A code point appended to `out` as UTF-8.
void AppendUtf8(char32_t code, std::string& out);

// Whether `bytes` are valid UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes);

// Bytes as the windows show them, in UTF-8, by runs: valid UTF-8 unchanged, each byte that does
// not start a valid sequence read as Windows-1252, one character per byte, so nothing is lost.
std::string ShownAsUtf8(std::string_view bytes);
// The same appended to `out`; returns how many UTF-16 units the appended text is.
std::int64_t AppendShownUtf8(std::string_view bytes, std::string& out);

// The longest length up to `limit` at which `text` may be cut without splitting a UTF-8
// character. Bytes that are not UTF-8 are cut anywhere; a limit past the end is the end.
std::size_t Utf8Cut(std::string_view text, std::size_t limit);

} // namespace tellix
