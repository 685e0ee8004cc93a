#include "util/Utf8.h"

#include "util/Cp1252.h"

namespace tellix {

namespace {

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 character at the start of `s` (n bytes), 0 when there is none.
std::size_t CharacterLength(const unsigned char* s, std::size_t n)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : low;   // overlong
        high = c == 0xED ? 0x9F : high; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : low;   // overlong
        high = c == 0xF4 ? 0x8F : high; // above U+10FFFF
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(s[i])) {
            return 0;
        }
    }
    return length;
}

} // namespace

bool IsUtf8(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = CharacterLength(s + i, bytes.size() - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string ShownAsUtf8(std::string_view bytes)
{
    if (IsUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    AppendCp1252AsUtf8(bytes, out);
    return out;
}

std::size_t Utf8Cut(std::string_view text, std::size_t limit)
{
    if (limit >= text.size()) {
        return text.size();
    }
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    // A character is at most four bytes: its first byte is at most three before the cut.
    for (std::size_t back = 1; back <= 3 && back <= limit; ++back) {
        const std::size_t start = limit - back;
        if (!IsContinuation(s[start])) {
            const std::size_t length = CharacterLength(s + start, text.size() - start);
            return length > back ? start : limit;
        }
    }
    return limit;
}

} // namespace tellix
