#pragma once

#include <string>
#include <string_view>

namespace tellix {

// A Windows-1252 byte as its UTF-16 unit: 0x80-0x9F from the code page, every other byte as
// Latin-1. The five bytes Windows-1252 leaves undefined keep their C1 code points, so no byte
// is lost.
char16_t FromCp1252(unsigned char byte);
// Windows-1252 bytes appended to `out` as UTF-8, one character per byte.
void AppendCp1252AsUtf8(std::string_view bytes, std::string& out);

} // namespace tellix
