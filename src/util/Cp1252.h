#pragma once

namespace tellix {

// A Windows-1252 byte as its UTF-16 unit: 0x80-0x9F from the code page, every other byte as
// Latin-1. The five bytes Windows-1252 leaves undefined keep their C1 code points, so no byte
// is lost.
char16_t FromCp1252(unsigned char byte);

} // namespace tellix
