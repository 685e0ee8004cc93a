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
    std::string out;
    AppendShownUtf8(bytes, out);
    return out;
}

std::int64_t AppendShownUtf8(std::string_view bytes, std::string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    out.reserve(out.size() + n);
    std::int64_t units = 0;
    std::size_t run = 0; // where the valid run not yet copied starts
    std::size_t i = 0;
    char32_t code = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            ++i;
            ++units;
            continue;
        }
        const std::size_t length = Utf8Sequence(s + i, n - i, code);
        if (length != 0) {
            i += length;
            units += length == 4 ? 2 : 1;
            continue;
        }
        out.append(bytes.substr(run, i - run));
        AppendCp1252AsUtf8(bytes.substr(i, 1), out);
        ++units;
        run = ++i;
    }
    out.append(bytes.substr(run));
    return units;
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
