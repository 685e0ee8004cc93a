// Any bytes through the console's output rule: what comes out is UTF-8 that holds no ESC, no
// C1 code point and no other control character but the six formatting codes and the line end,
// and no byte of the input is lost.
#include "util/TerminalText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tellix;

namespace {

bool IsFormattingCode(unsigned char c)
{
    return c == 0x02 || c == 0x03 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1F;
}

// Aborts unless `out` is UTF-8 without anything a terminal would act on; returns how many
// characters it holds.
std::size_t CheckShown(std::string_view out, bool lineEnds)
{
    const auto* s = reinterpret_cast<const unsigned char*>(out.data());
    std::size_t characters = 0;
    for (std::size_t i = 0; i < out.size(); ++characters) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if ((c < 0x20 && !IsFormattingCode(c) && !(lineEnds && c == '\n')) || c == 0x7F) {
                std::abort();
            }
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || c > 0xF4 || out.size() - i < length || (c == 0xC2 && s[i + 1] < 0xA0)) {
            std::abort();
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                std::abort();
            }
        }
        i += length;
    }
    return characters;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::string text;
    AppendTerminalText(bytes, text);
    // No byte is lost: every byte that can begin a character shows as at least one.
    std::size_t leads = 0;
    bool plain = true;
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        leads += (c & 0xC0) != 0x80 ? 1 : 0;
        plain = plain && c >= 0x20 && c < 0x7F;
    }
    if (CheckShown(text, false) < leads || (plain && text != bytes)) {
        std::abort();
    }

    std::string lines;
    AppendTerminalLines("[2] ", bytes, lines);
    CheckShown(lines, true);
    if (lines.empty() || lines.back() != '\n' || lines.compare(0, 4, "[2] ") != 0) {
        std::abort();
    }
    // One line out for each CR LF in, and nothing but the prefix after a line end.
    std::size_t breaks = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string_view::npos; at = bytes.find("\r\n", at + 2)) {
        ++breaks;
    }
    std::size_t ends = 0;
    for (std::size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 1)) {
        ++ends;
        if (at + 1 < lines.size() && lines.compare(at + 1, 4, "[2] ") != 0) {
            std::abort();
        }
    }
    if (ends != breaks + 1) {
        std::abort();
    }
    return 0;
}
