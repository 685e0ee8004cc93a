#include "util/Collection.h"

#include <array>

namespace tellix {

namespace {

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::uint32_t AsciiCaseText::Hash(std::string_view text) noexcept
{
    // Channel names are short: upper-case them on the stack, not on the heap.
    std::array<char, 64> buffer;
    if (text.size() <= buffer.size()) {
        std::transform(text.begin(), text.end(), buffer.begin(), UpperAscii);
        return ExactText::Hash(std::string_view(buffer.data(), text.size()));
    }
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return ExactText::Hash(upper);
}

bool AsciiCaseText::Equal(std::string_view a, std::string_view b) noexcept
{
    // Names are mostly written the same way each time: the byte comparison settles most.
    return a.size() == b.size() && (a == b || std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                                        return UpperAscii(x) == UpperAscii(y);
                                    }));
}

} // namespace tellix
