#include "util/Utf8.h"

#include "util/Cp1252.h"

namespace tellix {

void AppendUtf8(char32_t code, std::string& out)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsUtf8(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    char32_t code = 0;
    while (i < bytes.size()) {
        const std::size_t length = Utf8Sequence(s + i, bytes.size() - i, code);
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
        if ((s[start] & 0xC0) != 0x80) {
            char32_t code = 0;
            const std::size_t length = Utf8Sequence(s + start, text.size() - start, code);
            return length > back ? start : limit;
        }
    }
    return limit;
}

} // namespace tellix
