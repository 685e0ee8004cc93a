#include "util/Cp1252.h"

#include "util/Utf8.h"

#include <array>

namespace tellix {

namespace {

// 0x80-0x9F.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char16_t FromCp1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t{byte};
}

void AppendCp1252AsUtf8(std::string_view bytes, std::string& out)
{
    for (const char b : bytes) {
        AppendUtf8(FromCp1252(static_cast<unsigned char>(b)), out);
    }
}

} // namespace tellix
